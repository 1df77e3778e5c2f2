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
  // A pivot that names no literal of the clauses (0 among them: an R line
  // may give it) finds no clash: NO_CLASH, as for any absent pivot.
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

unsigned clashing_pivot(Rule rule, ClauseView first, ClauseView second,
                        const std::vector<unsigned>& levels, std::vector<uint8_t>& marks,
                        bool& several) {
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  for (const Literal& literal : first) marks[literal.code] = 1;
  unsigned pivot = 0;
  several = false;
  for (const Literal& literal : second)
    if (marks[literal.code ^ 1u] != 0 && is_pivot_level(rule, levels[literal.variable()])) {
      if (pivot != 0 && pivot != literal.variable()) several = true;
      if (pivot == 0) pivot = literal.variable();
    }
  clear_marks(first.literals, first.size, marks.data());
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  return pivot;
}

// Marks hold a bit per side: 1 for `first`, 2 for `second`; a literal's
// complement tells at once whether its pair lies across or inside.
unsigned refused_long_distance_pair(Rule rule, ClauseView first, ClauseView second,
                                    unsigned pivot, const std::vector<unsigned>& levels,
                                    std::vector<uint8_t>& marks) {
  // A pivot that names no literal of the clauses (0 among them: an R line
  // may give it) finds no clash: NO_CLASH, as for any absent pivot.
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  for (const Literal& literal : first) marks[literal.code] |= 1u;
  for (const Literal& literal : second) marks[literal.code] |= 2u;
  const unsigned pivot_level = levels[pivot];
  unsigned refused = 0;
  const ClauseView sides[2] = {first, second};
  for (unsigned side = 0; side < 2 && refused == 0; ++side) {
    const uint8_t own = static_cast<uint8_t>(1u << side), other = static_cast<uint8_t>(own ^ 3u);
    for (const Literal& literal : sides[side]) {
      const uint8_t complement = marks[literal.code ^ 1u];
      if (complement == 0) continue;
      const unsigned variable = literal.variable();
      const unsigned level = levels[variable];
      const bool inside = (complement & own) != 0;
      const bool across = (complement & other) != 0;
      bool allowed;
      if (variable == pivot)
        allowed = !inside;  // the clash itself, or a doubled pivot
      else
        allowed = is_reduced_level(rule, level) && (!across || level > pivot_level);
      if (!allowed) {
        refused = variable;
        break;
      }
    }
  }
  for (const Literal& literal : first) marks[literal.code] = 0;
  for (const Literal& literal : second) marks[literal.code] = 0;
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  return refused;
}
