// The derivation of one QRP step (qrp_derivation.hpp): resolutions and
// reductions on the working clauses, the indexed constraint for long
// chains, and the replay order of a reduction sink; the stored constraints
// read back for a replay.

#include "proof/qrp_derivation.hpp"

#include <algorithm>
#include <cassert>
#include <utility>

namespace {

// A step switches to the indexed constraint when its passes over the
// running constraint exceed this many times its listed numbers and its
// antecedents' literals.
constexpr uint64_t kIndexedSwitch = 8;

// The faults, at the antecedent `place`: it meets the running constraint
// in no pivot (`pivot` 0) or in several (clashing_pivot's answer), or
// resolving on `pivot` leaves a pair of `variable` that is refused.
void no_single_clash(QrpDerivation& derivation, size_t place, unsigned pivot) {
  derivation.outcome = QrpDerivation::NO_SINGLE_CLASH;
  derivation.place = place;
  derivation.several = pivot != 0;
}
void refused_pair(QrpDerivation& derivation, size_t place, unsigned pivot, unsigned variable) {
  derivation.outcome = QrpDerivation::REFUSED_PAIR;
  derivation.place = place;
  derivation.pivot = pivot;
  derivation.variable = variable;
}

// The derivation with a sink: each resolvent is built before its reduction
// (the rules' unions), handed to the sink, which reduces it into the
// running constraint. Only steps without long-distance pairs come here.
QrpDerivation derive_into_sink(const QrpStepInput& input, QrpWorkspace& workspace) {
  const Rule rule = input.rule;
  const std::vector<unsigned>& levels = *input.levels;
  Strategy& sink = *input.sink;
  std::vector<Literal>& kept = workspace.running().overwrite();
  std::vector<Literal>& before = workspace.before;
  QrpDerivation derivation;
  if (input.count == 1) {
    before.assign(kept.begin(), kept.end());
    sink.add_reduction(ClauseView{before.data(), static_cast<uint32_t>(before.size())}, levels,
                       kept);
    return derivation;
  }
  // A derived constraint holds distinct literals and, without long-distance
  // steps, no complementary pair: it may be resolved in place.
  bool pair_free = workspace.pair_free;
  for (size_t i = 1; i < input.count; ++i) {
    const ClauseView second = input.views[i];
    const ClauseView running{kept.data(), static_cast<uint32_t>(kept.size())};
    before.resize(size_t{running.size} + second.size);
    derivation.work += running.size + second.size;
    size_t count = 0;
    DeepestLevels deepest;
    // The common cases first, then the general path.
    bool resolved;
    if (pair_free) {
      std::copy(kept.begin(), kept.end(), before.begin());
      count = kept.size();
      resolved = single_clash_in_place(rule, before.data(), count, second, levels, deepest,
                                       workspace.marks) != 0;
    } else {
      resolved = single_clash_union(rule, running, second, levels, before.data(), count, deepest,
                                    workspace.marks) != 0;
    }
    pair_free = true;
    if (!resolved) {
      bool several = false;
      const unsigned pivot = clashing_pivot(rule, running, second, levels, workspace.marks, several);
      if (pivot == 0 || several) {
        no_single_clash(derivation, i, pivot);
        return derivation;
      }
      count = 0;
      deepest = DeepestLevels();
      if (resolvent_union(running, second, pivot, levels, before.data(), count, deepest,
                          workspace.marks) != ResolutionOutcome::RESOLVED) {
        // Without long-distance steps every pair is refused; the sink's
        // callers hold checked steps, so this is not reached.
        refused_pair(derivation, i, pivot, pivot);
        return derivation;
      }
    }
    sink.add_reduction(ClauseView{before.data(), static_cast<uint32_t>(count)}, levels, deepest,
                       kept);
  }
  workspace.pair_free = true;
  return derivation;
}

}  // namespace

// Each resolution passes over the running constraint. When a step's passes
// outgrow what it lists and what its antecedents hold, the chain goes on in
// the indexed constraint, where a resolution costs the antecedent's size: a
// step is then linear in its numbers. The indexed constraint gives the same
// set in another order (`switched` tells the caller).
QrpDerivation derive_qrp_step(const QrpStepInput& input, QrpWorkspace& workspace) {
  assert(input.count >= 1 && input.views[0].literals == workspace.running().literals.data());
  workspace.held = kNoPosition;  // the chain changes the running constraint from here on
  if (input.sink) return derive_into_sink(input, workspace);
  const Rule rule = input.rule;
  const std::vector<unsigned>& levels = *input.levels;
  std::vector<uint8_t>& marks = workspace.marks;
  IndexedConstraint& chain = workspace.chain;
  WorkingClause* running = &workspace.clauses[workspace.current];
  WorkingClause* result = &workspace.clauses[workspace.current ^ 1u];
  QrpDerivation derivation;
  // The running constraint holds distinct literals and no complementary
  // pair when it was derived by the single-clash resolutions below
  // (reduction removes literals only, so it keeps this).
  bool pair_free = workspace.pair_free;
  if (input.count == 1) running->reduce(rule, levels);
  uint64_t linear = input.listed;
  bool indexed = false, switched = !input.allow_indexed;
  for (size_t i = 1; i < input.count; ++i) {
    const ClauseView second = input.views[i];
    linear += second.size;
    if (!switched && derivation.work > kIndexedSwitch * linear) {
      switched = true;
      if (!chain.sized()) chain.reset(marks.size(), levels);
      indexed = chain.load(running->view(), levels);
    }
    if (indexed) {
      if (chain.resolve(rule, second, levels, marks) != 0) continue;
      chain.take(running->overwrite(), levels);
      indexed = false;
      pair_free = true;
    }
    const uint64_t pass = running->size() + second.size;
    derivation.work += pass;
    if (input.work_done + derivation.work > input.work_bound) {
      derivation.outcome = QrpDerivation::WORK_BOUND;
      derivation.place = i;
      break;
    }
    // Mostly the two meet in the pivot alone: one pass finds and resolves
    // it, in place when the running constraint is known to be pair-free.
    if (pair_free && resolve_single_clash_in_place(rule, *running, second, levels, marks) != 0)
      continue;
    if (resolve_single_clash(rule, running->view(), second, levels, *result, marks) != 0) {
      std::swap(running, result);
      pair_free = true;
      continue;
    }
    pair_free = false;
    bool several = false;
    const unsigned pivot = clashing_pivot(rule, running->view(), second, levels, marks, several);
    if (pivot == 0 || several) {
      no_single_clash(derivation, i, pivot);
      break;
    }
    const ResolutionOutcome outcome =
        resolve(rule, running->view(), second, pivot, levels, *result, marks);
    if (outcome != ResolutionOutcome::RESOLVED) {
      const unsigned refused =
          refused_long_distance_pair(rule, running->view(), second, pivot, levels, marks);
      if (outcome == ResolutionOutcome::NO_CLASH || refused != 0) {
        refused_pair(derivation, i, pivot, refused ? refused : pivot);
        break;
      }
      derivation.long_distance = true;
    }
    std::swap(running, result);
  }
  if (indexed) {
    // A fault leaves the indexed constraint as it stands: the caller drops it.
    chain.take(running->overwrite(), levels);
    pair_free = true;
  }
  workspace.current = running == &workspace.clauses[0] ? 0u : 1u;
  workspace.pair_free = pair_free;
  derivation.switched = switched && input.allow_indexed;
  return derivation;
}

void read_qrp_constraint(const QrpRecord& record, const ClauseStore& clauses, uint32_t position,
                         PodVector<Literal>& widened, std::vector<Literal>& literals) {
  if (position < record.input_clauses) {
    widened.clear();
    const ClauseView clause = clauses.read(position, widened);
    literals.assign(clause.begin(), clause.end());
  } else {
    record.read_literals(position, literals);
  }
}

bool replays_stored(const QrpRecord& record, const ClauseStore& clauses,
                    const std::vector<unsigned>& levels, uint32_t position) {
  if (position < record.input_clauses || !record.derived(position)) return true;
  std::vector<uint32_t> antecedents;
  record.stored.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
  QrpWorkspace workspace(2 * levels.size() + 2);
  PodVector<Literal> widened;
  std::vector<std::vector<Literal>> loaded(antecedents.size());
  std::vector<ClauseView> views(antecedents.size());
  read_qrp_constraint(record, clauses, antecedents[0], widened, workspace.load_running());
  views[0] = workspace.running().view();
  for (size_t i = 1; i < antecedents.size(); ++i) {
    read_qrp_constraint(record, clauses, antecedents[i], widened, loaded[i]);
    views[i] = ClauseView{loaded[i].data(), static_cast<uint32_t>(loaded[i].size())};
  }
  QrpStepInput input;
  input.rule = record.rule(position);
  input.levels = &levels;
  input.views = views.data();
  input.count = views.size();
  if (derive_qrp_step(input, workspace).outcome != QrpDerivation::DERIVED) return false;
  std::vector<Literal> stored;
  record.stored.read_literals(position, stored);
  return same_literal_set(workspace.running().view(),
                          ClauseView{stored.data(), static_cast<uint32_t>(stored.size())},
                          workspace.marks);
}
