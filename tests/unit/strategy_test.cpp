// Functions out of proofs: which literals a reduction turns into rules (and
// under which condition, with which value) for clauses and for cubes, and
// the decision lists the circuit builds from them, where the first rule in
// proof order decides.
#include "formula/strategy.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "core/exception.hpp"
#include "model/strategy_circuit.hpp"

namespace {

std::vector<Literal> literals(std::initializer_list<int> dimacs) {
  std::vector<Literal> out;
  for (int d : dimacs) out.push_back(Literal(d));
  return out;
}

ClauseView view(const std::vector<Literal>& literals) {
  return ClauseView{literals.data(), static_cast<uint32_t>(literals.size())};
}

// Prefix e1 a2 e3 a4: levels 0 to 3 (variable 0 unused).
const std::vector<unsigned> kLevels = {0, 0, 1, 2, 3};

TEST(Strategy, ReductionRules) {
  struct Case {
    const char* name;
    Rule rule;
    std::vector<Literal> before, kept;
    std::vector<Literal> removed;  // in the order of `before`
    std::vector<bool> values;      // the value each rule gives its variable
  } cases[] = {
      {"clause: nothing deeper than the existentials", Rule::CLAUSE, literals({1, 2, -3}),
       literals({1, 2, -3}), {}, {}},
      {"clause: a universal after every existential", Rule::CLAUSE, literals({1, -2, 3, 4}),
       literals({1, -2, 3}), literals({4}), {false}},
      {"clause: no existential, every universal goes", Rule::CLAUSE, literals({-2, 4}), {},
       literals({-2, 4}), {true, false}},
      {"cube: an existential after every universal", Rule::CUBE, literals({2, -3}),
       literals({2}), literals({-3}), {false}},
      {"cube: no universal, every existential goes", Rule::CUBE, literals({-1, 3}), {},
       literals({-1, 3}), {false, true}},
      {"cube: nothing deeper than the universals", Rule::CUBE, literals({1, 4}),
       literals({1, 4}), {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Strategy strategy(c.rule);
    std::vector<Literal> kept;
    strategy.add_reduction(view(c.before), kLevels, kept);
    EXPECT_EQ(kept, c.kept);
    ASSERT_EQ(strategy.entries().size(), c.removed.size());
    EXPECT_EQ(strategy.conditions(), c.removed.empty() ? 0u : 1u);
    for (size_t i = 0; i < c.removed.size(); ++i) {
      const Strategy::Entry& entry = strategy.entries()[i];
      EXPECT_EQ(entry.removed, c.removed[i]);
      EXPECT_EQ(strategy.value(entry), c.values[i]);
      const ClauseView condition = strategy.condition(entry.condition);
      EXPECT_EQ(std::vector<Literal>(condition.begin(), condition.end()), c.kept);
    }
  }
}

// Under e1 a2: the rule "x1 false: u2 false" (from (1 2) reduced to (1))
// comes before "always: u2 true" (from (-2) reduced to ()). The first rule
// that holds decides, so u2 = x1; the other order would make u2 true.
TEST(Strategy, FirstRuleInProofOrderDecides) {
  const std::vector<unsigned> levels = {0, 0, 1};
  Strategy strategy(Rule::CLAUSE);
  std::vector<Literal> kept;
  strategy.add_reduction(view(literals({1, 2})), levels, kept);
  strategy.add_reduction(view(literals({-2})), levels, kept);
  const FunctionCircuit circuit = build_strategy_circuit(strategy, {1, 2}, levels);
  EXPECT_EQ(circuit.input_variables, std::vector<uint32_t>({1}));
  EXPECT_EQ(circuit.output_variables, std::vector<uint32_t>({2}));
  EXPECT_EQ(circuit.outputs, std::vector<uint32_t>({2}));  // the input x1 itself
  EXPECT_EQ(circuit.and_count(), 0u);

  Strategy reversed(Rule::CLAUSE);
  reversed.add_reduction(view(literals({-2})), levels, kept);
  reversed.add_reduction(view(literals({1, 2})), levels, kept);
  EXPECT_EQ(build_strategy_circuit(reversed, {1, 2}, levels).outputs,
            std::vector<uint32_t>({1}));  // true
}

// Cubes: under a1 e2, "u1 true: x2 false" then "u1 false: x2 true" give
// x2 = NOT u1; a universal's function reads an earlier universal's through
// its own function.
TEST(Strategy, CubeRulesAndFunctionsOfFunctions) {
  const std::vector<unsigned> levels = {0, 1, 2};
  Strategy cube(Rule::CUBE);
  std::vector<Literal> kept;
  cube.add_reduction(view(literals({1, -2})), levels, kept);
  cube.add_reduction(view(literals({-1, 2})), levels, kept);
  EXPECT_EQ(build_strategy_circuit(cube, {1, 2}, levels).outputs, std::vector<uint32_t>({3}));

  // e1 a2 e3 a4: u2 = x1 (as above), then u4 true when (x1, u2, x3) are all
  // false, which u2 = x1 makes NOT x1 AND NOT x3.
  Strategy clause(Rule::CLAUSE);
  clause.add_reduction(view(literals({1, 2})), kLevels, kept);
  clause.add_reduction(view(literals({-2})), kLevels, kept);
  clause.add_reduction(view(literals({1, 2, 3, -4})), kLevels, kept);
  const FunctionCircuit circuit = build_strategy_circuit(clause, {1, 2, 3, 4}, kLevels);
  EXPECT_EQ(circuit.input_variables, std::vector<uint32_t>({1, 3}));
  EXPECT_EQ(circuit.output_variables, std::vector<uint32_t>({2, 4}));
  ASSERT_EQ(circuit.and_count(), 1u);
  EXPECT_EQ(circuit.ands, std::vector<uint32_t>({5, 3}));  // NOT x3 AND NOT x1
  EXPECT_EQ(circuit.outputs, std::vector<uint32_t>({2, 6}));
}

TEST(Strategy, VariableOutsideThePrefixIsRefused) {
  const std::vector<unsigned> levels = {0, 0, 1, 0};
  Strategy strategy(Rule::CLAUSE);
  std::vector<Literal> kept;
  strategy.add_reduction(view(literals({3, 2})), levels, kept);
  EXPECT_THROW(build_strategy_circuit(strategy, {1, 2}, levels), Exception);
}

}  // namespace
