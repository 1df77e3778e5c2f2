// The reductions of a refutation's core, replayed for its Herbrand
// functions: every clause the refuting clause rests on is derived again from
// its recorded chain (or merge), one resolution at a time, and each
// reduction on the way is handed to the strategy in store order, which is
// proof order. Reductions inside a chain are recorded too: the clause they
// keep is the one a universal's value must answer to.

#include <cassert>
#include <string>

#include "core/exception.hpp"
#include "proof/proof_checker.hpp"
#include "proof/scratch.hpp"

void ProofChecker::extract_strategy(Strategy& strategy) {
  assert(options_.record_functions && refuting_number_ != 0);
  assert(strategy.rule() == Rule::CLAUSE);
  const uint32_t root = clause_map_[refuting_number_];
  const std::vector<uint8_t> used = core_used(root);
  const std::vector<unsigned>& levels = formula_.levels;
  Scratch& scratch = *scratch_;
  std::vector<ClauseView>& views = scratch.antecedent_clauses;
  std::vector<uint32_t> positions;
  std::vector<Literal> before, kept;
  std::vector<uint8_t>& marks = scratch.rule_marks;

  for (uint32_t record = 0; record < core_positions_.size(); ++record) {
    const uint32_t position = core_positions_[record];
    if (position > root || !used[position]) continue;
    const uint32_t begin = core_begins_[record], end = core_begins_[record + 1];
    if (begin == end) {
      // A clause taken on trust (--ignore) proves nothing a function can
      // answer to.
      uint32_t number = 0;
      for (uint64_t n = 0; n < clause_map_.size() && number == 0; ++n)
        if (clause_map_[static_cast<uint32_t>(n)] == position) number = static_cast<uint32_t>(n);
      throw Exception("Cannot build Herbrand functions: clause " + std::to_string(number) +
                      " rests on no antecedents (taken on trust with --ignore).");
    }
    if (core_merged_[record]) {
      // A merge: the antecedents' union without the clashing variables,
      // which the step showed implied by them, then one reduction.
      positions.assign(core_antecedents_.begin() + begin, core_antecedents_.begin() + end);
      load_positions(positions, views);
      merge_union(views);
      WorkingClause& merged = scratch.merged;
      merged.remove_variables(scratch.merge_pivots, marks);
      strategy.add_reduction(merged.view(), levels, kept);
      assert(replays(position, kept) && "the replay derives the stored clause");
      continue;
    }
    // A chain: each resolution's union, then its reduction; what reduction
    // keeps goes on.
    const uint32_t chain_begin = chain_begins_[record], chain_end = chain_begins_[record + 1];
    positions.assign(chain_positions_.begin() + chain_begin, chain_positions_.begin() + chain_end);
    load_positions(positions, views);
    ensure_marks(views, ClauseView());
    kept.assign(views.front().begin(), views.front().end());
    for (uint32_t i = 1; i < positions.size(); ++i) {
      const ClauseView running{kept.data(), static_cast<uint32_t>(kept.size())};
      before.resize(size_t{running.size} + views[i].size);
      size_t count = 0;
      DeepestLevels deepest;
      const ResolutionOutcome outcome =
          resolvent_union(views[i], running, chain_pivots_[chain_begin + i], levels,
                          before.data(), count, deepest, marks);
      assert(outcome == ResolutionOutcome::RESOLVED && "the recorded chain is sound");
      (void)outcome;
      strategy.add_reduction(ClauseView{before.data(), static_cast<uint32_t>(count)}, levels,
                             deepest, kept);
    }
    assert(replays(position, kept) && "the replay derives the stored clause");
  }
  // The conclusion reduces the refuting clause to the empty clause.
  positions.assign(1, root);
  load_positions(positions, views);
  strategy.add_reduction(views.front(), levels, kept);
  assert(kept.empty());
}

// For asserts: `literals` are, as a set, the clause stored at `position`.
bool ProofChecker::replays(uint32_t position, const std::vector<Literal>& literals) {
  const std::vector<Literal> stored = formula_.clauses.copy(position);
  const ClauseView set{stored.data(), static_cast<uint32_t>(stored.size())};
  ensure_marks(std::vector<ClauseView>{set}, ClauseView());
  return same_literal_set(set, ClauseView{literals.data(), static_cast<uint32_t>(literals.size())},
                          scratch_->rule_marks);
}
