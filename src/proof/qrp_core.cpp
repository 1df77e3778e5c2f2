// The core of a proved QRP trace (--core): the steps the verdict's empty
// constraint rests on, in zel's format when its steps can be expressed
// there, else as a QRP trace of those steps alone.

#include <cassert>
#include <ostream>
#include <string>

#include "formula/rules.hpp"
#include "proof/qrp_checker.hpp"
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

}  // namespace

uint64_t QrpChecker::write_core(std::ostream& out, const QrpHeader& header, bool binary) {
  assert(root_ != kNoPosition);
  held_ = kNoPosition;  // the zel form resolves again in running_ and result_
  uint64_t in_core = 0;
  const std::vector<uint8_t> used = core_positions(in_core);
  if (binary || (kinds_[root_] & kCube) || !write_zel_core(out, used))
    write_qrp_core(out, header, binary, used);
  return in_core;
}

// zel's format: input clauses are certificate clauses 1 to n; each core
// resolution of two clauses becomes a numbered line, numbered on from n + 1.
// A reduction (one antecedent) writes no line: the steps after it name its
// antecedent instead, and zel's resolution, which reduces after resolving,
// must still derive the clause the trace derived (checked here by resolving
// again); a reduction that gives the empty clause is the conclusion's, which
// reduces too. Steps of more antecedents, long-distance resolvents and
// anything zel would derive differently leave the core to the QRP form:
// false, and nothing written.
bool QrpChecker::write_zel_core(std::ostream& out, const std::vector<uint8_t>& used) {
  // alias[p]: the position whose clause zel holds where the trace holds p's;
  // number[p]: p's certificate clause number (written steps and inputs).
  std::vector<uint32_t> alias(size_t{root_} + 1, 0), number(size_t{root_} + 1, 0);
  uint32_t next_number = input_clauses_;
  if (loaded_.size() < 2) loaded_.resize(2);
  std::vector<Literal> derived;
  std::vector<uint32_t> antecedents;
  for (uint32_t position = 0; position <= root_; ++position) {
    if (!used[position]) continue;
    if (position < input_clauses_) {
      alias[position] = position;
      number[position] = position + 1;
      continue;
    }
    antecedents.clear();
    derived_.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
    if (antecedents.size() == 1) {
      alias[position] = alias[antecedents[0]];
      continue;
    }
    if (antecedents.size() != 2 || (kinds_[position] & kLongDistance)) return false;
    alias[position] = position;
    number[position] = ++next_number;
    // Of two clauses as the trace stored them, zel derives what the trace
    // did: the same resolution and reduction.
    if (alias[antecedents[0]] == antecedents[0] && alias[antecedents[1]] == antecedents[1])
      continue;
    read_constraint(alias[antecedents[0]], loaded_[0]);
    read_constraint(alias[antecedents[1]], loaded_[1]);
    const ClauseView a{loaded_[0].data(), static_cast<uint32_t>(loaded_[0].size())};
    const ClauseView b{loaded_[1].data(), static_cast<uint32_t>(loaded_[1].size())};
    bool several = false;
    const unsigned pivot = clashing_pivot(Rule::CLAUSE, a, b, formula_.levels, marks_, several);
    if (pivot == 0 || several) return false;
    if (resolve(Rule::CLAUSE, a, b, pivot, formula_.levels, result_, marks_) !=
        ResolutionOutcome::RESOLVED)
      return false;
    read_constraint(position, derived);
    if (!same_literal_set(result_.view(),
                          ClauseView{derived.data(), static_cast<uint32_t>(derived.size())},
                          marks_))
      return false;
  }
  // The conclusion's clause must reduce to the empty clause, and hold no
  // literal with its complement.
  const uint32_t root = alias[root_];
  read_constraint(root, loaded_[0]);
  const ClauseView refuting{loaded_[0].data(), static_cast<uint32_t>(loaded_[0].size())};
  if (tautological(refuting, marks_)) return false;
  running_.assign(refuting);
  running_.reduce(Rule::CLAUSE, formula_.levels);
  if (running_.size() != 0) return false;

  TextWriter text(out);
  text.text("QBCertificate\n");
  for (uint32_t position = input_clauses_; position <= root_; ++position) {
    if (!used[position] || alias[position] != position) continue;
    read_constraint(position, derived);
    text.number(number[position]);
    text.literals(derived);
    derived_.for_each_antecedent(position, [&](uint32_t a) { text.field(number[alias[a]]); });
    text.text(" 0\n");
  }
  text.text("CONCLUDE INVALID ");
  text.number(number[root]);
  text.put('\n');
  return true;
}

// A QRP trace: the header's numbers and the trace's blocks, then the core's
// input clauses and steps in store order, numbered from 1, each derived one
// with its constraint as derived (reduced), and the result line.
void QrpChecker::write_qrp_core(std::ostream& out, const QrpHeader& header, bool binary,
                                const std::vector<uint8_t>& used) {
  std::vector<uint32_t> index(size_t{root_} + 1, 0);
  uint32_t next_index = 0;
  std::vector<Literal> literals;
  const char* result = (kinds_[root_] & kCube) ? "SAT" : "UNSAT";
  TextWriter text(out);
  text.text(binary ? "p bqrp " : "p qrp ");
  text.number(header.variables);
  text.field(header.clauses);
  text.put(binary ? '\0' : '\n');
  for (const QrpEntry& block : blocks_) {
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
  for (uint32_t position = 0; position <= root_; ++position) {
    if (!used[position]) continue;
    index[position] = ++next_index;
    read_constraint(position, literals);
    if (binary) {
      put_binary(text, index[position]);
      for (const Literal& literal : literals) put_binary(text, qrp_code(literal));
      put_binary(text, 0);
      if (position >= input_clauses_)
        derived_.for_each_antecedent(position, [&](uint32_t a) { put_binary(text, index[a]); });
      put_binary(text, 0);
    } else {
      text.number(index[position]);
      text.literals(literals);
      if (position >= input_clauses_)
        derived_.for_each_antecedent(position, [&](uint32_t a) { text.field(index[a]); });
      text.text(" 0\n");
    }
  }
  if (binary) text.put('\0');
  text.text("r ");
  text.text(result);
  text.put('\n');
}
