// The reductions of a refutation's core, replayed for its Herbrand
// functions: every clause the refuting clause rests on is derived again
// from its recorded chain (or merge), one resolution at a time, and each
// reduction on the way is handed to the strategy in store order, which is
// proof order. Reductions inside a chain are recorded too: the clause they
// keep is the one a universal's value must answer to.

#include <cassert>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "proof/derivation.hpp"
#include "proof/refutation.hpp"

void extract_herbrand_strategy(const ProofRecord& record, const QCNF& formula,
                               Strategy& strategy) {
  assert(strategy.rule() == Rule::CLAUSE);
  const uint32_t root = record.refuted_position;
  const std::vector<uint8_t> used = core_positions(record);
  ReplayWork replay;
  for (size_t step = 0; step < record.steps.size(); ++step) {
    const ProofRecord::Step& recorded = record.steps[step];
    if (recorded.kind == ProofRecord::Kind::EXTENSION) continue;
    if (recorded.position > root || !used[recorded.position]) continue;
    // A clause taken on trust (--ignore) proves nothing a function can
    // answer to.
    if (recorded.kind == ProofRecord::Kind::TRUSTED)
      throw Exception(message::trusted_clause_in_core(recorded.number));
    const ClauseView kept = replay_step(record, step, formula, replay, &strategy);
    assert(replay_matches(record, step, formula, kept, replay) &&
           "the replay derives the stored clause");
    (void)kept;
  }
  // The conclusion reduces the refuting clause to the empty clause.
  replay.loaded.positions.assign(1, root);
  replay.loaded.load(formula.clauses);
  strategy.add_reduction(replay.loaded.views.front(), formula.levels, replay.derivation.kept);
  assert(replay.derivation.kept.empty());
}
