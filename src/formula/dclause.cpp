// Clause storage rules, universal reduction and Q-resolution.

#include "dclause.hpp"

#include <algorithm>
#include <sstream>

namespace {

inline uint32_t slot_of(uint32_t code, size_t mask) {
  return static_cast<uint32_t>((code * 2654435761u) & mask);
}

}  // namespace

void DClause::build_index() const {
  size_t capacity = 64;
  while (capacity < 2 * static_cast<size_t>(count) + 2) capacity *= 2;
  if (!index_) index_.reset(new std::vector<uint32_t>);
  index_->assign(capacity, 0);
  for (const Literal& literal : literals) index_insert(literal.code);
}

void DClause::index_insert(uint32_t code) const {
  std::vector<uint32_t>& index = *index_;
  const size_t mask = index.size() - 1;
  size_t slot = slot_of(code, mask);
  while (index[slot] != 0) slot = (slot + 1) & mask;
  index[slot] = code + 1;
}

bool DClause::index_contains(uint32_t code) const {
  const std::vector<uint32_t>& index = *index_;
  const size_t mask = index.size() - 1;
  for (size_t slot = slot_of(code, mask); index[slot] != 0; slot = (slot + 1) & mask)
    if (index[slot] == code + 1) return true;
  return false;
}

bool DClause::contains(const Literal& literal) const {
  if (count > kIndexedLength) {
    if (!indexed()) build_index();
    return index_contains(literal.code);
  }
  for (const Literal& present : literals)
    if (present == literal) return true;
  return false;
}

bool DClause::insert(const Literal& literal) {
  if (contains(literal)) return false;
  literals.push_back(literal);
  ++count;
  if (indexed()) {
    if (2 * static_cast<size_t>(count) + 2 > index_->size())
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
void remove_by_swap(std::vector<Literal>& literals, unsigned& count, Matches matches) {
  unsigned i = 0;
  while (i < count) {
    if (matches(literals[i])) {
      literals[i] = literals[count - 1];
      literals.pop_back();
      --count;
    } else {
      ++i;
    }
  }
}

}  // namespace

void DClause::remove(const Literal& literal) {
  remove_by_swap(literals, count, [&](const Literal& present) { return present == literal; });
  drop_index();
}

void DClause::remove(unsigned variable) {
  remove_by_swap(literals, count,
                 [&](const Literal& present) { return present.variable() == variable; });
  drop_index();
}

void DClause::clear() {
  literals.clear();
  count = 0;
  drop_index();
}

// Removals by the swap rule, replayed without rescanning the clause: the
// literals that go are listed with their current slots (sorted by code when
// there are many, so that a variable's literals and a literal that moves are
// found by binary search). remove(variable) scans from slot 0, meets the
// variable's literal in the lower slot first, moves the last literal into the
// freed slot and examines it again; the same happens here when the lower one
// goes first and the other (if any) goes from wherever it stands then.
DClause::Removal* DClause::listed(uint32_t code) {
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

void DClause::sort_removals() {
  if (removals_.size() > kFewRemovals)
    std::sort(removals_.begin(), removals_.end(),
              [](const Removal& a, const Removal& b) { return a.code < b.code; });
}

template <typename Moved>
void DClause::remove_listed(unsigned variable, Moved moved) {
  Removal* positive = listed(variable << 1);
  Removal* negative = listed((variable << 1) | 1u);
  if (positive && positive->slot == Removal::kGone) positive = nullptr;
  if (negative && negative->slot == Removal::kGone) negative = nullptr;
  if (positive && negative && negative->slot < positive->slot) std::swap(positive, negative);
  for (Removal* removal : {positive, negative}) {
    if (!removal) continue;
    const uint32_t slot = removal->slot;
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

void DClause::remove_variables(const std::vector<unsigned>& variables,
                               std::vector<uint8_t>& marks) {
  if (variables.empty()) return;
  for (unsigned variable : variables) marks[variable << 1] = marks[(variable << 1) | 1u] = 1;
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
  count = static_cast<unsigned>(literals.size());
  drop_index();
}

// Universal reduction: while the deepest literal (the first in storage order
// among those of greatest level; level 0 never counts) is universal, remove
// its variable. One pass finds the deepest level; in most clauses it is
// existential and nothing goes. Otherwise the universal literals deeper than
// every existential one go, deepest level first and within a level by their
// current slots, which moves change. When many go, a heap ordered by (level,
// slot) holds an entry per listed literal and slot it has had, and an entry
// whose literal has moved on is skipped.
void DClause::reduce(const std::vector<unsigned>& levels) {
  unsigned deepest[2] = {0, 0};  // deepest existential (even) and universal (odd) level
  for (const Literal& literal : literals) {
    const unsigned level = levels[literal.variable()];
    deepest[level & 1u] = std::max(deepest[level & 1u], level);
  }
  if (deepest[1] > deepest[0]) remove_universals_below(levels, deepest[0]);
}

// Removes the universal literals deeper than `kept_level`, the deepest
// existential level of the clause, as reduction would.
void DClause::remove_universals_below(const std::vector<unsigned>& levels, unsigned kept_level) {
  // The literals that go, written for every literal and kept by advancing
  // the end only for those that go: no branch to mispredict.
  removals_.resize(count);
  size_t listed = 0;
  for (uint32_t slot = 0; slot < count; ++slot) {
    const uint32_t code = literals[slot].code;
    const unsigned level = levels[code >> 1];
    removals_[listed] = {code, slot, level};
    listed += (level & 1u) & static_cast<unsigned>(level > kept_level);
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
  count = static_cast<unsigned>(literals.size());
  drop_index();
}

bool DClause::tautological() const {
  for (const Literal& literal : literals)
    if (contains(literal.complement())) return true;
  return false;
}

// One pass over both clauses builds the union without the pivot (first's
// literals, then second's new ones), finds each clause's first pivot literal
// and whether a second, complementary one follows, and tests for a literal
// whose complement is already in the union (which finds every complementary
// pair, whichever comes first). Literals are written unconditionally and
// kept by advancing the end only for new ones, which spares a branch that
// no predictor could guess.
ResolutionOutcome resolve(ClauseView first, ClauseView second, unsigned pivot,
                          const std::vector<unsigned>& levels, DClause& result,
                          std::vector<uint8_t>& marks) {
  constexpr uint32_t kAbsent = ~0u;
  result.clear();
  std::vector<Literal>& union_literals = result.literals;
  union_literals.resize(static_cast<size_t>(first.size) + second.size);
  Literal* out = union_literals.data();
  size_t kept = 0;
  bool tautology = false;
  uint32_t pivot_codes[2] = {kAbsent, kAbsent};  // first pivot literal of each clause
  unsigned deepest[2] = {0, 0};  // deepest existential and universal level, as reduce finds them
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
      tautology |= marks[literal.code ^ 1u] != 0;
      const bool fresh = marks[literal.code] == 0;
      marks[literal.code] = 1;
      out[kept] = literal;
      kept += fresh;
      const unsigned level = levels[literal.variable()];
      deepest[level & 1u] = std::max(deepest[level & 1u], level);
    }
  for (size_t i = 0; i < kept; ++i) marks[out[i].code] = 0;
  if (pivot_codes[0] == kAbsent || pivot_codes[1] == kAbsent ||
      (pivot_codes[0] & 1u) == (pivot_codes[1] & 1u)) {
    union_literals.clear();
    return ResolutionOutcome::NO_CLASH;
  }
  union_literals.resize(kept);
  result.count = static_cast<unsigned>(kept);
  // The tautology test looks at the union before reduction: reducing
  // (u, -u) would otherwise turn a forbidden step into the empty clause.
  if (deepest[1] > deepest[0]) result.remove_universals_below(levels, deepest[0]);
  return tautology ? ResolutionOutcome::TAUTOLOGICAL : ResolutionOutcome::RESOLVED;
}

void DClause::assign(ClauseView clause) {
  literals.assign(clause.begin(), clause.end());
  count = clause.size;
  drop_index();
}

std::string DClause::to_string() const {
  return ::to_string(view());
}
