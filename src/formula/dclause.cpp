// Clause storage rules, universal reduction and Q-resolution.

#include "dclause.hpp"

#include <functional>
#include <map>
#include <queue>
#include <sstream>
#include <unordered_map>

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

namespace {

// Removes variables from a clause by the swap rule, one variable at a time,
// exactly as remove(unsigned) would, but finding each variable's literals
// through a map from code to slot instead of scanning the clause: removing
// many variables from a long clause would otherwise be quadratic. A
// variable has at most two literals; the scan of remove(unsigned) meets the
// one in the lower slot first, and a literal moved into a freed slot is
// examined again.
class SwapRemover {
 public:
  explicit SwapRemover(std::vector<Literal>& literals) : literals_(literals) {
    slot_.reserve(literals.size() * 2);
    for (uint32_t slot = 0; slot < literals.size(); ++slot) slot_[literals[slot].code] = slot;
  }

  // `moved(literal, slot)` is called for every literal that changes slot.
  template <typename Moved>
  void remove(unsigned variable, Moved moved) {
    for (;;) {
      uint32_t lowest = kAbsent;
      for (uint32_t code : {variable << 1, (variable << 1) | 1u}) {
        const auto found = slot_.find(code);
        if (found != slot_.end() && found->second < lowest) lowest = found->second;
      }
      if (lowest == kAbsent) return;
      slot_.erase(literals_[lowest].code);
      const Literal last = literals_.back();
      literals_.pop_back();
      if (lowest < literals_.size()) {
        literals_[lowest] = last;
        slot_[last.code] = lowest;
        moved(last, lowest);
      }
    }
  }

 private:
  static constexpr uint32_t kAbsent = ~0u;
  std::vector<Literal>& literals_;
  std::unordered_map<uint32_t, uint32_t> slot_;  // literal code -> slot in literals_
};

}  // namespace

void DClause::remove_variables(const std::vector<unsigned>& variables) {
  if (static_cast<size_t>(count) * variables.size() <= kPlainWork) {
    for (unsigned variable : variables) remove(variable);
    return;
  }
  SwapRemover remover(literals);
  for (unsigned variable : variables) remover.remove(variable, [](const Literal&, uint32_t) {});
  count = static_cast<unsigned>(literals.size());
  drop_index();
}

// Universal reduction: while the deepest literal (the first in storage order
// among those of greatest level; level 0 never counts) is universal, remove
// its variable. A few rounds are done by plain scans; a clause that loses
// many universal variables is finished by reduce_many.
void DClause::reduce(const std::vector<unsigned>& levels,
                     const std::vector<Quantifier>& variables) {
  for (int round = 0; count != 0; ++round) {
    if (round >= 4 && static_cast<size_t>(round) * count > kPlainWork) {
      reduce_many(levels, variables);
      return;
    }
    unsigned max_level = 0;
    unsigned deepest_variable = 0;
    Quantifier::Type deepest_type = Quantifier::UNIVERSAL;
    for (const Literal& literal : literals) {
      const unsigned variable = literal.variable();
      if (levels[variable] > max_level) {
        max_level = levels[variable];
        deepest_variable = variable;
        deepest_type = variables[variable].type;
      }
    }
    if (deepest_type != Quantifier::UNIVERSAL || deepest_variable == 0) return;
    remove(deepest_variable);
  }
}

// The same result in O(k log k). The universal literals that go are those
// deeper than every other literal; they go level by level, deepest first,
// and within a level in the order of their current slots, which the swap
// rule changes as literals move: a heap per level holds (slot, code), and an
// entry whose literal has moved since is skipped.
void DClause::reduce_many(const std::vector<unsigned>& levels,
                          const std::vector<Quantifier>& variables) {
  unsigned kept_level = 0;  // deepest level of a literal that is not universal
  for (const Literal& literal : literals)
    if (variables[literal.variable()].type != Quantifier::UNIVERSAL &&
        levels[literal.variable()] > kept_level)
      kept_level = levels[literal.variable()];

  using Entry = std::pair<uint32_t, uint32_t>;  // (slot, literal code)
  std::map<unsigned, std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>>,
           std::greater<unsigned>>
      removable;  // level -> its literals, deepest level first
  for (uint32_t slot = 0; slot < literals.size(); ++slot) {
    const unsigned variable = literals[slot].variable();
    if (variables[variable].type == Quantifier::UNIVERSAL && levels[variable] > kept_level)
      removable[levels[variable]].push({slot, literals[slot].code});
  }
  if (removable.empty()) return;

  SwapRemover remover(literals);
  auto moved = [&](const Literal& literal, uint32_t slot) {
    const unsigned variable = literal.variable();
    if (variables[variable].type == Quantifier::UNIVERSAL && levels[variable] > kept_level)
      removable[levels[variable]].push({slot, literal.code});
  };
  for (auto& level : removable) {
    auto& heap = level.second;
    while (!heap.empty()) {
      const Entry entry = heap.top();
      heap.pop();
      if (entry.first >= literals.size() || literals[entry.first].code != entry.second) continue;
      remover.remove(entry.second >> 1, moved);
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

namespace {

// The first literal of the pivot in `clause`, or null; `doubled` is set when
// a second, complementary one follows.
const Literal* pivot_literal(ClauseView clause, unsigned pivot, bool& doubled) {
  const Literal* found = nullptr;
  for (const Literal& literal : clause)
    if (literal.variable() == pivot) {
      if (!found)
        found = &literal;
      else if (*found != literal)
        doubled = true;
    }
  return found;
}

}  // namespace

ResolutionOutcome resolve(ClauseView first, ClauseView second, unsigned pivot,
                          const std::vector<unsigned>& levels,
                          const std::vector<Quantifier>& variables, DClause& result,
                          std::vector<uint8_t>& marks) {
  bool doubled_pivot = false;
  const Literal* mine = pivot_literal(first, pivot, doubled_pivot);
  const Literal* theirs = pivot_literal(second, pivot, doubled_pivot);
  result.clear();
  if (!mine || !theirs || mine->negative() == theirs->negative())
    return ResolutionOutcome::NO_CLASH;

  std::vector<Literal>& union_literals = result.literals;
  union_literals.reserve(first.size + second.size);
  for (const ClauseView clause : {first, second})
    for (const Literal& literal : clause)
      if (literal.variable() != pivot && !marks[literal.code]) {
        marks[literal.code] = 1;
        union_literals.push_back(literal);
      }
  bool tautology = doubled_pivot;
  for (const Literal& literal : union_literals)
    if (marks[literal.code ^ 1u]) tautology = true;
  for (const Literal& literal : union_literals) marks[literal.code] = 0;
  result.count = static_cast<unsigned>(union_literals.size());
  // The tautology test looks at the union before reduction: reducing
  // (u, -u) would otherwise turn a forbidden step into the empty clause.
  result.reduce(levels, variables);
  return tautology ? ResolutionOutcome::TAUTOLOGICAL : ResolutionOutcome::RESOLVED;
}

void DClause::assign(ClauseView clause) {
  literals.assign(clause.begin(), clause.end());
  count = clause.size;
  drop_index();
}

std::string DClause::to_string() const { return ::to_string(view()); }
