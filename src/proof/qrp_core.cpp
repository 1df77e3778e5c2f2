// The core of a proved QRP trace (--core): the steps the verdict's empty
// constraint rests on, in zel's format when its steps can be expressed
// there, else as a QRP trace of those steps alone.

#include <cassert>
#include <ostream>
#include <string>

#include "formula/rules.hpp"
#include "proof/qrp_derivation.hpp"
#include "proof/qrp_outputs.hpp"
#include "write/text_writer.hpp"

namespace {

// Binary numbers of 7 bits a byte, low bits first (the binary QRP layout).
void put_binary(TextWriter& out, uint64_t value) {
  while (value >= 0x80) {
    out.put(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.put(static_cast<char>(value));
}

uint32_t qrp_code(const Literal& literal) { return 2 * literal.variable() + literal.negative(); }


// zel's format: input clauses are certificate clauses 1 to n; each core
// resolution of two clauses becomes a numbered line, numbered on from n + 1.
// A reduction (one antecedent) writes no line: the steps after it name its
// antecedent instead, and zel's resolution, which reduces after resolving,
// must still derive the clause the trace derived (checked here by deriving
// again); a reduction that gives the empty clause is the conclusion's, which
// reduces too. Steps of more antecedents, long-distance resolvents and
// anything zel would derive differently leave the core to the QRP form:
// false, and nothing written.
bool write_zel_core(std::ostream& out, const QrpRecord& record, const QCNF& formula,
                    const std::vector<uint8_t>& used) {
  const uint32_t root = record.root;
  // alias[p]: the position whose clause zel holds where the trace holds p's;
  // number[p]: p's certificate clause number (written steps and inputs).
  std::vector<uint32_t> alias(size_t{root} + 1, 0), number(size_t{root} + 1, 0);
  uint32_t next_number = record.input_clauses;
  QrpWorkspace workspace(2 * formula.quantifiers.size() + 2);
  PodVector<Literal> widened;
  std::vector<Literal> second, derived;
  std::vector<uint32_t> antecedents;
  QrpStepInput input;
  input.rule = Rule::CLAUSE;
  input.levels = &formula.levels;
  ClauseView views[2];
  for (uint32_t position = 0; position <= root; ++position) {
    if (!used[position]) continue;
    if (position < record.input_clauses) {
      alias[position] = position;
      number[position] = position + 1;
      continue;
    }
    antecedents.clear();
    record.stored.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
    if (antecedents.size() == 1) {
      alias[position] = alias[antecedents[0]];
      continue;
    }
    if (antecedents.size() != 2 || record.long_distance(position)) return false;
    alias[position] = position;
    number[position] = ++next_number;
    // Of two clauses as the trace stored them, zel derives what the trace
    // did: the same resolution and reduction.
    if (alias[antecedents[0]] == antecedents[0] && alias[antecedents[1]] == antecedents[1]) {
      assert(replays_stored(record, formula.clauses, formula.levels, position) &&
             "the replay derives the stored constraint");
      continue;
    }
    read_qrp_constraint(record, formula.clauses, alias[antecedents[0]], widened,
                        workspace.load_running());
    workspace.pair_free = false;
    read_qrp_constraint(record, formula.clauses, alias[antecedents[1]], widened, second);
    views[0] = workspace.running().view();
    views[1] = ClauseView{second.data(), static_cast<uint32_t>(second.size())};
    input.views = views;
    input.count = 2;
    const QrpDerivation derivation = derive_qrp_step(input, workspace);
    if (derivation.outcome != QrpDerivation::DERIVED || derivation.long_distance) return false;
    record.stored.read_literals(position, derived);
    if (!same_literal_set(workspace.running().view(),
                          ClauseView{derived.data(), static_cast<uint32_t>(derived.size())},
                          workspace.marks))
      return false;
  }
  // The conclusion's clause must reduce to the empty clause, and hold no
  // literal with its complement.
  const uint32_t refuting = alias[root];
  read_qrp_constraint(record, formula.clauses, refuting, widened, workspace.load_running());
  if (tautological(workspace.running().view(), workspace.marks)) return false;
  views[0] = workspace.running().view();
  input.views = views;
  input.count = 1;
  derive_qrp_step(input, workspace);
  if (workspace.running().size() != 0) return false;

  TextWriter text(out);
  text.text("QBCertificate\n");
  for (uint32_t position = record.input_clauses; position <= root; ++position) {
    if (!used[position] || alias[position] != position) continue;
    record.stored.read_literals(position, derived);
    text.number(number[position]);
    text.literals(derived);
    record.stored.for_each_antecedent(position, [&](uint32_t a) { text.field(number[alias[a]]); });
    text.text(" 0\n");
  }
  write_refutation_conclusion(text, number[refuting]);
  return true;
}

// A QRP trace: the header's numbers and the trace's blocks, then the core's
// input clauses and steps in store order, numbered from 1, each derived one
// with its constraint as derived (reduced), and the result line.
void write_qrp_form(std::ostream& out, const QrpRecord& record, const QCNF& formula,
                    const QrpHeader& header, bool binary, const std::vector<uint8_t>& used) {
  const uint32_t root = record.root;
  std::vector<uint32_t> index(size_t{root} + 1, 0);
  uint32_t next_index = 0;
  PodVector<Literal> widened;
  std::vector<Literal> literals;
  const char* result = record.proved_rule() == Rule::CUBE ? "SAT" : "UNSAT";
  TextWriter text(out);
  text.text(binary ? "p bqrp " : "p qrp ");
  text.number(header.variables);
  text.field(header.clauses);
  text.put(binary ? '\0' : '\n');
  for (const QrpEntry& block : record.blocks) {
    const char quantifier = block.quantifier == Quantifier::UNIVERSAL ? 'a' : 'e';
    if (binary) {
      text.put('\0');
      text.put(quantifier);
      for (uint32_t variable : block.variables) put_binary(text, variable);
      put_binary(text, 0);
    } else {
      text.put(quantifier);
      for (uint32_t variable : block.variables) {
        text.field(variable);
      }
      text.text(" 0\n");
    }
  }
  for (uint32_t position = 0; position <= root; ++position) {
    if (!used[position]) continue;
    index[position] = ++next_index;
    read_qrp_constraint(record, formula.clauses, position, widened, literals);
    if (binary) {
      put_binary(text, index[position]);
      for (const Literal& literal : literals) put_binary(text, qrp_code(literal));
      put_binary(text, 0);
      if (position >= record.input_clauses)
        record.stored.for_each_antecedent(position,
                                          [&](uint32_t a) { put_binary(text, index[a]); });
      put_binary(text, 0);
    } else {
      text.number(index[position]);
      text.literals(literals);
      if (position >= record.input_clauses)
        record.stored.for_each_antecedent(position, [&](uint32_t a) { text.field(index[a]); });
      text.text(" 0\n");
    }
  }
  if (binary) text.put('\0');
  text.text("r ");
  text.text(result);
  text.put('\n');
}

}  // namespace

uint64_t write_qrp_core(std::ostream& out, const QrpRecord& record, const QCNF& formula,
                        const QrpHeader& header, bool binary) {
  assert(record.root != kNoPosition);
  uint64_t in_core = 0;
  const std::vector<uint8_t> used = record.core_positions(in_core);
  if (binary || record.proved_rule() == Rule::CUBE || !write_zel_core(out, record, formula, used))
    write_qrp_form(out, record, formula, header, binary, used);
  return in_core;
}
