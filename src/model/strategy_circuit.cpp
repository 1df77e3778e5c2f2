// Decision lists of a strategy as one hashed and-inverter graph.

#include "model/strategy_circuit.hpp"

#include <cassert>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "model/aig.hpp"

namespace {

constexpr uint32_t kUnbuilt = ~0u;

}  // namespace

FunctionCircuit build_strategy_circuit(const Strategy& strategy, const std::vector<uint32_t>& prefix,
                                     const std::vector<unsigned>& levels) {
  const Rule rule = strategy.rule();
  const std::vector<Strategy::Entry>& entries = strategy.entries();
  uint32_t variables = 0;
  for (uint32_t variable : prefix)
    if (variable + 1 > variables) variables = variable + 1;
  for (const Strategy::Entry& entry : entries)
    if (entry.removed.variable() + 1 > variables) variables = entry.removed.variable() + 1;

  // Each variable's rules in proof order: a counting sort of the entries.
  std::vector<uint32_t> first(uint64_t{variables} + 1, 0);
  for (const Strategy::Entry& entry : entries) ++first[entry.removed.variable() + 1];
  for (uint32_t variable = 0; variable < variables; ++variable)
    first[variable + 1] += first[variable];
  std::vector<uint32_t> ordered(entries.size());
  {
    std::vector<uint32_t> next(first.begin(), first.end() - 1);
    for (uint32_t i = 0; i < entries.size(); ++i)
      ordered[next[entries[i].removed.variable()]++] = i;
  }

  // Variables in prefix order: an input, or the decision list of its rules,
  // whose conditions read only variables placed before it.
  Aig aig;
  aig.reserve(entries.size() + strategy.conditions());  // one per rule and condition, about
  std::vector<uint32_t> literal_of(variables, kUnbuilt);
  std::vector<uint32_t> condition_of(strategy.conditions(), kUnbuilt);
  std::vector<uint32_t> conjuncts;
  const uint32_t negate = rule == Rule::CLAUSE ? 1u : 0u;  // clauses: literals false
  auto condition = [&](uint32_t index) {
    uint32_t& built = condition_of[index];
    if (built != kUnbuilt) return built;
    conjuncts.clear();
    for (const Literal& literal : strategy.condition(index)) {
      const uint32_t of = literal.variable() < variables ? literal_of[literal.variable()] : kUnbuilt;
      if (of == kUnbuilt)
        throw Exception(message::functions_read_unquantified(literal.variable()));
      conjuncts.push_back(of ^ literal.negative() ^ negate);
    }
    built = aig.make_conjunction(conjuncts);
    return built;
  };
  // Inputs first, so that the graph is the circuit as it stands.
  FunctionCircuit circuit;
  for (uint32_t variable : prefix)
    if (!is_reduced_level(rule, levels[variable])) {
      literal_of[variable] = aig.add_input(variable);
      circuit.input_variables.push_back(variable);
    }
  for (uint32_t variable : prefix) {
    if (!is_reduced_level(rule, levels[variable])) continue;
    uint32_t function = Aig::kFalseLiteral;
    for (uint32_t i = first[variable + 1]; i-- > first[variable];) {
      const Strategy::Entry& entry = entries[ordered[i]];
      const uint32_t holds = condition(entry.condition);
      function = strategy.value(entry) ? aig.make_and(holds ^ 1u, function ^ 1u) ^ 1u
                                       : aig.make_and(holds ^ 1u, function);
    }
    literal_of[variable] = function;
    circuit.output_variables.push_back(variable);
    circuit.outputs.push_back(function);
  }
  // A rule of a variable the QBF file does not quantify was never read.
  for (uint32_t variable = 0; variable < variables; ++variable)
    if (first[variable + 1] != first[variable] && literal_of[variable] == kUnbuilt)
      throw Exception(message::functions_read_unquantified(variable));
  // The graph's own bound keeps M = I + A within AIGER's.
  static_assert(Aig::kMaxNodes <= kAigerMaxVariable + 1, "graph nodes fit AIGER variables");
  take_gates(aig, circuit);
  return circuit;
}
