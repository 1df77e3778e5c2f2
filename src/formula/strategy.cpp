// Recording the reductions of a proof as rules of functions.

#include "formula/strategy.hpp"

void Strategy::add_reduction(ClauseView before, const std::vector<unsigned>& levels,
                             std::vector<Literal>& kept) {
  DeepestLevels deepest;
  for (const Literal& literal : before) deepest.add(levels[literal.variable()]);
  add_reduction(before, levels, deepest, kept);
}

void Strategy::add_reduction(ClauseView before, const std::vector<unsigned>& levels,
                             const DeepestLevels& deepest, std::vector<Literal>& kept) {
  kept.clear();
  if (!deepest.reduces(rule_)) {
    kept.assign(before.begin(), before.end());
    return;
  }
  const unsigned bound = deepest.bound(rule_);
  const uint32_t index = conditions();
  for (const Literal& literal : before) {
    if (is_removed(rule_, bound, levels[literal.variable()]))
      entries_.push_back(Entry{literal, index});
    else
      kept.push_back(literal);
  }
  condition_literals_.insert(condition_literals_.end(), kept.begin(), kept.end());
  condition_begins_.push_back(condition_literals_.size());
}
