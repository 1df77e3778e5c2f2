// Checking a QRP trace: the prefix against the QBF file's, input clauses,
// initial cubes, resolution and reduction steps, the result line, and the
// backward pass that counts the steps outside the proof.

#include "proof/qrp_checker.hpp"

#include <algorithm>
#include <cstdlib>
#include <cassert>
#include <iostream>
#include <utility>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/hash.hpp"
#include "core/messages.hpp"
#include "formula/rules.hpp"

static_assert(ClauseMap::kNone == kNoPosition, "an unmapped step index gives kNoPosition");

namespace {

// An order-free hash of a literal set: the sum of a mix of each code.
uint64_t set_hash(const Literal* literals, size_t size) {
  uint64_t hash = 0;
  for (size_t i = 0; i < size; ++i) hash += mix(literals[i].code);
  return hash;
}

}  // namespace

QrpChecker::QrpChecker(const QCNF& formula, Options options)
    : formula_(formula),
      options_(std::move(options)),
      record_(formula.clauses.size()),
      step_map_(options_.two_pass),
      implication_(formula, formula.clauses.size()),
      workspace_(2 * formula.quantifiers.size() + 2) {
  prefix_.seen.assign(formula.quantifiers.size(), 0);
  std::vector<uint8_t>& bits = backward_.literal_bits;
  bits.assign(formula.quantifiers.size(), kUndefinedVariable);
  for (unsigned variable = 0; variable < bits.size(); ++variable)
    if (formula.is_defined(variable))
      bits[variable] = is_universal_level(formula.levels[variable]) ? kNoUniversal : kNoExistential;
  record_.recycling = options_.two_pass;
  if (!options_.kept_steps.empty()) {
    backward_.kept = &options_.kept_steps;
    uint32_t before = 0;
    for (const uint64_t word : options_.kept_steps) {
      backward_.kept_before.push_back(before);
      before += static_cast<uint32_t>(__builtin_popcountll(word));
    }
    backward_.kept_before.push_back(before);
  }
}

QrpChecker::~QrpChecker() = default;

QrpStatistics QrpChecker::statistics() const {
  QrpStatistics statistics = statistics_;
  if (checking_) statistics.proof_seconds = seconds_since(start_);
  statistics.stored = record_.end_position();
  statistics.literals = formula_.clauses.literals() + record_.stored_literals();
  return statistics;
}

std::string QrpChecker::where(const QrpReader& reader) const {
  return entry_.active ? reader.where(entry_.position) : reader.where();
}

void QrpChecker::refuse(const std::string& message) const { throw Exception(message); }

bool QrpChecker::check(QrpReader& reader) {
  checking_ = true;
  gettimeofday(&start_, nullptr);
  backward_.binary = reader.binary();
  QrpEntry entry;
  for (uint64_t steps = 1;; ++steps) {
    switch (reader.next(entry)) {
      case QrpEntry::BLOCK:
        check_block(entry);
        break;
      case QrpEntry::STEP:
        work_.numbers_read += entry.literals.size() + entry.antecedents.size() + 2;
        if (options_.forward)
          check_step(entry);
        else
          read_step(entry);
        if (progress_ && steps % 4096 == 0) progress_(steps);
        break;
      case QrpEntry::RESULT: {
        const bool proved = options_.forward    ? conclude(entry.satisfiable)
                            : options_.two_pass ? mark_ancestry(entry.satisfiable)
                                                : check_backward(entry.satisfiable);
        statistics_.proof_seconds = seconds_since(start_);
        checking_ = false;
        return proved;
      }
    }
  }
}

// ---- the prefix ---------------------------------------------------------

// The trace's blocks must agree with the QBF file's prefix, whose levels the
// rules use: each block's variables are quantified in the QBF file by the
// block's quantifier on one level, and the blocks go from the outermost
// level inwards (a QBF block may be split over several of the trace's).
// Free variables of the QBF file are its outermost existential block.
void QrpChecker::check_block(const QrpEntry& block) {
  entry_.active = true;
  entry_.position = block.position;
  const bool universal = block.quantifier == Quantifier::UNIVERSAL;
  bool first = true;
  unsigned block_level = 0;
  for (uint32_t variable : block.variables) {
    if (!formula_.is_defined(variable)) refuse(message::qrp_prefix_not_in_formula(variable));
    if (prefix_.seen[variable]) refuse(message::qrp_quantified_twice(variable));
    prefix_.seen[variable] = 1;
    const unsigned level = formula_.levels[variable];
    if (is_universal_level(level) != universal)
      refuse(message::qrp_prefix_quantifier(variable, universal));
    if (first) {
      block_level = level;
      first = false;
      if (prefix_.any_block && level < prefix_.last_block_level)
        refuse(message::qrp_prefix_inner_block(variable));
    } else if (level != block_level) {
      refuse(message::qrp_prefix_shared_block(variable, block.variables.front()));
    }
  }
  if (!first) {
    prefix_.last_block_level = block_level;
    prefix_.any_block = true;
  }
  record_.blocks.push_back(block);
  entry_.active = false;
}

// ---- steps --------------------------------------------------------------

void QrpChecker::check_step(const QrpEntry& step, bool search_input, uint32_t input) {
  entry_.active = true;
  entry_.position = step.position;
  entry_.step_index = step.index;
  check_new_index(step.index, step_map_.defined(step.index));
  if (step.antecedents.empty())
    check_input_or_initial(step, search_input, input);
  else
    check_derived(step);
  entry_.active = false;
}

// A step's index must be new (not `used`) and within the limit.
void QrpChecker::check_new_index(uint32_t index, bool used) const {
  if (used) refuse(message::qrp_index_used_twice(index));
  if (index > ClauseMap::kLargestClauseNumber)
    refuse(message::qrp_index_limit(index, ClauseMap::kLargestClauseNumber));
}

void QrpChecker::refuse_undefined(uint32_t antecedent) const {
  refuse(step_text() + message::qrp_antecedent_undefined(antecedent));
}

// The step's literals without duplicates into scratch_.listed; each must name a
// variable of the QBF file.
void QrpChecker::distinct_literals(const QrpEntry& step) {
  const unsigned undefined = collect_distinct(step.literals);
  if (undefined != 0)
    refuse(step_text() + message::qrp_variable_not_in_formula(undefined));
}

// The same without the refusal: the first variable outside the QBF file,
// else 0 with scratch_.listed filled.
unsigned QrpChecker::collect_distinct(const std::vector<Literal>& literals) {
  std::vector<Literal>& listed = scratch_.listed;
  std::vector<uint8_t>& marks = workspace_.marks;
  listed.clear();
  for (const Literal& literal : literals) {
    if (!formula_.is_defined(literal.variable())) {
      for (const Literal& marked : listed) marks[marked.code] = 0;
      return literal.variable();
    }
    if (marks[literal.code]) continue;
    marks[literal.code] = 1;
    listed.push_back(literal);
  }
  for (const Literal& literal : listed) marks[literal.code] = 0;
  return 0;
}

// A step without antecedents: an input clause when its literal set is a
// clause of the QBF file (the one due next, as solvers write them, or any),
// else an initial cube, which must imply the matrix.
void QrpChecker::check_input_or_initial(const QrpEntry& step, bool search_input,
                                        uint32_t input) {
  distinct_literals(step);
  const std::vector<Literal>& listed = scratch_.listed;
  const uint32_t position = search_input ? match_input(listed) : input;
  const bool contradictory =
      tautological(ClauseView{listed.data(), static_cast<uint32_t>(listed.size())},
                   workspace_.marks);
  if (position != kNoPosition) {
    // A tautology would reduce to a non-tautological clause (u, -u, x
    // becomes x): it is refused instead of being stored.
    if (contradictory)
      refuse(step_text() +
             "input clause holds a literal and its complement (tautologies are refused).");
    ++statistics_.input_clauses;
    step_map_.set(step.index, position);
    uint32_t& empty = record_.empty_of(Rule::CLAUSE);
    if (listed.empty() && empty == kNoPosition) empty = position;
    return;
  }
  // A contradictory cube implies anything and would reduce to the empty cube.
  if (contradictory)
    refuse(step_text() +
           "no clause of the QBF file, and as an initial cube it holds a literal and its "
           "complement.");
  const uint64_t before = implication_.solver_calls();
  const bool implied = implication_.implied_by(listed);
  statistics_.cubes_solved += implication_.solver_calls() - before;
  if (!implied)
    refuse(step_text() +
           "no clause of the QBF file, and as an initial cube it does not imply the matrix.");
  ++statistics_.initial_cubes;
  step_map_.set(step.index, store(listed, QrpRecord::kCube, false));
}

// The input clause whose literal set is `set`: the one due next, as
// solvers write them, or any; kNoPosition when there is none.
uint32_t QrpChecker::match_input(const std::vector<Literal>& set) {
  if (inputs_.next < record_.input_clauses && matches_input_clause(set, inputs_.next))
    return inputs_.next++;
  return find_input_clause(set);
}

bool QrpChecker::matches_input_clause(const std::vector<Literal>& set, uint32_t position) {
  scratch_.widened.clear();
  const ClauseView clause = formula_.clauses.read(position, scratch_.widened);
  return same_literal_set(ClauseView{set.data(), static_cast<uint32_t>(set.size())}, clause,
                          workspace_.marks);
}

// The distinct literals of the input clause at `position`, in its order.
void QrpChecker::distinct_input_literals(uint32_t position, std::vector<Literal>& distinct) {
  std::vector<uint8_t>& marks = workspace_.marks;
  scratch_.widened.clear();
  const ClauseView clause = formula_.clauses.read(position, scratch_.widened);
  distinct.clear();
  for (const Literal& literal : clause)
    if (!marks[literal.code]) {
      marks[literal.code] = 1;
      distinct.push_back(literal);
    }
  for (const Literal& literal : distinct) marks[literal.code] = 0;
}

uint32_t QrpChecker::find_input_clause(const std::vector<Literal>& set) {
  if (!inputs_.hashed) {
    inputs_.hashed = true;
    std::vector<Literal> distinct;
    for (uint32_t position = 0; position < record_.input_clauses; ++position) {
      distinct_input_literals(position, distinct);
      inputs_.by_hash.emplace(set_hash(distinct.data(), distinct.size()), position);
    }
  }
  const auto range = inputs_.by_hash.equal_range(set_hash(set.data(), set.size()));
  for (auto it = range.first; it != range.second; ++it)
    if (matches_input_clause(set, it->second)) return it->second;
  return kNoPosition;
}

// The step's antecedents (store positions in scratch_.antecedents) as
// views into scratch_.views: the first in the workspace's running
// constraint, the others read into scratch_.loaded. The constraint the step
// before derived is still held there: a step that resolves on from it, as
// solvers write their learnt constraints, finds it without reading it back.
void QrpChecker::load_antecedents() {
  const std::vector<uint32_t>& positions = scratch_.antecedents;
  const size_t count = positions.size();
  if (scratch_.loaded.size() < count) scratch_.loaded.resize(count);
  if (positions.front() != workspace_.held) {
    read_qrp_constraint(record_, formula_.clauses, positions.front(), scratch_.widened,
                        workspace_.load_running());
    workspace_.pair_free = false;  // not known of a constraint read back
  }
  scratch_.views.assign(1, workspace_.running().view());
  for (size_t i = 1; i < count; ++i) {
    std::vector<Literal>& literals = scratch_.loaded[i];
    read_qrp_constraint(record_, formula_.clauses, positions[i], scratch_.widened, literals);
    scratch_.views.push_back(ClauseView{literals.data(), static_cast<uint32_t>(literals.size())});
  }
}

// A step with antecedents: they are resolved in the listed order, each
// resolution followed by reduction (one antecedent: reduction alone), on
// the pivot the two share; the listed literals, reduced, must be the result.
//
// The QRP format does not say whether a step without antecedents is a
// clause or a cube, and a solver may write an initial cube whose literals
// are those of an input clause. Such a step stands for the input clause
// (step_map_ names its position) and, when its literals imply the matrix,
// for that cube as well (cube_reading). The kind of each use comes from the
// step that uses it: from its derived antecedents when it has any, else the
// clause reading is tried and, where it fails and every antecedent is also
// an initial cube, the cube reading; the clause reading's fault is the one
// reported when both fail.
void QrpChecker::check_derived(const QrpEntry& step) {
  std::vector<uint32_t>& positions = scratch_.antecedents;
  positions.clear();
  for (uint32_t antecedent : step.antecedents) {
    const uint32_t position = step_map_[antecedent];
    if (position == kNoPosition) refuse_undefined(antecedent);
    positions.push_back(position);
  }
  // The kind the derived antecedents agree on; input clauses take it.
  bool derived_antecedent = false;
  Rule rule = Rule::CLAUSE;
  for (uint32_t position : positions) {
    if (position < record_.input_clauses) continue;
    const Rule own = record_.rule(position);
    if (derived_antecedent && own != rule) refuse_mixed_kinds(step);
    rule = own;
    derived_antecedent = true;
  }
  QrpDerivation derivation;
  if (derived_antecedent) {
    if (rule == Rule::CUBE && !read_inputs_as_cubes()) refuse_mixed_kinds(step);
    derivation = derive(step, rule);
  } else {
    try {
      derivation = derive(step, Rule::CLAUSE);
    } catch (const Exception& clause_fault) {
      if (!read_inputs_as_cubes()) throw;
      try {
        derivation = derive(step, Rule::CUBE);
      } catch (const Exception&) {
        throw clause_fault;
      }
      rule = Rule::CUBE;
    }
  }

  if (rule == Rule::CUBE)
    ++statistics_.cube_steps;
  else
    ++statistics_.clause_steps;
  const uint8_t kind = (rule == Rule::CUBE ? QrpRecord::kCube : 0) | QrpRecord::kDerived |
                       (derivation.long_distance ? QrpRecord::kLongDistance : 0);
  const uint32_t position = store(workspace_.running().literals, kind, true);
  step_map_.set(step.index, position);
  if (derivation.long_distance) record_.long_distance_steps.push_back({position, step.index});
  workspace_.held = position;
}

// The fault of a step whose antecedents are of both kinds, each input
// clause taken as a clause: the first antecedent's kind against the first
// that differs.
void QrpChecker::refuse_mixed_kinds(const QrpEntry& step) {
  const auto rule_at = [&](uint32_t antecedent) {
    const uint32_t position = step_map_[antecedent];
    return position < record_.input_clauses ? Rule::CLAUSE : record_.rule(position);
  };
  const uint32_t first = step.antecedents.front();
  const Rule rule = rule_at(first);
  for (uint32_t antecedent : step.antecedents)
    if (rule_at(antecedent) != rule)
      refuse(step_text() +
             message::qrp_antecedents_of_both_kinds(first, rule == Rule::CUBE, antecedent));
  assert(false && "called for antecedents of both kinds");
  std::abort();
}

// Replaces each input clause among the step's antecedent positions by the
// position of its cube reading. False, with the positions partly replaced,
// when some input clause does not imply the matrix.
bool QrpChecker::read_inputs_as_cubes() {
  for (uint32_t& position : scratch_.antecedents) {
    if (position >= record_.input_clauses) continue;
    const uint32_t cube = cube_reading(position);
    if (cube == kNoPosition) return false;
    position = cube;
  }
  return true;
}

// The store position of the initial cube with the literals of the input
// clause at `position`, made on first demand; kNoPosition when those
// literals do not imply the matrix. Only a step without antecedents that
// repeats an input clause maps to its position, and such a step's literals
// hold no complementary pair.
uint32_t QrpChecker::cube_reading(uint32_t position) {
  assert(position < record_.input_clauses);
  std::vector<InputClauses::CubeReading>& readings = inputs_.cube_readings;
  if (readings.empty())
    readings.assign(record_.input_clauses, InputClauses::CubeReading{false, kNoPosition});
  InputClauses::CubeReading& reading = readings[position];
  if (reading.tested) return reading.position;
  reading.tested = true;
  std::vector<Literal>& listed = scratch_.listed;
  distinct_input_literals(position, listed);
  assert(!tautological(ClauseView{listed.data(), static_cast<uint32_t>(listed.size())},
                       workspace_.marks));
  const uint64_t before = implication_.solver_calls();
  const bool implied = implication_.implied_by(listed);
  statistics_.cubes_solved += implication_.solver_calls() - before;
  if (!implied) return kNoPosition;
  reading.position = store(listed, QrpRecord::kCube, false);
  return reading.position;
}

// Resolves and reduces the step's antecedents (store positions in
// scratch_.antecedents) by `rule` through derive_qrp_step and compares the
// result with the listed literals; throws Exception at the first fault.
// On return the workspace's running constraint holds the derived one.
QrpDerivation QrpChecker::derive(const QrpEntry& step, Rule rule, bool allow_indexed) {
  load_antecedents();
  QrpStepInput input;
  input.rule = rule;
  input.levels = &formula_.levels;
  input.views = scratch_.views.data();
  input.count = scratch_.views.size();
  input.listed = step.literals.size() + step.antecedents.size();
  input.work_done = work_.used;
  input.work_bound = work_bound();
  input.allow_indexed = allow_indexed;
  const QrpDerivation derivation = derive_qrp_step(input, workspace_);
  work_.used += derivation.work;
  const bool cube = rule == Rule::CUBE;
  switch (derivation.outcome) {
    case QrpDerivation::DERIVED:
      break;
    case QrpDerivation::NO_SINGLE_CLASH:
      refuse(step_text() + message::qrp_no_single_clash(step.antecedents[derivation.place],
                                                        derivation.several, cube));
    case QrpDerivation::REFUSED_PAIR:
      refuse(step_text() + message::qrp_refused_pair(step.antecedents[derivation.place],
                                                     derivation.pivot, derivation.variable, cube));
    case QrpDerivation::WORK_BOUND:
      refuse(step_text() + message::qrp_work_bound(input.work_bound));
  }
  const WorkingClause& derived = workspace_.running();
  if (!listed_match(step.literals, derived)) {
    // The indexed constraint gives the same set in another order: a step
    // whose listed literals differ is derived again without it for the
    // message.
    if (derivation.switched) return derive(step, rule, false);
    refuse_listed(step, rule, derived);
  }
  return derivation;
}

// The literals resolutions on the working clauses may pass over in the run
// so far.
uint64_t QrpChecker::work_bound() const {
  return options_.work_base + kWorkPerNumber * work_.numbers_read;
}

// Counts literals passed over outside derive_qrp_step (the backward walks)
// and refuses the trace when the work outgrows its bound.
void QrpChecker::charge_work(uint64_t literals) {
  work_.used += literals;
  const uint64_t bound = work_bound();
  if (work_.used > bound) refuse(step_text() + message::qrp_work_bound(bound));
}

// The common verdict on a step's listed literals: they are, as a set,
// exactly the derived constraint. Then they name defined variables only,
// and reducing them removes nothing (the derived constraint is reduced), so
// the full comparison of refuse_listed would accept them.
bool QrpChecker::listed_match(const std::vector<Literal>& listed, const WorkingClause& derived) {
  return same_literal_set(derived.view(),
                          ClauseView{listed.data(), static_cast<uint32_t>(listed.size())},
                          workspace_.marks);
}

// The listed literals, reduced, against the derived constraint: as sets, so the literals reduction keeps are told by the rule
// (is_removed) without moving them, and duplicates are skipped by their
// marks (1: in the result, 2: met in the list). Refuses the step where they
// differ or name an undefined variable; returns when they agree after all.
void QrpChecker::refuse_listed(const QrpEntry& step, Rule rule, const WorkingClause& derived) {
  const std::vector<unsigned>& levels = formula_.levels;
  std::vector<uint8_t>& marks = workspace_.marks;
  DeepestLevels deepest;
  for (const Literal& literal : step.literals) {
    if (!formula_.is_defined(literal.variable()))
      refuse(step_text() + message::qrp_variable_not_in_formula(literal.variable()));
    deepest.add(levels[literal.variable()]);
  }
  const unsigned bound = deepest.bound(rule);
  for (const Literal& literal : derived.literals) marks[literal.code] = 1;
  size_t kept = 0;
  bool inside = true;
  for (const Literal& literal : step.literals) {
    if (is_removed(rule, bound, levels[literal.variable()])) continue;
    uint8_t& mark = marks[literal.code];
    kept += mark == 1;
    inside &= mark != 0;
    mark |= 2u;
  }
  for (const Literal& literal : step.literals) marks[literal.code] = 0;
  for (const Literal& literal : derived.literals) marks[literal.code] = 0;
  if (!inside || kept != derived.size()) {
    distinct_literals(step);
    const std::vector<Literal>& listed = scratch_.listed;
    WorkingClause& reduced = scratch_.listed_reduced;
    reduced.assign(ClauseView{listed.data(), static_cast<uint32_t>(listed.size())});
    reduced.reduce(rule, levels);
    refuse(step_text() + message::qrp_listed_differ(reduced.to_string(),
                                                    reduced.size() != listed.size(),
                                                    rule == Rule::CUBE, derived.to_string()));
  }
}

// Stores a constraint of `kind`, with the antecedent positions in
// scratch_.antecedents when `with_antecedents` (else none: an initial
// cube); returns its store position. The workspace's running constraint is
// then no longer taken for a stored one: the next step reads its first
// antecedent back, as it always has after anything was stored.
uint32_t QrpChecker::store(const std::vector<Literal>& literals, uint8_t kind,
                           bool with_antecedents) {
  workspace_.held = kNoPosition;
  const std::vector<uint32_t>& antecedents = scratch_.antecedents;
  return record_.append(literals, kind, antecedents.data(),
                        with_antecedents ? antecedents.size() : 0);
}

std::string QrpChecker::step_text() const { return message::qrp_step(entry_.step_index); }

// ---- the result ---------------------------------------------------------

bool QrpChecker::conclude(bool satisfiable) {
  record_.root = record_.empty_of(satisfiable ? Rule::CUBE : Rule::CLAUSE);
  statistics_.proof_found = record_.root != kNoPosition;
  uint64_t in_proof = 0;
  if (!options_.two_pass)
    record_.core_positions(in_proof);
  else if (options_.count_proof)
    in_proof = proof_steps_two_pass();
  const uint64_t steps = statistics_.steps() + statistics_.skipped;
  statistics_.outside_proof = steps > in_proof ? steps - in_proof : 0;
  if (options_.debug)
    std::cout << "Result " << (satisfiable ? "SAT" : "UNSAT") << ": the empty "
              << message::kind_name(satisfiable) << (statistics_.proof_found ? " was" : " was not")
              << " derived; " << statistics_.steps() << " steps checked." << std::endl;
  return statistics_.proof_found;
}
