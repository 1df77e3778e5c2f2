// SAT sweeping: nodes equal to an earlier node or a constant in ways
// hashing cannot see are merged, the queries' answers are exact, and a
// counterexample's input values falsify the clause.
#include "model/sweeper.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

// a AND (a AND b) is a AND b; (a AND b) AND (a AND NOT b) is false;
// NOT (NOT a AND NOT b) AND NOT (a AND b) is a XOR b.
TEST(Sweeper, MergesWhatHashingCannotSee) {
  Aig aig;
  const uint32_t a = aig.add_input(1), b = aig.add_input(2), c = aig.add_input(3);
  const uint32_t ab = aig.make_and(a, b);
  const uint32_t a_ab = aig.make_and(a, ab);
  const uint32_t never = aig.make_and(ab, aig.make_and(a, b ^ 1u));
  const uint32_t xor_ab = aig.make_and(aig.make_and(a ^ 1u, b ^ 1u) ^ 1u, ab ^ 1u);
  const uint32_t abc = aig.make_and(ab, c);
  Sweeper sweeper(aig);
  struct Case {
    const char* name;
    std::vector<uint32_t> clause;
    bool falsifiable;
  } cases[] = {
      {"a_ab or not ab", {a_ab, ab ^ 1u}, false},
      {"ab or not a_ab", {ab, a_ab ^ 1u}, false},
      {"not never", {never ^ 1u}, false},
      {"never", {never}, true},
      {"xor or a or b", {xor_ab, a, b}, true},
      {"xor or not a or b", {xor_ab, a ^ 1u, b}, false},
      {"xor or not a", {xor_ab, a ^ 1u}, true},
      {"abc", {abc}, true},
      {"not abc or c", {abc ^ 1u, c}, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ASSERT_EQ(sweeper.falsifiable(k.clause.data(), static_cast<uint32_t>(k.clause.size())),
              k.falsifiable);
    if (!k.falsifiable) continue;
    // Evaluate the clause under the reported input values.
    std::vector<uint8_t> value(aig.nodes(), 0);
    for (uint32_t node = 1; node < aig.nodes(); ++node) {
      if (aig.is_input(node)) {
        value[node] = sweeper.input_value(node);
      } else {
        const uint32_t l = aig.left(node), r = aig.right(node);
        value[node] = (value[l >> 1] ^ (l & 1u)) & (value[r >> 1] ^ (r & 1u));
      }
    }
    for (const uint32_t literal : k.clause) EXPECT_EQ(value[literal >> 1] ^ (literal & 1u), 0);
  }
  EXPECT_GE(sweeper.statistics().merged_nodes, 2u);
}

}  // namespace
