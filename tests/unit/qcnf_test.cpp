// The quantified formula: where new variables land in the prefix (innermost
// merging, outermost front insertion, placement after an operand), the
// refusals and their messages, and the variable queries.
#include "core/messages.hpp"
#include "formula/qcnf.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using zeltest::blocks_of;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;

using Blocks = std::vector<std::vector<unsigned>>;

// Checks the tables against the blocks: every variable's level is the index
// of the block holding it, and its record carries its type.
void expect_consistent(const QCNF& f) {
  size_t total = 0;
  for (size_t level = 0; level < f.blocks.size(); ++level)
    f.blocks[level].for_each([&](uint32_t v) {
      EXPECT_EQ(f.levels[v], level) << v;
      EXPECT_EQ(f.quantifiers[v].type, level % 2 == 0 ? E : A) << v;
      ++total;
    });
  EXPECT_EQ(f.quantified_variables(), total);
  EXPECT_TRUE(f.prefix_invariants());
}

struct Placed {
  unsigned variable;
  Quantifier::Type type;
  bool outermost;
};

struct PlacementCase {
  std::string name;
  std::vector<Placed> definitions;
  Blocks blocks;
  unsigned max_variable;
};

void PrintTo(const PlacementCase& c, std::ostream* out) {
  *out << c.name;
}

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, BlocksAndLevels) {
  QCNF f;
  for (const Placed& d : GetParam().definitions)
    EXPECT_EQ(f.new_variable(d.variable, d.type, d.outermost).message, "") << d.variable;
  EXPECT_EQ(blocks_of(f), GetParam().blocks);
  EXPECT_EQ(f.max_variable, GetParam().max_variable);
  expect_consistent(f);
}

INSTANTIATE_TEST_SUITE_P(
    QCNF, Placement,
    ::testing::Values(
        PlacementCase{"Innermost",
                      {{1, E, false}, {2, E, false}, {3, A, false}, {4, E, false}},
                      {{1, 2}, {3}, {4}},
                      4},
        PlacementCase{"SameTypeMerges", {{1, E, false}, {2, E, false}}, {{1, 2}}, 2},
        PlacementCase{"UniversalFirst", {{3, A, false}, {4, E, false}}, {{}, {3}, {4}}, 4},
        PlacementCase{"Outermost",
                      {{1, E, false}, {2, E, false}, {5, E, true}, {6, E, true}},
                      {{6, 5, 1, 2}},
                      6},
        PlacementCase{"OutermostIntoEmptyBlockZero",
                      {{3, A, false}, {7, E, true}, {8, E, false}},
                      {{7}, {3}, {8}},
                      8},
        PlacementCase{"OutermostWithNoBlocks", {{9, E, true}, {2, A, false}}, {{9}, {2}}, 9},
        PlacementCase{"DeeperAlternation",
                      {{1, A, false}, {2, A, false}, {3, E, false}, {4, A, false}, {5, E, true}},
                      {{5}, {1, 2}, {3}, {4}},
                      5}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

TEST(QCNF, RefusedDefinitionsLeaveTheFormulaUnchanged) {
  QCNF f;
  EXPECT_EQ(f.new_variable(5, A, true).message, "New outermost variables may not be universal.");
  EXPECT_FALSE(f.is_defined(5));
  EXPECT_TRUE(f.blocks.empty());

  ASSERT_FALSE(f.new_variable(1, E, false));
  EXPECT_EQ(f.new_variable(1, A, false).message, "Variable redefined");
  EXPECT_EQ(f.new_variable(1, E, true).message, "Variable redefined");
  EXPECT_EQ(f.new_variable(1, A, true).message, "New outermost variables may not be universal.");  // the universal test comes first
  EXPECT_EQ(blocks_of(f), (Blocks{{1}}));
  EXPECT_EQ(f.quantifiers[1].type, E);
}

TEST(QCNF, PlacementAfterAnOperand) {
  QCNF f;
  ASSERT_FALSE(f.new_variable(1, E, false));
  ASSERT_FALSE(f.new_variable(3, A, false));
  EXPECT_FALSE(f.new_variable_after(9, E, 1));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}}));
  EXPECT_FALSE(f.new_variable_after(10, E, 3));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}, {10}}));
  EXPECT_FALSE(f.new_variable_after(11, E, 3));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}, {10, 11}}));
  EXPECT_FALSE(f.new_variable_after(12, A, 9));  // universal after existential: next block
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3, 12}, {10, 11}}));
  EXPECT_FALSE(f.new_variable_after(40, A, 10));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3, 12}, {10, 11}, {40}}));
  EXPECT_EQ(f.max_variable, 40u);
  expect_consistent(f);
}

TEST(QCNF, PlacementAfterRefusals) {
  QCNF f;
  ASSERT_FALSE(f.new_variable(1, E, false));
  ASSERT_FALSE(f.new_variable(9, E, false));
  EXPECT_EQ(f.new_variable_after(8, E, 42).message, "Definition depends on undefined variable #42");
  // Both problems at once: the undefined operand is reported.
  EXPECT_EQ(f.new_variable_after(9, E, 42).message, "Definition depends on undefined variable #42");
  EXPECT_EQ(f.new_variable_after(9, E, 0).message, "Definition depends on undefined variable #0");
  EXPECT_EQ(f.new_variable_after(9, E, 1).message, "Variable redefinition");
  EXPECT_FALSE(f.is_defined(8));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}}));
}

TEST(QCNF, Queries) {
  QCNF f;
  EXPECT_FALSE(f.is_defined(0));
  EXPECT_FALSE(f.is_defined(1));
  ASSERT_FALSE(f.new_variable(1, E, false));
  ASSERT_FALSE(f.new_variable(2, E, false));
  ASSERT_FALSE(f.new_variable(5, A, false));
  EXPECT_FALSE(f.is_defined(0));
  EXPECT_FALSE(f.is_defined(3));  // a gap inside the table
  EXPECT_FALSE(f.is_defined(1000));
  EXPECT_TRUE(f.is_universal(5));
  EXPECT_FALSE(f.is_existential(5));
  EXPECT_TRUE(f.is_existential(1));
  EXPECT_FALSE(f.is_existential(3));
  EXPECT_FALSE(f.is_universal(1));
  EXPECT_FALSE(f.is_universal(3));
  EXPECT_FALSE(f.is_universal(1000));
  EXPECT_TRUE(f.is_before(1, 5));
  EXPECT_FALSE(f.is_before(5, 1));
  EXPECT_FALSE(f.is_before(1, 2));  // one block: neither is before the other
  EXPECT_FALSE(f.is_before(2, 1));
}

TEST(QCNF, VariableNumbersBeyondTheLimitAreRefused) {
  const unsigned beyond = kMaxVariable + 1;
  QCNF f;
  ASSERT_FALSE(f.new_variable(1, E, false));
  const size_t table = f.quantifiers.size();
  for (unsigned variable : {beyond, 4294967295u}) {
    const std::string number = std::to_string(variable);
    EXPECT_NE(f.new_variable(variable, E, false).message.find(number), std::string::npos);
    EXPECT_NE(f.new_variable(variable, E, true).message.find(number), std::string::npos);
    EXPECT_EQ(f.new_variable_after(variable, E, 1).message, message::variable_limit(variable));
    EXPECT_FALSE(f.is_defined(variable));
  }
  EXPECT_EQ(f.quantifiers.size(), table);
  EXPECT_EQ(blocks_of(f), (Blocks{{1}}));
  EXPECT_EQ(f.max_variable, 1u);
  EXPECT_EQ(message::variable_limit(beyond),
            "Variable 33554432 exceeds the largest supported variable number 33554431.");
}

}  // namespace

// The invariant check the asserts run must see each way a prefix can break:
// a level whose parity is not the variable's quantifier, a variable outside
// its block, a variable placed twice, an empty inner block.
TEST(QCNF, PrefixInvariantsCatchBrokenPrefixes) {
  auto formula = [] {
    QCNF f;
    EXPECT_FALSE(f.new_variable(1, E, false));
    EXPECT_FALSE(f.new_variable(2, A, false));
    EXPECT_FALSE(f.new_variable(3, E, false));
    return f;
  };
  EXPECT_TRUE(formula().prefix_invariants());
  struct Row {
    std::string name;
    std::function<void(QCNF&)> breaks;
  };
  const std::vector<Row> rows = {
      {"WrongParity", [](QCNF& f) { f.quantifiers[3].type = A; }},
      {"LevelNotItsBlock", [](QCNF& f) { f.levels[3] = 0; }},
      {"PlacedTwice", [](QCNF& f) { f.blocks[0].back.push_back(1); }},
      {"EmptyInnerBlock", [](QCNF& f) { f.blocks.emplace_back(); }},
      {"UndefinedInABlock", [](QCNF& f) { f.blocks[2].back.push_back(9); }},
  };
  for (const Row& row : rows) {
    QCNF f = formula();
    row.breaks(f);
    EXPECT_FALSE(f.prefix_invariants()) << row.name;
  }
}
