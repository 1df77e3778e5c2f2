// The kind of an AIGER certificate's functions, and Skolem functions as
// extension definitions and model pairs.

#include "model/aiger_certificate.hpp"

#include <algorithm>
#include <cassert>

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "model/aig.hpp"

namespace {

const char* quantifier_word(const QCNF& formula, uint32_t variable) {
  return formula.is_universal(variable) ? "universal" : "existential";
}

}  // namespace

const char* aiger_functions_name(AigerFunctions functions) {
  return functions == AigerFunctions::SKOLEM ? "Skolem" : "Herbrand";
}

AigerFunctions classify_aiger_certificate(const QCNF& formula, const AigerCircuit& circuit,
                                          const AigerVariables& variables) {
  assert(variables.inputs.size() == circuit.inputs.size() &&
         variables.outputs.size() == circuit.outputs.size() && "after map_aiger_variables");
  // The first output that names a variable decides; every other must agree.
  bool decided = false;
  bool universal_outputs = false;
  uint32_t first_output = 0;
  for (uint32_t i = 0; i < variables.outputs.size(); ++i) {
    const uint32_t variable = variables.outputs[i];
    if (variable == AigerVariables::IGNORED) continue;
    if (!formula.is_defined(variable))
      throw Exception(message::aiger_variable_not_in_formula("Output", i, circuit.outputs[i], variable));
    const bool universal = formula.is_universal(variable);
    if (!decided) {
      decided = true;
      universal_outputs = universal;
      first_output = i;
    } else if (universal != universal_outputs) {
      throw Exception(message::aiger_outputs_of_both_kinds(
          first_output, quantifier_word(formula, variables.outputs[first_output]),
          variables.outputs[first_output], i, quantifier_word(formula, variable), variable));
    }
  }
  // Without an output (a formula without variables of the outputs' kind),
  // the first input decides: Herbrand functions read existential variables.
  if (!decided && !variables.inputs.empty() && formula.is_defined(variables.inputs[0]))
    universal_outputs = !formula.is_universal(variables.inputs[0]);
  // A formula without variables has only empty clauses, and the functions of
  // either kind (Herbrand functions as zel writes them too) make a circuit
  // with neither inputs nor outputs: it is read as the functions that can
  // prove what the matrix is, Herbrand when it has a clause.
  if (!decided && variables.inputs.empty() && formula.largest_defined() == 0)
    universal_outputs = formula.clauses.size() > 0;
  const AigerFunctions functions =
      universal_outputs ? AigerFunctions::HERBRAND : AigerFunctions::SKOLEM;
  for (uint32_t i = 0; i < variables.inputs.size(); ++i) {
    const uint32_t variable = variables.inputs[i];
    if (!formula.is_defined(variable))
      throw Exception(message::aiger_variable_not_in_formula("Input", i, circuit.inputs[i], variable));
    if (formula.is_universal(variable) == universal_outputs)
      throw Exception(message::aiger_input_of_wrong_kind(
          i, circuit.inputs[i], quantifier_word(formula, variable), variable,
          aiger_functions_name(functions), universal_outputs ? "existential" : "universal"));
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
    node_of_.assign(size_t{circuit.max_variable} + 1, kNoGate);
    node_of_[0] = kConstant;
    for (uint32_t node = 0; node < size_; ++node) {
      // The reader lets no variable beyond M, or defined twice, through.
      assert(variable_of_node(node) <= circuit.max_variable);
      assert(node_of_[variable_of_node(node)] == kNoGate);
      node_of_[variable_of_node(node)] = node;
    }
  } else {
    sparse_.reserve(size_);
    for (uint32_t node = 0; node < size_; ++node) sparse_.emplace_back(variable_of_node(node), node);
    std::sort(sparse_.begin(), sparse_.end());
  }
  // The reader sees to every gate operand; an output may still name a
  // variable below M that nothing defines.
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (node(circuit.outputs[i]) == kNoGate)
      throw Exception(message::aiger_output_undefined(i, circuit.outputs[i]));
}

uint32_t AigerNodes::node(uint32_t literal) const {
  const uint32_t variable = literal >> 1;
  if (!node_of_.empty()) {
    assert(variable < node_of_.size());
    return node_of_[variable];
  }
  if (variable == 0) return kConstant;
  const auto found = std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(variable, 0u));
  return found != sparse_.end() && found->first == variable ? found->second : kNoGate;
}

std::vector<std::pair<uint32_t, int32_t>> apply_skolem_circuit(QCNF& formula,
                                                               uint32_t input_clauses,
                                                               const AigerCircuit& circuit,
                                                               const AigerVariables& variables) {
  assert(variables.inputs.size() == circuit.inputs.size() &&
         variables.outputs.size() == circuit.outputs.size() && "after map_aiger_variables");
  assert(input_clauses <= formula.clauses.size());
  const AigerNodes nodes(circuit);
  const uint32_t gates = circuit.and_count();
  bool uses_constant = false;
  for (uint32_t literal : circuit.ands) uses_constant |= literal < 2;
  for (uint32_t literal : circuit.outputs) uses_constant |= literal < 2;

  // Fresh variables: the constant's (when used), then one per gate, after
  // the largest variable the formula defines. The header's count may
  // announce far more (any count is read), and a circuit written for such a
  // formula must be read back.
  const uint32_t largest = formula.largest_defined();
  const uint32_t first_fresh = largest + 1;
  const uint64_t last_fresh = uint64_t{first_fresh} + uses_constant + gates - 1;
  if (gates + uses_constant > 0 && last_fresh > kMaxVariable)
    throw Exception(message::aiger_fresh_variables(gates, uses_constant, largest, last_fresh));
  const uint32_t true_variable = first_fresh;
  const uint32_t first_gate_variable = first_fresh + (uses_constant ? 1 : 0);

  const auto literal_of = [&](uint32_t aiger) {
    const uint32_t node = nodes.node(aiger);
    const bool negated = aiger & 1u;
    if (node == AigerNodes::kConstant) return Literal(true_variable, !negated);  // 1 is true
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

FunctionCircuit herbrand_certificate_circuit(const QCNF& formula, const std::vector<uint32_t>& prefix,
                                           const AigerCircuit& circuit,
                                           const AigerVariables& variables) {
  assert(variables.inputs.size() == circuit.inputs.size() &&
         variables.outputs.size() == circuit.outputs.size() && "after map_aiger_variables");
  constexpr uint32_t kNone = ~0u;
  Aig aig;
  aig.reserve(circuit.and_count());
  FunctionCircuit written;
  // Inputs first, so that the graph is the circuit as it stands.
  std::vector<uint32_t> literal_of(formula.quantifiers.size(), kNone);  // variable -> graph literal
  for (uint32_t variable : prefix)
    if (formula.is_existential(variable)) {
      literal_of[variable] = aig.add_input(variable);
      written.input_variables.push_back(variable);
    }
  const AigerNodes nodes(circuit);
  std::vector<uint32_t> node_literal(nodes.size(), kNone);  // certificate node -> graph literal
  for (uint32_t i = 0; i < nodes.inputs(); ++i) {
    assert(literal_of[variables.inputs[i]] != kNone && "an input names an existential");
    node_literal[i] = literal_of[variables.inputs[i]];
  }
  const auto graph_literal = [&](uint32_t literal) {
    const uint32_t node = nodes.node(literal);
    // AIGER literal 0 is false, 1 true, as in the graph.
    return node == AigerNodes::kConstant ? literal & 1u : node_literal[node] ^ (literal & 1u);
  };
  for (uint32_t g = 0; g < circuit.and_count(); ++g)
    node_literal[nodes.inputs() + g] =
        aig.make_and(graph_literal(circuit.ands[3 * size_t{g} + 1]),
                     graph_literal(circuit.ands[3 * size_t{g} + 2]));
  std::vector<uint32_t> function_of(formula.quantifiers.size(), kNone);  // universal -> output
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (variables.outputs[i] != AigerVariables::IGNORED) function_of[variables.outputs[i]] = i;
  for (uint32_t variable : prefix)
    if (formula.is_universal(variable)) {
      written.output_variables.push_back(variable);
      written.outputs.push_back(function_of[variable] == kNone
                                    ? Aig::kFalseLiteral
                                    : graph_literal(circuit.outputs[function_of[variable]]));
    }
  // The graph's own bound keeps M = I + A within AIGER's.
  static_assert(Aig::kMaxNodes <= kAigerMaxVariable + 1, "graph nodes fit AIGER variables");
  take_gates(aig, written);
  return written;
}
