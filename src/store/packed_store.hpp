// The packed store: the derived constraints of a QRP trace with their
// antecedents, one record each, in one byte arena. A record is the
// antecedent count, each antecedent as the distance back from the record's
// own position, the literal count and the literal codes, all as binary
// numbers of 7 bits a byte (low bits first). The antecedents come first so
// that the backward walks over them skip no literals. A trace's constraints name few
// variables and mostly near antecedents, so a literal costs one or two
// bytes and an antecedent two or three: a QCDCL trace is held in well under
// half the bytes of its ASCII text, antecedent lists included.
#ifndef ZEL_STORE_PACKED_STORE_HPP
#define ZEL_STORE_PACKED_STORE_HPP

#include <cassert>
#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"
#include "core/varint.hpp"

class PackedStore {
 public:
  // Records are numbered from `first_position` on (the positions before
  // are the caller's, the input clauses of the formula); antecedents are
  // positions in the same numbering, each before its record.
  explicit PackedStore(uint32_t first_position) : first_position_(first_position) {}

  // Position of the next record appended.
  uint32_t end_position() const { return first_position_ + static_cast<uint32_t>(starts_.size()); }

  void push(const Literal* literals, size_t count, const uint32_t* antecedents,
            size_t antecedent_count);

  // Replaces `out` by the literals of the record at `position`.
  void read_literals(uint32_t position, std::vector<Literal>& out) const;
  // Calls visit(antecedent position) for each antecedent of the record.
  template <typename Visit>
  void for_each_antecedent(uint32_t position, Visit visit) const {
    const uint8_t* at = record(position);
    for (uint64_t count = next(at); count > 0; --count) visit(static_cast<uint32_t>(position - next(at)));
  }

  uint64_t literals() const { return literals_; }
  uint64_t bytes() const { return arena_.capacity() + starts_.capacity() * sizeof(uint64_t); }

 private:
  const uint8_t* record(uint32_t position) const {
    assert(position >= first_position_ && position < end_position());
    return arena_.data() + starts_[position - first_position_];
  }
  static uint64_t next(const uint8_t*& at) { return next_varint(at); }

  const uint32_t first_position_;  // position of the first record
  PodVector<uint8_t> arena_;       // the records, one after the other
  PodVector<uint64_t> starts_;     // record - first_position_ -> its first byte in arena_
  uint64_t literals_ = 0;          // literals in all records
};

#endif
