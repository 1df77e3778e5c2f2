// The derivations of chain and merge steps, and their replay from a
// ProofRecord.

#include "proof/derivation.hpp"

#include <algorithm>
#include <cassert>
#include <utility>

void LoadedClauses::load(const ClauseStore& clauses) {
  size_t narrow = 0;
  for (uint32_t position : positions) narrow += clauses.narrow_size(position);
  widened.clear();
  widened.reserve(narrow);
  views.clear();
  for (uint32_t position : positions) views.push_back(clauses.read(position, widened));
  assert(widened.size() == narrow);  // no view moved
}

uint32_t LoadedClauses::largest_code() const {
  uint32_t largest = 0;
  for (const ClauseView clause : views)
    for (const Literal& literal : clause) largest = std::max(largest, literal.code);
  return largest;
}

size_t DerivationWork::cover(uint32_t largest_code) {
  const size_t codes = size_t{largest_code | 1u} + 1;
  if (marks.size() >= codes) return marks.size();
  // Grown by half again, so that a run that keeps adding variables grows
  // them a few times only, and never far beyond the codes in use.
  marks.resize(std::max(codes, marks.size() + marks.size() / 2), 0);
  return marks.size();
}

namespace {

// Notes what a chain's resolution met; false when its clauses did not
// clash (the chain stops there).
bool note(ResolutionOutcome resolution, ChainDerivation& outcome) {
  outcome.clashed = resolution != ResolutionOutcome::NO_CLASH;
  outcome.tautological = outcome.tautological || resolution == ResolutionOutcome::TAUTOLOGICAL;
  return outcome.clashed;
}

}  // namespace

ChainDerivation derive_chain(const std::vector<unsigned>& levels, const ClauseView* chain,
                             size_t length, const unsigned* pivots, DerivationWork& work,
                             Strategy* reductions) {
  assert(length >= 1);
  ChainDerivation outcome{ClauseView(), true, false};
  if (reductions) {
    // Each resolution's union, then its reduction; what the strategy keeps
    // goes on.
    std::vector<Literal>& kept = work.kept;
    kept.assign(chain[0].begin(), chain[0].end());
    for (size_t i = 1; i < length; ++i) {
      const ClauseView running{kept.data(), static_cast<uint32_t>(kept.size())};
      work.before.resize(size_t{running.size} + chain[i].size);
      size_t count = 0;
      DeepestLevels deepest;
      const ResolutionOutcome resolution = resolvent_union(
          chain[i], running, pivots[i - 1], levels, work.before.data(), count, deepest, work.marks);
      if (!note(resolution, outcome)) return outcome;
      reductions->add_reduction(ClauseView{work.before.data(), static_cast<uint32_t>(count)},
                                levels, deepest, kept);
    }
    outcome.clause = ClauseView{kept.data(), static_cast<uint32_t>(kept.size())};
    return outcome;
  }
  work.running.assign(chain[0]);
  WorkingClause* running = &work.running;
  WorkingClause* result = &work.resolved;
  for (size_t i = 1; i < length; ++i) {
    const ResolutionOutcome resolution = resolve(Rule::CLAUSE, chain[i], running->view(),
                                                 pivots[i - 1], levels, *result, work.marks);
    if (!note(resolution, outcome)) return outcome;
    std::swap(running, result);
  }
  outcome.clause = running->view();
  return outcome;
}

MergeDerivation derive_merge(const std::vector<unsigned>& levels,
                             const std::vector<ClauseView>& antecedents, DerivationWork& work,
                             Strategy* reductions) {
  assert(antecedents.size() >= 2);
  // The union: a literal meeting its complement records its variable as a
  // pivot, then joins unless present.
  WorkingClause& merged = work.merged;
  std::vector<unsigned>& pivots = work.merge_pivots;
  pivots.clear();
  size_t total = 0;
  for (const ClauseView antecedent : antecedents) total += antecedent.size;
  std::vector<Literal>& literals = merged.overwrite();
  literals.resize(total);
  size_t kept = 0;
  uint8_t* marks = work.marks.data();
  for (const ClauseView antecedent : antecedents)
    for (const Literal& literal : antecedent) {
      assert(literal.code < work.marks.size() && "the marks cover the antecedents");
      if (join_union(literal, marks, literals.data(), kept)) pivots.push_back(literal.variable());
    }
  clear_marks(literals.data(), kept, marks);
  literals.resize(kept);
  assert(marks_clear(merged.view(), work.marks));

  const size_t needed = antecedents.size() - 1;
  if (pivots.size() != needed)
    return MergeDerivation{
        pivots.size() < needed ? MergeOutcome::TOO_FEW_PIVOTS : MergeOutcome::TOO_MANY_PIVOTS,
        merged.view(), ClauseView(), pivots};
  merged.remove_variables(pivots, work.marks);
  if (reductions) {
    reductions->add_reduction(merged.view(), levels, work.kept);
    return MergeDerivation{MergeOutcome::MERGED, merged.view(),
                           ClauseView{work.kept.data(), static_cast<uint32_t>(work.kept.size())},
                           pivots};
  }
  work.reduced.assign(merged.view());
  work.reduced.reduce(Rule::CLAUSE, levels);
  return MergeDerivation{MergeOutcome::MERGED, merged.view(), work.reduced.view(), pivots};
}

ClauseView replay_step(const ProofRecord& record, size_t step, const QCNF& formula,
                       ReplayWork& work, Strategy* reductions) {
  const ProofRecord::Step& recorded = record.steps[step];
  const std::vector<unsigned>& levels = formula.levels;
  if (recorded.kind == ProofRecord::Kind::MERGE) {
    work.loaded.positions.assign(record.antecedents.begin() + recorded.antecedents_begin,
                                 record.antecedents.begin() + recorded.antecedents_end);
    work.loaded.load(formula.clauses);
    work.derivation.cover(work.loaded.largest_code());
    const MergeDerivation merge =
        derive_merge(levels, work.loaded.views, work.derivation, reductions);
    assert(merge.outcome == MergeOutcome::MERGED && "a recorded merge merges");
    return merge.derived;
  }
  assert(recorded.kind == ProofRecord::Kind::CHAIN ||
         recorded.kind == ProofRecord::Kind::SEARCHED_CHAIN);
  const uint32_t begin = recorded.chain_begin, end = recorded.chain_end;
  assert(end > begin);
  work.loaded.positions.assign(record.chain.begin() + begin, record.chain.begin() + end);
  work.loaded.load(formula.clauses);
  work.derivation.cover(work.loaded.largest_code());
  const ChainDerivation chain =
      derive_chain(levels, work.loaded.views.data(), end - begin, record.pivots.data() + begin + 1,
                   work.derivation, reductions);
  // A chain whose ordering resolved tautologically stands only as the
  // search's sound one.
  assert(chain.clashed && !chain.tautological && "a recorded chain is sound");
  return chain.clause;
}

bool replay_matches(const ProofRecord& record, size_t step, const QCNF& formula,
                    ClauseView replayed, ReplayWork& work) {
  const ProofRecord::Step& recorded = record.steps[step];
  const std::vector<Literal> stored = formula.clauses.copy(recorded.position);
  const ClauseView set{stored.data(), static_cast<uint32_t>(stored.size())};
  // `replayed` may lie in `work`: only the marks grow.
  uint32_t largest = 0;
  for (const Literal& literal : set) largest = std::max(largest, literal.code);
  for (const Literal& literal : replayed) largest = std::max(largest, literal.code);
  work.derivation.cover(largest);
  std::vector<uint8_t>& marks = work.derivation.marks;
  if (recorded.kind != ProofRecord::Kind::SEARCHED_CHAIN)
    return same_literal_set(set, replayed, marks);
  for (const Literal& literal : set) marks[literal.code] = 1;
  bool contained = true;
  for (const Literal& literal : replayed) contained = contained && marks[literal.code] != 0;
  clear_marks(set.literals, set.size, marks.data());
  return contained;
}
