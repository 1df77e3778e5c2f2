// The kind of an AIGER certificate's functions, and Skolem functions as
// extension definitions and model pairs.

#include "model/aiger_certificate.hpp"

#include <algorithm>
#include <string>

#include "core/exception.hpp"
#include "core/limits.hpp"

namespace {

std::string text(uint64_t number) { return std::to_string(number); }

const char* quantifier_word(const QCNF& formula, uint32_t variable) {
  return formula.is_universal(variable) ? "universal" : "existential";
}

}  // namespace

const char* aiger_functions_name(AigerFunctions functions) {
  return functions == AigerFunctions::SKOLEM ? "Skolem" : "Herbrand";
}

AigerFunctions classify_aiger_certificate(const QCNF& formula, const AigerCircuit& circuit,
                                          const AigerVariables& variables) {
  // The first output that names a variable decides; every other must agree.
  bool decided = false;
  bool universal_outputs = false;
  uint32_t first_output = 0;
  for (uint32_t i = 0; i < variables.outputs.size(); ++i) {
    const uint32_t variable = variables.outputs[i];
    if (variable == AigerVariables::IGNORED) continue;
    if (!formula.is_defined(variable))
      throw Exception("Output " + text(i) + " (literal " + text(circuit.outputs[i]) +
                      ") names variable " + text(variable) + ", which the QBF file does not have.");
    const bool universal = formula.is_universal(variable);
    if (!decided) {
      decided = true;
      universal_outputs = universal;
      first_output = i;
    } else if (universal != universal_outputs) {
      throw Exception("Output " + text(first_output) + " names " +
                      quantifier_word(formula, variables.outputs[first_output]) + " variable " +
                      text(variables.outputs[first_output]) + ", but output " + text(i) +
                      " names " + quantifier_word(formula, variable) + " variable " +
                      text(variable) +
                      ": the outputs are Skolem functions (existential variables) or Herbrand "
                      "functions (universal variables), not both.");
    }
  }
  const AigerFunctions functions =
      universal_outputs ? AigerFunctions::HERBRAND : AigerFunctions::SKOLEM;
  for (uint32_t i = 0; i < variables.inputs.size(); ++i) {
    const uint32_t variable = variables.inputs[i];
    if (!formula.is_defined(variable))
      throw Exception("Input " + text(i) + " (literal " + text(circuit.inputs[i]) +
                      ") names variable " + text(variable) + ", which the QBF file does not have.");
    if (formula.is_universal(variable) == universal_outputs)
      throw Exception("Input " + text(i) + " (literal " + text(circuit.inputs[i]) +
                      ") names " + quantifier_word(formula, variable) + " variable " +
                      text(variable) + ", but the inputs of " + aiger_functions_name(functions) +
                      " functions are " + (universal_outputs ? "existential" : "universal") +
                      " variables.");
  }
  return functions;
}

AigerNodes::AigerNodes(const AigerCircuit& circuit)
    : inputs_(static_cast<uint32_t>(circuit.inputs.size())),
      size_(inputs_ + circuit.and_count()) {
  const auto variable_of_node = [&](uint32_t node) {
    return (node < inputs_ ? circuit.inputs[node] : circuit.ands[3 * size_t{node - inputs_}]) >> 1;
  };
  if (uint64_t{circuit.max_variable} + 1 <= 4 * (uint64_t{size_} + 1)) {
    node_of_.assign(size_t{circuit.max_variable} + 1, NONE);
    node_of_[0] = CONSTANT;
    for (uint32_t node = 0; node < size_; ++node) node_of_[variable_of_node(node)] = node;
  } else {
    sparse_.reserve(size_);
    for (uint32_t node = 0; node < size_; ++node) sparse_.emplace_back(variable_of_node(node), node);
    std::sort(sparse_.begin(), sparse_.end());
  }
  // The reader sees to every gate operand; an output may still name a
  // variable below M that nothing defines.
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (node(circuit.outputs[i]) == NONE)
      throw Exception("Output " + text(i) + " (literal " + text(circuit.outputs[i]) +
                      ") reads variable " + text(circuit.outputs[i] >> 1) +
                      ", which no input or AND gate defines.");
}

uint32_t AigerNodes::node(uint32_t literal) const {
  const uint32_t variable = literal >> 1;
  if (!node_of_.empty()) return node_of_[variable];
  if (variable == 0) return CONSTANT;
  const auto found = std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(variable, 0u));
  return found != sparse_.end() && found->first == variable ? found->second : NONE;
}

std::vector<std::pair<uint32_t, int32_t>> apply_skolem_circuit(QCNF& formula,
                                                               uint32_t input_clauses,
                                                               const AigerCircuit& circuit,
                                                               const AigerVariables& variables) {
  const AigerNodes nodes(circuit);
  const uint32_t gates = circuit.and_count();
  bool uses_constant = false;
  for (uint32_t literal : circuit.ands) uses_constant |= literal < 2;
  for (uint32_t literal : circuit.outputs) uses_constant |= literal < 2;

  // Fresh variables: the constant's (when used), then one per gate.
  const uint32_t first_fresh = formula.max_variable + 1;
  const uint64_t last_fresh = uint64_t{first_fresh} + uses_constant + gates - 1;
  if (gates + uses_constant > 0 && last_fresh > kMaxVariable)
    throw Exception("The circuit's " + text(gates) + " AND gates" +
                    (uses_constant ? " and its constant" : "") +
                    " need fresh variables after the formula's " + text(formula.max_variable) +
                    ", up to " + text(last_fresh) +
                    ": beyond the largest supported variable number " + text(kMaxVariable) + ".");
  const uint32_t true_variable = first_fresh;
  const uint32_t first_gate_variable = first_fresh + (uses_constant ? 1 : 0);

  const auto literal_of = [&](uint32_t aiger) {
    const uint32_t node = nodes.node(aiger);
    const bool negated = aiger & 1u;
    if (node == AigerNodes::CONSTANT) return Literal(true_variable, !negated);  // 1 is true
    if (node < nodes.inputs()) return Literal(variables.inputs[node], negated);
    return Literal(first_gate_variable + (node - nodes.inputs()), negated);
  };
  const auto apply = [&](const Definition& definition, const Literal* operands) {
    if (const Refusal refusal = formula.apply_extension(definition, operands))
      throw Exception(refusal.message);
    formula.clauses.truncate(input_clauses);
  };
  if (uses_constant) {
    Definition truth;
    truth.variable = true_variable;
    apply(truth, nullptr);
  }
  for (uint32_t g = 0; g < gates; ++g) {
    const Literal operands[2] = {literal_of(circuit.ands[3 * size_t{g} + 1]),
                                 literal_of(circuit.ands[3 * size_t{g} + 2])};
    Definition definition;
    definition.variable = first_gate_variable + g;
    definition.count = 2;
    apply(definition, operands);
  }

  std::vector<std::pair<uint32_t, int32_t>> pairs;
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (variables.outputs[i] != AigerVariables::IGNORED)
      pairs.emplace_back(variables.outputs[i],
                         static_cast<int32_t>(literal_of(circuit.outputs[i]).to_dimacs()));
  return pairs;
}
