// The clause store: every clause of the run (the QBF file's, the derived
// ones, the defining clauses of extensions) in one append-only arena.
// A clause is a header word holding its size followed by its literals;
// a clause position (0-based, in order of appending) maps to the offset of
// its header. Clauses are never changed or removed, so there is no heap
// object per clause and no garbage to collect.
#ifndef ZEL_STORE_CLAUSE_STORE_HPP
#define ZEL_STORE_CLAUSE_STORE_HPP

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "core/literal.hpp"
#include "core/pod_vector.hpp"

// A read-only view of a stored (or scratch) clause: literals in the order
// they were stored, never sorted, no literal twice.
struct ClauseView {
  const Literal* literals = nullptr;
  uint32_t size = 0;

  const Literal* begin() const { return literals; }
  const Literal* end() const { return literals + size; }
  bool empty() const { return size == 0; }
  const Literal& operator[](uint32_t i) const { return literals[i]; }
};

class ClauseStore {
 public:
  // The longest storable clause, from the limits: the header's top bit
  // marks the narrow forms.
  static constexpr uint32_t kLongestClause = ::kLongestClause;
  // The longest clause stored narrow (a narrow clause's header keeps its
  // next bit for the form).
  static constexpr uint32_t kLongestNarrow = 0xFFFFu;

  // Number of clauses stored; positions run from 0 to size() - 1.
  uint32_t size() const { return static_cast<uint32_t>(offsets_.size()); }

  // The one way to read a clause, right for both forms: a wide one is
  // viewed in place, a narrow one is widened onto the end of `buffer`.
  // Views into `buffer` stay valid while it does not grow: to hold several
  // at once, reserve room for narrow_size() of each clause first. An empty
  // buffer is grown as needed, so one clause at a time needs no reserve.
  ClauseView read(uint32_t position, PodVector<Literal>& buffer) const;
  // A copy of the clause at `position`, in either form.
  std::vector<Literal> copy(uint32_t position) const;
  // The literals read() appends to its buffer: 0 for a wide clause.
  uint32_t narrow_size(uint32_t position) const {
    assert(position < size());
    const uint32_t header = arena_[offset(position)].code;
    return header & kNarrow ? header & kLongestNarrow : 0;
  }

  // Appends a clause in the wide form; its literals are copied. Returns its
  // position. A clause longer than kLongestClause is refused (Exception).
  uint32_t push(const Literal* literals, uint32_t size);
  uint32_t push(const std::vector<Literal>& literals) {
    if (literals.size() > kLongestClause) refuse_long_clause(literals.size());
    return push(literals.data(), static_cast<uint32_t>(literals.size()));
  }
  // The same, but a clause of at most kLongestNarrow literals whose codes
  // all fit 8 bits is stored narrow four codes per word, one whose codes
  // all fit 16 bits two per word (the width follows the variables the
  // clause names, as the width of their numbers in a certificate does); a
  // narrow clause must be read with read().
  uint32_t push_compact(ClauseView literals);
  uint32_t push_compact(const std::vector<Literal>& literals) {
    if (literals.size() > kLongestClause) refuse_long_clause(literals.size());
    return push_compact(ClauseView{literals.data(), static_cast<uint32_t>(literals.size())});
  }

  // Keeps the first `clauses` clauses and frees the memory of the rest.
  void truncate(uint32_t clauses);

  // Room for `clauses` clauses without growing the position table.
  void reserve(uint64_t clauses) { offsets_.reserve(clauses); }

  // Literals stored in all clauses (headers not counted).
  uint64_t literals() const { return literals_; }
  // Bytes the store holds reserved.
  uint64_t bytes() const {
    return arena_.capacity() * sizeof(Literal) + offsets_.capacity() * sizeof(uint32_t);
  }

 private:
  [[noreturn]] static void refuse_long_clause(uint64_t size);
  static constexpr uint32_t kNarrow = 0x80000000u;  // header bit: narrow codes
  static constexpr uint32_t kBytes = 0x40000000u;   // with kNarrow: 8-bit codes, else 16

  // The arena index of a clause's header: its low 32 bits are kept per
  // clause, the high bits (a count of 2^32-word spans passed, almost always
  // 0) are told by the positions where they grew.
  uint64_t offset(uint32_t position) const {
    assert(position < size());
    uint64_t high = 0;
    if (!high_starts_.empty())
      high = static_cast<uint64_t>(
          std::upper_bound(high_starts_.begin(), high_starts_.end(), position) -
          high_starts_.begin());
    return (high << 32) | offsets_[position];
  }
  void push_header(uint32_t header);
  // Arena words after the header of the clause at `position`.
  uint32_t stored_words(uint32_t position) const;

  PodVector<Literal> arena_;     // header (size, narrow bit) then literals, clause after clause
  PodVector<uint32_t> offsets_;  // position -> low 32 bits of its header's index in arena_
  std::vector<uint32_t> high_starts_;  // first position of each further 2^32-word span
  uint64_t literals_ = 0;              // literals in all clauses
};

// "(" literals joined by ", " ")", e.g. (1, -2, 3); "()" when empty.
std::string to_string(ClauseView clause);

#endif
