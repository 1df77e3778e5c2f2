// The reductions of a proved QRP trace's core, replayed for its functions:
// Herbrand functions of a clause refutation, Skolem functions of a cube
// proof. Each core step is derived again as the checker derived it (its
// antecedents in the listed order, each resolution followed by reduction;
// one antecedent: reduction alone), and every reduction goes to the
// strategy in trace order, which is proof order. Input clauses and initial
// cubes are the leaves: they need no rule.

#include <algorithm>
#include <cassert>
#include <string>

#include "core/exception.hpp"
#include "proof/qrp_checker.hpp"

Rule QrpChecker::proved_rule() const {
  assert(root_ != kNoPosition);
  return rule_of(kinds_[root_]);
}

void QrpChecker::extract_strategy(Strategy& strategy) {
  const Rule rule = strategy.rule();
  assert(root_ != kNoPosition && rule == proved_rule());
  uint64_t in_core = 0;
  const std::vector<uint8_t> used = core_positions(in_core);
  // Functions answer to the clauses (cubes) of a resolution; a resolvent
  // that keeps a variable in both signs needs more than a decision list.
  for (const std::pair<uint32_t, uint32_t>& step : long_distance_steps_)
    if (step.first <= root_ && used[step.first])
      throw Exception(std::string("Cannot build ") +
                      (rule == Rule::CLAUSE ? "Herbrand" : "Skolem") +
                      " functions: step " + std::to_string(step.second) +
                      " is a long-distance resolution (its resolvent holds a " +
                      (rule == Rule::CLAUSE ? "universal" : "existential") +
                      " variable in both signs); functions are built from proofs without "
                      "long-distance steps.");
  const std::vector<unsigned>& levels = formula_.levels;
  std::vector<uint32_t> antecedents;
  std::vector<Literal> before, kept;
  // `kept` holds the constraint derived at position `held`: solvers mostly
  // resolve on from the step before, whose constraint is then not read back.
  uint32_t held = kNoPosition;
  for (uint32_t position = input_clauses_; position <= root_; ++position) {
    if (!used[position]) continue;
    antecedents.clear();
    derived_.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
    if (antecedents.empty()) continue;  // an initial cube
    if (antecedents[0] != held) read_constraint(antecedents[0], kept);
    held = position;
    if (antecedents.size() == 1) {
      before.assign(kept.begin(), kept.end());
      strategy.add_reduction(ClauseView{before.data(), static_cast<uint32_t>(before.size())},
                             levels, kept);
      assert(replays(position, kept) && "the replay derives the stored constraint");
      continue;
    }
    if (loaded_.size() < antecedents.size()) loaded_.resize(antecedents.size());
    views_.assign(1, ClauseView());
    for (size_t i = 1; i < antecedents.size(); ++i) {
      read_constraint(antecedents[i], loaded_[i]);
      views_.push_back(ClauseView{loaded_[i].data(), static_cast<uint32_t>(loaded_[i].size())});
    }
    // A derived constraint holds distinct literals and, in a core without
    // long-distance steps, no complementary pair: it may be resolved in
    // place. An input clause is taken as it stands.
    bool pair_free = antecedents[0] >= input_clauses_;
    for (size_t i = 1; i < views_.size(); ++i) {
      const ClauseView running{kept.data(), static_cast<uint32_t>(kept.size())};
      before.resize(size_t{running.size} + views_[i].size);
      size_t count = 0;
      DeepestLevels deepest;
      // The checker's common cases first, then its general path.
      bool resolved;
      if (pair_free) {
        std::copy(kept.begin(), kept.end(), before.begin());
        count = kept.size();
        resolved = single_clash_in_place(rule, before.data(), count, views_[i], levels, deepest,
                                         marks_) != 0;
      } else {
        resolved = single_clash_union(rule, running, views_[i], levels, before.data(), count,
                                      deepest, marks_) != 0;
      }
      pair_free = true;
      if (!resolved) {
        bool several = false;
        const unsigned pivot = clashing_pivot(rule, running, views_[i], levels, marks_, several);
        assert(pivot != 0 && !several && "a checked step");
        count = 0;
        deepest = DeepestLevels();
        const ResolutionOutcome outcome = resolvent_union(running, views_[i], pivot, levels,
                                                          before.data(), count, deepest, marks_);
        assert(outcome == ResolutionOutcome::RESOLVED && "long-distance steps are refused above");
        (void)outcome;
      }
      strategy.add_reduction(ClauseView{before.data(), static_cast<uint32_t>(count)}, levels,
                             deepest, kept);
    }
    assert(replays(position, kept) && "the replay derives the stored constraint");
  }
}

// For asserts: `literals` are, as a set, the constraint stored at `position`.
bool QrpChecker::replays(uint32_t position, const std::vector<Literal>& literals) {
  std::vector<Literal> stored;
  read_constraint(position, stored);
  return same_literal_set(ClauseView{stored.data(), static_cast<uint32_t>(stored.size())},
                          ClauseView{literals.data(), static_cast<uint32_t>(literals.size())},
                          marks_);
}
