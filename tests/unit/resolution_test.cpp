// Checking one numbered resolution step on a hand-built validator: the
// backward ordering of the antecedents (chain, pivots, fallback, the listing
// before "BUG: Lost antecedents while reordering."), chain mode with its
// comparison, merge mode with its counts and its propagation check, the
// early cases, and where the derived clause is stored.
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <utility>
#include <vector>

#include "support.hpp"
#include "validator/zel.hpp"

namespace {

using zeltest::clause;
using zeltest::CoutCapture;
using zeltest::dimacs;
using zeltest::message_of;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;
using Prefix = std::vector<std::pair<unsigned, Quantifier::Type>>;  // innermost, in order

// Variables 1..5 existential on level 0 unless a test says otherwise.
const Prefix kExistential = {{1, E}, {2, E}, {3, E}, {4, E}, {5, E}};
// 1 existential on level 0, 5 universal on level 1.
const Prefix kDeepUniversal = {{1, E}, {5, A}};
// 2 universal on level 1, 3 existential on level 2 (block 0 empty).
const Prefix kUniversalOuter = {{2, A}, {3, E}};

// Loads the prefix and makes `clauses` the certificate clauses 1..n.
void load(ZEL& zel, const Prefix& prefix, const std::vector<std::vector<int>>& clauses) {
  for (const auto& [variable, type] : prefix)
    ASSERT_TRUE(zel.formula.new_variable(variable, type, false));
  for (const auto& c : clauses) zel.formula.clauses.push_back(clause(c));
  zel.clause_map.resize(clauses.size() + 1);
  for (uint32_t i = 1; i <= clauses.size(); ++i) zel.clause_map.set(i, i);
}

ZEL::Resolution step(bool omitted, unsigned index, const std::vector<int>& resolvent,
                     const std::list<unsigned>& antecedents) {
  ZEL::Resolution s;
  s.resolvent_omitted = omitted;
  s.index = index;
  s.resolvent = clause(resolvent);
  s.antecedents = antecedents;
  return s;
}

struct OrderCase {
  std::string name;
  Prefix prefix;
  std::vector<std::vector<int>> clauses;
  std::vector<int> resolvent;
  std::list<unsigned> listed;
  std::list<unsigned> chain;
  std::list<unsigned> pivots;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
  *out << c.name;
}

class Ordering : public ::testing::TestWithParam<OrderCase> {};

TEST_P(Ordering, ChainAndPivots) {
  const OrderCase& c = GetParam();
  ZEL zel;
  load(zel, c.prefix, c.clauses);
  std::list<unsigned> antecedents = c.listed, pivots;
  zel.order_antecedents(clause(c.resolvent), antecedents, pivots);
  EXPECT_EQ(antecedents, c.chain);
  EXPECT_EQ(pivots, c.pivots);
}

const std::vector<std::vector<int>> kTwo = {{1, 2}, {-1, 3}};
const std::vector<std::vector<int>> kPath = {{1}, {-1, 2}, {-2}};
const std::vector<std::vector<int>> kShort = {{1}, {-1, 2}, {-1, -2}};
const std::vector<std::vector<int>> kSubsumed = {{1}, {1, 2}};
const std::vector<std::vector<int>> kTautChain = {{3}, {-3, 2}, {-2, 3}};

INSTANTIATE_TEST_SUITE_P(
    ZEL, Ordering,
    ::testing::Values(
        OrderCase{"TwoListed12", kExistential, kTwo, {2, 3}, {1, 2}, {2, 1}, {1}},
        OrderCase{"TwoListed21", kExistential, kTwo, {2, 3}, {2, 1}, {1, 2}, {1}},
        OrderCase{"PathListed123", kExistential, kPath, {}, {1, 2, 3}, {3, 2, 1}, {2, 1}},
        OrderCase{"PathListed231", kExistential, kPath, {}, {2, 3, 1}, {2, 1, 3}, {1, 2}},
        // Only two placements: the fallback adds the antecedent before the
        // position where W last grew, sometimes one already placed.
        OrderCase{"FallbackListed123", kExistential, kShort, {-1}, {1, 2, 3}, {1, 3, 2}, {2}},
        OrderCase{"FallbackListed312", kExistential, kShort, {-1}, {3, 1, 2}, {2, 2, 3}, {2}},
        OrderCase{"FallbackListed213", kExistential, kShort, {-1}, {2, 1, 3}, {3, 3, 2}, {2}},
        OrderCase{"NoPivotListed12", kExistential, kSubsumed, {1, 2}, {1, 2}, {2, 1}, {}},
        OrderCase{"NoPivotListed21", kExistential, kSubsumed, {1, 2}, {2, 1}, {1, 2}, {}},
        OrderCase{"UniversalIgnored", kUniversalOuter, kTautChain, {}, {1, 2, 3}, {3, 2, 1}, {3}}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

// What a step leaves in the formula and the clause map.
enum class Effect {
  NOTHING,   // no clause appended, index undefined
  STORED,    // clause appended and mapped under the index
  APPENDED,  // merge mode error: clause appended, index undefined
  ANY,       // not examined
};

struct ApplyCase {
  std::string name;
  Prefix prefix;
  std::vector<std::vector<int>> clauses;
  bool ignore;
  bool omitted;
  std::vector<int> resolvent;
  std::list<unsigned> antecedents;
  std::string error;  // empty when the step is accepted
  Effect effect;
  std::vector<int64_t> clause;  // the clause appended (STORED / APPENDED)
};

void PrintTo(const ApplyCase& c, std::ostream* out) {
  *out << c.name;
}

class Apply : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(Apply, OutcomeAndStore) {
  const ApplyCase& c = GetParam();
  ZEL zel;
  load(zel, c.prefix, c.clauses);
  zel.ignore = c.ignore;
  const uint32_t n = static_cast<uint32_t>(c.clauses.size());
  const unsigned index = n + 1;
  ZEL::Resolution s = step(c.omitted, index, c.resolvent, c.antecedents);
  EXPECT_EQ(message_of([&] { zel.apply_resolution(s); }),
            c.error.empty() ? "<no exception>" : c.error);
  switch (c.effect) {
    case Effect::NOTHING:
      EXPECT_EQ(zel.formula.clauses.size(), n);
      EXPECT_FALSE(zel.clause_map.defined(index));
      break;
    case Effect::STORED:
      ASSERT_EQ(zel.formula.clauses.size(), n + 1);
      EXPECT_EQ(zel.clause_map[index], n + 1);
      EXPECT_EQ(dimacs(zel.formula.clauses.back()), c.clause);
      EXPECT_EQ(zel.formula.clauses.back().count, c.clause.size());
      break;
    case Effect::APPENDED:
      ASSERT_EQ(zel.formula.clauses.size(), n + 1);
      EXPECT_FALSE(zel.clause_map.defined(index));
      EXPECT_EQ(dimacs(zel.formula.clauses.back()), c.clause);
      break;
    case Effect::ANY:
      break;
  }
}

const char kFailed[] = "Resolution failed.";

// One row per case: name, prefix, clauses, --ignore, "*", resolvent,
// antecedents, expected error ("" when accepted), effect, clause left behind.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    ZEL, Apply,
    ::testing::Values(
        // Chain mode. The receiver of each resolution is the next antecedent
        // of the chain, so its literals come first.
        ApplyCase{"Chain", kExistential, kTwo, false, false, {2, 3}, {1, 2}, "", Effect::STORED, {2, 3}},
        ApplyCase{"ChainOtherListing", kExistential, kTwo, false, false, {2, 3}, {2, 1}, "", Effect::STORED, {3, 2}},
        ApplyCase{"ResolventInAnyOrder", kExistential, kTwo, false, false, {3, 2}, {1, 2}, "", Effect::STORED, {2, 3}},
        ApplyCase{"PathToEmpty", kExistential, kPath, false, false, {}, {1, 2, 3}, "", Effect::STORED, {}},
        ApplyCase{"PathToEmpty312", kExistential, kPath, false, false, {}, {3, 1, 2}, "", Effect::STORED, {}},
        ApplyCase{"FallbackFails123", kExistential, kShort, false, false, {-1}, {1, 2, 3}, kFailed, Effect::NOTHING, {}},
        ApplyCase{"FallbackFails312", kExistential, kShort, false, false, {-1}, {3, 1, 2}, kFailed, Effect::NOTHING, {}},
        ApplyCase{"CopyWithoutResolution", kExistential, kSubsumed, false, false, {1, 2}, {1, 2}, "", Effect::STORED, {1, 2}},
        ApplyCase{"SizesDiffer", kExistential, kSubsumed, false, false, {1, 2}, {2, 1},
                  "Calculated and supplied resolvent sizes do not match.", Effect::STORED, {1}},
        ApplyCase{"LiteralsDiffer", kExistential, kTwo, false, false, {2, -3}, {1, 2},
                  "Calculated and supplied resolvents differ.", Effect::STORED, {2, 3}},
        ApplyCase{"UndefinedAntecedent", kExistential, kTwo, false, false, {2, 3}, {1, 9},
                  "Inconsistent clause map.", Effect::NOTHING, {}},
        // Forall 2 exists 3: (3), (-3, 2), (-2, 3), a false formula; listed
        // 1, 2, 3. The ordering places 1 (pivot 3) and 2 (only universal
        // left), then falls back to 3, so the chain is 3, 2, 1 on pivot 3
        // alone: (-3, 2) x (-2, 3) unites 2 and -2, and that tautology
        // reduces to the supplied (). A sound chain exists, (3) x (-3, 2) =
        // (2), reduced to (): accepted.
        ApplyCase{"TautologicalChainWithSoundOrder", kUniversalOuter, kTautChain, false, false, {}, {1, 2, 3}, "",
                  Effect::STORED, {}},
        // (-2, -3), (2), (2, 3) is satisfiable (2 true, 3 false). The
        // ordered chain (2, 3) x (-2, -3) on 3 gives (2, -2), then x (2)
        // on 2 gives (): it matches the supplied (), but every resolution of
        // it is tautological and no sound chain exists.
        ApplyCase{"TautologicalChainWithoutSoundOrder", kExistential, {{-2, -3}, {2}, {2, 3}}, false, false, {},
                  {1, 2, 3}, kFailed, Effect::ANY, {}},
        // Forall 1 exists 2 with (1, 2), (-1, -2) is true (2 = -1); the only
        // chain resolves to (1, -1), which reduction would empty.
        ApplyCase{"TautologyOverUniversal", {{1, A}, {2, E}}, {{1, 2}, {-1, -2}}, false, false, {}, {1, 2},
                  kFailed, Effect::ANY, {}},
        // Merge mode.
        ApplyCase{"MergeTautological", kExistential, {{1, 2}, {-1, -2}}, false, true, {}, {1, 2},
                  "Tautological resolvent encountered: (1, 2, -1, -2)", Effect::APPENDED, {1, 2, -1, -2}},
        ApplyCase{"MergeNoPivot", kExistential, {{1}, {2}}, false, true, {}, {1, 2},
                  "Not enough pivot variables for resolution.", Effect::APPENDED, {1, 2}},
        ApplyCase{"MergeUniversalReduction", kDeepUniversal, {{1, 5}, {-1}}, false, true, {}, {1, 2}, "",
                  Effect::STORED, {}},
        ApplyCase{"MergeChain", kExistential, {{1, 2}, {-1, 3}, {-3}}, false, true, {}, {1, 2, 3}, "",
                  Effect::STORED, {2}},
        ApplyCase{"MergeRepeatedClash", kExistential, {{1}, {-1}, {1}}, false, true, {}, {1, 2, 3}, "",
                  Effect::STORED, {}},
        // (1), (1, 2), (-1, -2) is satisfiable; the counts pass (two clashes,
        // three antecedents) but nothing is refuted: 1 true, 2 false.
        ApplyCase{"MergeCountsAreNotAProof", kExistential, {{1}, {1, 2}, {-1, -2}}, false, true, {}, {1, 2, 3},
                  kFailed, Effect::APPENDED, {}},
        // Early cases.
        ApplyCase{"NoAntecedents", kExistential, kTwo, false, false, {1}, {},
                  "Resolvent not justified (no antecedents).", Effect::NOTHING, {}},
        ApplyCase{"NoAntecedentsIgnored", kDeepUniversal, {{1}}, true, false, {1, 5}, {}, "", Effect::STORED, {1, 5}},
        ApplyCase{"NoAntecedentsIgnoredMerge", kDeepUniversal, {{1}}, true, true, {}, {}, "", Effect::STORED, {}},
        ApplyCase{"SingleAntecedent", kExistential, kTwo, false, false, {1, 2}, {1},
                  "Single antecedent does not make sense.", Effect::NOTHING, {}},
        ApplyCase{"SingleAntecedentMerge", kExistential, kTwo, false, true, {}, {1},
                  "Single antecedent does not make sense.", Effect::NOTHING, {}},
        ApplyCase{"SingleAntecedentIgnored", kExistential, kTwo, true, false, {1, 2}, {1},
                  "Single antecedent does not make sense.", Effect::NOTHING, {}}),
    [](const ::testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });
// clang-format on

TEST(ZEL, ChainModeRewritesTheAntecedents) {
  ZEL zel;
  load(zel, kExistential, kPath);
  ZEL::Resolution s = step(false, 4, {}, {1, 2, 3});
  zel.apply_resolution(s);
  EXPECT_EQ(s.antecedents, (std::list<unsigned>{3, 2, 1}));
}

TEST(ZEL, LostAntecedentsListing) {
  struct Row {
    std::string name;
    Prefix prefix;
    std::vector<std::vector<int>> clauses;
    std::string listing;
  };
  const std::vector<Row> rows = {
      // (5) has no existential literal and is placed on both visits: four
      // placements for three antecedents.
      {"TooMany", kDeepUniversal, {{5}, {1}, {-1}}, "1: (5)\n2: (1)\n3: (-1)\n1: (5)\n"},
      // Only (1) can be placed: one placement for three antecedents.
      {"TooFew", kExistential, {{1}, {2, 3}, {4, 5}}, "1: (1)\n"},
  };
  for (const Row& row : rows) {
    ZEL zel;
    load(zel, row.prefix, row.clauses);
    ZEL::Resolution s = step(false, 4, {}, {1, 2, 3});
    std::string error;
    std::string listing;
    {
      CoutCapture out;
      error = message_of([&] { zel.apply_resolution(s); });
      listing = out.text();
    }
    EXPECT_EQ(error, "BUG: Lost antecedents while reordering.") << row.name;
    EXPECT_EQ(listing, row.listing) << row.name;
    EXPECT_EQ(zel.formula.clauses.size(), 3u) << row.name;
    EXPECT_FALSE(zel.clause_map.defined(4)) << row.name;
  }
}

TEST(ZEL, ClauseMapGrowsToTheIndex) {
  ZEL zel;
  load(zel, kExistential, {{1}, {-1}, {2}, {-2}});
  ASSERT_EQ(zel.clause_map.size(), 5u);
  ZEL::Resolution s = step(true, 10, {}, {1, 2});
  zel.apply_resolution(s);
  EXPECT_EQ(zel.clause_map.size(), 11u);
  for (uint32_t k = 5; k < 10; ++k) EXPECT_FALSE(zel.clause_map.defined(k)) << k;
  EXPECT_EQ(zel.clause_map[10], 5u);
  EXPECT_EQ(zel.clause_map[4], 4u);
  // A later step for the same index overwrites the entry.
  ZEL::Resolution again = step(false, 10, {}, {3, 4});
  zel.apply_resolution(again);
  EXPECT_EQ(zel.clause_map[10], 6u);
}

// Sparse numbering must not cost memory in proportion to the number.
TEST(ZEL, LargeClauseNumbers) {
  ZEL zel;
  load(zel, kExistential, {{1}, {-1}});
  ZEL::Resolution s = step(true, 4000000000u, {}, {1, 2});
  zel.apply_resolution(s);
  EXPECT_EQ(zel.clause_map[4000000000u], 3u);
  EXPECT_EQ(zel.clause_map.size(), 4000000001ull);
  EXPECT_FALSE(zel.clause_map.defined(3999999999u));
  // The far clause () is usable as an antecedent: (1) with () derives (1).
  ZEL::Resolution t = step(false, 5, {1}, {4000000000u, 1});
  zel.apply_resolution(t);
  EXPECT_EQ(zel.clause_map[5], 4u);
  EXPECT_EQ(dimacs(zel.formula.clauses.back()), zeltest::ints({1}));
}

}  // namespace
