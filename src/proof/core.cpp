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

#include "proof/derivation.hpp"
#include "proof/refutation.hpp"
#include "write/text_writer.hpp"

// Steps are in store order: one sweep from the newest marks the
// antecedents of every step in the core.
std::vector<uint8_t> core_positions(const ProofRecord& record) {
  const uint32_t root = record.refuted_position;
  assert(root != ClauseMap::kNone);
  std::vector<uint8_t> used(uint64_t{root} + 1, 0);
  used[root] = 1;
  for (size_t step = record.steps.size(); step-- > 0;) {
    const ProofRecord::Step& recorded = record.steps[step];
    if (recorded.kind == ProofRecord::Kind::EXTENSION) continue;
    if (recorded.position > root || !used[recorded.position]) continue;
    for (uint32_t a = recorded.antecedents_begin; a < recorded.antecedents_end; ++a)
      used[record.antecedents[a]] = 1;
  }
  return used;
}

uint64_t write_core(std::ostream& out, const ProofRecord& record, const QCNF& formula,
                    uint64_t& steps) {
  const uint32_t root = record.refuted_position;
  const std::vector<uint8_t> used = core_positions(record);
  auto in_core = [&](const ProofRecord::Step& recorded) {
    return recorded.kind != ProofRecord::Kind::EXTENSION && recorded.position <= root &&
           used[recorded.position];
  };
  // The variables the core's clauses name, and the operands of the
  // definitions of those, newest definition first (operands are defined
  // before the definitions that use them).
  PodVector<Literal> widened;
  std::vector<uint8_t> named(formula.quantifiers.size(), 0);
  steps = 0;
  for (const ProofRecord::Step& recorded : record.steps) {
    if (recorded.kind == ProofRecord::Kind::EXTENSION) continue;
    ++steps;
    if (!in_core(recorded)) continue;
    widened.clear();
    for (const Literal& literal : formula.clauses.read(recorded.position, widened))
      named[literal.variable()] = 1;
  }
  for (size_t step = record.steps.size(); step-- > 0;) {
    if (record.steps[step].kind != ProofRecord::Kind::EXTENSION) continue;
    const Definition& definition = formula.definitions.records[record.steps[step].definition];
    if (!named[definition.variable]) continue;
    const Literal* operands = formula.definitions.operands_of(definition);
    for (uint32_t i = 0; i < definition.count; ++i) named[operands[i].variable()] = 1;
  }
  // Input clauses keep their numbers 1 to n, the core's steps follow.
  std::vector<uint32_t> number(uint64_t{root} + 1, 0);
  for (uint32_t position = 0; position < record.input_clauses && position <= root; ++position)
    number[position] = position + 1;
  uint32_t next_number = record.input_clauses;
  uint64_t written = 0;
#ifndef NDEBUG
  ReplayWork replay;  // each step written is derived again from its record
#endif
  TextWriter text(out);
  text.text("QBCertificate\n");
  for (size_t step = 0; step < record.steps.size(); ++step) {
    const ProofRecord::Step& recorded = record.steps[step];
    if (recorded.kind == ProofRecord::Kind::EXTENSION) {
      const Definition& definition = formula.definitions.records[recorded.definition];
      if (!named[definition.variable]) continue;
      const Literal* operands = formula.definitions.operands_of(definition);
      text.text("E ");
      text.number(definition.variable);
      text.text(definition.kind == Definition::AND ? " A" : " I");
      for (uint32_t i = 0; i < definition.count; ++i) text.field(operands[i].to_dimacs());
      text.text(definition.kind == Definition::AND ? " 0\n" : "\n");
      continue;
    }
    if (!in_core(recorded)) continue;
    ++written;
    number[recorded.position] = ++next_number;
    text.number(number[recorded.position]);
    if (recorded.kind == ProofRecord::Kind::MERGE) {
      text.text(" *");
    } else {
      widened.clear();
      text.literals(formula.clauses.read(recorded.position, widened));
    }
    for (uint32_t a = recorded.antecedents_begin; a < recorded.antecedents_end; ++a)
      text.field(number[record.antecedents[a]]);
    text.text(" 0\n");
#ifndef NDEBUG
    if (recorded.kind != ProofRecord::Kind::TRUSTED)
      assert(replay_matches(record, step, formula,
                            replay_step(record, step, formula, replay, nullptr), replay) &&
             "the replay derives the stored clause");
#endif
  }
  write_refutation_conclusion(text, number[root]);
  return written;
}
