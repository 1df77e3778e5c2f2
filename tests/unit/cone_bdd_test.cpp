// Decision diagrams of a clause's cone: the answer on equivalences built
// two ways (never false) and on near-equivalences (false on one
// assignment), each checked against plain evaluation; a node bound too
// small gives up instead of answering; calls after a given-up one start
// afresh; and a falsifiable answer comes with the least falsifying
// assignment. The shared store answers as the single calls do, builds each
// gate of overlapping cones once, and drops its kept diagrams to answer a
// clause that does not fit beside them.
#include "model/cone_bdd.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "model/aig.hpp"

namespace {

// a XOR b as (a AND NOT b) OR (NOT a AND b).
uint32_t xor_by_products(Aig& aig, uint32_t a, uint32_t b) {
  return aig.make_and(aig.make_and(a, b ^ 1u) ^ 1u, aig.make_and(a ^ 1u, b) ^ 1u) ^ 1u;
}
// a XOR b as (a OR b) AND NOT (a AND b).
uint32_t xor_by_sums(Aig& aig, uint32_t a, uint32_t b) {
  return aig.make_and(aig.make_and(a ^ 1u, b ^ 1u) ^ 1u, aig.make_and(a, b) ^ 1u);
}

// Value of a literal under the assignment `bits` of the inputs (input i of
// the graph, in node order, is bit i).
bool evaluate(const Aig& aig, uint32_t literal, uint64_t bits) {
  std::vector<uint8_t> value(aig.nodes(), 0);
  uint32_t input = 0;
  for (uint32_t node = 1; node < aig.nodes(); ++node)
    value[node] = aig.is_input(node) ? (bits >> input++) & 1u
                                     : (value[aig.left(node) >> 1] ^ (aig.left(node) & 1u)) &
                                           (value[aig.right(node) >> 1] ^ (aig.right(node) & 1u));
  return value[literal >> 1] ^ (literal & 1u);
}

bool falsifiable_by_evaluation(const Aig& aig, const std::vector<uint32_t>& clause, uint32_t inputs) {
  for (uint64_t bits = 0; bits < (uint64_t{1} << inputs); ++bits) {
    bool falsified = true;
    for (uint32_t literal : clause) falsified = falsified && !evaluate(aig, literal, bits);
    if (falsified) return true;
  }
  return false;
}

// The parity of `inputs` inputs twice, as chains of the two XOR forms, in
// opposite orders; `flip` input k of the second chain is negated (k < 0:
// none).
struct Parities {
  Aig aig;
  uint32_t first = 0, second = 0;
  Parities(uint32_t inputs, int flip) {
    std::vector<uint32_t> in;
    for (uint32_t i = 0; i < inputs; ++i) in.push_back(aig.add_input(i + 1));
    first = in[0];
    for (uint32_t i = 1; i < inputs; ++i) first = xor_by_products(aig, first, in[i]);
    second = in[inputs - 1] ^ (flip == static_cast<int>(inputs) - 1 ? 1u : 0u);
    for (int i = static_cast<int>(inputs) - 2; i >= 0; --i)
      second = xor_by_sums(aig, second, in[i] ^ (flip == i ? 1u : 0u));
  }
};

TEST(ConeBdd, AnswersAsEvaluationDoes) {
  struct Case {
    const char* name;
    uint32_t inputs;
    int flip;        // input negated in the second parity, -1 for none
    bool equivalent; // first IMPLIES second as a clause: NOT first OR second
    BddAnswer expected;
  } cases[] = {
      {"equal parities, implication", 10, -1, false, BddAnswer::kNever},
      {"equal parities, converse", 10, -1, true, BddAnswer::kNever},
      {"one input flipped", 10, 3, false, BddAnswer::kFalsifiable},
      {"last input flipped", 10, 9, true, BddAnswer::kFalsifiable},
      {"single input", 1, -1, false, BddAnswer::kNever},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Parities p(c.inputs, c.flip);
    const std::vector<uint32_t> clause =
        c.equivalent ? std::vector<uint32_t>{p.first, p.second ^ 1u}
                     : std::vector<uint32_t>{p.first ^ 1u, p.second};
    EXPECT_EQ(bdd_falsifiable(p.aig, clause.data(), static_cast<uint32_t>(clause.size()), 1u << 16),
              c.expected);
    EXPECT_EQ(falsifiable_by_evaluation(p.aig, clause, c.inputs),
              c.expected == BddAnswer::kFalsifiable);
  }
}

// One literal, and literals of inputs only: a clause of input literals is
// falsifiable unless it holds a complementary pair.
TEST(ConeBdd, ClausesOfInputs) {
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2);
  const uint32_t ab = aig.make_and(a, b);
  const std::vector<std::vector<uint32_t>> falsifiable = {{a}, {a ^ 1u, b}, {ab}, {ab ^ 1u}};
  for (const auto& clause : falsifiable)
    EXPECT_EQ(bdd_falsifiable(aig, clause.data(), static_cast<uint32_t>(clause.size()), 1u << 16),
              BddAnswer::kFalsifiable);
  const std::vector<std::vector<uint32_t>> never = {{a, a ^ 1u}, {ab ^ 1u, a}, {ab ^ 1u, b}};
  for (const auto& clause : never)
    EXPECT_EQ(bdd_falsifiable(aig, clause.data(), static_cast<uint32_t>(clause.size()), 1u << 16),
              BddAnswer::kNever);
}

// (x1 AND y1) OR ... OR (x14 AND y14) with all x before all y in the
// variable order needs tens of thousands of nodes: a bound of 10,000 gives
// up (as does any below 8,192); a call after that, with room, answers.
TEST(ConeBdd, NodeBoundGivesUp) {
  Aig aig;
  const uint32_t n = 14;
  std::vector<uint32_t> x, y;
  for (uint32_t i = 0; i < n; ++i) x.push_back(aig.add_input(i + 1));
  for (uint32_t i = 0; i < n; ++i) y.push_back(aig.add_input(n + i + 1));
  uint32_t none = Aig::kTrueLiteral;  // no pair both true
  for (uint32_t i = 0; i < n; ++i) none = aig.make_and(none, aig.make_and(x[i], y[i]) ^ 1u);
  // The disjunction alone: false when every input is.
  const std::vector<uint32_t> clause = {none ^ 1u};
  EXPECT_EQ(bdd_falsifiable(aig, clause.data(), 1, 10000), BddAnswer::kGaveUp);
  EXPECT_EQ(bdd_falsifiable(aig, clause.data(), 1, 1u << 20), BddAnswer::kFalsifiable);
  // A clause that always holds over the same cone: the disjunction or its negation.
  const std::vector<uint32_t> always = {none, none ^ 1u};
  EXPECT_EQ(bdd_falsifiable(aig, always.data(), 2, 10000), BddAnswer::kGaveUp);
  EXPECT_EQ(bdd_falsifiable(aig, always.data(), 2, 1u << 20), BddAnswer::kNever);
  const std::vector<uint32_t> input = {x[0]};
  EXPECT_EQ(bdd_falsifiable(aig, input.data(), 1, 8191), BddAnswer::kGaveUp);
  EXPECT_EQ(bdd_falsifiable(aig, input.data(), 1, 8192), BddAnswer::kFalsifiable);
}

// The least assignment of `inputs` (graph literals of inputs, the first
// the most significant bit) under which every literal of the clause is
// false, as falsifying assignments are given: a literal per input, positive
// for true. Empty when there is none.
std::vector<uint32_t> least_falsifying(const Aig& aig, const std::vector<uint32_t>& clause,
                                       const std::vector<uint32_t>& inputs) {
  std::vector<uint32_t> index(aig.nodes(), 0);  // input node -> its bit in evaluate()
  uint32_t count = 0;
  for (uint32_t node = 1; node < aig.nodes(); ++node)
    if (aig.is_input(node)) index[node] = count++;
  const uint32_t n = static_cast<uint32_t>(inputs.size());
  for (uint64_t number = 0; number < (uint64_t{1} << n); ++number) {
    uint64_t bits = 0;
    for (uint32_t i = 0; i < n; ++i)
      bits |= ((number >> (n - 1 - i)) & 1u) << index[inputs[i] >> 1];
    bool falsified = true;
    for (uint32_t literal : clause) falsified = falsified && !evaluate(aig, literal, bits);
    if (!falsified) continue;
    std::vector<uint32_t> assignment;
    for (uint32_t i = 0; i < n; ++i)
      assignment.push_back(inputs[i] ^ (((number >> (n - 1 - i)) & 1u) ? 0u : 1u));
    return assignment;
  }
  return {};
}

// The assignment a falsifiable answer gives is the least falsifying one,
// over exactly the cone's inputs, with inputs the clause does not depend on
// false; the other answers leave none.
TEST(ConeBdd, GivesTheLeastFalsifyingAssignment) {
  for (const int flip : {3, 9, 0}) {
    SCOPED_TRACE(flip);
    Parities p(10, flip);
    std::vector<uint32_t> inputs;
    for (uint32_t node = 1; node < p.aig.nodes(); ++node)
      if (p.aig.is_input(node)) inputs.push_back(2 * node);
    for (const std::vector<uint32_t>& clause :
         {std::vector<uint32_t>{p.first ^ 1u, p.second}, std::vector<uint32_t>{p.first, p.second ^ 1u}}) {
      std::vector<uint32_t> falsifying = {7};  // cleared by the call
      EXPECT_EQ(bdd_falsifiable(p.aig, clause.data(), 2, 1u << 16, &falsifying),
                BddAnswer::kFalsifiable);
      const std::vector<uint32_t> expected = least_falsifying(p.aig, clause, inputs);
      ASSERT_EQ(expected.size(), 10u);
      EXPECT_EQ(falsifying, expected);
    }
  }
  // (a AND b) OR (a AND NOT b) is a, with b in its cone; c lies outside it.
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2), c = aig.add_input(3);
  const uint32_t g = aig.make_and(aig.make_and(a, b) ^ 1u, aig.make_and(a, b ^ 1u) ^ 1u) ^ 1u;
  std::vector<uint32_t> falsifying;
  const std::vector<uint32_t> not_g = {g ^ 1u};
  EXPECT_EQ(bdd_falsifiable(aig, not_g.data(), 1, 1u << 16, &falsifying), BddAnswer::kFalsifiable);
  EXPECT_EQ(falsifying, (std::vector<uint32_t>{a, b ^ 1u}));
  EXPECT_EQ(falsifying, least_falsifying(aig, not_g, {a, b}));
  const std::vector<uint32_t> g_or_c = {g, c};
  EXPECT_EQ(bdd_falsifiable(aig, g_or_c.data(), 2, 1u << 16, &falsifying), BddAnswer::kFalsifiable);
  EXPECT_EQ(falsifying, (std::vector<uint32_t>{a ^ 1u, b ^ 1u, c ^ 1u}));
  const std::vector<uint32_t> never = {g ^ 1u, a};
  falsifying = {7};
  EXPECT_EQ(bdd_falsifiable(aig, never.data(), 2, 1u << 16, &falsifying), BddAnswer::kNever);
  EXPECT_TRUE(falsifying.empty());
  falsifying = {7};
  EXPECT_EQ(bdd_falsifiable(aig, not_g.data(), 1, 100, &falsifying), BddAnswer::kGaveUp);
  EXPECT_TRUE(falsifying.empty());
}

// The clauses over the parities and their mixtures, in order, through one
// store: each answer and falsifying assignment is the single call's; a
// clause over nodes already built needs no gate; every gate of the joint
// cone is built once; releasing a clause frees nothing another still reads.
TEST(ConeDiagrams, AnswersAsSingleCallsAndBuildsEachGateOnce) {
  Parities p(10, 3);
  const uint32_t both = p.aig.make_and(p.first, p.second);
  const uint32_t a = 2 * 1, b = 2 * 2;  // inputs 1 and 2 (nodes 1 and 2)
  struct Case {
    const char* name;
    std::vector<uint32_t> clause;
    BddAnswer expected;
    bool built_before;  // every node of its cone already has a diagram
  } cases[] = {
      {"first parity or its negation", {p.first, p.first ^ 1u}, BddAnswer::kNever, false},
      {"first parity alone", {p.first}, BddAnswer::kFalsifiable, true},
      {"parities differ somewhere", {p.first ^ 1u, p.second}, BddAnswer::kFalsifiable, false},
      {"the conjunction implies the first", {both ^ 1u, p.first}, BddAnswer::kNever, false},
      {"the conjunction implies the second", {both ^ 1u, p.second}, BddAnswer::kNever, true},
      {"inputs only", {a, b ^ 1u}, BddAnswer::kFalsifiable, true},
  };
  // The single calls first: no other store may exist beside the shared one.
  std::vector<std::vector<uint32_t>> singles;
  for (const Case& c : cases) {
    singles.push_back({7});
    EXPECT_EQ(bdd_falsifiable(p.aig, c.clause.data(), static_cast<uint32_t>(c.clause.size()),
                              1u << 16, &singles.back()),
              c.expected)
        << c.name;
  }
  std::vector<uint32_t> literals;
  for (const Case& c : cases) literals.insert(literals.end(), c.clause.begin(), c.clause.end());
  ConeDiagrams store(p.aig, literals, 1u << 16);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const uint32_t size = static_cast<uint32_t>(c.clause.size());
    const uint32_t missing = store.missing_gates(c.clause.data(), size, 1000);
    EXPECT_EQ(missing == 0, c.built_before) << missing;
    EXPECT_LE(store.missing_gates(c.clause.data(), size, 0), 1u);
    const uint64_t built = store.built_gates();
    std::vector<uint32_t> shared = {7};
    EXPECT_EQ(store.falsifiable(c.clause.data(), size, &shared), c.expected);
    EXPECT_EQ(store.built_gates(), built + missing);
    EXPECT_EQ(store.missing_gates(c.clause.data(), size, 1000), 0u);
    EXPECT_EQ(shared, singles[i]);
    EXPECT_EQ(shared.empty(), c.expected != BddAnswer::kFalsifiable);
    EXPECT_TRUE(store.sharing());
  }
  // Every AND node of the graph lies in the joint cone, each built once.
  EXPECT_EQ(store.built_gates(), p.aig.and_nodes());
  // A clause released no longer keeps its nodes; one still counted does.
  store.release(cases[0].clause.data(), 2);
  EXPECT_EQ(store.missing_gates(cases[1].clause.data(), 1, 1000), 0u);
}

// (x1 AND y1) OR ... OR (x13 AND y13), all x before all y, needs
// thousands of nodes, and so does the same over other inputs. Under a
// bound that holds one at a time but not both, the second clause, asked
// while the first still keeps its diagram, is answered all the same after
// the store drops it; from then on every clause is decided alone.
TEST(ConeDiagrams, DropsKeptDiagramsForAClauseWithoutRoom) {
  Aig aig;
  const uint32_t n = 13;
  // The disjunction over 2n new inputs, x before y.
  auto disjunction = [&](uint32_t tag) {
    std::vector<uint32_t> x, y;
    for (uint32_t i = 0; i < n; ++i) x.push_back(aig.add_input(tag + i));
    for (uint32_t i = 0; i < n; ++i) y.push_back(aig.add_input(tag + n + i));
    uint32_t none = Aig::kTrueLiteral;  // no pair both true
    for (uint32_t i = 0; i < n; ++i) none = aig.make_and(none, aig.make_and(x[i], y[i]) ^ 1u);
    return none ^ 1u;
  };
  const uint32_t one = disjunction(1), other = disjunction(2 * n + 1);
  const std::vector<uint32_t> first = {one}, second = {other};
  std::vector<uint32_t> literals = first;
  literals.insert(literals.end(), second.begin(), second.end());
  // The least bound under which a store for both clauses answers `clause`
  // asked first, by doubling then halving.
  auto fits = [&](const std::vector<uint32_t>& clause, uint32_t bound) {
    ConeDiagrams store(aig, literals, bound);
    return store.falsifiable(clause.data(), 1) == BddAnswer::kFalsifiable && store.sharing();
  };
  auto needs = [&](const std::vector<uint32_t>& clause) {
    uint32_t low = 8192, high = 8192;
    while (!fits(clause, high)) high *= 2;
    while (high - low > 64) {
      const uint32_t middle = low + (high - low) / 2;
      (fits(clause, middle) ? high : low) = middle;
    }
    return high;
  };
  const uint32_t bound = std::max(needs(first), needs(second));
  ConeDiagrams store(aig, literals, bound);
  std::vector<uint32_t> falsifying;
  EXPECT_EQ(store.falsifiable(first.data(), 1, &falsifying), BddAnswer::kFalsifiable);
  EXPECT_TRUE(store.sharing());
  const uint64_t built = store.built_gates();
  EXPECT_EQ(store.falsifiable(second.data(), 1, &falsifying), BddAnswer::kFalsifiable);
  EXPECT_FALSE(store.sharing());
  std::vector<uint32_t> single;
  EXPECT_EQ(bdd_falsifiable(aig, second.data(), 1, bound, &single), BddAnswer::kFalsifiable);
  EXPECT_EQ(falsifying, single);
  // Alone again: the first clause builds its whole cone anew, outside the
  // store's count.
  EXPECT_GT(store.built_gates(), built);
  const uint64_t shared = store.built_gates();
  EXPECT_EQ(store.missing_gates(first.data(), 1, 100000), built);
  EXPECT_EQ(store.falsifiable(first.data(), 1), BddAnswer::kFalsifiable);
  EXPECT_EQ(store.built_gates(), shared);
}

}  // namespace
