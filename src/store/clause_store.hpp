// The clause store: every clause of the run (the QBF file's, the derived
// ones, the defining clauses of extensions) in one append-only arena.
// A clause is a header word holding its size followed by its literals;
// a clause position (0-based, in order of appending) maps to the offset of
// its header. Clauses are never changed or removed, so there is no heap
// object per clause and no garbage to collect.
#ifndef ZEL_STORE_CLAUSE_STORE_HPP
#define ZEL_STORE_CLAUSE_STORE_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/literal.hpp"
#include "store/pod_vector.hpp"

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
  // Number of clauses stored; positions run from 0 to size() - 1.
  uint32_t size() const { return static_cast<uint32_t>(offsets_.size()); }

  ClauseView operator[](uint32_t position) const {
    const Literal* header = arena_.data() + offsets_[position];
    return ClauseView{header + 1, header->code};
  }

  // Appends a clause; its literals are copied. Returns its position.
  uint32_t push(const Literal* literals, uint32_t size);
  uint32_t push(const std::vector<Literal>& literals) {
    return push(literals.data(), static_cast<uint32_t>(literals.size()));
  }

  // Room for `clauses` clauses without growing the position table.
  void reserve(uint64_t clauses) { offsets_.reserve(clauses); }

  // Literals stored in all clauses (headers not counted).
  uint64_t literals() const { return arena_.size() - offsets_.size(); }
  // Bytes the store holds reserved.
  uint64_t bytes() const {
    return arena_.capacity() * sizeof(Literal) + offsets_.capacity() * sizeof(uint64_t);
  }

 private:
  PodVector<Literal> arena_;     // header (code = size) then literals, clause after clause
  PodVector<uint64_t> offsets_;  // position -> index of its header in arena_
};

// "(" literals joined by ", " ")", e.g. (1, -2, 3); "()" when empty.
std::string to_string(ClauseView clause);

#endif
