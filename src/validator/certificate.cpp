// The readers of certificate entries: resolution lines, extension lines and
// numbered clause lines. Each reads its fields, leaves the following
// separator unconsumed, and hands its record to the checks.

#include <sstream>

#include "core/exception.hpp"
#include "zel.hpp"

void ZEL::read_resolution_line(std::ifstream& in) {
  const unsigned first = read_unsigned(in);
  const unsigned second = read_unsigned(in);
  const unsigned pivot = read_unsigned(in);
  // Positions count from 1; position 0 wraps to the largest number and so
  // is out of range.
  if (!formula.qresolve(first - 1, second - 1, pivot)) throw Exception("Resolution failed.");
}

void ZEL::read_extension_line(std::ifstream& in) {
  const Literal x = read_literal(in);
  formula.check_fresh(x);
  formula.check_supported(x);
  const std::string& type = read_token(in);
  if (type == "I") {
    ite_extension extension = read_extension_ite(x.variable(), in);
    if (!apply_extension_ite(extension)) delayed_ite_extensions.push_back(std::move(extension));
  } else if (type == "A") {
    and_extension extension = read_extension_and(x.variable(), in);
    if (!apply_extension_and(extension)) delayed_and_extensions.push_back(std::move(extension));
  } else {
    throw Exception("Unknown extension type supplied.");
  }
}

and_extension ZEL::read_extension_and(unsigned variable, std::ifstream& in) {
  and_extension extension;
  extension.line = line;
  extension.variable = Literal(variable, false);
  for (int32_t number; (number = read_signed(in)) != 0;)
    extension.literals.push_back(Literal(number));
  return extension;
}

ite_extension ZEL::read_extension_ite(unsigned variable, std::ifstream& in) {
  ite_extension extension;
  extension.line = line;
  extension.variable = Literal(variable, false);
  extension.condition = read_literal(in);
  extension.then_literal = read_literal(in);
  extension.else_literal = read_literal(in);
  return extension;
}

void ZEL::read_trace_line(unsigned index, std::ifstream& in) {
  if (clause_map.defined(index)) {
    std::ostringstream text;
    text << "Redefinition of clause #" << index;
    throw Exception(text.str());
  }
  if (index > ClauseMap::kLargestClauseNumber) {
    std::ostringstream text;
    text << "Clause number " << index << " exceeds the largest supported clause number "
         << ClauseMap::kLargestClauseNumber << ".";
    throw Exception(text.str());
  }

  // The record is reused from line to line, so that its list keeps its
  // nodes; a step that must wait is moved into the store.
  Resolution& step = reading_step;
  step.resolvent_omitted = false;
  step.index = index;
  step.resolvent.clear();
  // The "*" must share the line with the clause number: only blanks are
  // skipped here, a line end is not.
  bind(in);
  while (input.peek() == ' ') read_character(in);
  if (input.peek() == '*') {
    if (read_token(in) != "*") throw Exception("Bogus resolvent.");
    step.resolvent_omitted = true;
  } else {
    // Literals of variables the formula does not know define them as
    // outermost existential variables.
    for (Literal literal; (literal = read_literal(in)).variable() != 0;) {
      step.resolvent.insert(literal);
      const unsigned variable = literal.variable();
      if (!formula.is_defined(variable) &&
          !formula.new_variable(variable, Quantifier::EXISTENTIAL, true))
        throw Exception(formula.error);
    }
  }

  bool all_defined = true;
  reading_antecedents.clear();
  for (uint32_t number; (number = read_unsigned(in)) != 0;) {
    reading_antecedents.push_back(number);
    if (!clause_map.defined(number)) all_defined = false;
  }
  step.antecedents.assign(reading_antecedents.begin(), reading_antecedents.end());
  if (all_defined) {
    apply_resolution(step);
  } else {
    delayed_resolutions.push_front(std::move(step));
    step = Resolution();
  }
}
