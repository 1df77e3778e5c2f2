// A working clause (one being built, resolved or compared, not a stored
// one): an unsorted array of distinct literals, with reduction in place
// and the resolution of two clauses into one, both in the storage order the
// certificate format depends on. Which literals reduction and resolution
// keep is decided by the rules of rules.hpp; this file decides only where
// the kept literals stand.
#ifndef ZEL_FORMULA_WORKING_CLAUSE_HPP
#define ZEL_FORMULA_WORKING_CLAUSE_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"
#include "formula/rules.hpp"
#include "store/clause_store.hpp"

class WorkingClause {
 public:
  std::vector<Literal> literals;  // insertion order, never sorted, no literal twice

  // Copies leave the lookup index behind: it is a cache of the literals,
  // rebuilt on demand by whoever looks a literal up.
  WorkingClause() = default;
  WorkingClause(const WorkingClause& other) : literals(other.literals) {}
  WorkingClause(WorkingClause&&) noexcept = default;
  WorkingClause& operator=(const WorkingClause& other) {
    if (this != &other) {
      literals = other.literals;
      drop_index();
    }
    return *this;
  }
  WorkingClause& operator=(WorkingClause&&) noexcept = default;

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
  uint32_t size() const { return static_cast<uint32_t>(literals.size()); }
  ClauseView view() const { return ClauseView{literals.data(), size()}; }
  // Makes this clause a copy of `clause`, whose literals are distinct.
  void assign(ClauseView clause);
  // The literals, for a caller that replaces them all by distinct ones.
  std::vector<Literal>& overwrite() {
    drop_index();
    return literals;
  }

  // Reduction in place (universal reduction for Rule::CLAUSE): the literals
  // the rule removes go one variable at a time, deepest level first, within
  // a level in the order of their current slots, by the swap rule.
  void reduce(Rule rule, const std::vector<unsigned>& levels);

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
  // `pair_free`: the clause holds no literal with its complement.
  void remove_reduced(Rule rule, unsigned bound, const std::vector<unsigned>& levels,
                      bool pair_free = false);
  // Above this many levels of literals that go, they are listed and ordered.
  static constexpr size_t kScanLevels = 8;
  template <typename Build>
  void reduced_union(Rule rule, size_t room, const std::vector<unsigned>& levels, bool pair_free,
                     Build build);
  friend unsigned resolve_single_clash_in_place(Rule rule, WorkingClause& clause,
                                               ClauseView second,
                                               const std::vector<unsigned>& levels,
                                               std::vector<uint8_t>& marks);
  friend unsigned resolve_single_clash(Rule rule, ClauseView first, ClauseView second,
                                      const std::vector<unsigned>& levels,
                                      WorkingClause& result, std::vector<uint8_t>& marks);
  friend ResolutionOutcome resolve(Rule rule, ClauseView first, ClauseView second, unsigned pivot,
                                   const std::vector<unsigned>& levels, WorkingClause& result,
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
  // Behind a pointer so that a short clause, which never has one, stays one
  // vector and a pointer when it is copied or moved.
  mutable std::unique_ptr<std::vector<uint32_t>> index_;
  bool indexed() const { return index_ && !index_->empty(); }
  void drop_index() {
    if (index_) index_->clear();
  }
};

// Resolution into a clause: resolvent_union of `first` and `second` on
// `pivot`, then reduced by `rule` (reduce's order), into `result`. The
// tautology test looks at the union before reduction: reducing (u, -u)
// would otherwise turn a forbidden step into the empty clause. `marks` (one
// byte per literal code, all 0) is left all 0.
ResolutionOutcome resolve(Rule rule, ClauseView first, ClauseView second, unsigned pivot,
                          const std::vector<unsigned>& levels, WorkingClause& result,
                          std::vector<uint8_t>& marks);

// resolve_single_clash with `clause` as `first`, in place, for a clause whose
// literals hold no complementary pair (see single_clash_in_place): the same
// pivot and result, or 0 with `clause` unchanged.
unsigned resolve_single_clash_in_place(Rule rule, WorkingClause& clause, ClauseView second,
                                       const std::vector<unsigned>& levels,
                                       std::vector<uint8_t>& marks);

// resolve for the common case of a QRP step: single_clash_union, then
// reduction as resolve reduces. Returns the pivot, with `result` what
// clashing_pivot and resolve give then; 0 when the constraints meet in
// anything but one clash on a pivot variable (`result` is then scratch).
unsigned resolve_single_clash(Rule rule, ClauseView first, ClauseView second,
                              const std::vector<unsigned>& levels, WorkingClause& result,
                              std::vector<uint8_t>& marks);

#endif
