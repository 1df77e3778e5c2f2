// The quantified formula: where new variables land in the prefix (innermost
// merging, outermost front insertion, placement after an operand), the
// refusals and their messages, the variable queries and checks, and the
// resolution step of resolution lines with its "Resolving [" line.
#include "formula/qcnf.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.hpp"

namespace {

using zeltest::blocks_of;
using zeltest::clause;
using zeltest::CoutCapture;
using zeltest::dimacs;
using zeltest::ints;
using zeltest::message_of;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;

using Blocks = std::vector<std::vector<unsigned>>;

// Checks the tables against the blocks: every variable's level is the index
// of the block holding it, and its record carries its type and number.
void expect_consistent(const QCNF& f) {
  for (size_t level = 0; level < f.blocks.size(); ++level)
    for (const Quantifier& q : f.blocks[level]) {
      EXPECT_EQ(f.levels[q.variable], level) << q.variable;
      EXPECT_EQ(f.variables[q.variable].type, q.type) << q.variable;
      EXPECT_EQ(f.variables[q.variable].variable, q.variable);
      EXPECT_EQ(q.type, level % 2 == 0 ? E : A) << q.variable;
    }
}

struct Definition {
  unsigned variable;
  Quantifier::Type type;
  bool outermost;
};

struct PlacementCase {
  std::string name;
  std::vector<Definition> definitions;
  Blocks blocks;
  unsigned max_variable;
};

void PrintTo(const PlacementCase& c, std::ostream* out) {
  *out << c.name;
}

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, BlocksAndLevels) {
  QCNF f;
  for (const Definition& d : GetParam().definitions)
    EXPECT_TRUE(f.new_variable(d.variable, d.type, d.outermost)) << d.variable << f.error;
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
  EXPECT_FALSE(f.new_variable(5, A, true));
  EXPECT_EQ(f.error, "New outermost variables may not be universal.");
  EXPECT_FALSE(f.is_defined(5));
  EXPECT_TRUE(f.blocks.empty());

  ASSERT_TRUE(f.new_variable(1, E, false));
  EXPECT_FALSE(f.new_variable(1, A, false));
  EXPECT_EQ(f.error, "Variable redefined");
  EXPECT_FALSE(f.new_variable(1, E, true));
  EXPECT_EQ(f.error, "Variable redefined");
  EXPECT_FALSE(f.new_variable(1, A, true));  // the universal test comes first
  EXPECT_EQ(f.error, "New outermost variables may not be universal.");
  EXPECT_EQ(blocks_of(f), (Blocks{{1}}));
  EXPECT_EQ(f.variables[1].type, E);
}

TEST(QCNF, PlacementAfterAnOperand) {
  QCNF f;
  ASSERT_TRUE(f.new_variable(1, E, false));
  ASSERT_TRUE(f.new_variable(3, A, false));
  EXPECT_TRUE(f.new_variable_after(9, E, 1));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}}));
  EXPECT_TRUE(f.new_variable_after(10, E, 3));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}, {10}}));
  EXPECT_TRUE(f.new_variable_after(11, E, 3));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3}, {10, 11}}));
  EXPECT_TRUE(f.new_variable_after(12, A, 9));  // universal after existential: next block
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3, 12}, {10, 11}}));
  EXPECT_TRUE(f.new_variable_after(40, A, 10));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}, {3, 12}, {10, 11}, {40}}));
  EXPECT_EQ(f.max_variable, 40u);
  expect_consistent(f);
}

TEST(QCNF, PlacementAfterRefusals) {
  QCNF f;
  ASSERT_TRUE(f.new_variable(1, E, false));
  ASSERT_TRUE(f.new_variable(9, E, false));
  EXPECT_FALSE(f.new_variable_after(8, E, 42));
  EXPECT_EQ(f.error, "Definition depends on undefined variable #42");
  // Both problems at once: the undefined operand is reported.
  EXPECT_FALSE(f.new_variable_after(9, E, 42));
  EXPECT_EQ(f.error, "Definition depends on undefined variable #42");
  EXPECT_FALSE(f.new_variable_after(9, E, 0));
  EXPECT_EQ(f.error, "Definition depends on undefined variable #0");
  EXPECT_FALSE(f.new_variable_after(9, E, 1));
  EXPECT_EQ(f.error, "Variable redefinition");
  EXPECT_FALSE(f.is_defined(8));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 9}}));
}

TEST(QCNF, Queries) {
  QCNF f;
  EXPECT_FALSE(f.is_defined(0));
  EXPECT_FALSE(f.is_defined(1));
  ASSERT_TRUE(f.new_variable(1, E, false));
  ASSERT_TRUE(f.new_variable(2, E, false));
  ASSERT_TRUE(f.new_variable(5, A, false));
  EXPECT_FALSE(f.is_defined(0));
  EXPECT_FALSE(f.is_defined(3));  // a gap inside the table
  EXPECT_FALSE(f.is_defined(1000));
  EXPECT_TRUE(f.is_universal(5));
  EXPECT_FALSE(f.is_universal(1));
  EXPECT_FALSE(f.is_universal(3));
  EXPECT_FALSE(f.is_universal(1000));
  EXPECT_TRUE(f.is_before(1, 5));
  EXPECT_FALSE(f.is_before(5, 1));
  EXPECT_FALSE(f.is_before(1, 2));  // one block: neither is before the other
  EXPECT_FALSE(f.is_before(2, 1));
}

TEST(QCNF, ChecksThrowWithTheSignedValue) {
  QCNF f;
  ASSERT_TRUE(f.new_variable(1, E, false));
  EXPECT_TRUE(f.check_defined(Literal(-1)));
  EXPECT_EQ(message_of([&] { f.check_defined(Literal(-7)); }), "Undefined variable: -7");
  EXPECT_EQ(message_of([&] { f.check_defined(Literal(7)); }), "Undefined variable: 7");
  EXPECT_TRUE(f.check_fresh(Literal(8)));
  EXPECT_TRUE(f.check_fresh(Literal(-8)));
  EXPECT_EQ(message_of([&] { f.check_fresh(Literal(-1)); }), "Variable is not fresh: -1");
  EXPECT_EQ(message_of([&] { f.check_fresh(Literal(1)); }), "Variable is not fresh: 1");
  // Variable 0 never exists, so it is never fresh.
  EXPECT_EQ(message_of([&] { f.check_fresh(Literal(0)); }), "Variable is not fresh: 0");
  QCNF empty;
  EXPECT_EQ(message_of([&] { empty.check_fresh(Literal(0)); }), "Variable is not fresh: 0");
}

TEST(QCNF, VariableNumbersBeyondTheLimitAreRefused) {
  const unsigned beyond = kMaxVariable + 1;
  QCNF f;
  ASSERT_TRUE(f.new_variable(1, E, false));
  const size_t table = f.variables.size();
  for (unsigned variable : {beyond, 4294967295u}) {
    const std::string number = std::to_string(variable);
    EXPECT_FALSE(f.new_variable(variable, E, false));
    EXPECT_NE(f.error.find(number), std::string::npos) << f.error;
    EXPECT_FALSE(f.new_variable(variable, E, true));
    EXPECT_NE(f.error.find(number), std::string::npos) << f.error;
    EXPECT_FALSE(f.new_variable_after(variable, E, 1));
    EXPECT_NE(f.error.find(number), std::string::npos) << f.error;
    EXPECT_FALSE(f.is_defined(variable));
  }
  EXPECT_EQ(f.variables.size(), table);
  EXPECT_EQ(blocks_of(f), (Blocks{{1}}));
  EXPECT_EQ(f.max_variable, 1u);
}

// Formula for the resolution lines: 1, 2, 4 existential on level 0, 3
// universal on level 1; clauses 3 and 5 are those of the worked example.
QCNF resolution_formula() {
  QCNF f;
  for (unsigned v : {1u, 2u, 4u}) f.new_variable(v, E, false);
  f.new_variable(3, A, false);
  for (const auto& c : std::vector<std::vector<int>>{{1}, {2}, {1, -4}, {1, 2}, {4, 2}})
    f.clauses.push_back(clause(c));
  f.clauses.push_back(clause({-1, -2}));
  f.clauses.push_back(clause({4, 3}));
  return f;
}

TEST(QCNF, ResolutionLinePrintsAndAppends) {
  QCNF f = resolution_formula();
  CoutCapture out;
  EXPECT_TRUE(f.qresolve(2, 4, 4));
  EXPECT_EQ(out.text(), "Resolving [3,5] (1, -4) x (4, 2) over 4\n");
  ASSERT_EQ(f.clauses.size(), 8u);
  EXPECT_EQ(dimacs(f.clauses.back()), ints({1, 2}));
  // (4, 3) x (1, -4) gives (3, 1), and universal reduction drops 3.
  EXPECT_TRUE(f.qresolve(6, 2, 4));
  EXPECT_EQ(out.text(),
            "Resolving [3,5] (1, -4) x (4, 2) over 4\n"
            "Resolving [7,3] (4, 3) x (1, -4) over 4\n");
  ASSERT_EQ(f.clauses.size(), 9u);
  EXPECT_EQ(dimacs(f.clauses.back()), ints({1}));
  // Appended clauses are named by their position like any other.
  EXPECT_TRUE(f.qresolve(8, 5, 1));
  EXPECT_EQ(dimacs(f.clauses.back()), ints({-2}));
  EXPECT_EQ(f.clauses.size(), 10u);
}

TEST(QCNF, FailedResolutionLines) {
  struct Row {
    unsigned i, j, pivot;
    std::string printed;
  };
  const std::vector<Row> rows = {
      {0, 1, 4, "Resolving [1,2] (1) x (2) over 4\n"},          // pivot in neither
      {2, 3, 1, "Resolving [3,4] (1, -4) x (1, 2) over 1\n"},   // same sign
      {3, 5, 1, "Resolving [4,6] (1, 2) x (-1, -2) over 1\n"},  // tautological: refused
      {7, 0, 1, ""},                                            // index = clause count
      {0, 7, 1, ""},
      {4294967295u, 0, 1, ""},
  };
  for (const Row& row : rows) {
    QCNF f = resolution_formula();
    CoutCapture out;
    EXPECT_FALSE(f.qresolve(row.i, row.j, row.pivot)) << row.i << "," << row.j;
    EXPECT_EQ(out.text(), row.printed);
    EXPECT_EQ(f.clauses.size(), 7u);
  }
}

}  // namespace
