// Placing variables in the quantifier prefix, variable checks, and the
// formula-level resolution step of resolution lines.

#include "qcnf.hpp"

#include <iostream>
#include <sstream>

#include "core/exception.hpp"

namespace {

std::string limit_message(unsigned variable) {
  std::ostringstream text;
  text << "Variable " << variable << " exceeds the largest supported variable number "
       << kMaxVariable << ".";
  return text.str();
}

}  // namespace

bool QCNF::within_limit(unsigned variable) {
  if (variable <= kMaxVariable) return true;
  error = limit_message(variable);
  return false;
}

bool QCNF::check_supported(const Literal& literal) const {
  if (literal.variable() <= kMaxVariable) return true;
  throw Exception(limit_message(literal.variable()));
}

void QCNF::grow_tables(unsigned variable) {
  if (variables.size() <= variable) variables.resize(static_cast<size_t>(variable) + 1);
  if (levels.size() <= variable) levels.resize(static_cast<size_t>(variable) + 1, 0);
}

bool QCNF::new_variable(unsigned variable, Quantifier::Type type, bool outermost) {
  if (outermost && type == Quantifier::UNIVERSAL) {
    error = "New outermost variables may not be universal.";
    return false;
  }
  if (is_defined(variable)) {
    error = "Variable redefined";
    return false;
  }
  if (!within_limit(variable)) return false;
  grow_tables(variable);
  const Quantifier record{type, variable};
  variables[variable] = record;

  unsigned level;
  if (outermost || blocks.empty()) {
    if (type == Quantifier::UNIVERSAL) {
      level = 1;
      if (blocks.size() < 2) blocks.resize(2);
      blocks[1].push_front(record);
    } else {
      level = 0;
      if (blocks.empty()) blocks.resize(1);
      blocks[0].push_front(record);
    }
  } else {
    const Quantifier& last = blocks.back().back();
    if (type == last.type) {
      level = levels[last.variable];
    } else {
      level = levels[last.variable] + 1;
      blocks.emplace_back();
    }
    blocks.back().push_back(record);
  }
  levels[variable] = level;
  if (max_variable < variable) max_variable = variable;
  return true;
}

bool QCNF::new_variable_after(unsigned variable, Quantifier::Type type, unsigned after) {
  if (!is_defined(after)) {
    std::ostringstream text;
    text << "Definition depends on undefined variable #" << after;
    error = text.str();
    return false;
  }
  if (is_defined(variable)) {
    error = "Variable redefinition";
    return false;
  }
  if (!within_limit(variable)) return false;
  unsigned level = levels[after];
  if (blocks[level].empty() || blocks[level].front().type != type) {
    ++level;
    if (blocks.size() <= level) blocks.emplace_back();
  }
  blocks[level].push_back(Quantifier{type, variable});
  grow_tables(variable);
  levels[variable] = level;
  variables[variable] = Quantifier{type, variable};
  if (max_variable < variable) max_variable = variable;
  return true;
}

bool QCNF::check_defined(const Literal& literal) const {
  if (is_defined(literal.variable())) return true;
  std::ostringstream text;
  text << "Undefined variable: " << literal.to_dimacs();
  throw Exception(text.str());
}

bool QCNF::check_fresh(const Literal& literal) const {
  if (literal.variable() != 0 && !is_defined(literal.variable())) return true;
  std::ostringstream text;
  text << "Variable is not fresh: " << literal.to_dimacs();
  throw Exception(text.str());
}

bool QCNF::qresolve(unsigned i, unsigned j, unsigned pivot) {
  if (i >= clauses.size() || j >= clauses.size()) return false;
  // Copies: the vector may move its elements when the resolvent is appended.
  const DClause first = clauses[i];
  const DClause second = clauses[j];
  std::cout << "Resolving [" << static_cast<uint64_t>(i) + 1 << "," << static_cast<uint64_t>(j) + 1
            << "] " << first.to_string() << " x " << second.to_string() << " over " << pivot
            << std::endl;
  clauses.emplace_back();
  if (!first.qresolve_into(second, pivot, levels, variables, clauses.back())) {
    clauses.pop_back();
    return false;
  }
  return true;
}

size_t QCNF::quantified_variables() const {
  size_t total = 0;
  for (const auto& block : blocks) total += block.size();
  return total;
}
