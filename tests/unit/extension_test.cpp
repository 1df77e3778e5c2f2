// Extension definitions applied to the formula: the fixed order of the
// defining clauses (resolution lines name clauses by position, so the order
// matters), the block the fresh variable lands in, and the refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/qcnf.hpp"
#include "support.hpp"

namespace {

using zeltest::dimacs;
using zeltest::message_of;
using Clauses = std::vector<std::vector<int64_t>>;
using Blocks = std::vector<std::vector<unsigned>>;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;

Blocks blocks_of(const QCNF& f) {
  Blocks result;
  for (const auto& block : f.blocks) {
    result.emplace_back();
    for (const Quantifier& q : block) result.back().push_back(q.variable);
  }
  return result;
}

// Clauses appended after the first `from`.
Clauses appended(const QCNF& f, size_t from) {
  Clauses result;
  for (size_t i = from; i < f.clauses.size(); ++i) result.push_back(dimacs(f.clauses[i]));
  return result;
}

// 1 and 2 existential on level 0, 3 universal on level 1, one input clause.
QCNF with_universal() {
  QCNF f;
  f.new_variable(1, E, false);
  f.new_variable(2, E, false);
  f.new_variable(3, A, false);
  f.clauses.push_back(zeltest::clause({1, 2, 3}));
  return f;
}

// 1, 2 and 3 existential on level 0.
QCNF all_existential() {
  QCNF f;
  for (unsigned v : {1u, 2u, 3u}) f.new_variable(v, E, false);
  return f;
}

and_extension make_and(int variable, std::vector<int> conjuncts) {
  and_extension e;
  e.line = 4;
  e.variable = Literal(variable);
  for (int c : conjuncts) e.literals.push_back(Literal(c));
  return e;
}

ite_extension make_ite(int variable, int condition, int then_literal, int else_literal) {
  ite_extension e;
  e.line = 5;
  e.variable = Literal(variable);
  e.condition = Literal(condition);
  e.then_literal = Literal(then_literal);
  e.else_literal = Literal(else_literal);
  return e;
}

struct AndCase {
  std::string name;
  bool universal_prefix;
  std::vector<int> conjuncts;
  Clauses clauses;
  Blocks blocks;
};

void PrintTo(const AndCase& c, std::ostream* out) {
  *out << c.name;
}

class AndExtension : public ::testing::TestWithParam<AndCase> {};

TEST_P(AndExtension, ClausesAndPlacement) {
  const AndCase& c = GetParam();
  QCNF f = c.universal_prefix ? with_universal() : all_existential();
  const size_t before = f.clauses.size();
  const and_extension e = make_and(10, c.conjuncts);
  EXPECT_TRUE(f.is_applicable(e));
  EXPECT_TRUE(f.apply_extension(e)) << f.error;
  EXPECT_EQ(appended(f, before), c.clauses);
  EXPECT_EQ(blocks_of(f), c.blocks);
  EXPECT_EQ(f.variables[10].type, E);
  EXPECT_EQ(f.max_variable, 10u);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    QCNF, AndExtension,
    ::testing::Values(
        AndCase{"UniversalOperand", true, {1, 3}, {{-10, 1}, {-10, 3}, {10, -1, -3}}, {{1, 2}, {3}, {10}}},
        AndCase{"UniversalFirst", true, {-3, 2}, {{-10, -3}, {-10, 2}, {10, 3, -2}}, {{1, 2}, {3}, {10}}},
        AndCase{"ExistentialOperands", true, {1, 2}, {{-10, 1}, {-10, 2}, {10, -1, -2}}, {{1, 2, 10}, {3}}},
        AndCase{"NoConjuncts", true, {}, {{10}}, {{10, 1, 2}, {3}}},
        AndCase{"RepeatedConjunct", false, {1, 1}, {{-10, 1}, {-10, 1}, {10, -1}}, {{1, 2, 3, 10}}},
        AndCase{"ComplementaryConjuncts", false, {-2, 2}, {{-10, -2}, {-10, 2}, {10, 2, -2}}, {{1, 2, 3, 10}}}),
    [](const ::testing::TestParamInfo<AndCase>& info) { return info.param.name; });
// clang-format on

TEST(QCNF, AndAfterAnExistingInnerBlock) {
  QCNF f = with_universal();
  f.new_variable(4, E, false);  // block 2 = [4]
  ASSERT_TRUE(f.apply_extension(make_and(10, {3})));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}, {4, 10}}));
  ASSERT_TRUE(f.apply_extension(make_and(11, {10, -1})));
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}, {4, 10, 11}}));
  EXPECT_EQ(f.levels[11], 2u);
}

struct IteCase {
  std::string name;
  bool universal_prefix;
  int condition, then_literal, else_literal;
  Clauses clauses;
  Blocks blocks;
};

void PrintTo(const IteCase& c, std::ostream* out) {
  *out << c.name;
}

class IteExtension : public ::testing::TestWithParam<IteCase> {};

TEST_P(IteExtension, ClausesAndPlacement) {
  const IteCase& c = GetParam();
  QCNF f = c.universal_prefix ? with_universal() : all_existential();
  const size_t before = f.clauses.size();
  const ite_extension e = make_ite(10, c.condition, c.then_literal, c.else_literal);
  EXPECT_TRUE(f.is_applicable(e));
  EXPECT_TRUE(f.apply_extension(e)) << f.error;
  EXPECT_EQ(appended(f, before), c.clauses);
  EXPECT_EQ(blocks_of(f), c.blocks);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    QCNF, IteExtension,
    ::testing::Values(
        IteCase{"Level0", false, 1, -2, 3, {{-10, -2, -1}, {-10, 1, 3}, {10, -1, 2}, {10, 1, -3}}, {{1, 2, 3, 10}}},
        IteCase{"UniversalThen", true, 1, 3, 2, {{-10, 3, -1}, {-10, 1, 2}, {10, -1, -3}, {10, 1, -2}},
                {{1, 2}, {3}, {10}}},
        // The then-literal equals the negated condition: repeats are dropped.
        IteCase{"ThenIsNotCondition", false, 1, -1, 2, {{-10, -1}, {-10, 1, 2}, {10, -1, 1}, {10, 1, -2}},
                {{1, 2, 3, 10}}},
        IteCase{"AllTheSame", false, 2, 2, 2, {{-10, 2, -2}, {-10, 2}, {10, -2}, {10, 2, -2}}, {{1, 2, 3, 10}}}),
    [](const ::testing::TestParamInfo<IteCase>& info) { return info.param.name; });
// clang-format on

TEST(QCNF, Applicability) {
  const QCNF f = with_universal();
  EXPECT_FALSE(f.is_applicable(make_and(10, {1, 7, 2})));
  EXPECT_FALSE(f.is_applicable(make_and(10, {-7})));
  EXPECT_TRUE(f.is_applicable(make_and(10, {})));
  EXPECT_TRUE(f.is_applicable(make_and(1, {2})));  // freshness is not part of it
  EXPECT_FALSE(f.is_applicable(make_ite(10, 7, 1, 2)));
  EXPECT_FALSE(f.is_applicable(make_ite(10, 1, -7, 2)));
  EXPECT_FALSE(f.is_applicable(make_ite(10, 1, 2, 7)));
  EXPECT_TRUE(f.is_applicable(make_ite(2, 1, 3, -1)));
}

// Every refusal leaves clauses and prefix as they were.
TEST(QCNF, RefusedExtensions) {
  struct Row {
    std::string name;
    bool ite;
    int variable;
    std::vector<int> operands;  // conjuncts, or condition/then/else
    bool throws;
    std::string message;  // exception text or the formula's error
  };
  const std::vector<Row> rows = {
      {"NegatedAnd", false, -10, {1}, false, "Negated extensions are not supported."},
      {"NegatedIte", true, -10, {1, 2, 3}, false, "Negated extensions are not supported."},
      {"NotFreshAnd", false, 2, {1}, true, "Variable is not fresh: 2"},
      {"NotFreshIte", true, 3, {1, 2, 1}, true, "Variable is not fresh: 3"},
      {"ZeroIsNeverFresh", false, 0, {}, true, "Variable is not fresh: 0"},
      {"UndefinedConjunct", false, 10, {1, -7, -8}, true, "Undefined variable: -7"},
      {"UndefinedElse", true, 10, {1, 2, -8}, true, "Undefined variable: -8"},
      {"UndefinedCondition", true, 10, {-7, 2, -8}, true, "Undefined variable: -7"},
      {"FreshnessFirst", false, 1, {-7}, true, "Variable is not fresh: 1"},
  };
  for (const Row& row : rows) {
    QCNF f = with_universal();
    const std::string text = message_of([&] {
      const bool applied = row.ite ? f.apply_extension(make_ite(row.variable, row.operands[0],
                                                                row.operands[1], row.operands[2]))
                                   : f.apply_extension(make_and(row.variable, row.operands));
      EXPECT_FALSE(applied) << row.name;
    });
    if (row.throws) {
      EXPECT_EQ(text, row.message) << row.name;
    } else {
      EXPECT_EQ(text, "<no exception>") << row.name;
      EXPECT_EQ(f.error, row.message) << row.name;
    }
    EXPECT_EQ(f.clauses.size(), 1u) << row.name;
    EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}})) << row.name;
    EXPECT_FALSE(f.is_defined(10)) << row.name;
  }
}

TEST(QCNF, ExtensionVariableBeyondTheLimit) {
  const unsigned beyond = kMaxVariable + 1;
  QCNF f = with_universal();
  EXPECT_FALSE(f.apply_extension(make_and(static_cast<int>(beyond), {1})));
  EXPECT_NE(f.error.find(std::to_string(beyond)), std::string::npos) << f.error;
  EXPECT_FALSE(f.apply_extension(make_ite(static_cast<int>(beyond), 1, 2, 3)));
  EXPECT_NE(f.error.find(std::to_string(beyond)), std::string::npos) << f.error;
  EXPECT_EQ(f.clauses.size(), 1u);
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}}));
}

}  // namespace
