// Checking a QRP trace in two passes, so that memory stays a fraction of
// the trace: the first pass (check with Options::two_pass) keeps each
// step's antecedents (AntecedentLog), its kinds and the input clause it
// repeats, not its literals; at the result line, the ancestry of the first
// candidate for the claimed empty constraint is marked, each antecedent's
// last use with it. The second pass reads the trace again and checks the
// marked steps in trace order by the forward checks; each constraint is
// released after its last use (QrpRecord recycles). Every step read again
// must have the index and antecedents the first pass read, and the caller
// compares the bytes of both readings. A fault in the second pass is not
// reported from here: the one-pass check (qrp_backward.cpp), which tries
// the other candidates, tells which fault stands, so messages stay those
// of one pass.

#include <cassert>
#include <vector>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/varint.hpp"
#include "formula/rules.hpp"
#include "proof/qrp_checker.hpp"

// The candidates check_backward checks until one holds the empty
// constraint, marked: the steps that may be of the claimed kind and list no
// literal that reduction keeps, first those whose kind is certain, in trace
// order, then the others. A certain candidate with antecedents that checks
// is the empty constraint (its listed literals reduce to nothing); one
// without is an initial cube, stored as listed, which holds the empty cube
// only when it lists nothing. So the candidates are marked up to the first
// certain one with antecedents or without literals, else up to the first
// uncertain one, whose check may or may not give the empty constraint.
// Returns the last ordinal marked, kNoPosition when there is no candidate.
uint32_t QrpChecker::mark_candidates(bool satisfiable) {
  const uint8_t kind_bit = satisfiable ? kMayBeCube : kMayBeClause;
  const uint8_t empty_bit = satisfiable ? kNoUniversal : kNoExistential;
  const uint8_t both = kMayBeClause | kMayBeCube;
  const uint32_t count = backward_.ordinals.size();
  PodVector<uint8_t>& kinds = backward_.kinds;
  uint32_t last = kNoPosition;
  for (int certain = 1; certain >= 0; --certain)
    for (uint32_t ordinal = 0; ordinal < count; ++ordinal) {
      const uint8_t own = kinds[ordinal];
      if (!(own & kind_bit) || !(own & empty_bit)) continue;
      if (certain != ((own & both) == kind_bit)) continue;
      kinds[ordinal] |= kMarked;
      if (last == kNoPosition || ordinal > last) last = ordinal;
      if (!certain || backward_.log.derived(ordinal) || (own & kNoLiterals)) return last;
    }
  return last;
}

// The end of the first pass. Without a candidate the verdict stands (no
// empty constraint). Else the candidates' ancestry is marked by one sweep
// down from the last (antecedents stand before their steps), the work
// counted as check_ancestry counts it (each step marked once), and the
// first use of an antecedent met going down, its last in trace order, is
// marked in the log. The second pass checks the marked steps in trace
// order, where check_backward checks one candidate's ancestry after the
// other's: the candidates before the last are initial cubes, whose check
// does not depend on the steps checked before.
bool QrpChecker::mark_ancestry(bool satisfiable) {
  AntecedentLog& log = backward_.log;
  PodVector<uint8_t>& kinds = backward_.kinds;
  const uint32_t last = mark_candidates(satisfiable);
  if (last == kNoPosition) {
    statistics_.skipped = backward_.ordinals.size();
    return conclude(satisfiable);
  }
  log.clear_last_uses();
  log.for_each_downwards(last, [&](const AntecedentLog::Record& record) {
    if (!(kinds[record.ordinal] & kMarked)) return;
    const uint64_t antecedents =
        AntecedentLog::for_each_antecedent(record, [&](uint32_t antecedent, uint64_t entry) {
          if (kinds[antecedent] & kMarked) return;
          kinds[antecedent] |= kMarked;
          log.mark_last_use(entry);
        });
    charge_work(antecedents + 1);
  });
  // The marked steps' offsets, for the reader to skip the others.
  uint64_t offset = 0, marked_offset = 0;
  PodVector<uint8_t>& offsets = second_.offsets;
  AntecedentLog::Record record = log.record(0);
  for (uint32_t ordinal = 0;; ++ordinal) {
    offset += AntecedentLog::gap(record);
    if (kinds[ordinal] & kMarked) {
      const size_t size = offsets.size();
      offsets.resize(size + kLongestVarint);
      uint8_t* const end = put_varint(offsets.data() + size, offset - marked_offset);
      offsets.resize(static_cast<size_t>(end - offsets.data()));
      marked_offset = offset;
    }
    if (ordinal == last) break;
    record = AntecedentLog::following(record);
  }
  second_.due = true;
  second_.satisfiable = satisfiable;
  second_.last = last;
  return false;
}

// The candidates are the steps check_backward may take as the claimed
// empty constraint (of its kind, listing nothing reduction keeps); one
// sweep down the log adds what each step kept rests on.
std::vector<uint64_t> QrpChecker::candidates_ancestry() const {
  const uint8_t kind_bit = second_.satisfiable ? kMayBeCube : kMayBeClause;
  const uint8_t empty_bit = second_.satisfiable ? kNoUniversal : kNoExistential;
  const uint32_t count = backward_.ordinals.size();
  const PodVector<uint8_t>& kinds = backward_.kinds;
  std::vector<uint64_t> bits((count + 63) / 64, 0);
  const auto set = [&bits](uint32_t ordinal) { bits[ordinal / 64] |= uint64_t{1} << (ordinal % 64); };
  const auto is_set = [&bits](uint32_t ordinal) { return (bits[ordinal / 64] >> (ordinal % 64)) & 1u; };
  for (uint32_t ordinal = 0; ordinal < count; ++ordinal)
    if ((kinds[ordinal] & kind_bit) && (kinds[ordinal] & empty_bit)) set(ordinal);
  if (count == 0) return bits;
  backward_.log.for_each_downwards(count - 1, [&](const AntecedentLog::Record& record) {
    if (!is_set(record.ordinal)) return;
    AntecedentLog::for_each_antecedent(record, [&](uint32_t antecedent, uint64_t) { set(antecedent); });
  });
  return bits;
}

QrpChecker::SecondPass QrpChecker::check_marked(QrpReader& reader) {
  assert(second_.due);
  second_.due = false;
  checking_ = true;
  const uint32_t last = second_.last;
  QrpEntry entry;
  AntecedentLog::Record record = backward_.log.record(0);
  uint64_t offset = 0;
  for (uint32_t ordinal = 0;;) {
    offset += AntecedentLog::gap(record);
    if (backward_.kinds[ordinal] & kMarked) {
      // The reader skips to the marked steps: a block, the result or
      // another step there is another file.
      if (reader.next(entry) != QrpEntry::STEP || entry.position.offset != offset ||
          !same_as_read(entry, ordinal, record))
        return SecondPass::CHANGED;
      const bool may_repeat =
          (backward_.kinds[ordinal] & (kMayBeClause | kMayBeCube)) == (kMayBeClause | kMayBeCube);
      try {
        check_step(entry, false, may_repeat ? backward_.repeated_input(ordinal) : kNoPosition);
      } catch (const Exception&) {
        return SecondPass::FAULT;
      }
      after_marked_step(entry, ordinal, record);
    }
    if (progress_ && (ordinal + 1) % 4096 == 0) progress_(ordinal + 1);
    if (ordinal == last) break;
    record = AntecedentLog::following(record);
    ++ordinal;
  }
  const uint64_t checked = statistics_.steps();
  const uint32_t count = backward_.ordinals.size();
  statistics_.skipped = count > checked ? count - checked : 0;
  if (record_.empty_of(second_.satisfiable ? Rule::CUBE : Rule::CLAUSE) == kNoPosition)
    return SecondPass::FAULT;
  const bool proved = conclude(second_.satisfiable);
  assert(proved);
  (void)proved;
  statistics_.proof_seconds = seconds_since(start_);
  checking_ = false;
  return SecondPass::PROVED;
}

// The step read again is the one the first pass read at `ordinal`: the same
// index and the same antecedents (as ordinals, in the same order).
bool QrpChecker::same_as_read(const QrpEntry& step, uint32_t ordinal,
                              const AntecedentLog::Record& record) const {
  const StepOrdinals& ordinals = backward_.ordinals;
  if (ordinals[step.index] != ordinal) return false;
  const std::vector<uint32_t>& antecedents = step.antecedents;
  size_t listed = 0;
  bool same = true;
  const uint64_t count = AntecedentLog::for_each_antecedent(
      record, [&](uint32_t antecedent, uint64_t) {
        same &= listed < antecedents.size() && ordinals[antecedents[listed]] == antecedent;
        ++listed;
      });
  return same && count == antecedents.size();
}

// After a marked step was checked: its kind is noted for the count of the
// proof's steps, the first step to store an empty constraint of each kind
// is noted, and the antecedents it used last are released.
void QrpChecker::after_marked_step(const QrpEntry& step, uint32_t ordinal,
                                   const AntecedentLog::Record& record) {
  const uint32_t position = step_map_[step.index];
  if (position >= record_.input_clauses && record_.rule(position) == Rule::CUBE)
    backward_.kinds[ordinal] |= kCheckedCube;
  for (int cube = 0; cube < 2; ++cube)
    if (second_.root_ordinal[cube] == kNoPosition && record_.empty[cube] != kNoPosition)
      second_.root_ordinal[cube] = ordinal;
  AntecedentLog::for_each_antecedent(record, [&](uint32_t, uint64_t entry) {
    if (!backward_.log.last_use(entry)) return;
    const uint32_t antecedent = step.antecedents[entry - record.entry];
    const uint32_t released = step_map_[antecedent];
    if (released >= record_.input_clauses) record_.recycled.release(released);
    step_map_.erase(antecedent);
  });
}

// The constraints the verdict's empty constraint rests on, itself included,
// as QrpRecord::core_positions counts them on a record with antecedents:
// each derived step and initial cube once, each input clause once as a
// clause and once more where a cube step used it as an initial cube.
uint64_t QrpChecker::proof_steps_two_pass() {
  const uint32_t root = record_.root;
  if (root == kNoPosition) return 0;
  if (root < record_.input_clauses) return 1;
  const uint32_t top = second_.root_ordinal[record_.proved_rule() == Rule::CUBE];
  assert(top != kNoPosition);
  PodVector<uint8_t>& kinds = backward_.kinds;
  std::vector<uint8_t> input_uses(record_.input_clauses, 0);  // bit 1: as a clause, 2: as a cube
  uint64_t in_proof = 0;
  kinds[top] |= kReached;
  backward_.log.for_each_downwards(top, [&](const AntecedentLog::Record& record) {
    const uint8_t own = kinds[record.ordinal];
    if (!(own & kReached)) return;
    ++in_proof;
    const uint8_t use = (own & kCheckedCube) ? 2 : 1;
    AntecedentLog::for_each_antecedent(record, [&](uint32_t antecedent, uint64_t) {
      // A step that repeats an input clause may be of either kind: only
      // those are looked up.
      const uint8_t both = kMayBeClause | kMayBeCube;
      const uint32_t input = (kinds[antecedent] & both) == both
                                 ? backward_.repeated_input(antecedent)
                                 : kNoPosition;
      if (input != kNoPosition)
        input_uses[input] |= use;
      else
        kinds[antecedent] |= kReached;
    });
  });
  for (uint8_t uses : input_uses) in_proof += (uses & 1) + (uses >> 1);
  return in_proof;
}
