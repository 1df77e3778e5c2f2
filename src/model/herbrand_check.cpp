// The cone rule and the MiniSat test of Herbrand functions.

#include "model/herbrand_check.hpp"

#include <minisat/core/Solver.h>
#include <sys/time.h>

#include <cassert>
#include <iostream>
#include <vector>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/messages.hpp"
#include "model/aiger_certificate.hpp"
#include "model/tseitin.hpp"

namespace {

constexpr uint32_t kNoInput = 0xFFFFFFFFu;

}  // namespace

// One pass over the gates in topological order gives each node the input
// of highest level in its cone (the first met among equals).
void check_herbrand_dependencies(const QCNF& formula, const AigerCircuit& circuit,
                                 const AigerVariables& variables) {
  const AigerNodes nodes(circuit);
  std::vector<uint32_t> deepest(nodes.size(), kNoInput);  // node -> input index, or kNoInput
  for (uint32_t i = 0; i < nodes.inputs(); ++i) deepest[i] = i;
  const auto level_of = [&](uint32_t input) { return formula.levels[variables.inputs[input]]; };
  const auto deepest_of = [&](uint32_t literal) {
    const uint32_t node = nodes.node(literal);
    return node == AigerNodes::kConstant ? kNoInput : deepest[node];
  };
  for (uint32_t g = 0; g < circuit.and_count(); ++g) {
    // The reader puts the gates in topological order.
    assert(nodes.node(circuit.ands[3 * size_t{g} + 1]) < nodes.inputs() + g ||
           nodes.node(circuit.ands[3 * size_t{g} + 1]) == AigerNodes::kConstant);
    assert(nodes.node(circuit.ands[3 * size_t{g} + 2]) < nodes.inputs() + g ||
           nodes.node(circuit.ands[3 * size_t{g} + 2]) == AigerNodes::kConstant);
    const uint32_t a = deepest_of(circuit.ands[3 * size_t{g} + 1]);
    const uint32_t b = deepest_of(circuit.ands[3 * size_t{g} + 2]);
    deepest[nodes.inputs() + g] =
        a == kNoInput ? b : b == kNoInput ? a : level_of(b) > level_of(a) ? b : a;
  }
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i) {
    const uint32_t universal = variables.outputs[i];
    if (universal == AigerVariables::IGNORED) continue;
    const uint32_t input = deepest_of(circuit.outputs[i]);
    if (input == kNoInput || formula.is_before(variables.inputs[input], universal)) continue;
    const uint32_t existential = variables.inputs[input];
    throw Exception(message::herbrand_reads_deeper_existential(
        universal, formula.levels[universal], existential, formula.levels[existential]));
  }
}

// Solver variables: one per existential the matrix or a function reads,
// one per gate in the outputs' cones, one fixed true for the constants.
bool check_herbrand(const QCNF& formula, uint32_t input_clauses, const AigerCircuit& circuit,
                    const AigerVariables& variables, HerbrandStatistics& statistics) {
  assert(input_clauses <= formula.clauses.size());
  assert(variables.outputs.size() == circuit.outputs.size() && "after map_aiger_variables");
  timeval start;
  gettimeofday(&start, nullptr);
  const AigerNodes nodes(circuit);
  Minisat::Solver solver;
  using Minisat::mkLit;

  std::vector<Minisat::Var> existential_var(formula.quantifiers.size(), var_Undef);
  const auto existential = [&](uint32_t variable) {
    Minisat::Var& var = existential_var[variable];
    if (var == var_Undef) var = solver.newVar();
    return var;
  };
  const Minisat::Var truth = solver.newVar();
  solver.addClause(mkLit(truth));

  // The gates some output reads, marked backwards from the outputs.
  std::vector<uint8_t> in_cone(nodes.size(), 0);
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (variables.outputs[i] != AigerVariables::IGNORED) {
      const uint32_t node = nodes.node(circuit.outputs[i]);
      if (node != AigerNodes::kConstant) in_cone[node] = 1;
    }
  for (uint32_t g = circuit.and_count(); g-- > 0;) {
    if (!in_cone[nodes.inputs() + g]) continue;
    for (int side = 1; side <= 2; ++side) {
      const uint32_t node = nodes.node(circuit.ands[3 * size_t{g} + side]);
      if (node != AigerNodes::kConstant) in_cone[node] = 1;
    }
  }

  std::vector<Minisat::Var> node_var(nodes.size(), var_Undef);
  for (uint32_t i = 0; i < nodes.inputs(); ++i)
    if (in_cone[i]) node_var[i] = existential(variables.inputs[i]);
  const auto lit_of = [&](uint32_t literal) {
    const uint32_t node = nodes.node(literal);
    // AIGER literal 0 is false, 1 true.
    if (node == AigerNodes::kConstant) return mkLit(truth, !(literal & 1u));
    return mkLit(node_var[node], literal & 1u);
  };
  for (uint32_t g = 0; g < circuit.and_count(); ++g) {
    const uint32_t node = nodes.inputs() + g;
    if (!in_cone[node]) continue;
    node_var[node] = solver.newVar();
    const Minisat::Lit x = mkLit(node_var[node]);
    const Minisat::Lit a = lit_of(circuit.ands[3 * size_t{g} + 1]);
    const Minisat::Lit b = lit_of(circuit.ands[3 * size_t{g} + 2]);
    add_and_clauses(solver, x, a, b);
    ++statistics.gates_encoded;
  }

  // Universal variable -> output index of its function.
  std::vector<uint32_t> function_of(formula.quantifiers.size(), kNoInput);
  for (uint32_t i = 0; i < circuit.outputs.size(); ++i)
    if (variables.outputs[i] != AigerVariables::IGNORED) function_of[variables.outputs[i]] = i;

  Minisat::vec<Minisat::Lit> clause;
  PodVector<Literal> widened;
  for (uint32_t position = 0; position < input_clauses; ++position) {
    clause.clear();
    widened.clear();
    bool satisfied = false;
    for (const Literal& literal : formula.clauses.read(position, widened)) {
      const uint32_t variable = literal.variable();
      if (!formula.is_universal(variable)) {
        clause.push(mkLit(existential(variable), literal.negative()));
      } else if (function_of[variable] != kNoInput) {
        const Minisat::Lit function = lit_of(circuit.outputs[function_of[variable]]);
        clause.push(literal.negative() ? ~function : function);
      } else if (literal.negative()) {
        satisfied = true;  // the universal is constant false
        break;
      }
    }
    if (!satisfied) solver.addClause(clause);
  }

  const bool satisfiable = solver.okay() && solver.solve();
  statistics.test_seconds = seconds_since(start);
  if (!satisfiable) return true;

  std::cout << "Counterexample found." << std::endl << "Assignment to existentials:";
  for (uint32_t variable = 1; variable < formula.quantifiers.size(); ++variable) {
    if (!formula.is_existential(variable)) continue;
    const Minisat::Var var = existential_var[variable];
    const bool value = var != var_Undef && solver.modelValue(var) == Minisat::lbool(true);
    std::cout << ' ' << (value ? "" : "-") << variable;
  }
  std::cout << std::endl;
  return false;
}
