// The tautology test and the resolvent's union.

#include "formula/rules.hpp"

#include <cassert>

bool tautological(ClauseView clause, std::vector<uint8_t>& marks) {
  assert(marks_clear(clause, marks));
  for (const Literal& literal : clause) marks[literal.code] = 1;
  bool tautology = false;
  for (const Literal& literal : clause) tautology |= marks[literal.code ^ 1u] != 0;
  clear_marks(clause.literals, clause.size, marks.data());
  assert(marks_clear(clause, marks));
  return tautology;
}

// One pass over both clauses builds the union without the pivot, finds each
// clause's first pivot literal and whether a second, complementary one
// follows, and tests each literal for a complement already in the union
// (which finds every complementary pair, whichever comes first).
ResolutionOutcome resolvent_union(ClauseView first, ClauseView second, unsigned pivot,
                                  const std::vector<unsigned>& levels, Literal* out,
                                  size_t& kept, DeepestLevels& deepest,
                                  std::vector<uint8_t>& marks) {
  assert(pivot != 0);
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  constexpr uint32_t kAbsent = ~0u;
  kept = 0;
  bool tautology = false;
  uint32_t pivot_codes[2] = {kAbsent, kAbsent};  // first pivot literal of each clause
  const ClauseView clauses[2] = {first, second};
  for (int side = 0; side < 2; ++side)
    for (const Literal& literal : clauses[side]) {
      if (literal.variable() == pivot) {
        if (pivot_codes[side] == kAbsent)
          pivot_codes[side] = literal.code;
        else if (pivot_codes[side] != literal.code)
          tautology = true;  // a doubled pivot
        continue;
      }
      tautology |= join_union(literal, marks.data(), out, kept);
      deepest.add(levels[literal.variable()]);
    }
  clear_marks(out, kept, marks.data());
  assert(kept <= static_cast<size_t>(first.size) + second.size);
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  if (pivot_codes[0] == kAbsent || pivot_codes[1] == kAbsent ||
      (pivot_codes[0] & 1u) == (pivot_codes[1] & 1u)) {
    kept = 0;
    return ResolutionOutcome::NO_CLASH;
  }
  return tautology ? ResolutionOutcome::TAUTOLOGICAL : ResolutionOutcome::RESOLVED;
}
