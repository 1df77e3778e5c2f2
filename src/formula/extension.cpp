// Applying extension definitions to the formula: the fresh variable goes
// just deep enough for its operands, and its defining clauses are appended
// in a fixed order (resolution lines name clauses by position, so the order
// is part of the certificate format).

#include "formula/qcnf.hpp"

#include <cassert>

bool QCNF::is_applicable(const Definition& definition, const Literal* operands) const {
  for (uint32_t i = 0; i < definition.count; ++i)
    if (!is_defined(operands[i].variable())) return false;
  return true;
}

// The operand variable of greatest level; ties keep the earlier operand.
unsigned QCNF::deepest_operand(const Literal* operands, size_t count) const {
  assert(count > 0);
  unsigned deepest = operands[0].variable();
  for (size_t i = 1; i < count; ++i)
    if (levels[operands[i].variable()] > levels[deepest]) deepest = operands[i].variable();
  return deepest;
}

Refusal QCNF::apply_extension(const Definition& definition, const Literal* operands) {
  assert(is_applicable(definition, operands));
  assert(definition.kind != Definition::ITE || definition.count == 3);
  const Literal x(definition.variable, false);
  if (Refusal refusal = within_limit(x.variable())) return refusal;
  // Each defining clause is built as a set: a literal already present is
  // not added again.
  WorkingClause& clause = defining_clause_;
  auto append = [&](std::initializer_list<Literal> literals) {
    clause.clear();
    for (const Literal& literal : literals) clause.insert(literal);
    clauses.push(clause.literals);
  };
  if (definition.kind == Definition::AND) {
    // x -> l_i for every conjunct, then (l_1 and ... and l_n) -> x.
    for (uint32_t i = 0; i < definition.count; ++i) append({x.complement(), operands[i]});
    clause.clear();
    clause.reserve(definition.count + 1);
    clause.insert(x);
    for (uint32_t i = 0; i < definition.count; ++i) clause.insert(operands[i].complement());
    clauses.push(clause.literals);
    Refusal refusal = definition.count == 0
                          ? new_variable(x.variable(), Quantifier::EXISTENTIAL, true)
                          : new_variable_after(x.variable(), Quantifier::EXISTENTIAL,
                                               deepest_operand(operands, definition.count));
    if (refusal) return refusal;
  } else {
    if (Refusal refusal = new_variable_after(x.variable(), Quantifier::EXISTENTIAL,
                                             deepest_operand(operands, 3)))
      return refusal;
    const Literal c = operands[0], t = operands[1], e = operands[2];
    append({x.complement(), t, c.complement()});
    append({x.complement(), c, e});
    append({x, c.complement(), t.complement()});
    append({x, c, e.complement()});
  }
  definitions.add(definition, operands);
  return Refusal();
}
