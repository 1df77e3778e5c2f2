// Extension definitions applied to the formula: the fixed order of the
// defining clauses (resolution lines name clauses by position, so the order
// matters), the block the fresh variable lands in, the record kept, and the
// variable limit. Freshness and undefined operands are the proof checker's
// business (proof_checker_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/qcnf.hpp"
#include "support.hpp"

namespace {

using zeltest::blocks_of;
using zeltest::Blocks;
using Clauses = std::vector<std::vector<int64_t>>;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;

// Clauses appended after the first `from`.
Clauses appended(const QCNF& f, uint32_t from) { return zeltest::stored(f.clauses, from); }

// 1 and 2 existential on level 0, 3 universal on level 1, one input clause.
QCNF with_universal() {
  QCNF f;
  EXPECT_FALSE(f.new_variable(1, E, false));
  EXPECT_FALSE(f.new_variable(2, E, false));
  EXPECT_FALSE(f.new_variable(3, A, false));
  f.clauses.push(zeltest::literals({1, 2, 3}));
  return f;
}

// 1, 2 and 3 existential on level 0.
QCNF all_existential() {
  QCNF f;
  for (unsigned v : {1u, 2u, 3u}) EXPECT_FALSE(f.new_variable(v, E, false));
  return f;
}

// A definition with its operands, as the certificate reader delivers them.
struct Entry {
  Definition definition;
  std::vector<Literal> operands;

  const Literal* data() const { return operands.data(); }
};

Entry make_and(unsigned variable, const std::vector<int>& conjuncts) {
  Entry e;
  e.definition.kind = Definition::AND;
  e.definition.line = 4;
  e.definition.variable = variable;
  e.operands = zeltest::literals(conjuncts);
  e.definition.count = static_cast<uint32_t>(conjuncts.size());
  return e;
}

Entry make_ite(unsigned variable, int condition, int then_literal, int else_literal) {
  Entry e;
  e.definition.kind = Definition::ITE;
  e.definition.line = 5;
  e.definition.variable = variable;
  e.operands = zeltest::literals({condition, then_literal, else_literal});
  e.definition.count = 3;
  return e;
}

// The refusal's message, empty when applied.
std::string apply(QCNF& f, const Entry& e) {
  return f.apply_extension(e.definition, e.data()).message;
}
bool applicable(const QCNF& f, const Entry& e) { return f.is_applicable(e.definition, e.data()); }

// The formula's record of the last definition applied.
void expect_recorded(const QCNF& f, const Entry& e) {
  ASSERT_FALSE(f.definitions.records.empty());
  const Definition& last = f.definitions.records.back();
  EXPECT_EQ(last.kind, e.definition.kind);
  EXPECT_EQ(last.variable, e.definition.variable);
  EXPECT_EQ(last.line, e.definition.line);
  ASSERT_EQ(last.count, e.operands.size());
  const Literal* operands = f.definitions.operands_of(last);
  for (uint32_t i = 0; i < last.count; ++i) EXPECT_EQ(operands[i], e.operands[i]) << i;
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
  const uint32_t before = f.clauses.size();
  const Entry e = make_and(10, c.conjuncts);
  EXPECT_TRUE(applicable(f, e));
  EXPECT_EQ(apply(f, e), "");
  expect_recorded(f, e);
  EXPECT_EQ(appended(f, before), c.clauses);
  EXPECT_EQ(blocks_of(f), c.blocks);
  EXPECT_EQ(f.quantifiers[10].type, E);
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
  ASSERT_FALSE(f.new_variable(4, E, false));  // block 2 = [4]
  ASSERT_EQ(apply(f, make_and(10, {3})), "");
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}, {4, 10}}));
  ASSERT_EQ(apply(f, make_and(11, {10, -1})), "");
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}, {4, 10, 11}}));
  EXPECT_EQ(f.levels[11], 2u);
  EXPECT_EQ(f.definitions.size(), 2u);
  EXPECT_EQ(f.definitions.operands.size(), 3u);
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
  const uint32_t before = f.clauses.size();
  const Entry e = make_ite(10, c.condition, c.then_literal, c.else_literal);
  EXPECT_TRUE(applicable(f, e));
  EXPECT_EQ(apply(f, e), "");
  expect_recorded(f, e);
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
  EXPECT_FALSE(applicable(f, make_and(10, {1, 7, 2})));
  EXPECT_FALSE(applicable(f, make_and(10, {-7})));
  EXPECT_TRUE(applicable(f, make_and(10, {})));
  EXPECT_TRUE(applicable(f, make_and(1, {2})));  // freshness is not part of it
  EXPECT_FALSE(applicable(f, make_ite(10, 7, 1, 2)));
  EXPECT_FALSE(applicable(f, make_ite(10, 1, -7, 2)));
  EXPECT_FALSE(applicable(f, make_ite(10, 1, 2, 7)));
  EXPECT_TRUE(applicable(f, make_ite(2, 1, 3, -1)));
  EXPECT_FALSE(applicable(f, make_and(10, {0})));  // variable 0 is never defined
}

TEST(QCNF, ExtensionVariableBeyondTheLimit) {
  const unsigned beyond = kMaxVariable + 1;
  QCNF f = with_universal();
  EXPECT_EQ(apply(f, make_and(beyond, {1})), "Variable 33554432 exceeds the largest supported variable number 33554431.");
  EXPECT_EQ(apply(f, make_ite(beyond, 1, 2, 3)), "Variable 33554432 exceeds the largest supported variable number 33554431.");
  EXPECT_EQ(f.clauses.size(), 1u);
  EXPECT_EQ(f.definitions.size(), 0u);
  EXPECT_EQ(blocks_of(f), (Blocks{{1, 2}, {3}}));
}

}  // namespace
