// Step index -> store position for the steps whose constraints may still
// be used: an open-addressing table (linear probing, deletion by shifting
// the entries after back) whose size follows the entries held, not the
// largest index. The QRP checker's second pass holds only the live steps of
// a trace in it, a small part of millions.
#ifndef ZEL_STORE_POSITION_TABLE_HPP
#define ZEL_STORE_POSITION_TABLE_HPP

#include <cstdint>

#include "core/limits.hpp"
#include "core/pod_vector.hpp"

class PositionTable {
 public:
  // What an absent index maps to; no index is this large.
  static constexpr uint32_t kNone = ~0u;
  static_assert(kLargestClauseNumber < kNone, "an index is never the empty key");

  uint32_t operator[](uint32_t index) const;
  bool defined(uint32_t index) const { return (*this)[index] != kNone; }
  // Maps `index` (<= kLargestClauseNumber) to `position` (!= kNone).
  void set(uint32_t index, uint32_t position);
  // Forgets `index`, if mapped.
  void erase(uint32_t index);
  uint64_t size() const { return used_; }

 private:
  struct Slot {
    uint32_t index;     // kNone: empty
    uint32_t position;  // its store position
  };
  size_t home(uint32_t index) const;
  void grow();

  PodVector<Slot> slots_;  // a power of two of them, at most half used
  uint64_t used_ = 0;      // entries held
};

#endif
