// The reductions of a checked proof, kept as the local rules from which
// functions are built: Herbrand functions of the universal variables from a
// refutation (Rule::CLAUSE), Skolem functions of the existential ones from a
// cube proof (Rule::CUBE). One construction serves both, with the
// quantifiers swapped.
//
// A reduction that removes literal l of variable v from a constraint and
// keeps the literals K says: "when every literal of K is false (a clause) or
// true (a cube), give v the value that makes l false (clause) or true
// (cube)". The rules of v form a decision list in proof order: v takes the
// value of the first rule whose condition holds, false when none does.
// Every literal of K is on a level before v's (reduction removes l only
// because nothing of the other quantifier in K is deeper), so v's function
// reads only variables quantified before it. docs/functions.md shows why
// proof order makes the functions right.
#ifndef ZEL_FORMULA_STRATEGY_HPP
#define ZEL_FORMULA_STRATEGY_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "formula/rules.hpp"
#include "store/clause_store.hpp"

class Strategy {
 public:
  explicit Strategy(Rule rule) : rule_(rule) {}

  Rule rule() const { return rule_; }

  // One reduction, in proof order (every constraint after those it is
  // derived from): `before` holds the distinct literals of a constraint
  // before reduction; the rule (is_removed) splits them into those kept and
  // those removed, and each removed one becomes a rule of its variable under
  // the condition of those kept. `kept` receives the kept literals in their
  // order. Nothing is recorded when nothing goes.
  void add_reduction(ClauseView before, const std::vector<unsigned>& levels,
                     std::vector<Literal>& kept);
  // The same, with the deepest levels of `before` gathered already.
  void add_reduction(ClauseView before, const std::vector<unsigned>& levels,
                     const DeepestLevels& deepest, std::vector<Literal>& kept);

  // A rule: the literal reduction removed and its condition's index.
  struct Entry {
    Literal removed;
    uint32_t condition;
  };
  const std::vector<Entry>& entries() const { return entries_; }
  uint32_t conditions() const { return static_cast<uint32_t>(condition_begins_.size() - 1); }
  // The kept literals of condition `index`.
  ClauseView condition(uint32_t index) const {
    const uint64_t begin = condition_begins_[index];
    return ClauseView{condition_literals_.data() + begin,
                      static_cast<uint32_t>(condition_begins_[index + 1] - begin)};
  }
  // The value the rule gives the removed literal's variable: it makes the
  // literal false for clauses, true for cubes.
  bool value(const Entry& entry) const {
    return entry.removed.negative() == (rule_ == Rule::CLAUSE);
  }

 private:
  Rule rule_;
  std::vector<Entry> entries_;                 // in proof order
  std::vector<Literal> condition_literals_;    // every condition's kept literals
  std::vector<uint64_t> condition_begins_ = {0};  // condition -> first literal; one more at the end
};

#endif
