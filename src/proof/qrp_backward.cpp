// Backward checking of a QRP trace: the steps are read and kept unchecked;
// at the result line, the steps that may hold the empty constraint it
// claims are taken in trace order, and each one's ancestry (the steps it
// rests on through the antecedent lists) is checked in trace order by the
// forward checks. Steps nothing checked rests on are skipped: a solver's
// learnt constraints that the proof of its answer never uses cost no work
// and cannot refuse a sound proof. A fault is reported only when no empty
// constraint of the claimed kind is derived: the first fault met.

#include <algorithm>
#include <cassert>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "formula/rules.hpp"
#include "proof/qrp_checker.hpp"

namespace {

// Where a step stands in the backward check.
enum State : uint8_t { UNMARKED, MARKED, CHECKED, FAILED };

}  // namespace

// Keeps a step for later: its index must be new and its antecedents read
// before it (refused here as the forward check refuses them); what kinds it
// may have and which empty constraint it may reduce to are noted for the
// choice of the steps to check. With two passes only its antecedents are
// kept; the second pass reads the rest again.
void QrpChecker::read_step(const QrpEntry& step) {
  entry_.active = true;
  entry_.position = step.position;
  entry_.step_index = step.index;
  Backward& read = backward_;
  check_new_index(step.index, read.ordinals[step.index] != kNoPosition);
  const uint32_t ordinal = read.ordinals.size();
  const uint8_t both = kMayBeClause | kMayBeCube;
  uint8_t kinds = both;
  std::vector<uint32_t>& ordinals = scratch_.antecedents;  // the antecedents' ordinals here
  ordinals.clear();
  for (uint32_t antecedent : step.antecedents) {
    const uint32_t known = read.ordinals[antecedent];
    if (known == kNoPosition) refuse_undefined(antecedent);
    ordinals.push_back(known);
    kinds &= read.kinds[known];
  }
  // Antecedents of both kinds are refused when the step is checked; what
  // rests on it stays a candidate, so that the refusal is reported.
  if ((kinds & both) == 0) kinds = both;
  kinds &= both;
  uint32_t input = kNoPosition;
  // A variable outside the QBF file: refused when checked, no candidate.
  // Only a step without antecedents needs its literals without duplicates
  // (to match an input clause); which quantifiers a step lists does not
  // depend on them: one pass over the literals gathers them.
  const std::vector<uint8_t>& bits = read.literal_bits;
  const size_t variables = bits.size();
  uint8_t named = 0;
  for (const Literal& literal : step.literals) {
    const uint32_t variable = literal.variable();
    named |= variable < variables ? bits[variable] : kUndefinedVariable;
  }
  const bool defined = !(named & kUndefinedVariable);
  if (step.antecedents.empty() && defined) {
    const unsigned undefined = collect_distinct(step.literals);  // fills scratch_.listed
    assert(undefined == 0);
    (void)undefined;
    input = match_input(scratch_.listed);
    if (input == kNoPosition) kinds = kMayBeCube;
  }
  if (defined) {
    kinds |= (kNoExistential | kNoUniversal) & ~named;
    if (step.literals.empty()) kinds |= kNoLiterals;
  }
  read.ordinals.add(step.index);
  if (options_.two_pass) {
    // The literals are read again in the second pass, from the offset.
    const uint64_t offset = step.position.offset;
    read.log.push(ordinals.data(), ordinals.size(), offset - read.last_offset);
    read.last_offset = offset;
  } else {
    // A step no candidate rests on is not kept (only its kinds are).
    if (read.keeps(ordinal)) {
      if (read.kept) {
        // The antecedents as slots: every one is kept in the trace read first.
        for (uint32_t& antecedent : ordinals) {
          if (!read.keeps(antecedent)) refuse_changed_trace();
          antecedent = read.slot(antecedent);
        }
        read.kept_ordinals.push_back(ordinal);
      }
      assert(read.slot(ordinal) == read.indices.size());
      read.steps.push(step.literals.data(), step.literals.size(), ordinals.data(),
                      ordinals.size());
      read.indices.push_back(step.index);
      const InputPosition& at = step.position;
      read.positions.push_back(read.binary ? at.offset : uint64_t{at.line} << 32 | at.column);
    }
  }
  if (input != kNoPosition) read.repeats.push_back(Backward::Repeat{ordinal, input});
  read.kinds.push_back(kinds);
  entry_.active = false;
}

// The candidates for the empty constraint of the result line: steps that
// may be of its kind and list no literal of the quantifier reduction keeps
// (so they may reduce to nothing); first those whose kind is certain, then
// those that may be of either kind (steps over input clauses that imply the
// matrix), each in trace order, until one is derived.
bool QrpChecker::check_backward(bool satisfiable) {
  const uint8_t kind_bit = satisfiable ? kMayBeCube : kMayBeClause;
  const uint8_t empty_bit = satisfiable ? kNoUniversal : kNoExistential;
  const uint8_t both = kMayBeClause | kMayBeCube;
  const uint32_t count = backward_.ordinals.size();
  const uint32_t& found = record_.empty_of(satisfiable ? Rule::CUBE : Rule::CLAUSE);
  std::vector<uint8_t> state(count, UNMARKED);
  std::vector<uint32_t> marked, stack;  // scratch of check_ancestry
  for (int certain = 1; certain >= 0 && found == kNoPosition; --certain)
    for (uint32_t ordinal = 0; ordinal < count && found == kNoPosition; ++ordinal) {
      const uint8_t kinds = backward_.kinds[ordinal];
      if (state[ordinal] != UNMARKED || !(kinds & kind_bit) || !(kinds & empty_bit)) continue;
      if (certain != ((kinds & both) == kind_bit)) continue;
      check_ancestry(ordinal, state, marked, stack);
    }
  const uint64_t checked = statistics_.steps();
  statistics_.skipped = count > checked ? count - checked : 0;
  const Backward::Fault& fault = backward_.first_fault;
  if (found == kNoPosition && fault.met) {
    entry_.active = true;
    entry_.position = fault.position;
    refuse(fault.message);
  }
  return conclude(satisfiable);
}

// Marks the steps `candidate` rests on that are not checked yet and checks
// them in trace order. A step whose ancestry holds a step that failed is
// left alone (it would fail there); after a fault, the steps that rest on
// the failed one fail with it and the others go back to unmarked, for
// another candidate to check.
void QrpChecker::check_ancestry(uint32_t candidate, std::vector<uint8_t>& state,
                                std::vector<uint32_t>& marked, std::vector<uint32_t>& stack) {
  // What a kept step lists is kept (read_step); a candidate must be too.
  if (!backward_.keeps(candidate)) refuse_changed_trace();
  marked.assign(1, candidate);
  stack.assign(1, candidate);
  state[candidate] = MARKED;
  bool blocked = false;
  while (!stack.empty()) {
    const uint32_t ordinal = stack.back();
    stack.pop_back();
    uint64_t antecedents = 0;
    backward_.for_each_antecedent(ordinal, [&](uint32_t antecedent) {
      ++antecedents;
      if (state[antecedent] == FAILED) blocked = true;
      if (state[antecedent] != UNMARKED) return;
      state[antecedent] = MARKED;
      marked.push_back(antecedent);
      stack.push_back(antecedent);
    });
    charge_work(antecedents + 1);
  }
  if (blocked) {
    for (uint32_t ordinal : marked) state[ordinal] = UNMARKED;
    return;
  }
  std::sort(marked.begin(), marked.end());
  QrpEntry step;
  step.kind = QrpEntry::STEP;
  bool failed = false;
  for (uint32_t ordinal : marked) {
    if (failed) {
      bool rests_on_fault = false;
      backward_.for_each_antecedent(
          ordinal, [&](uint32_t antecedent) { rests_on_fault |= state[antecedent] == FAILED; });
      state[ordinal] = rests_on_fault ? FAILED : UNMARKED;
      continue;
    }
    const Backward& read = backward_;
    step.index = read.indices[read.slot(ordinal)];
    step.position = read.read_position(ordinal);
    read.steps.read_literals(read.slot(ordinal), step.literals);
    step.antecedents.clear();
    read.for_each_antecedent(ordinal, [&](uint32_t antecedent) {
      step.antecedents.push_back(read.indices[read.slot(antecedent)]);
    });
    try {
      check_step(step, false, read.repeated_input(ordinal));
      state[ordinal] = CHECKED;
    } catch (const Exception& fault) {
      state[ordinal] = FAILED;
      failed = true;
      Backward::Fault& first = backward_.first_fault;
      if (!first.met) first = Backward::Fault{true, fault.message, step.position};
    }
  }
  assert(!failed || state[candidate] == FAILED);
}

// The steps kept (Options::kept_steps) are not those this trace needs.
void QrpChecker::refuse_changed_trace() const {
  throw Exception(message::qrp_trace_changed(options_.trace_name), Exception::NO_POSITION);
}

// Where the step at `ordinal` starts, as the reader gave it.
InputPosition QrpChecker::Backward::read_position(uint32_t ordinal) const {
  const uint64_t packed = positions[slot(ordinal)];
  InputPosition position;
  if (binary)
    position.offset = packed;
  else
    position = InputPosition{static_cast<uint32_t>(packed >> 32), static_cast<uint32_t>(packed), 0};
  return position;
}

// The input clause the step at `ordinal` repeats, kNoPosition when none.
uint32_t QrpChecker::Backward::repeated_input(uint32_t ordinal) const {
  const Repeat* const begin = repeats.data();
  const Repeat* const end = begin + repeats.size();
  const Repeat* found = std::lower_bound(
      begin, end, ordinal,
      [](const Repeat& repeat, uint32_t wanted) { return repeat.ordinal < wanted; });
  return found != end && found->ordinal == ordinal ? found->input : kNoPosition;
}

void QrpChecker::StepOrdinals::add(uint32_t index) {
  if (consecutive_ && (count_ == 0 || uint64_t{index} == uint64_t{offset_} + count_)) {
    if (count_ == 0) offset_ = index;
    ++count_;
    return;
  }
  if (consecutive_) {
    consecutive_ = false;
    map_.resize(1);
    for (uint32_t ordinal = 0; ordinal < count_; ++ordinal) map_.set(offset_ + ordinal, ordinal);
  }
  map_.set(index, count_++);
}
