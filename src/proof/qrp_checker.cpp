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

namespace {

// An order-free hash of a literal set: the sum of a mix of each code.
uint64_t set_hash(const Literal* literals, size_t size) {
  uint64_t hash = 0;
  for (size_t i = 0; i < size; ++i) hash += mix(literals[i].code);
  return hash;
}

}  // namespace

QrpChecker::QrpChecker(QCNF& formula, Options options)
    : formula_(formula),
      options_(options),
      input_clauses_(formula.clauses.size()),
      derived_(formula.clauses.size()),
      kinds_(formula.clauses.size(), 0),
      seen_(formula.quantifiers.size(), 0),
      implication_(formula, formula.clauses.size()),
      marks_(2 * formula.quantifiers.size() + 2, 0) {
  step_map_.resize(1);
  read_.ordinals.resize(1);
}

QrpChecker::~QrpChecker() = default;

QrpStatistics QrpChecker::statistics() const {
  QrpStatistics statistics = statistics_;
  if (checking_) statistics.proof_seconds = seconds_since(start_);
  statistics.stored = derived_.end_position();
  statistics.literals = formula_.clauses.literals() + derived_.literals();
  return statistics;
}

std::string QrpChecker::where(const QrpReader& reader) const {
  return in_entry_ ? reader.where(entry_position_) : reader.where();
}

void QrpChecker::refuse(const std::string& message) const { throw Exception(message); }

bool QrpChecker::check(QrpReader& reader) {
  checking_ = true;
  gettimeofday(&start_, nullptr);
  read_.binary = reader.binary();
  QrpEntry entry;
  for (uint64_t steps = 1;; ++steps) {
    switch (reader.next(entry)) {
      case QrpEntry::BLOCK:
        check_block(entry);
        break;
      case QrpEntry::STEP:
        numbers_read_ += entry.literals.size() + entry.antecedents.size() + 2;
        if (options_.forward)
          check_step(entry);
        else
          read_step(entry);
        if (progress_ && steps % 4096 == 0) progress_(steps);
        break;
      case QrpEntry::RESULT: {
        const bool proved =
            options_.forward ? conclude(entry.satisfiable) : check_backward(entry.satisfiable);
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
  in_entry_ = true;
  entry_position_ = block.position;
  const bool universal = block.quantifier == Quantifier::UNIVERSAL;
  bool first = true;
  unsigned block_level = 0;
  for (uint32_t variable : block.variables) {
    if (!formula_.is_defined(variable)) refuse(message::qrp_prefix_not_in_formula(variable));
    if (seen_[variable]) refuse(message::qrp_quantified_twice(variable));
    seen_[variable] = 1;
    const unsigned level = formula_.levels[variable];
    if (is_universal_level(level) != universal)
      refuse(message::qrp_prefix_quantifier(variable, universal));
    if (first) {
      block_level = level;
      first = false;
      if (any_block_ && level < last_block_level_)
        refuse(message::qrp_prefix_inner_block(variable));
    } else if (level != block_level) {
      refuse(message::qrp_prefix_shared_block(variable, block.variables.front()));
    }
  }
  if (!first) {
    last_block_level_ = block_level;
    any_block_ = true;
  }
  blocks_.push_back(block);
  in_entry_ = false;
}

// ---- steps --------------------------------------------------------------

void QrpChecker::check_step(const QrpEntry& step, uint32_t input) {
  in_entry_ = true;
  entry_position_ = step.position;
  step_index_ = step.index;
  check_new_index(step.index, step_map_);
  if (step.antecedents.empty())
    check_input_or_initial(step, input);
  else
    check_derived(step);
  in_entry_ = false;
}

// A step's index must be new (not in `known`) and within the limit.
void QrpChecker::check_new_index(uint32_t index, const ClauseMap& known) const {
  if (known.defined(index)) refuse(message::qrp_index_used_twice(index));
  if (index > ClauseMap::kLargestClauseNumber)
    refuse(message::qrp_index_limit(index, ClauseMap::kLargestClauseNumber));
}

void QrpChecker::refuse_undefined(uint32_t antecedent) const {
  refuse(step_text() + message::qrp_antecedent_undefined(antecedent));
}

// The step's literals without duplicates into listed_; each must name a
// variable of the QBF file.
void QrpChecker::distinct_literals(const QrpEntry& step) {
  const unsigned undefined = collect_distinct(step.literals);
  if (undefined != 0)
    refuse(step_text() + message::qrp_variable_not_in_formula(undefined));
}

// The same without the refusal: the first variable outside the QBF file,
// else 0 with listed_ filled.
unsigned QrpChecker::collect_distinct(const std::vector<Literal>& literals) {
  listed_.clear();
  for (const Literal& literal : literals) {
    if (!formula_.is_defined(literal.variable())) {
      for (const Literal& marked : listed_) marks_[marked.code] = 0;
      return literal.variable();
    }
    if (marks_[literal.code]) continue;
    marks_[literal.code] = 1;
    listed_.push_back(literal);
  }
  for (const Literal& literal : listed_) marks_[literal.code] = 0;
  return 0;
}

// The constraint at a store position, input clause or derived.
void QrpChecker::read_constraint(uint32_t position, std::vector<Literal>& literals) {
  if (position < input_clauses_) {
    widened_.clear();
    const ClauseView clause = formula_.clauses.read(position, widened_);
    literals.assign(clause.begin(), clause.end());
  } else {
    derived_.read_literals(position, literals);
  }
}

// A step without antecedents: an input clause when its literal set is a
// clause of the QBF file (the one due next, as solvers write them, or any),
// else an initial cube, which must imply the matrix.
void QrpChecker::check_input_or_initial(const QrpEntry& step, uint32_t input) {
  distinct_literals(step);
  const uint32_t position = input == kSearchInput ? match_input(listed_) : input;
  const bool contradictory = tautological(ClauseView{listed_.data(),
                                                     static_cast<uint32_t>(listed_.size())},
                                          marks_);
  if (position != kNoPosition) {
    // A tautology would reduce to a non-tautological clause (u, -u, x
    // becomes x): it is refused instead of being stored.
    if (contradictory)
      refuse(step_text() +
             "input clause holds a literal and its complement (tautologies are refused).");
    ++statistics_.input_clauses;
    step_map_.set(step.index, position);
    if (listed_.empty() && empty_of(Rule::CLAUSE) == kNoPosition) empty_of(Rule::CLAUSE) = position;
    return;
  }
  // A contradictory cube implies anything and would reduce to the empty cube.
  if (contradictory)
    refuse(step_text() +
           "no clause of the QBF file, and as an initial cube it holds a literal and its "
           "complement.");
  const uint64_t before = implication_.solver_calls();
  const bool implied = implication_.implied_by(listed_);
  statistics_.cubes_solved += implication_.solver_calls() - before;
  if (!implied)
    refuse(step_text() +
           "no clause of the QBF file, and as an initial cube it does not imply the matrix.");
  ++statistics_.initial_cubes;
  step_map_.set(step.index, append(listed_, Rule::CUBE, false));
}

// The input clause whose literal set is `set`: the one due next, as
// solvers write them, or any; kNoPosition when there is none.
uint32_t QrpChecker::match_input(const std::vector<Literal>& set) {
  if (next_input_ < input_clauses_ && matches_input_clause(set, next_input_)) return next_input_++;
  return find_input_clause(set);
}

bool QrpChecker::matches_input_clause(const std::vector<Literal>& set, uint32_t position) {
  widened_.clear();
  const ClauseView clause = formula_.clauses.read(position, widened_);
  return same_literal_set(ClauseView{set.data(), static_cast<uint32_t>(set.size())}, clause,
                          marks_);
}

// The distinct literals of the input clause at `position`, in its order.
void QrpChecker::distinct_input_literals(uint32_t position, std::vector<Literal>& distinct) {
  widened_.clear();
  const ClauseView clause = formula_.clauses.read(position, widened_);
  distinct.clear();
  for (const Literal& literal : clause)
    if (!marks_[literal.code]) {
      marks_[literal.code] = 1;
      distinct.push_back(literal);
    }
  for (const Literal& literal : distinct) marks_[literal.code] = 0;
}

uint32_t QrpChecker::find_input_clause(const std::vector<Literal>& set) {
  if (!indexed_) {
    indexed_ = true;
    std::vector<Literal> distinct;
    for (uint32_t position = 0; position < input_clauses_; ++position) {
      distinct_input_literals(position, distinct);
      input_index_.emplace(set_hash(distinct.data(), distinct.size()), position);
    }
  }
  const auto range = input_index_.equal_range(set_hash(set.data(), set.size()));
  for (auto it = range.first; it != range.second; ++it)
    if (matches_input_clause(set, it->second)) return it->second;
  return kNoPosition;
}

// The constraints of the antecedents (store positions in
// antecedent_positions_): the first into running_ or result_, which is
// returned, the others into loaded_, with views into views_ (views_[0]
// unused). The constraint the step before derived is still held there: a
// step that resolves on from it, as solvers write their learnt
// constraints, finds it without reading it back.
WorkingClause* QrpChecker::load() {
  const size_t count = antecedent_positions_.size();
  if (loaded_.size() < count) loaded_.resize(count);
  const uint32_t first = antecedent_positions_.front();
  WorkingClause* running = holder_;
  if (first != held_) {
    running = &running_;
    read_constraint(first, running->overwrite());
    held_pair_free_ = false;  // not known of a constraint read back
  }
  held_ = kNoPosition;  // the chain changes it from here on
  views_.assign(1, ClauseView{});
  for (size_t i = 1; i < count; ++i) {
    std::vector<Literal>& literals = loaded_[i];
    read_constraint(antecedent_positions_[i], literals);
    views_.push_back(ClauseView{literals.data(), static_cast<uint32_t>(literals.size())});
  }
  return running;
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
  antecedent_positions_.clear();
  for (uint32_t antecedent : step.antecedents) {
    const uint32_t position = step_map_[antecedent];
    if (position == ClauseMap::kNone) refuse_undefined(antecedent);
    antecedent_positions_.push_back(position);
  }
  // The kind the derived antecedents agree on; input clauses take it.
  bool derived_antecedent = false;
  Rule rule = Rule::CLAUSE;
  for (uint32_t position : antecedent_positions_) {
    if (position < input_clauses_) continue;
    const Rule own = rule_of(kinds_[position]);
    if (derived_antecedent && own != rule) refuse_mixed_kinds(step);
    rule = own;
    derived_antecedent = true;
  }
  Derivation derivation;
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
  WorkingClause* const running = derivation.result;
  step_map_.set(step.index, append(running->literals, rule, true));
  if (derivation.long_distance) {
    kinds_.back() |= kLongDistance;
    long_distance_steps_.push_back({derived_.end_position() - 1, step.index});
  }
  held_ = derived_.end_position() - 1;
  holder_ = running;
  held_pair_free_ = derivation.pair_free;
}

// The fault of a step whose antecedents are of both kinds, each input
// clause taken as a clause: the first antecedent's kind against the first
// that differs.
void QrpChecker::refuse_mixed_kinds(const QrpEntry& step) {
  const auto rule_at = [&](uint32_t antecedent) {
    const uint32_t position = step_map_[antecedent];
    return position < input_clauses_ ? Rule::CLAUSE : rule_of(kinds_[position]);
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
  for (uint32_t& position : antecedent_positions_) {
    if (position >= input_clauses_) continue;
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
  assert(position < input_clauses_);
  if (cube_readings_.empty()) cube_readings_.assign(input_clauses_, kUntested);
  uint32_t& reading = cube_readings_[position];
  if (reading != kUntested) return reading;
  reading = kNoPosition;
  distinct_input_literals(position, listed_);
  assert(!tautological(ClauseView{listed_.data(), static_cast<uint32_t>(listed_.size())}, marks_));
  const uint64_t before = implication_.solver_calls();
  const bool implied = implication_.implied_by(listed_);
  statistics_.cubes_solved += implication_.solver_calls() - before;
  if (!implied) return kNoPosition;
  reading = append(listed_, Rule::CUBE, false);
  return reading;
}

// Resolves and reduces the step's antecedents (store positions in
// antecedent_positions_) by `rule` and compares the result with
// the listed literals; throws Exception at the first fault.
QrpChecker::Derivation QrpChecker::derive(const QrpEntry& step, Rule rule, bool allow_indexed) {
  const std::vector<unsigned>& levels = formula_.levels;
  WorkingClause* running = load();
  WorkingClause* result = running == &running_ ? &result_ : &running_;
  bool long_distance = false;
  // The running constraint holds distinct literals and no complementary
  // pair: it was derived by the single-clash resolutions below (reduction
  // removes literals only, so it keeps this).
  bool pair_free = held_pair_free_;
  if (views_.size() == 1) running->reduce(rule, levels);
  // Each resolution below passes over the running constraint. When a
  // step's passes outgrow what it lists and what its antecedents hold, the
  // chain goes on in the indexed constraint, where a resolution costs the
  // antecedent's size: a step is then linear in its numbers. The indexed
  // constraint gives the same set in another order, so a step whose listed
  // literals differ is derived again without it for the message.
  uint64_t work = 0, linear = step.literals.size() + step.antecedents.size();
  bool indexed = false, switched = !allow_indexed;
  for (size_t i = 1; i < views_.size(); ++i) {
    linear += views_[i].size;
    if (!switched && work > kIndexedSwitch * linear) {
      switched = true;
      if (!chain_.sized()) chain_.reset(marks_.size(), levels);
      indexed = chain_.load(running->view(), levels);
    }
    if (indexed) {
      if (chain_.resolve(rule, views_[i], levels, marks_) != 0) continue;
      chain_.take(running->overwrite(), levels);
      indexed = false;
      pair_free = true;
    }
    const uint64_t pass = running->size() + views_[i].size;
    work += pass;
    charge_work(pass);
    // Mostly the two meet in the pivot alone: one pass finds and resolves
    // it, in place when the running constraint is known to be pair-free.
    if (pair_free &&
        resolve_single_clash_in_place(rule, *running, views_[i], levels, marks_) != 0)
      continue;
    if (resolve_single_clash(rule, running->view(), views_[i], levels, *result, marks_) != 0) {
      std::swap(running, result);
      pair_free = true;
      continue;
    }
    pair_free = false;
    bool several = false;
    const unsigned pivot =
        clashing_pivot(rule, running->view(), views_[i], levels, marks_, several);
    if (pivot == 0 || several)
      refuse(step_text() +
             message::qrp_no_single_clash(step.antecedents[i], pivot != 0, rule == Rule::CUBE));
    const ResolutionOutcome outcome =
        resolve(rule, running->view(), views_[i], pivot, levels, *result, marks_);
    if (outcome != ResolutionOutcome::RESOLVED) {
      const unsigned refused =
          refused_long_distance_pair(rule, running->view(), views_[i], pivot, levels, marks_);
      if (outcome == ResolutionOutcome::NO_CLASH || refused != 0) {
        refuse(step_text() +
               message::qrp_refused_pair(step.antecedents[i], pivot, refused ? refused : pivot,
                                         rule == Rule::CUBE));
      }
      long_distance = true;
    }
    std::swap(running, result);
  }
  if (indexed) {
    chain_.take(running->overwrite(), levels);
    pair_free = true;
  }

  if (!listed_match(step.literals, *running)) {
    if (switched && allow_indexed) return derive(step, rule, false);
    refuse_listed(step, rule, *running);
  }
  return Derivation{running, pair_free, long_distance};
}

// Counts literals passed over by resolutions on the working clauses and
// refuses the trace when they outgrow its size: the long-distance and
// faulty steps that the indexed constraint does not take could otherwise
// keep the checker busy for hours on a trace of a few megabytes.
void QrpChecker::charge_work(uint64_t literals) {
  work_ += literals;
  const uint64_t bound = options_.work_base + kWorkPerNumber * numbers_read_;
  if (work_ > bound) refuse(step_text() + message::qrp_work_bound(bound));
}

// The common verdict on a step's listed literals: they are, as a set,
// exactly the derived constraint. Then they name defined variables only,
// and reducing them removes nothing (the derived constraint is reduced), so
// the full comparison of refuse_listed would accept them.
bool QrpChecker::listed_match(const std::vector<Literal>& listed, const WorkingClause& derived) {
  return same_literal_set(derived.view(),
                          ClauseView{listed.data(), static_cast<uint32_t>(listed.size())}, marks_);
}

// The listed literals, reduced, against the derived constraint: as sets, so the literals reduction keeps are told by the rule
// (is_removed) without moving them, and duplicates are skipped by their
// marks (1: in the result, 2: met in the list). Refuses the step where they
// differ or name an undefined variable; returns when they agree after all.
void QrpChecker::refuse_listed(const QrpEntry& step, Rule rule, const WorkingClause& derived) {
  const std::vector<unsigned>& levels = formula_.levels;
  DeepestLevels deepest;
  for (const Literal& literal : step.literals) {
    if (!formula_.is_defined(literal.variable()))
      refuse(step_text() + message::qrp_variable_not_in_formula(literal.variable()));
    deepest.add(levels[literal.variable()]);
  }
  const unsigned bound = deepest.bound(rule);
  for (const Literal& literal : derived.literals) marks_[literal.code] = 1;
  size_t kept = 0;
  bool inside = true;
  for (const Literal& literal : step.literals) {
    if (is_removed(rule, bound, levels[literal.variable()])) continue;
    uint8_t& mark = marks_[literal.code];
    kept += mark == 1;
    inside &= mark != 0;
    mark |= 2u;
  }
  for (const Literal& literal : step.literals) marks_[literal.code] = 0;
  for (const Literal& literal : derived.literals) marks_[literal.code] = 0;
  if (!inside || kept != derived.size()) {
    distinct_literals(step);
    listed_reduced_.assign(ClauseView{listed_.data(), static_cast<uint32_t>(listed_.size())});
    listed_reduced_.reduce(rule, levels);
    refuse(step_text() + message::qrp_listed_differ(listed_reduced_.to_string(),
                                                    listed_reduced_.size() != listed_.size(),
                                                    rule == Rule::CUBE, derived.to_string()));
  }
}

// Appends a constraint, with the antecedent positions in
// antecedent_positions_ when `derived` (else none: an initial cube);
// returns its store position.
uint32_t QrpChecker::append(const std::vector<Literal>& literals, Rule rule, bool derived) {
  const uint32_t position = derived_.end_position();
  held_ = kNoPosition;
  derived_.push(literals.data(), literals.size(), antecedent_positions_.data(),
                derived ? antecedent_positions_.size() : 0);
  kinds_.push_back(kind_of(rule));
  uint32_t& empty = empty_of(rule);
  if (literals.empty() && empty == kNoPosition) empty = position;
  assert(kinds_.size() == derived_.end_position());
  return position;
}

std::string QrpChecker::step_text() const { return message::qrp_step(step_index_); }

// ---- the result ---------------------------------------------------------

bool QrpChecker::conclude(bool satisfiable) {
  root_ = empty_of(satisfiable ? Rule::CUBE : Rule::CLAUSE);
  statistics_.proof_found = root_ != kNoPosition;
  uint64_t in_proof = 0;
  core_positions(in_proof);
  const uint64_t steps = statistics_.steps() + statistics_.skipped;
  statistics_.outside_proof = steps > in_proof ? steps - in_proof : 0;
  if (options_.debug)
    std::cout << "Result " << (satisfiable ? "SAT" : "UNSAT") << ": the empty "
              << message::kind_name(satisfiable) << (statistics_.proof_found ? " was" : " was not")
              << " derived; " << statistics_.steps() << " steps checked." << std::endl;
  return statistics_.proof_found;
}

// The store positions the empty constraint of the verdict (root_; none: no
// position) rests on, marked 1, found backwards over the stored antecedent
// lists: antecedents stand before their steps, so one sweep from the root
// down marks them all. `in_core` counts them.
std::vector<uint8_t> QrpChecker::core_positions(uint64_t& in_core) const {
  std::vector<uint8_t> used(root_ == kNoPosition ? 0 : size_t{root_} + 1, 0);
  in_core = 0;
  if (root_ == kNoPosition) return used;
  used[root_] = 1;
  for (uint32_t position = root_ + 1; position-- > 0;) {
    if (!used[position]) continue;
    ++in_core;
    if (position < input_clauses_) continue;
    derived_.for_each_antecedent(position, [&](uint32_t antecedent) { used[antecedent] = 1; });
  }
  return used;
}
