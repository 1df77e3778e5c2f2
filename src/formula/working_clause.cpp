// Clause storage: lookups, removals by the swap rule, reduction and
// resolution in storage order.

#include "working_clause.hpp"

#include <algorithm>
#include <cassert>
#include <sstream>

namespace {

inline uint32_t slot_of(uint32_t code, size_t mask) {
  return static_cast<uint32_t>((code * 2654435761u) & mask);
}

}  // namespace

void WorkingClause::build_index() const {
  size_t capacity = 64;
  while (capacity < 2 * literals.size() + 2) capacity *= 2;
  if (!index_) index_.reset(new std::vector<uint32_t>);
  index_->assign(capacity, 0);
  assert((capacity & (capacity - 1)) == 0);  // slot_of masks
  for (const Literal& literal : literals) index_insert(literal.code);
}

void WorkingClause::index_insert(uint32_t code) const {
  std::vector<uint32_t>& index = *index_;
  const size_t mask = index.size() - 1;
  assert(2 * literals.size() + 2 <= index.size());  // a free slot is always found
  size_t slot = slot_of(code, mask);
  while (index[slot] != 0) slot = (slot + 1) & mask;
  index[slot] = code + 1;
}

bool WorkingClause::index_contains(uint32_t code) const {
  const std::vector<uint32_t>& index = *index_;
  const size_t mask = index.size() - 1;
  for (size_t slot = slot_of(code, mask); index[slot] != 0; slot = (slot + 1) & mask)
    if (index[slot] == code + 1) return true;
  return false;
}

bool WorkingClause::contains(const Literal& literal) const {
  if (literals.size() > kIndexedLength) {
    if (!indexed()) build_index();
    return index_contains(literal.code);
  }
  for (const Literal& present : literals)
    if (present == literal) return true;
  return false;
}

bool WorkingClause::insert(const Literal& literal) {
  assert(literal.variable() != 0);
  if (contains(literal)) return false;
  literals.push_back(literal);
  if (indexed()) {
    if (2 * literals.size() + 2 > index_->size())
      build_index();
    else
      index_insert(literal.code);
  }
  return true;
}

namespace {

// The swap rule: a matching literal is replaced by the last one, and the slot
// is examined again.
template <typename Matches>
void remove_by_swap(std::vector<Literal>& literals, Matches matches) {
  size_t i = 0;
  while (i < literals.size()) {
    if (matches(literals[i])) {
      literals[i] = literals.back();
      literals.pop_back();
    } else {
      ++i;
    }
  }
}

}  // namespace

void WorkingClause::remove(const Literal& literal) {
  remove_by_swap(literals, [&](const Literal& present) { return present == literal; });
  drop_index();
}

void WorkingClause::remove(unsigned variable) {
  remove_by_swap(literals,
                 [&](const Literal& present) { return present.variable() == variable; });
  drop_index();
}

void WorkingClause::clear() {
  literals.clear();
  drop_index();
}

// Removals by the swap rule, replayed without rescanning the clause: the
// literals that go are listed with their current slots (sorted by code when
// there are many, so that a variable's literals and a literal that moves are
// found by binary search). remove(variable) scans from slot 0, meets the
// variable's literal in the lower slot first, moves the last literal into the
// freed slot and examines it again; the same happens here when the lower one
// goes first and the other (if any) goes from wherever it stands then.
WorkingClause::Removal* WorkingClause::listed(uint32_t code) {
  if (removals_.size() <= kFewRemovals) {
    for (Removal& removal : removals_)
      if (removal.code == code) return &removal;
    return nullptr;
  }
  const auto found = std::lower_bound(
      removals_.begin(), removals_.end(), code,
      [](const Removal& removal, uint32_t wanted) { return removal.code < wanted; });
  return found != removals_.end() && found->code == code ? &*found : nullptr;
}

void WorkingClause::sort_removals() {
  if (removals_.size() > kFewRemovals)
    std::sort(removals_.begin(), removals_.end(),
              [](const Removal& a, const Removal& b) { return a.code < b.code; });
}

template <typename Moved>
void WorkingClause::remove_listed(unsigned variable, Moved moved) {
  Removal* positive = listed(variable << 1);
  Removal* negative = listed((variable << 1) | 1u);
  if (positive && positive->slot == Removal::kGone) positive = nullptr;
  if (negative && negative->slot == Removal::kGone) negative = nullptr;
  if (positive && negative && negative->slot < positive->slot) std::swap(positive, negative);
  for (Removal* removal : {positive, negative}) {
    if (!removal) continue;
    const uint32_t slot = removal->slot;
    assert(slot < literals.size() && literals[slot].code == removal->code);
    removal->slot = Removal::kGone;
    const Literal last = literals.back();
    literals.pop_back();
    if (slot == literals.size()) continue;
    literals[slot] = last;
    if (Removal* moving = listed(last.code)) {
      moving->slot = slot;
      moved(*moving);
    }
  }
}

void WorkingClause::remove_variables(const std::vector<unsigned>& variables,
                               std::vector<uint8_t>& marks) {
  if (variables.empty()) return;
  assert(marks_clear(view(), marks));
  for (unsigned variable : variables) marks[variable << 1] = marks[(variable << 1) | 1u] = 1;
  const uint32_t count = size();
  removals_.resize(count);
  size_t listed = 0;
  for (uint32_t slot = 0; slot < count; ++slot) {
    removals_[listed] = {literals[slot].code, slot, 0};
    listed += marks[literals[slot].code];
  }
  removals_.resize(listed);
  for (unsigned variable : variables) marks[variable << 1] = marks[(variable << 1) | 1u] = 0;
  sort_removals();
  for (unsigned variable : variables) remove_listed(variable, [](const Removal&) {});
  assert(marks_clear(view(), marks));
  drop_index();
}

// Reduction: while the deepest literal (the first in storage order among
// those of greatest level) is one the rule removes, remove its variable.
// One pass finds the deepest level of each quantifier; in most clauses
// nothing goes. Otherwise the literals the rule removes go, deepest level
// first and within a level by their current slots, which moves change. When
// many go, a heap ordered by (level, slot) holds an entry per listed literal
// and slot it has had, and an entry whose literal has moved on is skipped.
void WorkingClause::reduce(Rule rule, const std::vector<unsigned>& levels) {
  DeepestLevels deepest;
  for (const Literal& literal : literals) deepest.add(levels[literal.variable()]);
  if (deepest.reduces(rule)) remove_reduced(rule, deepest.bound(rule), levels);
  assert(reduced(rule, view(), levels));
}

// Removes the literals reduction removes given the clause's bound. The
// common case: the literals that go lie on at most kScanLevels levels and
// no variable goes with both its literals. Deepest level first and, within
// a level, by current slots is then one scan by the swap rule per level,
// deepest first: within a level the scan meets the literal of the lowest
// slot first, and the last literal moved into a freed slot is examined
// again, where it is the lowest of its level if it goes; a removal moves no
// literal behind the scan. Otherwise (a complementary pair, whose second
// literal must go right after the first from wherever it stands, or many
// levels) the literals that go are listed with their slots and taken by
// rounds when few, else through a heap ordered by (level, slot) holding an
// entry per listed literal and slot it has had, an entry whose literal has
// moved on skipped.
void WorkingClause::remove_reduced(Rule rule, unsigned bound, const std::vector<unsigned>& levels,
                                   bool pair_free) {
  const uint32_t count = size();
  unsigned scan[kScanLevels];
  size_t scan_count = 0;
  bool few_levels = true;
  bool pair = false;
  for (const Literal& literal : literals) {
    const unsigned level = levels[literal.variable()];
    if (!is_removed(rule, bound, level)) continue;
    // Both literals of a variable lie on one level, so a pair is a literal
    // that goes whose complement is in the clause.
    pair = pair || (!pair_free && contains(literal.complement()));
    if (std::find(scan, scan + scan_count, level) != scan + scan_count) continue;
    if (scan_count == kScanLevels) {
      few_levels = false;
      break;
    }
    scan[scan_count++] = level;
  }
  assert(scan_count > 0);  // called when something goes
  if (few_levels && !pair) {
    for (size_t i = 1; i < scan_count; ++i)  // deepest first; a handful of levels
      for (size_t j = i; j > 0 && scan[j - 1] < scan[j]; --j) std::swap(scan[j - 1], scan[j]);
    for (size_t i = 0; i < scan_count; ++i)
      remove_by_swap(literals, [&](const Literal& present) {
        return levels[present.variable()] == scan[i];
      });
    drop_index();
    return;
  }
  // The literals that go, written for every literal and kept by advancing
  // the end only for those that go: no branch to mispredict.
  removals_.resize(count);
  size_t listed = 0;
  for (uint32_t slot = 0; slot < count; ++slot) {
    const uint32_t code = literals[slot].code;
    const unsigned level = levels[code >> 1];
    removals_[listed] = {code, slot, level};
    listed += is_removed(rule, bound, level);
  }
  removals_.resize(listed);
  if (removals_.size() <= kFewRemovals) {
    // Few literals go: each round looks for the deepest among them.
    for (;;) {
      const Removal* deepest = nullptr;
      for (const Removal& removal : removals_)
        if (removal.slot != Removal::kGone &&
            (!deepest || removal.level > deepest->level ||
             (removal.level == deepest->level && removal.slot < deepest->slot)))
          deepest = &removal;
      if (!deepest) break;
      remove_listed(deepest->code >> 1, [](const Removal&) {});
    }
  } else {
    pending_.clear();
    for (const Removal& removal : removals_)
      pending_.push_back({removal.level, removal.slot, removal.code});
    sort_removals();
    // std::*_heap keeps the greatest first: the deepest level, then the lowest slot.
    const auto later = [](const Pending& a, const Pending& b) {
      return a.level != b.level ? a.level < b.level : a.slot > b.slot;
    };
    std::make_heap(pending_.begin(), pending_.end(), later);
    const auto moved = [&](const Removal& removal) {
      pending_.push_back({removal.level, removal.slot, removal.code});
      std::push_heap(pending_.begin(), pending_.end(), later);
    };
    while (!pending_.empty()) {
      std::pop_heap(pending_.begin(), pending_.end(), later);
      const Pending next = pending_.back();
      pending_.pop_back();
      if (next.slot >= literals.size() || literals[next.slot].code != next.code) continue;
      remove_listed(next.code >> 1, moved);
    }
  }
  assert(literals.size() + listed == count);
  drop_index();
}

// The clause becomes the union `build(out, kept, deepest)` writes (room for
// `room` literals), reduced when build returns true and the levels call for
// it; `pair_free` as for remove_reduced.
template <typename Build>
void WorkingClause::reduced_union(Rule rule, size_t room, const std::vector<unsigned>& levels,
                                  bool pair_free, Build build) {
  clear();
  literals.resize(room);
  size_t kept = 0;
  DeepestLevels deepest;
  const bool reduce = build(literals.data(), kept, deepest);
  literals.resize(kept);
  if (reduce && deepest.reduces(rule)) remove_reduced(rule, deepest.bound(rule), levels, pair_free);
}

ResolutionOutcome resolve(Rule rule, ClauseView first, ClauseView second, unsigned pivot,
                          const std::vector<unsigned>& levels, WorkingClause& result,
                          std::vector<uint8_t>& marks) {
  ResolutionOutcome outcome = ResolutionOutcome::NO_CLASH;
  result.reduced_union(rule, static_cast<size_t>(first.size) + second.size, levels, false,
                       [&](Literal* out, size_t& kept, DeepestLevels& deepest) {
                         outcome = resolvent_union(first, second, pivot, levels, out, kept,
                                                   deepest, marks);
                         return outcome != ResolutionOutcome::NO_CLASH;
                       });
  assert(reduced(rule, result.view(), levels));
  return outcome;
}

unsigned resolve_single_clash(Rule rule, ClauseView first, ClauseView second,
                              const std::vector<unsigned>& levels, WorkingClause& result,
                              std::vector<uint8_t>& marks) {
  unsigned pivot = 0;
  result.reduced_union(rule, static_cast<size_t>(first.size) + second.size, levels, true,
                       [&](Literal* out, size_t& kept, DeepestLevels& deepest) {
                         pivot = single_clash_union(rule, first, second, levels, out, kept,
                                                    deepest, marks);
                         return pivot != 0;
                       });
  assert(pivot == 0 || reduced(rule, result.view(), levels));
  return pivot;
}

unsigned resolve_single_clash_in_place(Rule rule, WorkingClause& clause, ClauseView second,
                                       const std::vector<unsigned>& levels,
                                       std::vector<uint8_t>& marks) {
  std::vector<Literal>& literals = clause.literals;
  size_t size = literals.size();
  literals.resize(size + second.size);
  DeepestLevels deepest;
  const unsigned pivot =
      single_clash_in_place(rule, literals.data(), size, second, levels, deepest, marks);
  literals.resize(size);
  if (pivot == 0) return 0;
  clause.drop_index();
  if (deepest.reduces(rule)) clause.remove_reduced(rule, deepest.bound(rule), levels, true);
  assert(reduced(rule, clause.view(), levels));
  return pivot;
}

void WorkingClause::assign(ClauseView clause) {
  literals.assign(clause.begin(), clause.end());
  drop_index();
}

std::string WorkingClause::to_string() const {
  return ::to_string(view());
}
