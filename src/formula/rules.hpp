// The proof rules the checker rests on, each in one place: the quantifier of
// a level, the tautology test, the resolvent (the union of two clauses that
// clash on one pivot) and reduction. The chain and merge steps, resolution
// lines, the conclusion and the sound-chain search all call these.
//
// Every rule is written for both directions of Q-resolution. Rule::CLAUSE
// resolves clauses on existential pivots and removes universal literals
// deeper than every existential one; Rule::CUBE, its dual, resolves cubes
// (conjunctions) on universal pivots and removes existential literals deeper
// than every universal one. The two differ only in which quantifier is
// reduced, so each rule takes the direction as a parameter.
//
// The rules read the prefix through the formula's level table only, indexed
// without bounds tests: every variable that reaches a clause is defined by
// the formula first. Marks are one byte per literal code, covering the codes
// of the clauses given and their complements, all 0 on entry and on return.
#ifndef ZEL_FORMULA_RULES_HPP
#define ZEL_FORMULA_RULES_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "core/quantifier.hpp"
#include "store/clause_store.hpp"

// A level's quantifier is its parity: even levels are existential, odd ones
// universal. This is the one way the checker asks a variable's quantifier.
inline bool is_universal_level(unsigned level) { return (level & 1u) != 0; }
inline Quantifier::Type quantifier_of_level(unsigned level) {
  return is_universal_level(level) ? Quantifier::UNIVERSAL : Quantifier::EXISTENTIAL;
}

// The direction of a rule.
enum class Rule : uint8_t {
  CLAUSE,  // clauses: existential pivots, universal literals reduced
  CUBE,    // cubes: universal pivots, existential literals reduced
};

// The parity of the levels whose literals reduction removes: odd (universal)
// for clauses, even (existential) for cubes.
inline unsigned reduced_parity(Rule rule) { return rule == Rule::CLAUSE ? 1u : 0u; }
// A literal on `level` is one reduction may remove.
inline bool is_reduced_level(Rule rule, unsigned level) {
  return (level & 1u) == reduced_parity(rule);
}
// A literal on `level` may be a pivot: it is of the quantifier not reduced.
inline bool is_pivot_level(Rule rule, unsigned level) { return !is_reduced_level(rule, level); }

// The deepest level of each parity among some literals, gathered one level
// at a time, and what reduction removes from them: every literal of the
// reduced quantifier deeper than each literal of the other one.
class DeepestLevels {
 public:
  // Two named maxima, not an array indexed by the parity: a loop that adds
  // keeps both in registers, where an array would make each add wait for
  // the store of the one before.
  void add(unsigned level) { add_if(true, level); }
  // add(level) when `counted`, else nothing: for loops that must not branch.
  void add_if(bool counted, unsigned level) {
    const bool odd = (level & 1u) != 0;
    const unsigned plus_one = counted ? level + 1 : 0u;
    const unsigned even_candidate = odd ? 0u : plus_one;
    const unsigned odd_candidate = odd ? plus_one : 0u;
    even_plus_one_ = even_plus_one_ < even_candidate ? even_candidate : even_plus_one_;
    odd_plus_one_ = odd_plus_one_ < odd_candidate ? odd_candidate : odd_plus_one_;
  }
  // The level from which on reduction removes the reduced quantifier's
  // literals: one past the deepest literal of the other quantifier (0 when
  // there is none, so that all go).
  unsigned bound(Rule rule) const { return rule == Rule::CLAUSE ? even_plus_one_ : odd_plus_one_; }
  // Some literal goes.
  bool reduces(Rule rule) const {
    return (rule == Rule::CLAUSE ? odd_plus_one_ : even_plus_one_) > bound(rule);
  }

 private:
  // 1 + the deepest level met of each parity, 0 when none.
  unsigned even_plus_one_ = 0;  // existential levels
  unsigned odd_plus_one_ = 0;   // universal levels
};

// Reduction's verdict on one literal, given the bound of its clause.
inline bool is_removed(Rule rule, unsigned bound, unsigned level) {
  return is_reduced_level(rule, level) && level >= bound;
}

// For asserts: no literal of `clause` nor its complement is marked.
inline bool marks_clear(ClauseView clause, const std::vector<uint8_t>& marks) {
  for (const Literal& literal : clause)
    if (marks[literal.code] != 0 || marks[literal.code ^ 1u] != 0) return false;
  return true;
}

// For asserts: reduction would remove nothing more from `clause`.
inline bool reduced(Rule rule, ClauseView clause, const std::vector<unsigned>& levels) {
  DeepestLevels deepest;
  for (const Literal& literal : clause) deepest.add(levels[literal.variable()]);
  return !deepest.reduces(rule);
}

// True when some literal of `clause` occurs with its complement.
bool tautological(ClauseView clause, std::vector<uint8_t>& marks);

// True when the distinct literals of `listed` (duplicates allowed; a code
// beyond the marks is no literal of `set`) are exactly the literals of
// `set`, which are distinct: the one test of equal literal sets.
bool same_literal_set(ClauseView set, ClauseView listed, std::vector<uint8_t>& marks);

// One literal joins a union built with marks: it is written at out[kept]
// and kept (kept grows) unless it is a member already. Returns whether its
// complement is a member. The caller clears the marks of out[0, kept) when
// the union is done (clear_marks).
inline bool join_union(Literal literal, uint8_t* marks, Literal* out, size_t& kept) {
  const bool clash = marks[literal.code ^ 1u] != 0;
  const bool fresh = marks[literal.code] == 0;
  marks[literal.code] = 1;
  out[kept] = literal;
  kept += fresh;  // written always, kept only when new: no branch to mispredict
  return clash;
}
inline void clear_marks(const Literal* literals, size_t count, uint8_t* marks) {
  for (size_t i = 0; i < count; ++i) marks[literals[i].code] = 0;
}

// Outcome of a resolution on a pivot. A tautological resolvent (one that
// holds a literal and its complement, counting a doubly occurring pivot) is
// computed all the same, so that callers who must reproduce a chain exactly
// can do so, but Q-resolution does not allow it.
enum class ResolutionOutcome {
  RESOLVED,     // the clauses clash on the pivot; the resolvent is sound
  NO_CLASH,     // pivot missing from a clause, or of the same sign in both
  TAUTOLOGICAL  // computed, but a literal meets its complement
};

// The resolvent before reduction: the literals of `first`, then the new ones
// of `second`, in their order, without the pivot variable's, written to
// `out` (room for first.size + second.size literals); `kept` receives their
// count (0 with NO_CLASH) and `deepest` their levels. The first literal of
// the pivot in each clause decides the clash; a literal meeting its
// complement in the union, or a second, complementary pivot literal in one
// clause, makes it TAUTOLOGICAL. The pivot's quantifier is the caller's to
// check (is_pivot_level).
ResolutionOutcome resolvent_union(ClauseView first, ClauseView second, unsigned pivot,
                                  const std::vector<unsigned>& levels, Literal* out,
                                  size_t& kept, DeepestLevels& deepest,
                                  std::vector<uint8_t>& marks);

// ---- Steps that name their antecedents but not their pivots (QRP traces) ----

// The common case of such a step's resolution, in one pass over each
// constraint: `first` and `second` meet in exactly one complementary pair,
// on a variable of the pivot quantifier, and neither holds a pair of its
// own. Then that variable is returned, and `out` and `kept` and `deepest`
// receive what resolvent_union gives on it (RESOLVED); clashing_pivot
// would name the same pivot, alone. Otherwise 0, and `out` holds nothing
// of use: the caller takes the general path, which words the fault or
// allows a long-distance pair. `marks` as above.
unsigned single_clash_union(Rule rule, ClauseView first, ClauseView second,
                            const std::vector<unsigned>& levels, Literal* out, size_t& kept,
                            DeepestLevels& deepest, std::vector<uint8_t>& marks);

// The same in place, for a `first` whose literals are distinct and hold no
// complementary pair (a constraint this path or the one above derived):
// `first` stands at literals[0, size), with room after it for second.size
// more. On success the pivot's literal is taken out (the literals after it
// move up one slot) and the new literals of `second` appended, `size` and
// `deepest` updated: the literals resolvent_union writes. One pass reads
// `first`, writing nothing there. 0, with nothing changed, otherwise.
unsigned single_clash_in_place(Rule rule, Literal* literals, size_t& size, ClauseView second,
                               const std::vector<unsigned>& levels, DeepestLevels& deepest,
                               std::vector<uint8_t>& marks);

// The pivot of two constraints: the variable of the pivot quantifier that
// occurs in `first` and complemented in `second`. 0 when there is none;
// `several` is set when more than one variable clashes so (no Q-resolution
// joins such constraints). `marks` as above.
unsigned clashing_pivot(Rule rule, ClauseView first, ClauseView second,
                        const std::vector<unsigned>& levels, std::vector<uint8_t>& marks,
                        bool& several);

// Long-distance resolution: which complementary pairs the union of `first`
// and `second` resolved on `pivot` may hold. A pair across the two (a
// literal of one whose complement is in the other, the pivot's aside) is
// sound only when its variable is of the reduced quantifier and on a level
// greater than the pivot's; a pair inside one constraint only when its
// variable is of the reduced quantifier (an earlier long-distance step made
// it); the pivot in both signs in one constraint never. Returns the first
// variable whose pair is refused, 0 when every pair is allowed. `marks` as
// above.
unsigned refused_long_distance_pair(Rule rule, ClauseView first, ClauseView second,
                                    unsigned pivot, const std::vector<unsigned>& levels,
                                    std::vector<uint8_t>& marks);

#endif
