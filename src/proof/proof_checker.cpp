// Checking the proof entries: the loop over entries up to the conclusion,
// numbered clause lines in merge mode (resolvent omitted) and chain mode
// (resolvent supplied: order the antecedents into a chain of Q-resolutions,
// resolve it and compare), resolution lines and extension definitions.

#include "proof/proof_checker.hpp"

#include <sys/time.h>

#include <algorithm>
#include <cassert>
#include <iostream>
#include <sstream>

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
  input_clauses_ = formula_.clauses.size();
  clause_map_.resize(uint64_t{input_clauses_} + 1);
  for (uint32_t number = 1; number <= input_clauses_; ++number) clause_map_.set(number, number - 1);
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
        assert(std::all_of(delayed_steps_.begin(), delayed_steps_.end(),
                           [](const DelayedStep& delayed) { return delayed.settled; }));
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
  step_.number = number;
  reader.read_step(step_);
  check_step(step_);
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
    DelayedStep delayed;
    delayed.number = step.number;
    delayed.resolvent_omitted = step.resolvent_omitted;
    delayed.literals_begin = static_cast<uint32_t>(delayed_literals_.size());
    delayed_literals_.insert(delayed_literals_.end(), step.resolvent.literals.begin(),
                          step.resolvent.literals.end());
    delayed.literals_end = static_cast<uint32_t>(delayed_literals_.size());
    delayed.antecedents_begin = static_cast<uint32_t>(delayed_antecedents_.size());
    delayed_antecedents_.insert(delayed_antecedents_.end(), step.antecedents.begin(),
                             step.antecedents.end());
    delayed.antecedents_end = static_cast<uint32_t>(delayed_antecedents_.size());
    delayed.settled = false;
    delayed_steps_.push_back(delayed);
    return;
  }
  apply_step(step);
}

void ProofChecker::apply_step(StepEntry& step) {
  // The antecedents' store positions, taken before the step binds its
  // number: a delayed step may define anew a number it names among its own
  // antecedents, which stands for the clause bound before.
  const bool recording = options_.record_core || options_.record_functions;
  std::vector<uint32_t>& antecedents = scratch_->antecedent_positions;
  antecedents.clear();
  if (recording)
    for (uint32_t number : step.antecedents) antecedents.push_back(clause_map_[number]);
  if (step.antecedents.empty()) {
    if (!options_.ignore) throw Exception("Resolvent not justified (no antecedents).");
    store(step.number, step.resolvent.literals);
    if (recording) record_step(step, antecedents);
    return;
  }
  if (step.antecedents.size() == 1) throw Exception("Single antecedent does not make sense.");
  if (step.resolvent_omitted) {
    ++statistics_.merge_steps;
    check_merge(step);
  } else {
    ++statistics_.chain_steps;
    check_chain(step);
  }
  if (recording) record_step(step, antecedents);
}

void ProofChecker::store(uint32_t number, const std::vector<Literal>& literals) {
  assert(number <= kLargestClauseNumber);
  formula_.clauses.push_compact(literals);
  clause_map_.set(number, formula_.clauses.size() - 1);
}

std::vector<Literal> ProofChecker::clause(uint32_t number) const {
  return formula_.clauses.copy(clause_map_[number]);
}

// Views of the clauses numbered `numbers` (all defined), in order. Derived
// clauses are mostly stored narrow; they are widened into one scratch
// buffer, reserved first so that no view moves. The views hold until the
// next load or the next clause stored.
void ProofChecker::load_clauses(const std::vector<uint32_t>& numbers,
                                std::vector<ClauseView>& views) {
  std::vector<uint32_t>& positions = scratch_->positions;
  positions.clear();
  for (uint32_t number : numbers) {
    assert(clause_map_.defined(number));
    positions.push_back(clause_map_[number]);
  }
  load_positions(positions, views);
}

// The same for store positions.
void ProofChecker::load_positions(const std::vector<uint32_t>& positions,
                                  std::vector<ClauseView>& views) {
  PodVector<Literal>& widened = scratch_->widened;
  size_t narrow = 0;
  for (uint32_t position : positions) narrow += formula_.clauses.narrow_size(position);
  widened.clear();
  widened.reserve(narrow);
  views.clear();
  for (uint32_t position : positions) views.push_back(formula_.clauses.read(position, widened));
  assert(widened.size() == narrow);  // no view moved
}

// The marks cover the literal codes of the clauses at hand and their
// complements: memory follows the variables the steps name.
void ProofChecker::ensure_marks(const std::vector<ClauseView>& clauses, ClauseView extra) {
  uint32_t largest = 0;
  for (const ClauseView clause : clauses)
    for (const Literal& literal : clause) largest = std::max(largest, literal.code);
  for (const Literal& literal : extra) largest = std::max(largest, literal.code);
  const size_t codes = size_t{largest | 1u} + 1;
  Scratch& scratch = *scratch_;
  if (scratch.rule_marks.size() >= codes) return;
  // Grown by half again, so that a run that keeps adding variables grows
  // them a few times only, and never far beyond the codes in use.
  const size_t size = std::max(codes, scratch.rule_marks.size() + scratch.rule_marks.size() / 2);
  scratch.in_working.resize(size, 0);
  scratch.rule_marks.resize(size, 0);
  scratch.in_supplied.resize(size, 0);
  scratch.first_occurrence.resize(size, Scratch::kNone);
  scratch.value.resize(size, 0);
}

// Merge mode: every variable met in both signs is a pivot, and n antecedents
// need exactly n - 1 of them. Counting alone proves nothing, so the merged
// clause without its pivots must also refute the antecedents by unit
// propagation before the step stands.
void ProofChecker::check_merge(StepEntry& step) {
  Scratch& scratch = *scratch_;
  WorkingClause& merged = scratch.merged;
  load_clauses(step.antecedents, scratch.antecedent_clauses);
  merge_union(scratch.antecedent_clauses);

  // A failing step leaves its merged clause in the store, where resolution
  // lines can name it by position.
  const size_t needed = step.antecedents.size() - 1;
  if (scratch.merge_pivots.size() < needed) {
    formula_.clauses.push_compact(merged.literals);
    throw Exception("Not enough pivot variables for resolution.");
  }
  if (scratch.merge_pivots.size() > needed) {
    formula_.clauses.push_compact(merged.literals);
    throw Exception(message::tautological_resolvent(merged.to_string()));
  }
  assert(scratch.merge_pivots.size() == needed);
  merged.remove_variables(scratch.merge_pivots, scratch.rule_marks);
  if (!merge_refutes(merged)) {
    formula_.clauses.push_compact(merged.literals);
    throw Exception("Resolution failed.");
  }
  merged.reduce(Rule::CLAUSE, formula_.levels);
  store(step.number, merged.literals);
}

// True when falsifying every literal of `merged` (the merged clause without
// its pivots) and propagating units over the antecedents falsifies one of
// them. Every non-pivot literal of an antecedent lies in `merged`, so only
// pivot literals stay open; each antecedent keeps a count of its open
// literals and the XOR of their codes, which names the last one directly.
// The union D of the antecedents (loaded), built by the resolvent's union
// rule into scratch.merged: a literal meeting its complement in D records
// its variable in scratch.merge_pivots, then joins D unless present.
void ProofChecker::merge_union(const std::vector<ClauseView>& antecedents) {
  Scratch& scratch = *scratch_;
  WorkingClause& merged = scratch.merged;
  merged.clear();
  scratch.merge_pivots.clear();
  ensure_marks(antecedents, ClauseView());
  size_t total = 0;
  for (const ClauseView antecedent : antecedents) total += antecedent.size;
  merged.literals.resize(total);
  size_t kept = 0;
  uint8_t* marks = scratch.rule_marks.data();
  for (const ClauseView antecedent : antecedents)
    for (const Literal& literal : antecedent)
      if (join_union(literal, marks, merged.literals.data(), kept))
        scratch.merge_pivots.push_back(literal.variable());
  clear_marks(merged.literals.data(), kept, marks);
  merged.literals.resize(kept);
  assert(marks_clear(merged.view(), scratch.rule_marks));
}

bool ProofChecker::merge_refutes(const WorkingClause& merged) {
  Scratch& scratch = *scratch_;
  assert(scratch.antecedent_clauses.size() >= 2);
  const std::vector<ClauseView>& antecedents = scratch.antecedent_clauses;
  scratch.reset_values();
  scratch.reset_occurrences();
  auto assign = [&](Literal literal) {
    scratch.value[literal.code] = 1;
    scratch.value[literal.complement().code] = -1;
    scratch.valued_codes.push_back(literal.code);
    scratch.valued_codes.push_back(literal.complement().code);
  };
  for (const Literal& literal : merged.literals) assign(literal.complement());

  const size_t n = antecedents.size();
  scratch.open_count.assign(n, 0);
  scratch.open_codes.assign(n, 0);
  scratch.satisfied.assign(n, 0);
  scratch.queue.clear();
  for (size_t position = 0; position < n; ++position) {
    for (const Literal& literal : antecedents[position]) {
      const int8_t value = scratch.value[literal.code];
      if (value > 0) scratch.satisfied[position] = 1;
      if (value != 0) continue;
      ++scratch.open_count[position];
      scratch.open_codes[position] ^= literal.code;
      scratch.add_occurrence(literal.code, static_cast<uint32_t>(position));
    }
    if (scratch.satisfied[position]) continue;
    if (scratch.open_count[position] == 0) return true;
    if (scratch.open_count[position] == 1) scratch.queue.push_back(static_cast<uint32_t>(position));
  }
  for (size_t head = 0; head < scratch.queue.size(); ++head) {
    const uint32_t position = scratch.queue[head];
    if (scratch.satisfied[position]) continue;
    if (scratch.open_count[position] == 0) return true;
    Literal unit;
    unit.code = scratch.open_codes[position];
    if (scratch.value[unit.code] < 0) return true;
    if (scratch.value[unit.code] > 0) continue;
    assign(unit);
    for (uint32_t occurrence = scratch.first_occurrence[unit.code]; occurrence != Scratch::kNone;
         occurrence = scratch.next_occurrence[occurrence])
      scratch.satisfied[scratch.occurrence_position[occurrence]] = 1;
    const uint32_t falsified = unit.complement().code;
    for (uint32_t occurrence = scratch.first_occurrence[falsified]; occurrence != Scratch::kNone;
         occurrence = scratch.next_occurrence[occurrence]) {
      const uint32_t other = scratch.occurrence_position[occurrence];
      --scratch.open_count[other];
      scratch.open_codes[other] ^= falsified;
      if (scratch.satisfied[other]) continue;
      if (scratch.open_count[other] == 0) return true;
      if (scratch.open_count[other] == 1) scratch.queue.push_back(other);
    }
  }
  return false;
}

// Chain mode: order, resolve the chain with universal reduction after each
// resolution, store the result, compare it with the supplied resolvent.
void ProofChecker::check_chain(StepEntry& step) {
  assert(step.antecedents.size() >= 2 && !step.resolvent_omitted);
  Scratch& scratch = *scratch_;
  const OrderedChain ordered = order_antecedents(step.resolvent, step.antecedents);
  const std::vector<ClauseView>& chain = ordered.clauses;
  const std::vector<unsigned>& pivots = ordered.pivots;
  assert(chain.size() == step.antecedents.size() && pivots.size() <= chain.size());

  running_.assign(chain.front());
  WorkingClause* running = &running_;
  WorkingClause* result = &resolvent_;
  bool tautological = false;
  for (size_t i = 1; i < chain.size() && i - 1 < pivots.size(); ++i) {
    const ResolutionOutcome outcome = resolve(Rule::CLAUSE, chain[i], running->view(),
                                              pivots[i - 1], formula_.levels, *result,
                                              scratch.rule_marks);
    if (outcome == ResolutionOutcome::NO_CLASH) throw Exception("Resolution failed.");
    if (outcome == ResolutionOutcome::TAUTOLOGICAL) tautological = true;
    std::swap(running, result);
  }

  // The chain's positions before the store binds the step's number (see
  // apply_step).
  std::vector<uint32_t>& chain_at = scratch.chain_positions;
  chain_at.clear();
  for (uint32_t number : ordered.numbers) chain_at.push_back(clause_map_[number]);
  store(step.number, running->literals);
  const WorkingClause& derived = *running;
  if (derived.size() != step.resolvent.size())
    throw Exception("Calculated and supplied resolvent sizes do not match.");
  if (!same_literal_set(step.resolvent.view(), derived.view(), scratch.in_supplied))
    throw Exception("Calculated and supplied resolvents differ.");
  // The chain found made a tautological resolution, which Q-resolution
  // forbids: the step stands only if a sound chain over its antecedents exists.
  if (tautological && !sound_chain_exists(chain_at, step.resolvent))
    throw Exception("Resolution failed.");
  // The chain that stands, for the functions: the one found by the search,
  // or the ordering's up to its last pivot; record_step closes the record.
  if (options_.record_functions) {
    chain_pivots_.push_back(0);  // the first antecedent has none
    if (tautological) {
      for (uint32_t i : chain_search_.chain())
        chain_positions_.push_back(chain_at[i]);
      chain_pivots_.insert(chain_pivots_.end(), chain_search_.chain_pivots().begin(),
                           chain_search_.chain_pivots().end());
    } else {
      const size_t length = std::min(chain.size(), pivots.size() + 1);
      for (size_t i = 0; i < length; ++i)
        chain_positions_.push_back(chain_at[i]);
      chain_pivots_.insert(chain_pivots_.end(), pivots.begin(), pivots.begin() + (length - 1));
    }
  }
}

// The search tries the antecedents in the order the backward ordering placed
// them first: that order is a chain already, but for its tautological steps.
bool ProofChecker::sound_chain_exists(const std::vector<uint32_t>& chain_at,
                                      const WorkingClause& resolvent) {
  std::vector<ClauseView>& clauses = scratch_->antecedent_clauses;
  load_positions(chain_at, clauses);  // loaded again: the derived clause is stored by now
  const uint64_t budget =
      std::min(kStepSearchWork, kRunSearchWork - statistics_.chain_search_work);
  assert(statistics_.chain_search_work <= kRunSearchWork);
  const ChainSearch::Result result =
      chain_search_.run(clauses, resolvent.view(), formula_.levels, budget);
  ++statistics_.chain_searches;
  statistics_.chain_search_work += std::min(chain_search_.work(), budget);
  return result == ChainSearch::FOUND;
}

// A resolution line: Q-resolves the clauses at formula positions i and j
// (counting from 1) on `pivot` and appends the resolvent, after printing the
// "Resolving [" line. Position 0 wraps to the largest number and so is out
// of range.
void ProofChecker::check_resolution_line(uint32_t first, uint32_t second, uint32_t pivot) {
  ++statistics_.resolution_lines;
  const uint32_t i = first - 1, j = second - 1;
  if (i >= formula_.clauses.size() || j >= formula_.clauses.size())
    throw Exception("Resolution failed.");
  std::vector<ClauseView>& views = scratch_->antecedent_clauses;
  scratch_->positions.assign({i, j});
  load_positions(scratch_->positions, views);
  const ClauseView a = views[0], b = views[1];
  std::cout << "Resolving [" << uint64_t{i} + 1 << "," << uint64_t{j} + 1 << "] " << to_string(a)
            << " x " << to_string(b) << " over " << pivot << std::endl;
  ensure_marks({a}, b);
  if (resolve(Rule::CLAUSE, a, b, pivot, formula_.levels, resolvent_, scratch_->rule_marks) !=
      ResolutionOutcome::RESOLVED)
    throw Exception("Resolution failed.");
  formula_.clauses.push_compact(resolvent_.literals);
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
  definition_.variable = x.variable();
  reader.read_extension(definition_, operands_);
  check_extension(definition_, operands_);
}

void ProofChecker::check_extension(const Definition& definition,
                                   const std::vector<Literal>& operands) {
  if (try_extension(definition, operands.data())) return;
  ++statistics_.delayed_extensions;
  delayed_extensions_.add(definition, operands.data());
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
  if (options_.record_core)
    core_events_.push_back(kExtensionEvent |
                           static_cast<uint32_t>(formula_.definitions.size() - 1));
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
  refuting_number_ = number;
  WorkingClause& refuting = running_;
  std::vector<ClauseView>& views = scratch_->antecedent_clauses;
  load_clauses({number}, views);
  ensure_marks(views, ClauseView());
  // A clause holding a literal and its complement refutes nothing, though
  // reduction may empty it (u, -u).
  if (tautological(views.front(), scratch_->rule_marks)) return false;
  refuting.assign(views.front());
  refuting.reduce(Rule::CLAUSE, formula_.levels);
  return refuting.size() == 0;
}
