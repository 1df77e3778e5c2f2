// The model test on small gate networks: the exact first falsifiable clause
// for each gate kind, negations, free existentials, constants and clauses
// that only exhaustive enumeration or the solver can decide; the assignment
// value() reports must falsify that clause; and a seeded comparison with the
// plain procedure (all definitions in one MiniSat, one call per clause).
#include "model/clause_decider.hpp"

#include <gtest/gtest.h>
#include <minisat/core/Solver.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "model/network.hpp"
#include "store/clause_store.hpp"

namespace {

using Minisat::lbool;

struct GateSpec {
  Gate::Kind kind;
  unsigned variable;
  std::vector<int> operands;  // DIMACS literals
};

Network make_network(unsigned variables, const std::vector<GateSpec>& gates) {
  Network network;
  network.variables = variables;
  for (const GateSpec& spec : gates) {
    Gate gate;
    gate.kind = spec.kind;
    gate.variable = spec.variable;
    gate.first = static_cast<uint32_t>(network.operands.size());
    gate.count = static_cast<uint32_t>(spec.operands.size());
    for (int operand : spec.operands) network.operands.push_back(Literal(operand));
    network.gates.push_back(gate);
  }
  return network;
}

ClauseStore make_clauses(const std::vector<std::vector<int>>& clauses) {
  ClauseStore store;
  std::vector<Literal> literals;
  for (const auto& clause : clauses) {
    literals.clear();
    for (int value : clause) literals.push_back(Literal(value));
    store.push(literals);
  }
  return store;
}

// Evaluates the network from the free variables' values in `test`,
// independently of the test's own evaluation.
std::vector<uint8_t> evaluate(const Network& network, const ClauseDecider& test, unsigned variables) {
  std::vector<uint8_t> value(variables, 0);
  std::vector<uint8_t> defined(variables, 0);
  for (const Gate& gate : network.gates) defined[gate.variable] = 1;
  for (unsigned v = 0; v < variables; ++v)
    if (!defined[v]) value[v] = test.value(v);
  for (const Gate& gate : network.gates) {
    const Literal* ops = network.operands_of(gate);
    auto lit = [&](uint32_t i) { return static_cast<uint8_t>(value[ops[i].variable()] ^ ops[i].negative()); };
    uint8_t result = 1;
    if (gate.kind == Gate::AND) {
      for (uint32_t i = 0; i < gate.count; ++i) result &= lit(i);
    } else if (gate.kind == Gate::ITE) {
      result = lit(0) ? lit(1) : lit(2);
    } else {
      result = lit(0);
    }
    value[gate.variable] = result;
  }
  return value;
}

// The clause is false under the network's values, and value() agrees with
// them on every variable.
void expect_falsified(const Network& network, const ClauseStore& clauses, uint32_t position,
                      const ClauseDecider& test, unsigned variables) {
  const std::vector<uint8_t> value = evaluate(network, test, variables);
  PodVector<Literal> widened;
  for (const Literal& literal : clauses.read(position, widened))
    EXPECT_EQ(value[literal.variable()] ^ literal.negative(), 0)
        << "literal " << literal.to_dimacs() << " of clause " << position << " is true";
  for (unsigned v = 0; v < variables; ++v) EXPECT_EQ(value[v], test.value(v)) << "variable " << v;
}

// The plain procedure: every gate's defining clauses in one solver, then
// for each clause in order a call assuming its complement.
uint32_t reference_first_falsifiable(const Network& network, const ClauseStore& clauses,
                                     uint32_t input_clauses, unsigned variables) {
  Minisat::Solver solver;
  for (unsigned v = 0; v < variables; ++v) solver.newVar();
  auto lit = [](Literal literal) { return Minisat::mkLit(literal.variable(), literal.negative()); };
  Minisat::vec<Minisat::Lit> clause;
  for (const Gate& gate : network.gates) {
    const Literal* ops = network.operands_of(gate);
    const Minisat::Lit x = Minisat::mkLit(gate.variable);
    if (gate.kind == Gate::AND) {
      clause.clear();
      clause.push(x);
      for (uint32_t i = 0; i < gate.count; ++i) {
        solver.addClause(~x, lit(ops[i]));
        clause.push(~lit(ops[i]));
      }
      solver.addClause(clause);
    } else if (gate.kind == Gate::ITE) {
      const Minisat::Lit c = lit(ops[0]), t = lit(ops[1]), e = lit(ops[2]);
      solver.addClause(~x, t, ~c);
      solver.addClause(~x, c, e);
      solver.addClause(x, ~c, ~t);
      solver.addClause(x, c, ~e);
    } else {
      solver.addClause(x, ~lit(ops[0]));
      solver.addClause(~x, lit(ops[0]));
    }
  }
  PodVector<Literal> widened;
  for (uint32_t position = 0; position < input_clauses; ++position) {
    clause.clear();
    widened.clear();
    for (const Literal& literal : clauses.read(position, widened)) clause.push(~lit(literal));
    if (solver.solve(clause)) return position;
  }
  return input_clauses;
}

struct Case {
  std::string name;
  unsigned variables;
  std::vector<GateSpec> gates;
  std::vector<std::vector<int>> clauses;
  uint32_t expected;  // first falsifiable position; clauses.size() when none
};

const Gate::Kind AND = Gate::AND, ITE = Gate::ITE, COPY = Gate::COPY;

std::vector<int> range(int first, int last) {
  std::vector<int> result;
  for (int v = first; v <= last; ++v) result.push_back(v);
  return result;
}

std::vector<Case> small_cases() {
  return {
      {"and_definition_holds", 4, {{AND, 3, {1, -2}}}, {{-3, 1}, {-3, -2}, {3, -1, 2}}, 3},
      {"and_output_can_be_false", 4, {{AND, 3, {1, -2}}}, {{-3, 1}, {3}}, 1},
      {"and_output_can_be_true", 4, {{AND, 3, {1, -2}}}, {{-3, 1}, {-3}}, 1},
      {"and_with_negated_output_clause", 4, {{AND, 3, {1, 2}}}, {{-3, 1}, {3, -1}}, 1},
      {"ite_definition_holds", 5, {{ITE, 4, {1, 2, -3}}},
       {{-4, 2, -1}, {-4, 1, -3}, {4, -1, -2}, {4, 1, 3}}, 4},
      {"ite_else_branch", 5, {{ITE, 4, {1, 2, -3}}}, {{-4, 2, -1}, {1, 4}}, 1},
      {"ite_same_then_else_is_a_copy", 5, {{ITE, 4, {1, 2, 2}}}, {{-4, 2}, {4, -2}, {4}}, 2},
      {"copy_of_negation", 3, {{COPY, 2, {-1}}}, {{1, 2}, {-1, -2}, {2}}, 2},
      {"copy_chain", 4, {{COPY, 2, {-1}}, {COPY, 3, {-2}}}, {{-3, 1}, {3, -1}, {3, 1}}, 2},
      {"free_existential_outside_model", 3, {}, {{1, 2}}, 0},
      {"clause_over_free_and_gate", 4, {{AND, 3, {1, 1}}}, {{-3, 1, 2}, {3, -1, 2}, {-2}}, 2},
      {"empty_and_is_true", 2, {{AND, 1, {}}}, {{1}, {-1}}, 1},
      {"empty_clause", 3, {}, {{1, -1}, {}, {2}}, 1},
      {"tautologies_only", 3, {}, {{1, -1}, {2, -2, 1}}, 2},
      {"contradictory_and_is_false", 3, {{AND, 2, {1, -1}}}, {{-2}, {2}}, 1},
      {"no_clauses", 3, {{AND, 2, {1}}}, {}, 0},
      {"variable_beyond_network", 2, {}, {{1, -1}, {5, -4}}, 1},
      // 24 free variables, one falsifying assignment: random simulation
      // all but surely misses it, the enumeration finds it.
      {"only_all_ones_falsifies_24", 26, {{AND, 25, range(1, 24)}}, {{-25, 1}, {-25}}, 1},
      // 40 free variables: the solver has to decide.
      {"only_all_ones_falsifies_40", 42, {{AND, 41, range(1, 40)}}, {{-41, 40}, {-41}}, 1},
      {"forty_inputs_hold", 42, {{AND, 41, range(1, 40)}}, {{-41, 40}, {-41, 1}}, 2},
  };
}

TEST(ClauseDecider, FirstFalsifiableClauseAndItsAssignment) {
  for (const Case& test_case : small_cases()) {
    SCOPED_TRACE(test_case.name);
    const Network network = make_network(test_case.variables, test_case.gates);
    const ClauseStore clauses = make_clauses(test_case.clauses);
    const uint32_t input = static_cast<uint32_t>(test_case.clauses.size());
    ClauseDecider test(network, clauses, input);
    const uint32_t found = test.first_falsifiable();
    EXPECT_EQ(found, test_case.expected);
    unsigned variables = test_case.variables;
    for (const auto& clause : test_case.clauses)
      for (int literal : clause) variables = std::max<unsigned>(variables, std::abs(literal) + 1);
    EXPECT_EQ(reference_first_falsifiable(network, clauses, input, variables), test_case.expected);
    if (found < input) expect_falsified(network, clauses, found, test, variables);
  }
}

TEST(ClauseDecider, TwentyFourInputsNeedEnumerationFortyNeedTheSolver) {
  for (unsigned inputs : {24u, 40u}) {
    SCOPED_TRACE(inputs);
    const Network network = make_network(inputs + 2, {{AND, inputs + 1, range(1, inputs)}});
    const ClauseStore clauses = make_clauses({{-static_cast<int>(inputs) - 1}});
    ClauseDecider test(network, clauses, 1);
    EXPECT_EQ(test.first_falsifiable(), 0u);
    for (unsigned v = 1; v <= inputs + 1; ++v) EXPECT_TRUE(test.value(v)) << v;
    if (inputs == 24) {
      EXPECT_TRUE(test.statistics().whole_network);
      EXPECT_EQ(test.statistics().solved_clauses, 0u);
    } else {
      EXPECT_FALSE(test.statistics().whole_network);
      EXPECT_EQ(test.statistics().solved_clauses, 1u);
    }
  }
}

// 64 free variables in all, each clause reading 16 of them through a small
// chain: too many to enumerate together, few enough per cone.
TEST(ClauseDecider, ClausesDecidedOneConeAtATime) {
  std::vector<GateSpec> gates;
  std::vector<std::vector<int>> clauses;
  unsigned next = 65;
  for (int group = 0; group < 4; ++group) {
    const int base = group * 16;
    const unsigned conjunction = next++;
    gates.push_back({AND, conjunction, range(base + 1, base + 16)});
    const unsigned choice = next++;
    gates.push_back({ITE, choice, {base + 1, static_cast<int>(conjunction), -(base + 2)}});
    clauses.push_back({-static_cast<int>(conjunction), base + 16});
    clauses.push_back({-static_cast<int>(choice), base + 1, -(base + 2)});
  }
  // Falsified only when inputs 49..64 are all true.
  clauses.push_back({-static_cast<int>(next - 2)});
  const Network network = make_network(next, gates);
  const ClauseStore store = make_clauses(clauses);
  const uint32_t input = static_cast<uint32_t>(clauses.size());
  ClauseDecider test(network, store, input);
  EXPECT_EQ(test.first_falsifiable(), input - 1);
  EXPECT_FALSE(test.statistics().whole_network);
  EXPECT_EQ(test.statistics().solved_clauses, 0u);
  EXPECT_EQ(test.statistics().enumerated_clauses, input);
  expect_falsified(network, store, input - 1, test, next);
  for (unsigned v = 49; v <= 64; ++v) EXPECT_TRUE(test.value(v)) << v;
  for (unsigned v = 1; v <= 48; ++v) EXPECT_FALSE(test.value(v)) << v;  // outside the cone
}

// Random acyclic networks over shuffled variable numbers; the clauses mix
// the gates' own defining clauses (always true) with random ones, so the
// first falsifiable clause lies anywhere or nowhere.
struct Shape {
  unsigned min_free, max_free;  // free variables, inclusive range
  unsigned max_gates;           // gates: 0 to this many
  unsigned max_conjuncts;       // operands of an AND: 0 to this many
  unsigned max_clauses;         // clauses: 0 to this many - 1
  unsigned random_one_in;       // one clause in this many is random, the rest defining
};

ClauseDecider::Statistics compare_random(uint32_t seed, const Shape& shape, int runs,
                                     ClauseDecider::Limits limits = ClauseDecider::Limits()) {
  ClauseDecider::Statistics total;
  std::mt19937 random(seed);
  auto below = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
  for (int run = 0; run < runs; ++run) {
    const unsigned free = shape.min_free + below(shape.max_free - shape.min_free + 1);
    const unsigned gate_count = below(shape.max_gates + 1);
    const unsigned variables = free + gate_count + 1;
    std::vector<unsigned> number(variables - 1);  // creation order -> variable
    for (unsigned i = 0; i < number.size(); ++i) number[i] = i + 1;
    std::shuffle(number.begin(), number.end(), random);
    auto operand = [&](unsigned created) {
      const unsigned v = number[below(created)];
      return below(2) ? -static_cast<int>(v) : static_cast<int>(v);
    };
    std::vector<GateSpec> gates;
    std::vector<std::vector<int>> defining;
    for (unsigned g = 0; g < gate_count; ++g) {
      const unsigned created = free + g;
      const int x = static_cast<int>(number[created]);
      const unsigned kind = below(3);
      if (kind == 0) {
        std::vector<int> ops;
        for (unsigned i = below(shape.max_conjuncts + 1); i > 0; --i) ops.push_back(operand(created));
        gates.push_back({AND, static_cast<unsigned>(x), ops});
        for (int op : ops) defining.push_back({-x, op});
      } else if (kind == 1) {
        const int c = operand(created), t = operand(created), e = operand(created);
        gates.push_back({ITE, static_cast<unsigned>(x), {c, t, e}});
        defining.push_back({-x, t, -c});
        defining.push_back({x, c, -e});
      } else {
        const int f = operand(created);
        gates.push_back({COPY, static_cast<unsigned>(x), {f}});
        defining.push_back({x, -f});
      }
    }
    std::vector<std::vector<int>> clauses;
    for (unsigned count = below(shape.max_clauses); count > 0; --count) {
      if (!defining.empty() && below(shape.random_one_in) != 0) {
        clauses.push_back(defining[below(static_cast<unsigned>(defining.size()))]);
        continue;
      }
      std::vector<int> clause;
      for (unsigned size = below(5); size > 0; --size) clause.push_back(operand(variables - 1));
      std::sort(clause.begin(), clause.end());
      clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
      clauses.push_back(clause);
    }
    const Network network = make_network(variables, gates);
    const ClauseStore store = make_clauses(clauses);
    const uint32_t input = static_cast<uint32_t>(clauses.size());
    ClauseDecider test(network, store, input, limits);
    const uint32_t found = test.first_falsifiable();
    EXPECT_EQ(found, reference_first_falsifiable(network, store, input, variables))
        << "seed " << seed << " run " << run;
    if (found < input) expect_falsified(network, store, found, test, variables);
    total.whole_network |= test.statistics().whole_network;
    total.enumerated_clauses += test.statistics().enumerated_clauses;
    total.enumerations += test.statistics().enumerations;
    total.solved_clauses += test.statistics().solved_clauses;
    total.diagram_clauses += test.statistics().diagram_clauses;
  }
  return total;
}

TEST(ClauseDecider, AgreesWithThePlainProcedureOnSmallNetworks) {
  EXPECT_TRUE(compare_random(1, {1, 10, 12, 3, 12, 4}, 3000).whole_network);
}

// More free variables than the whole-network enumeration takes: the clauses
// go through their cones, some to the solver.
TEST(ClauseDecider, AgreesWithThePlainProcedureOnWideNetworks) {
  const ClauseDecider::Statistics total = compare_random(2, {40, 64, 80, 8, 40, 10}, 100);
  EXPECT_GT(total.enumerated_clauses, 0u);
  EXPECT_GT(total.solved_clauses, 0u);
}

// Small bounds mix enumerated cones, shared ones and the solver in one run;
// a run budget of nothing leaves every clause to the solver.
TEST(ClauseDecider, AgreesWithThePlainProcedureUnderSmallBounds) {
  const Shape wide = {40, 64, 80, 8, 40, 10};
  ClauseDecider::Limits tight;
  tight.cone_budget = 1 << 12;
  tight.run_budget = 1 << 16;
  const ClauseDecider::Statistics mixed = compare_random(3, wide, 100, tight);
  EXPECT_GT(mixed.enumerated_clauses, mixed.enumerations);  // some cones decided several
  EXPECT_GT(mixed.solved_clauses, 0u);
  ClauseDecider::Limits none;
  none.run_budget = 0;
  const ClauseDecider::Statistics solved = compare_random(4, wide, 50, none);
  EXPECT_EQ(solved.enumerations, 0u);
  EXPECT_FALSE(solved.whole_network);
  EXPECT_GT(solved.solved_clauses, 0u);
}

// Limits that leave every clause to MiniSat (no enumeration), and past
// `conflicts` conflicts to the decision diagrams.
ClauseDecider::Limits diagrams_after(uint64_t conflicts) {
  ClauseDecider::Limits limits;
  limits.run_budget = 0;
  limits.conflict_budget = conflicts;
  return limits;
}

// No conflict for MiniSat before the diagrams: the clauses it does not
// decide by propagation alone go to them, and those they cannot prove
// (falsifiable ones, with the diagrams' assignment assumed, or all when the
// node bound is too small) back to MiniSat; the answers and
// counterexamples stay right.
TEST(ClauseDecider, AgreesWithThePlainProcedureThroughDiagrams) {
  const Shape wide = {40, 64, 80, 8, 40, 10};
  ClauseDecider::Limits diagrams = diagrams_after(0);
  const ClauseDecider::Statistics proved = compare_random(5, wide, 60, diagrams);
  EXPECT_GT(proved.diagram_clauses, 0u);
  diagrams.diagram_nodes = 8;  // too few to start with
  const ClauseDecider::Statistics bounded = compare_random(6, wide, 60, diagrams);
  EXPECT_EQ(bounded.diagram_clauses, 0u);
  EXPECT_GT(bounded.solved_clauses, 0u);
}

// A clause false on one assignment of 30 free variables (too many to
// enumerate, too rare for the simulation), after one that always holds but
// not by its form: past a budget of no conflicts the diagrams prove the
// first and find the second falsifiable, with the one assignment that
// falsifies it, which MiniSat confirms and gives as the counterexample.
TEST(ClauseDecider, DiagramsGiveCounterexamplesMiniSatConfirms) {
  const int free = 30;
  std::vector<GateSpec> gates;
  std::vector<int> operands = range(1, free);
  operands[6] = -7;
  const int rare = free + 1, all = free + 2;
  gates.push_back({AND, static_cast<unsigned>(rare), operands});
  gates.push_back({AND, static_cast<unsigned>(all), range(1, free)});
  const std::vector<std::vector<int>> clauses = {{-rare, -all}, {-rare}};
  const unsigned variables = free + 3;
  const Network network = make_network(variables, gates);
  const ClauseStore store = make_clauses(clauses);
  ClauseDecider test(network, store, 2, diagrams_after(0));
  EXPECT_EQ(test.first_falsifiable(), 1u);
  EXPECT_EQ(test.statistics().diagram_clauses, 1u);
  EXPECT_EQ(test.statistics().diagram_counterexamples, 1u);
  EXPECT_EQ(test.statistics().solved_clauses, 1u);
  for (int v = 1; v <= free; ++v) EXPECT_EQ(test.value(v), v != 7) << v;
  EXPECT_TRUE(test.value(rare));
}

// The parity of 40 free variables as a chain of XORs (if-then-else gates)
// and as a balanced tree over them in another order, the tree XOR an AND
// of all 40 with every third negated: the two differ on that one
// assignment, so one of the clauses saying they are equal is false there
// and nowhere else, a search MiniSat does not end in reasonable time. An
// earlier clause over five more free variables (an AND's definition) brings
// those into the solver. Under a small conflict budget the diagrams prove
// the two clauses that hold and give the assignment that falsifies the
// other; MiniSat confirms it, with the five others false.
TEST(ClauseDecider, ParityCounterexampleFromTheDiagrams) {
  const int inputs = 40, others = 5;
  int next = inputs + others + 1;
  std::vector<GateSpec> gates;
  auto define = [&](Gate::Kind kind, std::vector<int> operands) {
    gates.push_back({kind, static_cast<unsigned>(next), std::move(operands)});
    return next++;
  };
  auto exclusive_or = [&](int x, int y) { return define(ITE, {x, -y, y}); };
  const int other_and = define(AND, range(inputs + 1, inputs + others));
  int chain = 1;
  for (int u = 2; u <= inputs; ++u) chain = exclusive_or(u, chain);
  std::vector<int> level;
  for (int k = 1; k <= inputs; ++k) level.push_back(7 * k % (inputs + 1));
  while (level.size() > 1) {
    std::vector<int> paired;
    for (size_t i = 0; i + 1 < level.size(); i += 2) paired.push_back(exclusive_or(level[i], level[i + 1]));
    if (level.size() % 2) paired.push_back(level.back());
    level = paired;
  }
  std::vector<int> signs;  // the one assignment where the AND is true, as literals
  for (int u = 1; u <= inputs; ++u) signs.push_back(u % 3 ? u : -u);
  const int differ = exclusive_or(define(AND, signs), level[0]);
  // 27 inputs true there: the chain is 1, the other 0, and the last clause false.
  const std::vector<std::vector<int>> clauses = {
      {-other_and, inputs + 1}, {chain, -differ}, {-chain, differ}};
  const unsigned variables = static_cast<unsigned>(next);
  const Network network = make_network(variables, gates);
  const ClauseStore store = make_clauses(clauses);
  ClauseDecider test(network, store, 3, diagrams_after(100));
  EXPECT_EQ(test.first_falsifiable(), 2u);
  EXPECT_EQ(test.statistics().diagram_counterexamples, 1u);
  EXPECT_EQ(test.statistics().solved_clauses, 2u);  // the first clause, and the confirmation
  EXPECT_EQ(test.statistics().diagram_clauses, 1u);
  // The third clause reads the nodes of the second, whose diagrams are
  // kept: it goes to them before MiniSat's search.
  EXPECT_EQ(test.statistics().diagrams_first, 1u);
  EXPECT_GT(test.statistics().diagram_gates, 0u);
  EXPECT_LT(test.statistics().diagram_gates, test.statistics().encoded_gates);
  expect_falsified(network, store, 2, test, variables);
  for (int u = 1; u <= inputs; ++u) EXPECT_EQ(test.value(u), u % 3 != 0) << u;
  for (int v = inputs + 1; v <= inputs + others; ++v) EXPECT_FALSE(test.value(v)) << v;
}

// A chain of gates each reading a free variable first and the gate before
// it: a depth-first walk meets the free variables after all gates. Its
// cone, 2^12 assignments of 3,000 gates, is over the cone budget and goes
// to the solver however late the walk sees that. 40 more free variables
// in clauses of their own (each true, but not by its form alone: v OR NOT
// (v AND 1)) keep the whole network from one enumeration.
TEST(ClauseDecider, ConeJudgedOnItsWholeSize) {
  std::vector<GateSpec> gates;
  std::vector<std::vector<int>> clauses;
  const int free = 52, chain = 3000;
  int last = 1;
  for (int g = 0; g < chain; ++g) {
    const int x = free + 1 + g;
    gates.push_back({AND, static_cast<unsigned>(x), {1 + g % 12, last}});
    last = x;
  }
  clauses.push_back({1 + (chain - 1) % 12, -last});  // holds: the last gate reads it
  for (int v = 13; v <= free; ++v) {
    const int y = free + chain + v;
    gates.push_back({AND, static_cast<unsigned>(y), {v, 1}});
    clauses.push_back({v, -y});
  }
  const unsigned variables = free + chain + free + 1;
  const Network network = make_network(variables, gates);
  const ClauseStore store = make_clauses(clauses);
  const uint32_t input = static_cast<uint32_t>(clauses.size());
  ClauseDecider::Limits limits;
  limits.cone_budget = 1 << 16;
  ClauseDecider test(network, store, input, limits);
  EXPECT_EQ(test.first_falsifiable(), input);
  EXPECT_FALSE(test.statistics().whole_network);
  EXPECT_EQ(test.statistics().solved_clauses, 1u);
}

// 200 clauses over one cone of 22 free variables (a conjunction, then a
// chain of 400 gates, each the AND of the one before and variable 1, which
// structural hashing keeps apart), each adding one gate of its own: one enumeration
// decides them all, and the wrong one among them, falsified on one
// assignment only (which the simulation misses), is found. The observer
// hears of each clause once, in order, up to that one.
TEST(ClauseDecider, ClausesSharingAConeEnumeratedOnce) {
  std::vector<GateSpec> gates;
  std::vector<std::vector<int>> clauses;
  const int free = 22;
  int top = free + 1;
  gates.push_back({AND, static_cast<unsigned>(top), range(1, free)});
  for (int k = 0; k < 400; ++k, ++top) gates.push_back({AND, static_cast<unsigned>(top + 1), {top, 1}});
  const int rare = top + 1;  // true only when 2 is false and every other free variable true
  std::vector<int> rare_operands = range(1, free);
  rare_operands[1] = -2;
  gates.push_back({AND, static_cast<unsigned>(rare), rare_operands});
  int next = rare + 1;
  for (int k = 0; k < 200; ++k) {
    const int copy = next++;
    gates.push_back({COPY, static_cast<unsigned>(copy), {k == 150 ? rare : top}});
    clauses.push_back({2, -copy});
  }
  for (int v = next; v < next + 40; ++v) {  // beyond one enumeration
    gates.push_back({AND, static_cast<unsigned>(v + 40), {v, 1}});
    clauses.push_back({v, -(v + 40)});
  }
  const unsigned variables = next + 80;
  const Network network = make_network(variables, gates);
  const ClauseStore store = make_clauses(clauses);
  const uint32_t input = static_cast<uint32_t>(clauses.size());
  ClauseDecider test(network, store, input);
  std::vector<uint32_t> told;
  uint32_t last_end = 0;
  test.set_observer([&](uint32_t first, uint32_t end) {
    EXPECT_EQ(first, last_end);
    EXPECT_LT(first, end);
    last_end = end;
    for (uint32_t position = first; position < end; ++position) told.push_back(position);
  });
  EXPECT_EQ(test.first_falsifiable(), 150u);
  EXPECT_EQ(told.size(), 151u);
  EXPECT_EQ(test.statistics().enumerations, 1u);
  EXPECT_EQ(test.statistics().solved_clauses, 0u);
  expect_falsified(network, store, 150, test, variables);
  for (int v = 1; v <= free; ++v) EXPECT_EQ(test.value(v), v != 2) << v;
}

}  // namespace
