// The tautology test and the resolvent's union.

#include "formula/rules.hpp"

#include <algorithm>
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

// Marks: 1 a literal of `set`, 2 added once met in `listed`; a literal of
// `listed` marked 0 lies outside `set`, and the ones marked exactly 1 when
// met count the literals of `set` met. Written without branches, as QRP
// checking compares every step's listed literals so.
bool same_literal_set(ClauseView set, ClauseView listed, std::vector<uint8_t>& marks) {
  uint8_t* const mark = marks.data();
  const size_t codes = marks.size();
  for (const Literal& literal : set) mark[literal.code] = 1;
  size_t met = 0;
  bool inside = true;
  for (const Literal& literal : listed) {
    const uint32_t code = literal.code < codes ? literal.code : 0;  // code 0: never marked
    const uint8_t seen = mark[code];
    met += seen == 1;
    inside &= seen != 0;
    mark[code] = static_cast<uint8_t>(seen | 2u);
  }
  mark[0] = 0;
  if (!inside)
    for (const Literal& literal : listed)
      if (literal.code < codes) mark[literal.code] = 0;
  clear_marks(set.literals, set.size, mark);
  return inside && met == set.size;
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
  DeepestLevels found = deepest;  // a local, kept in registers through the loop
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
      found.add(levels[literal.variable()]);
    }
  deepest = found;
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

// Marks hold a bit per role: 1 a literal of `first`, 2 one of `second`
// added to the union, 4 one of `second` at all. A complement marked exactly
// 1 is a clash with `first` alone; any other non-zero complement is a pair
// the general path must judge (inside `second`, or the pivot doubled).
unsigned single_clash_union(Rule rule, ClauseView first, ClauseView second,
                            const std::vector<unsigned>& levels, Literal* out, size_t& kept,
                            DeepestLevels& deepest, std::vector<uint8_t>& marks) {
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  constexpr uint32_t kNone = ~0u;
  uint8_t* const mark = marks.data();
  bool plain = true;  // no pair but the one clash
  size_t count = 0;
  for (const Literal& literal : first) {
    plain &= mark[literal.code ^ 1u] == 0;
    out[count] = literal;
    count += mark[literal.code] == 0;
    mark[literal.code] = 1;
  }
  uint32_t pivot_code = kNone;  // the pivot's literal in `second`
  for (const Literal& literal : second) {
    const uint8_t complement = mark[literal.code ^ 1u];
    if (complement != 0) {
      if (complement == 1 && pivot_code == kNone &&
          is_pivot_level(rule, levels[literal.variable()]))
        pivot_code = literal.code;
      else
        plain = false;
    }
    const uint8_t own = mark[literal.code];
    mark[literal.code] = own | 4u;
    if (own == 0 && literal.code != pivot_code) {
      mark[literal.code] = 6u;
      out[count++] = literal;
    }
  }
  // Clearing the marks drops the pivot's literal of `first` from the union.
  const uint32_t dropped = pivot_code ^ 1u;
  if (pivot_code != kNone) mark[pivot_code] = 0;
  size_t written = 0;
  DeepestLevels found = deepest;  // a local, kept in registers through the loop
  for (size_t i = 0; i < count; ++i) {
    const Literal literal = out[i];
    mark[literal.code] = 0;
    out[written] = literal;
    const bool keep = literal.code != dropped;
    written += keep;
    found.add_if(keep, levels[literal.variable()]);
  }
  kept = written;
  deepest = found;
  assert(marks_clear(first, marks) && marks_clear(second, marks));
  return plain && pivot_code != kNone ? pivot_code >> 1 : 0;
}

// Marks: 4 a literal of `second`, 8 one of `second` met in `first` too.
unsigned single_clash_in_place(Rule rule, Literal* literals, size_t& size, ClauseView second,
                               const std::vector<unsigned>& levels, DeepestLevels& deepest,
                               std::vector<uint8_t>& marks) {
  assert(marks_clear(ClauseView{literals, static_cast<uint32_t>(size)}, marks) &&
         marks_clear(second, marks));
  constexpr size_t kNone = ~size_t(0);
  uint8_t* const mark = marks.data();
  bool plain = true;  // no pair but the one clash
  for (const Literal& literal : second) {
    plain &= (mark[literal.code ^ 1u] & 4u) == 0;
    mark[literal.code] = 4u;
  }
  // The literals of `first` clashing with `second` are left out of the
  // levels: the pivot's is, and any other sends the step elsewhere.
  size_t slot = kNone;  // of the pivot's literal in `first`
  DeepestLevels levels_first;
  for (size_t i = 0; i < size; ++i) {
    const Literal literal = literals[i];
    const bool clash = mark[literal.code ^ 1u] != 0;
    const unsigned level = levels[literal.variable()];
    if (clash) {
      if (slot == kNone && is_pivot_level(rule, level))
        slot = i;
      else
        plain = false;
    }
    if (mark[literal.code] != 0) mark[literal.code] = 8u;
    levels_first.add_if(!clash, level);
  }
  if (!plain || slot == kNone) {
    clear_marks(second.literals, second.size, mark);
    return 0;
  }
  const uint32_t pivot_code = literals[slot].code ^ 1u;  // the pivot's literal in `second`
  std::copy(literals + slot + 1, literals + size, literals + slot);
  --size;
  deepest = levels_first;
  for (const Literal& literal : second) {
    if (mark[literal.code] == 4u && literal.code != pivot_code) {
      mark[literal.code] = 8u;  // a second copy in `second` is not new
      literals[size++] = literal;
      deepest.add(levels[literal.variable()]);
    }
  }
  clear_marks(second.literals, second.size, mark);
  return pivot_code >> 1;
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
