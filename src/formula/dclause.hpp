// A clause: an unsorted array of distinct literals, with the two proof rules
// the whole checker rests on, universal reduction and Q-resolution.
// Both rules read the quantifier prefix only through the formula's level
// table, which they index without bounds tests: every variable that reaches a
// clause is defined by the formula first. A level's parity is its quantifier
// (even levels existential, odd ones universal), so the level alone tells
// which literals reduction removes.
#ifndef ZEL_FORMULA_DCLAUSE_HPP
#define ZEL_FORMULA_DCLAUSE_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/literal.hpp"
#include "store/clause_store.hpp"
#include "store/pod_vector.hpp"

// Outcome of a resolution on a pivot. A tautological resolvent (one that
// holds a literal and its complement, counting a doubly occurring pivot) is
// computed all the same, so that callers who must reproduce a chain exactly
// can do so, but Q-resolution does not allow it.
enum class ResolutionOutcome {
  RESOLVED,     // the clauses clash on the pivot; the resolvent is sound
  NO_CLASH,     // pivot missing from a clause, or of the same sign in both
  TAUTOLOGICAL  // computed, but a literal meets its complement
};

class DClause {
 public:
  std::vector<Literal> literals;  // insertion order, never sorted, no literal twice
  unsigned count = 0;             // always literals.size()

  // Copies leave the lookup index behind: it is a cache, rebuilt on demand,
  // and stored clauses should cost no more than their literals.
  DClause() = default;
  DClause(const DClause& other) : literals(other.literals), count(other.count) {}
  DClause(DClause&&) noexcept = default;
  DClause& operator=(const DClause& other) {
    if (this != &other) {
      literals = other.literals;
      count = other.count;
      drop_index();
    }
    return *this;
  }
  DClause& operator=(DClause&&) noexcept = default;

  // Appends `literal` unless it is present already (false then).
  bool insert(const Literal& literal);
  bool contains(const Literal& literal) const;
  // Both removals use the swap rule: the last literal moves into the freed
  // slot, which is examined again, so removal changes the order.
  void remove(const Literal& literal);
  void remove(unsigned variable);
  // Removes the variables in the given order, as remove(unsigned) for each
  // would, in time linear in the clause. `marks` (one byte per literal code,
  // covering the clause's codes, all 0) is left all 0.
  void remove_variables(const std::vector<unsigned>& variables, std::vector<uint8_t>& marks);
  void clear();
  void reserve(size_t size) { literals.reserve(size); }
  ClauseView view() const { return ClauseView{literals.data(), count}; }
  // Makes this clause a copy of `clause`, whose literals are distinct.
  void assign(ClauseView clause);

  // Universal reduction in place: universal literals deeper than every
  // existential literal go, one variable at a time, deepest level first.
  void reduce(const std::vector<unsigned>& levels);

  // True when some literal occurs together with its complement.
  bool tautological() const;

  // "(" literals joined by ", " ")", e.g. (1, -2, 3); "()" when empty.
  std::string to_string() const;

 private:
  // Long clauses (a QDIMACS clause of 100,000 literals, a wide conjunction)
  // would make the duplicate test of insert quadratic. Above this length a
  // hash set of the literal codes answers `contains` in constant time.
  static constexpr unsigned kIndexedLength = 16;
  // Scratch of the removals (reduce and remove_variables).
  struct Removal {
    static constexpr uint32_t kGone = ~0u;
    uint32_t code;   // a literal that goes
    uint32_t slot;   // its slot in `literals` now, kGone once removed
    uint32_t level;  // its variable's level (reduction only)
  };
  // Up to this many listed literals, lists are searched linearly.
  static constexpr size_t kFewRemovals = 16;
  struct Pending {
    uint32_t level, slot, code;  // reduction: `code` stood in `slot` at some time
  };
  PodVector<Removal> removals_;  // sorted by code when more than kFewRemovals
  PodVector<Pending> pending_;   // a heap: deepest level, then lowest slot, first
  Removal* listed(uint32_t code);
  void remove_universals_below(const std::vector<unsigned>& levels, unsigned kept_level);
  friend ResolutionOutcome resolve(ClauseView first, ClauseView second, unsigned pivot,
                                   const std::vector<unsigned>& levels, DClause& result,
                                   std::vector<uint8_t>& marks);
  void sort_removals();
  template <typename Moved>
  void remove_listed(unsigned variable, Moved moved);
  void build_index() const;
  void index_insert(uint32_t code) const;
  bool index_contains(uint32_t code) const;

  // Open addressing over code + 1 (0 marks a free slot), capacity a power of
  // two at least twice the literal count; empty while the clause is short or
  // after a removal, rebuilt on the next lookup.
  // Behind a pointer so that the many short clauses, which never have one,
  // stay small: the matrix holds millions of them.
  mutable std::unique_ptr<std::vector<uint32_t>> index_;
  bool indexed() const { return index_ && !index_->empty(); }
  void drop_index() {
    if (index_) index_->clear();
  }
};

// The one Q-resolution rule of the checker: the resolvent of `first` and
// `second` on `pivot` (first's literals, then second's new ones, in their
// order), universally reduced, into `result`. The first literal of the pivot
// in each clause decides the clash; a tautological resolvent (a literal and
// its complement in the union before reduction, or a second, complementary
// pivot literal in one clause) is computed all the same, so that callers
// who must reproduce a chain exactly can do so, and reported: Q-resolution
// does not allow it. `marks` (one byte per literal code, all 0) finds
// duplicates and complements; it is left all 0.
ResolutionOutcome resolve(ClauseView first, ClauseView second, unsigned pivot,
                          const std::vector<unsigned>& levels, DClause& result,
                          std::vector<uint8_t>& marks);

#endif
