// Applying extension definitions to the formula: the fresh variable goes
// just deep enough for its operands, and its defining clauses are appended
// in a fixed order (resolution lines name clauses by position, so the order
// is part of the certificate format).

#include "qcnf.hpp"

bool QCNF::is_applicable(const and_extension& extension) const {
  for (const Literal& literal : extension.literals)
    if (!is_defined(literal.variable())) return false;
  return true;
}

bool QCNF::is_applicable(const ite_extension& extension) const {
  return is_defined(extension.condition.variable()) &&
         is_defined(extension.then_literal.variable()) &&
         is_defined(extension.else_literal.variable());
}

// The operand variable of greatest level; ties keep the earlier operand.
unsigned QCNF::deepest_operand(const Literal* operands, size_t count) const {
  unsigned deepest = operands[0].variable();
  for (size_t i = 1; i < count; ++i)
    if (levels[operands[i].variable()] > levels[deepest]) deepest = operands[i].variable();
  return deepest;
}

bool QCNF::apply_extension(const and_extension& extension) {
  const Literal x = extension.variable;
  if (x.negative()) {
    error = "Negated extensions are not supported.";
    return false;
  }
  check_fresh(x);
  for (const Literal& literal : extension.literals) check_defined(literal);
  if (!within_limit(x.variable())) return false;

  // x -> l_i for every conjunct, then (l_1 and ... and l_n) -> x.
  DClause binary;
  for (const Literal& literal : extension.literals) {
    binary.clear();
    binary.insert(x.complement());
    binary.insert(literal);
    clauses.push_back(binary);
  }
  DClause long_clause;
  long_clause.reserve(extension.literals.size() + 1);
  long_clause.insert(x);
  for (const Literal& literal : extension.literals) long_clause.insert(literal.complement());
  clauses.push_back(std::move(long_clause));

  if (extension.literals.empty()) return new_variable(x.variable(), Quantifier::EXISTENTIAL, true);
  const unsigned after = deepest_operand(extension.literals.data(), extension.literals.size());
  return new_variable_after(x.variable(), Quantifier::EXISTENTIAL, after);
}

bool QCNF::apply_extension(const ite_extension& extension) {
  const Literal x = extension.variable;
  if (x.negative()) {
    error = "Negated extensions are not supported.";
    return false;
  }
  check_fresh(x);
  check_defined(extension.condition);
  check_defined(extension.then_literal);
  check_defined(extension.else_literal);

  const Literal operands[3] = {extension.condition, extension.then_literal,
                               extension.else_literal};
  if (!new_variable_after(x.variable(), Quantifier::EXISTENTIAL, deepest_operand(operands, 3)))
    return false;

  const Literal c = extension.condition, t = extension.then_literal, e = extension.else_literal;
  const Literal defining[4][3] = {{x.complement(), t, c.complement()},
                                  {x.complement(), c, e},
                                  {x, c.complement(), t.complement()},
                                  {x, c, e.complement()}};
  for (const auto& literals : defining) {
    DClause clause;
    for (const Literal& literal : literals) clause.insert(literal);
    clauses.push_back(std::move(clause));
  }
  return true;
}
