// Translation of certificate clause numbers (and QRP step indices) into
// store positions.
// Certificates number their clauses as they like: mostly densely, but a
// single clause numbered 4000000000 must not cost gigabytes. Numbers up to
// twice the count of defined entries (and at least a million) live in a
// vector; sparser ones in a hash map, so memory follows the clauses defined.
#ifndef ZEL_STORE_CLAUSE_MAP_HPP
#define ZEL_STORE_CLAUSE_MAP_HPP

#include "core/limits.hpp"

#include <cstdint>
#include <unordered_map>
#include <vector>

class ClauseMap {
 public:
  // The largest storable number, from the limits: the map behaves as a
  // vector with number + 1 entries, which must fit the unsigned 32-bit count.
  static constexpr uint32_t kLargestClauseNumber = ::kLargestClauseNumber;

  // The position of no clause: what an undefined number maps to.
  static constexpr uint32_t kNone = ~0u;

  // The position of `number`, kNone when it is not defined.
  uint32_t operator[](uint32_t number) const {
    const uint32_t stored = number < dense_.size() ? dense_[number] : 0;
    if (stored != 0 || sparse_.empty()) return stored - 1;  // 0 - 1 is kNone
    const auto found = sparse_.find(number);
    return found == sparse_.end() ? kNone : found->second - 1;
  }
  bool defined(uint32_t number) const { return (*this)[number] != kNone; }

  // Number of entries the map behaves as having: largest number set + 1.
  uint64_t size() const { return size_; }

  // Makes the first `entries` numbers addressable (all 0 but those set).
  void resize(uint64_t entries);
  // Sets entry `number` to `position`; number <= kLargestClauseNumber,
  // position != kNone.
  void set(uint32_t number, uint32_t position);

 private:
  // Both parts hold position + 1, so that a zero of a grown vector is kNone.
  std::vector<uint32_t> dense_;                     // number -> position + 1 for small numbers
  // Numbers set while they lay beyond dense_; they stay here when dense_
  // grows over them, so a lookup that finds 0 in dense_ also asks sparse_.
  std::unordered_map<uint32_t, uint32_t> sparse_;
  uint64_t size_ = 0;                               // largest number set + 1
  uint64_t defined_ = 0;                            // non-zero entries set
};

#endif
