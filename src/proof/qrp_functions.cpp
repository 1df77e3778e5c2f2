// The reductions of a proved QRP trace's core, replayed for its functions:
// Herbrand functions of a clause refutation, Skolem functions of a cube
// proof. Each core step is derived again by derive_qrp_step, with the
// strategy as its sink, and every reduction goes to the strategy in trace
// order, which is proof order. Input clauses and initial cubes are the
// leaves: they need no rule.

#include <cassert>
#include <vector>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "proof/qrp_derivation.hpp"
#include "proof/qrp_outputs.hpp"

void extract_qrp_strategy(const QrpRecord& record, const QCNF& formula, Strategy& strategy) {
  const Rule rule = strategy.rule();
  assert(record.root != kNoPosition && rule == record.proved_rule());
  uint64_t in_core = 0;
  const std::vector<uint8_t> used = record.core_positions(in_core);
  // Functions answer to the clauses (cubes) of a resolution; a resolvent
  // that keeps a variable in both signs needs more than a decision list.
  for (const std::pair<uint32_t, uint32_t>& step : record.long_distance_steps)
    if (step.first <= record.root && used[step.first])
      throw Exception(message::qrp_functions_long_distance(rule == Rule::CLAUSE, step.second));
  QrpWorkspace workspace(2 * formula.quantifiers.size() + 2);
  PodVector<Literal> widened;
  std::vector<uint32_t> antecedents;
  std::vector<std::vector<Literal>> loaded;
  std::vector<ClauseView> views;
  QrpStepInput input;
  input.rule = rule;
  input.levels = &formula.levels;
  input.sink = &strategy;
  for (uint32_t position = record.input_clauses; position <= record.root; ++position) {
    if (!used[position]) continue;
    antecedents.clear();
    record.stored.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
    if (antecedents.empty()) continue;  // an initial cube
    // The workspace holds the constraint the last replayed step derived:
    // solvers mostly resolve on from the step before, whose constraint is
    // then not read back. A derived constraint holds distinct literals and,
    // in a core without long-distance steps, no complementary pair; an
    // input clause is taken as it stands.
    if (antecedents[0] != workspace.held)
      read_qrp_constraint(record, formula.clauses, antecedents[0], widened,
                          workspace.load_running());
    workspace.pair_free = antecedents[0] >= record.input_clauses;
    if (loaded.size() < antecedents.size()) loaded.resize(antecedents.size());
    views.assign(1, workspace.running().view());
    for (size_t i = 1; i < antecedents.size(); ++i) {
      read_qrp_constraint(record, formula.clauses, antecedents[i], widened, loaded[i]);
      views.push_back(ClauseView{loaded[i].data(), static_cast<uint32_t>(loaded[i].size())});
    }
    input.views = views.data();
    input.count = views.size();
    const QrpDerivation derivation = derive_qrp_step(input, workspace);
    assert(derivation.outcome == QrpDerivation::DERIVED && "a checked step");
    (void)derivation;
    workspace.held = position;
#ifndef NDEBUG
    std::vector<Literal> stored;
    record.stored.read_literals(position, stored);
    assert(same_literal_set(workspace.running().view(),
                            ClauseView{stored.data(), static_cast<uint32_t>(stored.size())},
                            workspace.marks) &&
           "the replay derives the stored constraint");
#endif
  }
}
