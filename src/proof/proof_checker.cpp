// Checking the proof entries: the loop over entries up to the conclusion,
// numbered clause lines in merge mode (resolvent omitted) and chain mode
// (resolvent supplied: order the antecedents into a chain of Q-resolutions,
// resolve it and compare), resolution lines and extension definitions.

#include "proof/proof_checker.hpp"

#include <sys/time.h>

#include <algorithm>
#include <cassert>
#include <iostream>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "proof/scratch.hpp"

namespace {

// Bounds of the sound-chain search in literals touched, for one step and for
// the whole run (so that a certificate of many such steps cannot keep the
// checker busy for hours). Real proofs need a few thousand to a few
// million; a step whose search runs out of budget fails. A literal touched
// costs a few nanoseconds: a step stops within a second, a run within
// seconds.
constexpr uint64_t kStepSearchWork = 100000000;
constexpr uint64_t kRunSearchWork = 2000000000;

}  // namespace

ProofChecker::ProofChecker(QCNF& formula, Options options)
    : formula_(formula), options_(options), scratch_(new Scratch) {
  // The QBF file's clauses are certificate clauses 1 to n; 0 is never defined.
  const uint32_t inputs = formula_.clauses.size();
  record_.input_clauses = inputs;
  clause_map_.resize(uint64_t{inputs} + 1);
  for (uint32_t number = 1; number <= inputs; ++number) clause_map_.set(number, number - 1);
  assert(formula_.prefix_invariants());
}

ProofChecker::~ProofChecker() = default;

ProofStatistics ProofChecker::statistics() const {
  ProofStatistics statistics = statistics_;
  if (phase_ == Phase::PROOF) statistics.proof_seconds = seconds_since(phase_start_);
  if (phase_ == Phase::CONCLUSION) statistics.conclusion_seconds = seconds_since(phase_start_);
  return statistics;
}

ProofChecker::Conclusion ProofChecker::check(CertificateReader& reader) {
  assert(phase_ == Phase::READY);
  phase_ = Phase::PROOF;
  gettimeofday(&phase_start_, nullptr);
  for (uint64_t entries = 1;; ++entries) {
    if (progress_ && entries % 4096 == 0) progress_(entries);
    uint32_t number = 0;
    switch (reader.next(number)) {
      case CertificateReader::Entry::STEP:
        read_step_entry(reader, number);
        break;
      case CertificateReader::Entry::RESOLUTION: {
        uint32_t first, second, pivot;
        reader.read_resolution(first, second, pivot);
        check_resolution_line(first, second, pivot);
        break;
      }
      case CertificateReader::Entry::EXTENSION:
        read_extension_entry(reader);
        break;
      case CertificateReader::Entry::CONCLUSION: {
        statistics_.proof_seconds = seconds_since(phase_start_);
        phase_ = Phase::CONCLUSION;
        gettimeofday(&phase_start_, nullptr);
        if (options_.debug) std::cout << "Concluding ..." << std::endl;
        settle_delayed();
        assert(std::all_of(held_back_.steps.begin(), held_back_.steps.end(),
                           [](const HeldBack::Step& delayed) { return delayed.settled; }));
        const std::string& claim = reader.read_claim();
        Conclusion result = Conclusion::MODEL;
        if (claim == "INVALID" || claim == "invalid") {
          result = conclude(reader) ? Conclusion::REFUTED : Conclusion::NOT_REFUTED;
        } else if (claim != "VALID" && claim != "valid") {
          // Any other word is refused: reading it as a model claim would
          // validate the formula as true when the writer claimed it false.
          throw Exception(message::unknown_claim(claim));
        }
        statistics_.conclusion_seconds = seconds_since(phase_start_);
        phase_ = Phase::DONE;
        assert(formula_.prefix_invariants());
        return result;
      }
    }
  }
}

void ProofChecker::read_step_entry(CertificateReader& reader, uint32_t number) {
  if (clause_map_.defined(number)) throw Exception(message::clause_redefined(number));
  if (number > kLargestClauseNumber) throw Exception(message::clause_number_limit(number));
  reading_.step.number = number;
  reader.read_step(reading_.step);
  check_step(reading_.step);
}

void ProofChecker::check_step(StepEntry& step) {
  // Literals of variables the formula does not know define them as
  // outermost existential variables.
  for (const Literal& literal : step.resolvent.literals)
    if (!formula_.is_defined(literal.variable()))
      if (const Refusal refusal =
              formula_.new_variable(literal.variable(), Quantifier::EXISTENTIAL, true))
        throw Exception(refusal.message);

  bool all_defined = true;
  for (uint32_t number : step.antecedents)
    if (!clause_map_.defined(number)) all_defined = false;
  if (!all_defined) {
    // Held back until the conclusion.
    ++statistics_.delayed_steps;
    HeldBack::Step delayed;
    delayed.number = step.number;
    delayed.resolvent_omitted = step.resolvent_omitted;
    delayed.literals_begin = static_cast<uint32_t>(held_back_.literals.size());
    held_back_.literals.insert(held_back_.literals.end(), step.resolvent.literals.begin(),
                               step.resolvent.literals.end());
    delayed.literals_end = static_cast<uint32_t>(held_back_.literals.size());
    delayed.antecedents_begin = static_cast<uint32_t>(held_back_.antecedents.size());
    held_back_.antecedents.insert(held_back_.antecedents.end(), step.antecedents.begin(),
                                  step.antecedents.end());
    delayed.antecedents_end = static_cast<uint32_t>(held_back_.antecedents.size());
    delayed.settled = false;
    held_back_.steps.push_back(delayed);
    return;
  }
  apply_step(step);
}

void ProofChecker::apply_step(StepEntry& step) {
  // The antecedents' store positions, taken before the step binds its
  // number: a delayed step may define anew a number it names among its own
  // antecedents, which stands for the clause bound before.
  ProofRecord::Step recorded{ProofRecord::Kind::TRUSTED, step.number, ClauseMap::kNone,
                             ProofRecord::kNoDefinition, 0, 0, 0, 0};
  if (options_.record) {
    recorded.antecedents_begin = static_cast<uint32_t>(record_.antecedents.size());
    for (uint32_t number : step.antecedents) record_.antecedents.push_back(clause_map_[number]);
    recorded.antecedents_end = static_cast<uint32_t>(record_.antecedents.size());
    recorded.chain_begin = recorded.chain_end = static_cast<uint32_t>(record_.chain.size());
  }
  if (step.antecedents.empty()) {
    if (!options_.ignore) throw Exception("Resolvent not justified (no antecedents).");
    store(step.number, step.resolvent.view());
  } else {
    if (step.antecedents.size() == 1) throw Exception("Single antecedent does not make sense.");
    if (step.resolvent_omitted) {
      ++statistics_.merge_steps;
      check_merge(step);
      recorded.kind = ProofRecord::Kind::MERGE;
    } else {
      ++statistics_.chain_steps;
      recorded.kind = check_chain(step);
    }
  }
  if (options_.record) {
    recorded.position = clause_map_[step.number];
    recorded.chain_end = static_cast<uint32_t>(record_.chain.size());
    record_.steps.push_back(recorded);
  }
}

void ProofChecker::store(uint32_t number, ClauseView literals) {
  assert(number <= kLargestClauseNumber);
  formula_.clauses.push_compact(literals);
  clause_map_.set(number, formula_.clauses.size() - 1);
}

std::vector<Literal> ProofChecker::clause(uint32_t number) const {
  return formula_.clauses.copy(clause_map_[number]);
}

// Loads the clauses numbered `numbers` (all defined), in order, into
// scratch_->loaded.
void ProofChecker::load_clauses(const std::vector<uint32_t>& numbers) {
  LoadedClauses& loaded = scratch_->loaded;
  loaded.positions.clear();
  for (uint32_t number : numbers) {
    assert(clause_map_.defined(number));
    loaded.positions.push_back(clause_map_[number]);
  }
  loaded.load(formula_.clauses);
}

// Merge mode: every variable met in both signs is a pivot, and n antecedents
// need exactly n - 1 of them. Counting alone proves nothing, so the merged
// clause without its pivots must also refute the antecedents by unit
// propagation before the step stands.
void ProofChecker::check_merge(StepEntry& step) {
  Scratch& scratch = *scratch_;
  load_clauses(step.antecedents);
  scratch.cover(formula_.largest_defined());
  const MergeDerivation merge =
      derive_merge(formula_.levels, scratch.loaded.views, scratch.derivation, nullptr);
  // A failing step leaves its merged clause in the store, where resolution
  // lines can name it by position.
  if (merge.outcome == MergeOutcome::TOO_FEW_PIVOTS) {
    formula_.clauses.push_compact(merge.merged);
    throw Exception("Not enough pivot variables for resolution.");
  }
  if (merge.outcome == MergeOutcome::TOO_MANY_PIVOTS) {
    formula_.clauses.push_compact(merge.merged);
    throw Exception(message::tautological_resolvent(to_string(merge.merged)));
  }
  if (!merge_refutes(merge.merged)) {
    formula_.clauses.push_compact(merge.merged);
    throw Exception("Resolution failed.");
  }
  store(step.number, merge.derived);
}

// True when falsifying every literal of `merged` (the merged clause without
// its pivots) and propagating units over the antecedents (loaded) falsifies
// one of them. Every non-pivot literal of an antecedent lies in `merged`, so
// only pivot literals stay open; each antecedent keeps a count of its open
// literals and the XOR of their codes, which names the last one directly.
bool ProofChecker::merge_refutes(ClauseView merged) {
  Scratch& scratch = *scratch_;
  const std::vector<ClauseView>& antecedents = scratch.loaded.views;
  assert(antecedents.size() >= 2);
  PropagationWork& work = scratch.propagation;
  OpenLiterals& open = scratch.open;
  work.reset_values();
  auto assign = [&](Literal literal) {
    work.value[literal.code] = 1;
    work.value[literal.complement().code] = -1;
    work.valued_codes.push_back(literal.code);
    work.valued_codes.push_back(literal.complement().code);
  };
  for (const Literal& literal : merged) assign(literal.complement());

  const size_t n = antecedents.size();
  open.reset(n);
  work.satisfied.assign(n, 0);
  work.queue.clear();
  for (size_t position = 0; position < n; ++position) {
    for (const Literal& literal : antecedents[position]) {
      const int8_t value = work.value[literal.code];
      if (value > 0) work.satisfied[position] = 1;
      if (value != 0) continue;
      open.add(literal.code, static_cast<uint32_t>(position));
    }
    if (work.satisfied[position]) continue;
    if (open.count[position] == 0) return true;
    if (open.count[position] == 1) work.queue.push_back(static_cast<uint32_t>(position));
  }
  for (size_t head = 0; head < work.queue.size(); ++head) {
    const uint32_t position = work.queue[head];
    if (work.satisfied[position]) continue;
    if (open.count[position] == 0) return true;
    Literal unit;
    unit.code = open.codes[position];
    if (work.value[unit.code] < 0) return true;
    if (work.value[unit.code] > 0) continue;
    assign(unit);
    for (uint32_t occurrence = open.first_occurrence[unit.code]; occurrence != OpenLiterals::kNone;
         occurrence = open.next_occurrence[occurrence])
      work.satisfied[open.occurrence_position[occurrence]] = 1;
    const uint32_t falsified = unit.complement().code;
    for (uint32_t occurrence = open.first_occurrence[falsified]; occurrence != OpenLiterals::kNone;
         occurrence = open.next_occurrence[occurrence]) {
      const uint32_t other = open.close(occurrence, falsified);
      if (work.satisfied[other]) continue;
      if (open.count[other] == 0) return true;
      if (open.count[other] == 1) work.queue.push_back(other);
    }
  }
  return false;
}

// Chain mode: order, resolve the chain with universal reduction after each
// resolution, store the result, compare it with the supplied resolvent.
// Returns the kind of chain that stands; with options_.record, appends it
// to the record.
ProofRecord::Kind ProofChecker::check_chain(StepEntry& step) {
  assert(step.antecedents.size() >= 2 && !step.resolvent_omitted);
  Scratch& scratch = *scratch_;
  const OrderedChain& ordered = order_antecedents(step.resolvent, step.antecedents);
  const std::vector<ClauseView>& chain = ordered.clauses;
  const std::vector<unsigned>& pivots = ordered.pivots;
  assert(chain.size() == step.antecedents.size() && pivots.size() <= chain.size());
  // The ordering may place antecedents without a pivot last: the chain
  // resolves up to its last pivot.
  const size_t length = std::min(chain.size(), pivots.size() + 1);
  const ChainDerivation derivation = derive_chain(formula_.levels, chain.data(), length,
                                                  pivots.data(), scratch.derivation, nullptr);
  if (!derivation.clashed) throw Exception("Resolution failed.");

  // The chain's positions before the store binds the step's number (see
  // apply_step).
  std::vector<uint32_t>& chain_at = scratch.chain_positions;
  chain_at.clear();
  for (uint32_t number : ordered.numbers) chain_at.push_back(clause_map_[number]);
  store(step.number, derivation.clause);
  const ClauseView derived = derivation.clause;
  if (derived.size != step.resolvent.size())
    throw Exception("Calculated and supplied resolvent sizes do not match.");
  if (!same_literal_set(step.resolvent.view(), derived, scratch.in_supplied))
    throw Exception("Calculated and supplied resolvents differ.");
  // The chain found made a tautological resolution, which Q-resolution
  // forbids: the step stands only if a sound chain over its antecedents exists.
  if (derivation.tautological && !sound_chain_exists(chain_at, step.resolvent))
    throw Exception("Resolution failed.");
  // The chain that stands: the one found by the search, or the ordering's
  // up to its last pivot.
  if (options_.record) {
    record_.pivots.push_back(0);  // the first antecedent has none
    if (derivation.tautological) {
      for (uint32_t i : scratch.chain_search.chain()) record_.chain.push_back(chain_at[i]);
      record_.pivots.insert(record_.pivots.end(), scratch.chain_search.chain_pivots().begin(),
                            scratch.chain_search.chain_pivots().end());
    } else {
      record_.chain.insert(record_.chain.end(), chain_at.begin(), chain_at.begin() + length);
      record_.pivots.insert(record_.pivots.end(), pivots.begin(), pivots.begin() + (length - 1));
    }
    assert(record_.chain.size() == record_.pivots.size());
  }
  return derivation.tautological ? ProofRecord::Kind::SEARCHED_CHAIN : ProofRecord::Kind::CHAIN;
}

// The search tries the antecedents in the order the backward ordering placed
// them first: that order is a chain already, but for its tautological steps.
bool ProofChecker::sound_chain_exists(const std::vector<uint32_t>& chain_at,
                                      const WorkingClause& resolvent) {
  Scratch& scratch = *scratch_;
  // Loaded again: the derived clause is stored by now.
  scratch.loaded.positions.assign(chain_at.begin(), chain_at.end());
  scratch.loaded.load(formula_.clauses);
  const uint64_t budget =
      std::min(kStepSearchWork, kRunSearchWork - statistics_.chain_search_work);
  assert(statistics_.chain_search_work <= kRunSearchWork);
  const ChainSearch::Result result =
      scratch.chain_search.run(scratch.loaded.views, resolvent.view(), formula_.levels, budget);
  ++statistics_.chain_searches;
  statistics_.chain_search_work += std::min(scratch.chain_search.work(), budget);
  return result == ChainSearch::FOUND;
}

// A resolution line: Q-resolves the clauses at formula positions i and j
// (counting from 1) on `pivot` and appends the resolvent, after printing the
// "Resolving [" line. Position 0 wraps to the largest number and so is out
// of range. It is a chain of two that puts the first clause's literals
// first.
void ProofChecker::check_resolution_line(uint32_t first, uint32_t second, uint32_t pivot) {
  ++statistics_.resolution_lines;
  const uint32_t i = first - 1, j = second - 1;
  if (i >= formula_.clauses.size() || j >= formula_.clauses.size())
    throw Exception("Resolution failed.");
  Scratch& scratch = *scratch_;
  scratch.loaded.positions.assign({j, i});
  scratch.loaded.load(formula_.clauses);
  const ClauseView b = scratch.loaded.views[0], a = scratch.loaded.views[1];
  std::cout << "Resolving [" << uint64_t{i} + 1 << "," << uint64_t{j} + 1 << "] " << to_string(a)
            << " x " << to_string(b) << " over " << pivot << std::endl;
  scratch.cover(formula_.largest_defined());
  const ChainDerivation derivation = derive_chain(formula_.levels, scratch.loaded.views.data(), 2,
                                                  &pivot, scratch.derivation, nullptr);
  if (!derivation.clashed || derivation.tautological) throw Exception("Resolution failed.");
  formula_.clauses.push_compact(derivation.clause);
}

void ProofChecker::check_fresh(const Literal& literal) const {
  if (literal.variable() != 0 && !formula_.is_defined(literal.variable())) return;
  throw Exception(message::not_fresh(literal.to_dimacs()));
}

void ProofChecker::read_extension_entry(CertificateReader& reader) {
  const Literal x = reader.read_extension_variable();
  // Variable 0 counts as defined: it never exists, so it is never fresh.
  check_fresh(x);
  if (x.variable() > kMaxVariable) throw Exception(message::variable_limit(x.variable()));
  reading_.definition.variable = x.variable();
  reader.read_extension(reading_.definition, reading_.operands);
  check_extension(reading_.definition, reading_.operands);
}

void ProofChecker::check_extension(const Definition& definition,
                                   const std::vector<Literal>& operands) {
  if (try_extension(definition, operands.data())) return;
  ++statistics_.delayed_extensions;
  held_back_.extensions.add(definition, operands.data());
}

// Applies an extension whose operands are all defined; false (nothing done)
// when one is not.
bool ProofChecker::try_extension(const Definition& definition, const Literal* operands) {
  if (!formula_.is_applicable(definition, operands)) return false;
  // A delayed definition may find its variable defined meanwhile.
  check_fresh(Literal(definition.variable, false));
  // Cannot be refused: the variable is fresh and within the limit (checked
  // when read), the operands are defined.
  const Refusal refusal = formula_.apply_extension(definition, operands);
  assert(!refusal);
  (void)refusal;
  assert(formula_.is_defined(definition.variable));
  if (options_.record) {
    const uint32_t end = static_cast<uint32_t>(record_.antecedents.size());
    const uint32_t chain_end = static_cast<uint32_t>(record_.chain.size());
    record_.steps.push_back(ProofRecord::Step{
        ProofRecord::Kind::EXTENSION, 0, ClauseMap::kNone,
        static_cast<uint32_t>(formula_.definitions.size() - 1), end, end, chain_end, chain_end});
  }
  if (definition.kind == Definition::AND)
    ++statistics_.and_extensions;
  else
    ++statistics_.ite_extensions;
  return true;
}

// The refutation claim: the named clause must become empty under universal
// reduction.
bool ProofChecker::conclude(CertificateReader& reader) {
  assert(phase_ == Phase::CONCLUSION);
  const uint32_t number = reader.read_clause_number();
  if (!clause_map_.defined(number)) throw Exception(message::clause_not_defined(number));
  record_.refuted_position = clause_map_[number];
  Scratch& scratch = *scratch_;
  scratch.loaded.positions.assign(1, record_.refuted_position);
  scratch.loaded.load(formula_.clauses);
  scratch.cover(formula_.largest_defined());
  // A clause holding a literal and its complement refutes nothing, though
  // reduction may empty it (u, -u).
  const ClauseView clause = scratch.loaded.views.front();
  if (tautological(clause, scratch.derivation.marks)) return false;
  WorkingClause refuting;
  refuting.assign(clause);
  refuting.reduce(Rule::CLAUSE, formula_.levels);
  return refuting.size() == 0;
}
