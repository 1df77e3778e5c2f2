// The and-inverter graph: the folding rules of make_and, hash-consing (an
// equal AND made once, whatever the operand order), the conjunction and
// if-then-else built from it, the graph's invariants after many random
// operations (table growth included), and the model graph of a network.
#include "model/aig.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr uint32_t F = Aig::kFalseLiteral;
constexpr uint32_t T = Aig::kTrueLiteral;

TEST(Aig, FoldingRules) {
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2);
  struct Case {
    const char* name;
    uint32_t left, right, expected;
  } cases[] = {
      {"false left", F, a, F},       {"false right", a, F, F},
      {"true left", T, a, a},        {"true right", b ^ 1u, T, b ^ 1u},
      {"x and x", a, a, a},          {"not x and not x", a ^ 1u, a ^ 1u, a ^ 1u},
      {"x and not x", a, a ^ 1u, F}, {"not x and x", b ^ 1u, b, F},
      {"true and true", T, T, T},    {"false and true", F, T, F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(aig.make_and(c.left, c.right), c.expected);
  }
  EXPECT_EQ(aig.and_nodes(), 0u);
  EXPECT_TRUE(aig.consistent());
}

TEST(Aig, EqualAndMadeOnce) {
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2);
  const uint32_t ab = aig.make_and(a, b);
  EXPECT_EQ(aig.make_and(b, a), ab);
  EXPECT_NE(aig.make_and(a ^ 1u, b), ab);
  EXPECT_EQ(aig.and_nodes(), 2u);
  EXPECT_EQ(aig.left(ab >> 1), b);  // the greater operand first
  EXPECT_EQ(aig.right(ab >> 1), a);
  EXPECT_TRUE(aig.is_input(a >> 1));
  EXPECT_EQ(aig.input_tag(b >> 1), 2u);
  EXPECT_TRUE(aig.is_and(ab >> 1));
  EXPECT_FALSE(aig.is_and(0));
}

TEST(Aig, ConjunctionAndIfThenElse) {
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2), c = aig.add_input(3);
  std::vector<uint32_t> literals;
  literals = {};
  EXPECT_EQ(aig.make_conjunction(literals), T);
  literals = {T, T};
  EXPECT_EQ(aig.make_conjunction(literals), T);
  literals = {a, b, a ^ 1u};
  EXPECT_EQ(aig.make_conjunction(literals), F);
  literals = {a, T, F};
  EXPECT_EQ(aig.make_conjunction(literals), F);
  literals = {b, a, b, T};
  const uint32_t ab = aig.make_conjunction(literals);
  EXPECT_EQ(ab, aig.make_and(a, b));
  // Balanced over the sorted operands: (a AND b) AND c.
  literals = {c, b, a};
  EXPECT_EQ(aig.make_conjunction(literals), aig.make_and(ab, c));
  EXPECT_EQ(aig.make_ite(a, b, b), b);
  const uint32_t ite = aig.make_ite(a, b, c);
  EXPECT_EQ(aig.make_ite(a, b, c), ite);
  EXPECT_EQ(ite, aig.make_and(aig.make_and(a, b) ^ 1u, aig.make_and(a ^ 1u, c) ^ 1u) ^ 1u);
  EXPECT_EQ(aig.make_ite(T, b, c), b);
  EXPECT_EQ(aig.make_ite(F, b, c), c);
  EXPECT_TRUE(aig.consistent());
}

// Many random ANDs over a few inputs: every result evaluates as the AND of
// its operands on every assignment, no equal node is made twice, and the
// invariants hold through the table's growth.
TEST(Aig, RandomGraphsKeepTheirInvariants) {
  std::mt19937 random(7);
  Aig aig;
  constexpr uint32_t inputs = 6;
  std::vector<uint32_t> literals = {F, T};
  for (uint32_t i = 0; i < inputs; ++i) literals.push_back(aig.add_input(i + 1));
  std::vector<uint64_t> value = {0};  // node -> truth table over the inputs
  for (uint32_t i = 0; i < inputs; ++i) {
    uint64_t table = 0;
    for (uint32_t row = 0; row < 64; ++row) table |= uint64_t{(row >> i) & 1u} << row;
    value.push_back(table);
  }
  auto table_of = [&](uint32_t literal) { return value[literal >> 1] ^ (literal & 1u ? ~uint64_t{0} : 0); };
  for (int step = 0; step < 20000; ++step) {
    const uint32_t a = literals[random() % literals.size()] ^ (random() & 1u);
    const uint32_t b = literals[random() % literals.size()] ^ (random() & 1u);
    const uint32_t nodes = aig.nodes();
    const uint32_t result = aig.make_and(a, b);
    if (aig.nodes() > nodes) {
      ASSERT_EQ(result >> 1, nodes);
      value.push_back(table_of(aig.left(nodes)) & table_of(aig.right(nodes)));
      literals.push_back(result);
    }
    ASSERT_EQ(table_of(result), table_of(a) & table_of(b));
  }
  EXPECT_GT(aig.and_nodes(), 1024u);  // the table grew
  EXPECT_TRUE(aig.consistent());
}

// The model graph: free variables are inputs in ascending order, gates
// translated in order, a copy takes its operand's literal.
TEST(Aig, ModelGraphOfANetwork) {
  Network network;
  network.variables = 7;
  auto gate = [&](Gate::Kind kind, uint32_t variable, std::vector<int> operands) {
    Gate g;
    g.kind = kind;
    g.variable = variable;
    g.first = static_cast<uint32_t>(network.operands.size());
    g.count = static_cast<uint32_t>(operands.size());
    for (int operand : operands) network.operands.push_back(Literal(operand));
    network.gates.push_back(g);
  };
  gate(Gate::AND, 4, {2, 1});
  gate(Gate::AND, 5, {1, 2, 1});  // equal to 4
  gate(Gate::COPY, 6, {-5});
  gate(Gate::ITE, 3, {1, 4, 4});  // 4
  const ModelGraph graph = build_model_graph(network, 8);
  EXPECT_EQ(graph.literal_of[1], 2u);   // node 1
  EXPECT_EQ(graph.literal_of[2], 4u);   // node 2
  EXPECT_EQ(graph.literal_of[7], 6u);   // node 3: free, read by nothing
  EXPECT_EQ(graph.literal_of[4], 8u);   // node 4 = 1 AND 2
  EXPECT_EQ(graph.literal_of[5], 8u);
  EXPECT_EQ(graph.literal_of[6], 9u);
  EXPECT_EQ(graph.literal_of[3], 8u);
  EXPECT_EQ(graph.literal_of[0], F);
  EXPECT_EQ(graph.aig.and_nodes(), 1u);
  EXPECT_TRUE(graph.aig.consistent());
}

}  // namespace
