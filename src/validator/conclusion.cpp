// The conclusion line: settle the held-back steps, then decide an INVALID
// claim by universal reduction of the named clause, or read a VALID claim's
// model and hand it to the dependency checks and the clause-wise test.

#include <iostream>
#include <sstream>

#include "core/exception.hpp"
#include "zel.hpp"

bool ZEL::read_conclusion_line(std::ifstream& in) {
  if (debug) std::cout << "Concluding ..." << std::endl;
  apply_delayed_resolutions();
  check_delayed_resolutions();
  apply_delayed_extensions();
  check_delayed_extensions();

  const std::string claim = read_token(in);
  if (claim == "INVALID" || claim == "invalid") {
    const uint32_t number = read_unsigned(in);
    if (!clause_map.defined(number)) {
      std::ostringstream text;
      text << "Clause #" << number << " is not defined.";
      throw Exception(text.str());
    }
    DClause refuting = stored_clause(number);
    // A clause holding a literal and its complement refutes nothing, though
    // reduction may empty it (u, -u).
    if (refuting.tautological()) return false;
    refuting.reduce(formula.levels, formula.variables);
    return refuting.count == 0;
  }

  // Any other word is refused: reading it as a model claim would validate
  // the formula as true when the writer claimed it false.
  if (claim != "VALID" && claim != "valid") throw Exception("Unknown claim: " + claim + ".");
  if (last_input_clause == ~0u) throw Exception("A model cannot be validated without a QBF file.");
  Model model;
  bind(in);
  if (input.peek() != InputBuffer::END) {
    do {
      const uint32_t variable = read_unsigned(in);
      if (variable > input_max_variable || and_definitions.count(variable) ||
          ite_definitions.count(variable)) {
        // Extension variables are fixed by their definitions; a model entry
        // for one could contradict it and hide counterexamples.
        std::ostringstream text;
        text << "Variable " << variable << " does not need a model.";
        throw Exception(text.str());
      }
      const int32_t function = read_signed(in);
      read_whitespace(in);
      if (!formula.is_defined(Literal(function).variable())) {
        std::ostringstream text;
        text << "Model for " << variable << " (" << function << ") is undefined.";
        throw Exception(text.str());
      }
      model[variable] = function;
    } while (input.peek() != InputBuffer::END);
  }
  check_model_quantification(model);
  check_function_dependencies(model);
  return test_clausewise(model);
}
