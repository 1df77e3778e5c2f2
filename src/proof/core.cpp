// The core of a refutation (--core): the numbered steps the refuting
// clause rests on, found backwards over the antecedents recorded while
// checking, written as a zel certificate. Resolution lines are left out
// (no numbered step can name their resolvents). An extension definition is
// kept, where it was applied, when the core's clauses name its variable or
// a kept definition names it as an operand: it places its variable in the
// prefix, which reduction reads; the others are left out, since they may
// wait on variables only a step outside the core defines.

#include <cassert>
#include <ostream>

#include "proof/proof_checker.hpp"
#include "write/text_writer.hpp"

// Keeps a step just applied: its clause's store position and its
// antecedents' (`antecedents`, taken before the step bound its number).
void ProofChecker::record_step(const StepEntry& step, const std::vector<uint32_t>& antecedents) {
  core_events_.push_back(static_cast<uint32_t>(core_positions_.size()));
  core_positions_.push_back(clause_map_[step.number]);
  core_antecedents_.insert(core_antecedents_.end(), antecedents.begin(), antecedents.end());
  core_begins_.push_back(static_cast<uint32_t>(core_antecedents_.size()));
  core_merged_.push_back(step.resolvent_omitted);
  // check_chain appended a chain step's chain; merges and trusted steps have none.
  if (options_.record_functions)
    chain_begins_.push_back(static_cast<uint32_t>(chain_positions_.size()));
}

// Records are in store order: one sweep from the newest marks the
// antecedents of every record in the core of the clause at `root`.
std::vector<uint8_t> ProofChecker::core_used(uint32_t root) const {
  std::vector<uint8_t> used(uint64_t{root} + 1, 0);
  used[root] = 1;
  for (uint32_t record = static_cast<uint32_t>(core_positions_.size()); record-- > 0;) {
    const uint32_t position = core_positions_[record];
    if (position > root || !used[position]) continue;
    for (uint32_t a = core_begins_[record]; a < core_begins_[record + 1]; ++a)
      used[core_antecedents_[a]] = 1;
  }
  return used;
}

uint64_t ProofChecker::write_core(std::ostream& out, uint64_t& steps) const {
  assert(options_.record_core && refuting_number_ != 0);
  const uint32_t records = static_cast<uint32_t>(core_positions_.size());
  steps = records;
  const uint32_t root = clause_map_[refuting_number_];
  const std::vector<uint8_t> used = core_used(root);
  // The variables the core's clauses name, and the operands of the
  // definitions of those, newest definition first (operands are defined
  // before the definitions that use them).
  PodVector<Literal> widened;
  std::vector<uint8_t> named(formula_.quantifiers.size(), 0);
  for (uint32_t record = 0; record < records; ++record) {
    const uint32_t position = core_positions_[record];
    if (position > root || !used[position]) continue;
    widened.clear();
    for (const Literal& literal : formula_.clauses.read(position, widened))
      named[literal.variable()] = 1;
  }
  for (size_t event = core_events_.size(); event-- > 0;) {
    if (!(core_events_[event] & kExtensionEvent)) continue;
    const Definition& definition =
        formula_.definitions.records[core_events_[event] & ~kExtensionEvent];
    if (!named[definition.variable]) continue;
    const Literal* operands = formula_.definitions.operands_of(definition);
    for (uint32_t i = 0; i < definition.count; ++i) named[operands[i].variable()] = 1;
  }
  // Input clauses keep their numbers 1 to n, the core's steps follow.
  std::vector<uint32_t> number(uint64_t{root} + 1, 0);
  for (uint32_t position = 0; position < input_clauses_ && position <= root; ++position)
    number[position] = position + 1;
  uint32_t next_number = input_clauses_;
  uint64_t written = 0;
  TextWriter text(out);
  text.text("QBCertificate\n");
  for (uint32_t event : core_events_) {
    if (event & kExtensionEvent) {
      const Definition& definition = formula_.definitions.records[event & ~kExtensionEvent];
      if (!named[definition.variable]) continue;
      const Literal* operands = formula_.definitions.operands_of(definition);
      text.text("E ");
      text.number(definition.variable);
      text.text(definition.kind == Definition::AND ? " A" : " I");
      for (uint32_t i = 0; i < definition.count; ++i) text.field(operands[i].to_dimacs());
      text.text(definition.kind == Definition::AND ? " 0\n" : "\n");
      continue;
    }
    const uint32_t position = core_positions_[event];
    if (position > root || !used[position]) continue;
    ++written;
    number[position] = ++next_number;
    text.number(number[position]);
    if (core_merged_[event]) {
      text.text(" *");
    } else {
      widened.clear();
      text.literals(formula_.clauses.read(position, widened));
    }
    for (uint32_t a = core_begins_[event]; a < core_begins_[event + 1]; ++a)
      text.field(number[core_antecedents_[a]]);
    text.text(" 0\n");
  }
  text.text("CONCLUDE INVALID ");
  text.number(number[root]);
  text.put('\n');
  return written;
}
