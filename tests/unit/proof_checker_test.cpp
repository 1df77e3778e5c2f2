// The proof checker on hand-built formulas, one entry at a time: the
// backward ordering of a step's antecedents (the chain it leaves in the
// step, the pivots it implies, the listing before "BUG: Lost antecedents
// while reordering."), chain mode with its comparison, merge mode with its
// counts and its propagation check, the early cases, where the derived
// clause is stored, resolution lines, extension definitions, and the
// entries held back until the conclusion.
#include "proof/proof_checker.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support.hpp"

namespace {

using zeltest::at;
using zeltest::blocks_of;
using zeltest::Blocks;
using zeltest::clause;
using zeltest::CoutCapture;
using zeltest::dimacs;
using zeltest::ints;
using zeltest::message_of;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;
using Prefix = std::vector<std::pair<unsigned, Quantifier::Type>>;  // innermost, in order
using Numbers = std::vector<uint32_t>;

// Variables 1..5 existential on level 0 unless a test says otherwise.
const Prefix kExistential = {{1, E}, {2, E}, {3, E}, {4, E}, {5, E}};
// 1 existential on level 0, 5 universal on level 1.
const Prefix kDeepUniversal = {{1, E}, {5, A}};
// 2 universal on level 1, 3 existential on level 2 (block 0 empty).
const Prefix kUniversalOuter = {{2, A}, {3, E}};

// A formula of the prefix and `clauses` (certificate clauses 1..n), and a
// proof checker over it.
struct Checking {
  Checking(const Prefix& prefix, const std::vector<std::vector<int>>& clauses, bool ignore = false) {
    for (const auto& [variable, type] : prefix)
      EXPECT_FALSE(formula.new_variable(variable, type, false));
    for (const auto& c : clauses) formula.clauses.push(zeltest::literals(c));
    ProofChecker::Options options;
    options.ignore = ignore;
    proof.reset(new ProofChecker(formula, options));
  }
  QCNF formula;                         // the formula checked
  std::unique_ptr<ProofChecker> proof;  // checks entries over it
};

StepEntry step(bool omitted, uint32_t number, const std::vector<int>& resolvent,
               const Numbers& antecedents) {
  StepEntry s;
  s.resolvent_omitted = omitted;
  s.number = number;
  s.resolvent = clause(resolvent);
  s.antecedents = antecedents;
  return s;
}

struct OrderCase {
  std::string name;
  Prefix prefix;
  std::vector<std::vector<int>> clauses;
  std::vector<int> resolvent;
  Numbers listed;
  Numbers chain;
  std::vector<unsigned> pivots;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
  *out << c.name;
}

class Ordering : public ::testing::TestWithParam<OrderCase> {};

// The ordering returns the chain and its pivots and leaves the step's list
// as it was; the chain walk resolves with them, so replaying the chain on
// the expected pivots must give the clause stored (or fail where the step
// failed to resolve).
TEST_P(Ordering, ChainAndPivots) {
  const OrderCase& c = GetParam();
  Checking setup(c.prefix, c.clauses);
  const uint32_t number = static_cast<uint32_t>(c.clauses.size()) + 1;
  StepEntry s = step(false, number, c.resolvent, c.listed);
  const ProofChecker::OrderedChain ordered = setup.proof->order_antecedents(s.resolvent, s.antecedents);
  EXPECT_EQ(ordered.numbers, c.chain);
  EXPECT_EQ(ordered.pivots, c.pivots);
  EXPECT_EQ(s.antecedents, c.listed);
  const std::string error = message_of([&] { setup.proof->check_step(s); });
  EXPECT_EQ(s.antecedents, c.listed) << error;

  const QCNF& f = setup.formula;
  std::vector<uint8_t> marks(64, 0);
  WorkingClause running, result;
  PodVector<Literal> widened;
  running.assign(f.clauses.read(c.chain[0] - 1, widened));
  bool clashed = true;
  for (size_t i = 1; i < c.chain.size() && i - 1 < c.pivots.size(); ++i) {
    widened.clear();
    if (resolve(Rule::CLAUSE, f.clauses.read(c.chain[i] - 1, widened), running.view(),
                c.pivots[i - 1], f.levels, result, marks) == ResolutionOutcome::NO_CLASH)
      clashed = false;
    std::swap(running, result);
  }
  EXPECT_EQ(setup.proof->defined(number), clashed) << error;
  if (clashed && setup.proof->defined(number)) {
    EXPECT_EQ(dimacs(setup.proof->clause(number)), dimacs(running));
  }
  if (!clashed) {
    EXPECT_EQ(error, "Resolution failed.");
  }
}

const std::vector<std::vector<int>> kTwo = {{1, 2}, {-1, 3}};
const std::vector<std::vector<int>> kPath = {{1}, {-1, 2}, {-2}};
const std::vector<std::vector<int>> kShort = {{1}, {-1, 2}, {-1, -2}};
const std::vector<std::vector<int>> kSubsumed = {{1}, {1, 2}};
const std::vector<std::vector<int>> kTautChain = {{3}, {-3, 2}, {-2, 3}};

INSTANTIATE_TEST_SUITE_P(
    ProofChecker, Ordering,
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

// What a step leaves in the formula and under its number.
enum class Effect {
  NOTHING,   // no clause appended, number undefined
  STORED,    // clause appended and stored under the number
  APPENDED,  // merge mode error: clause appended, number undefined
  ANY,       // not examined
};

struct ApplyCase {
  std::string name;
  Prefix prefix;
  std::vector<std::vector<int>> clauses;
  bool ignore;
  bool omitted;
  std::vector<int> resolvent;
  Numbers antecedents;
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
  Checking setup(c.prefix, c.clauses, c.ignore);
  const QCNF& f = setup.formula;
  const uint32_t n = static_cast<uint32_t>(c.clauses.size());
  const uint32_t number = n + 1;
  StepEntry s = step(c.omitted, number, c.resolvent, c.antecedents);
  EXPECT_EQ(message_of([&] { setup.proof->check_step(s); }),
            c.error.empty() ? "<no exception>" : c.error);
  switch (c.effect) {
    case Effect::NOTHING:
      EXPECT_EQ(f.clauses.size(), n);
      EXPECT_FALSE(setup.proof->defined(number));
      break;
    case Effect::STORED:
      ASSERT_EQ(f.clauses.size(), n + 1);
      ASSERT_TRUE(setup.proof->defined(number));
      EXPECT_EQ(dimacs(setup.proof->clause(number)), c.clause);
      EXPECT_EQ(at(f.clauses, n), c.clause);
      break;
    case Effect::APPENDED:
      ASSERT_EQ(f.clauses.size(), n + 1);
      EXPECT_FALSE(setup.proof->defined(number));
      EXPECT_EQ(at(f.clauses, n), c.clause);
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
    ProofChecker, Apply,
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
        // An antecedent not defined yet holds the step back, unchecked.
        ApplyCase{"UndefinedAntecedent", kExistential, kTwo, false, false, {2, 3}, {1, 9}, "", Effect::NOTHING, {}},
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


// The ordering returns its chain instead of rewriting the step's list.
TEST(ProofChecker, ChainModeLeavesTheAntecedents) {
  Checking setup(kExistential, kPath);
  StepEntry s = step(false, 4, {}, {1, 2, 3});
  EXPECT_EQ(setup.proof->order_antecedents(s.resolvent, s.antecedents).numbers,
            (Numbers{3, 2, 1}));
  setup.proof->check_step(s);
  EXPECT_EQ(s.antecedents, (Numbers{1, 2, 3}));
  EXPECT_TRUE(setup.proof->defined(4));
  EXPECT_EQ(setup.proof->statistics().chain_steps, 1u);
  EXPECT_EQ(setup.proof->statistics().chain_searches, 0u);
}

TEST(ProofChecker, LostAntecedentsListing) {
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
    Checking setup(row.prefix, row.clauses);
    StepEntry s = step(false, 4, {}, {1, 2, 3});
    std::string error;
    std::string listing;
    {
      CoutCapture out;
      error = message_of([&] { setup.proof->check_step(s); });
      listing = out.text();
    }
    EXPECT_EQ(error, "BUG: Lost antecedents while reordering.") << row.name;
    EXPECT_EQ(listing, row.listing) << row.name;
    EXPECT_EQ(setup.formula.clauses.size(), 3u) << row.name;
    EXPECT_FALSE(setup.proof->defined(4)) << row.name;
  }
}

TEST(ProofChecker, NumbersAboveTheInputClauses) {
  Checking setup(kExistential, {{1}, {-1}, {2}, {-2}});
  for (uint32_t k = 1; k <= 4; ++k) EXPECT_TRUE(setup.proof->defined(k));
  EXPECT_FALSE(setup.proof->defined(0));
  StepEntry s = step(true, 10, {}, {1, 2});
  setup.proof->check_step(s);
  for (uint32_t k = 5; k < 10; ++k) EXPECT_FALSE(setup.proof->defined(k)) << k;
  EXPECT_TRUE(setup.proof->clause(10).empty());
  EXPECT_EQ(setup.proof->statistics().merge_steps, 1u);
  // Sparse numbering: a far number works as antecedent like any other;
  // (1) with () derives (1).
  StepEntry far = step(true, 4000000000u, {}, {3, 4});
  setup.proof->check_step(far);
  StepEntry t = step(false, 5, {1}, {4000000000u, 1});
  setup.proof->check_step(t);
  EXPECT_EQ(dimacs(setup.proof->clause(5)), ints({1}));
  EXPECT_FALSE(setup.proof->defined(3999999999u));
  EXPECT_EQ(setup.formula.clauses.size(), 7u);
}

// Formula for the resolution lines: 1, 2, 4 existential on level 0, 3
// universal on level 1; clauses 3 and 5 are those of the worked example.
const Prefix kLines = {{1, E}, {2, E}, {4, E}, {3, A}};
const std::vector<std::vector<int>> kLineClauses = {{1}, {2}, {1, -4}, {1, 2}, {4, 2}, {-1, -2}, {4, 3}};

TEST(ProofChecker, ResolutionLinePrintsAndAppends) {
  Checking setup(kLines, kLineClauses);
  const ClauseStore& clauses = setup.formula.clauses;
  CoutCapture out;
  setup.proof->check_resolution_line(3, 5, 4);
  EXPECT_EQ(out.text(), "Resolving [3,5] (1, -4) x (4, 2) over 4\n");
  ASSERT_EQ(clauses.size(), 8u);
  EXPECT_EQ(at(clauses, 7), ints({1, 2}));
  // (4, 3) x (1, -4) gives (3, 1), and universal reduction drops 3.
  setup.proof->check_resolution_line(7, 3, 4);
  EXPECT_EQ(out.text(),
            "Resolving [3,5] (1, -4) x (4, 2) over 4\n"
            "Resolving [7,3] (4, 3) x (1, -4) over 4\n");
  ASSERT_EQ(clauses.size(), 9u);
  EXPECT_EQ(at(clauses, 8), ints({1}));
  // Appended clauses are named by their position like any other.
  setup.proof->check_resolution_line(9, 6, 1);
  EXPECT_EQ(at(clauses, 9), ints({-2}));
  EXPECT_EQ(clauses.size(), 10u);
  EXPECT_EQ(setup.proof->statistics().resolution_lines, 3u);
  EXPECT_FALSE(setup.proof->defined(8));  // positions are not clause numbers
}

TEST(ProofChecker, FailedResolutionLines) {
  struct Row {
    uint32_t first, second, pivot;
    std::string printed;
  };
  const std::vector<Row> rows = {
      {1, 2, 4, "Resolving [1,2] (1) x (2) over 4\n"},          // pivot in neither
      {3, 4, 1, "Resolving [3,4] (1, -4) x (1, 2) over 1\n"},   // same sign
      {4, 6, 1, "Resolving [4,6] (1, 2) x (-1, -2) over 1\n"},  // tautological: refused
      {8, 1, 1, ""},                                            // beyond the clause count
      {1, 8, 1, ""},
      {0, 1, 1, ""},  // position 0 wraps to the largest number
  };
  for (const Row& row : rows) {
    Checking setup(kLines, kLineClauses);
    CoutCapture out;
    EXPECT_EQ(message_of([&] { setup.proof->check_resolution_line(row.first, row.second, row.pivot); }),
              "Resolution failed.")
        << row.first << "," << row.second;
    EXPECT_EQ(out.text(), row.printed);
    EXPECT_EQ(setup.formula.clauses.size(), 7u);
  }
}

// A definition and its operands, as the certificate reader delivers them.
struct Extension {
  Definition definition;
  std::vector<Literal> operands;
};

Extension extension(bool ite, unsigned variable, const std::vector<int>& operands) {
  Extension e;
  e.definition.kind = ite ? Definition::ITE : Definition::AND;
  e.definition.line = ite ? 5 : 4;
  e.definition.variable = variable;
  e.operands = zeltest::literals(operands);
  e.definition.count = static_cast<uint32_t>(operands.size());
  return e;
}

const char kUnapplied[] =
    "The following extensions were not applied because of missing dependencies at conclusion:\n";

// Definitions whose operands are defined are applied at once (and must be
// fresh); the others are held back, and reported at the conclusion if
// their operands never come. Nothing refused changes the formula.
TEST(ProofChecker, RefusedExtensions) {
  struct Row {
    std::string name;
    bool ite;
    unsigned variable;
    std::vector<int> operands;  // conjuncts, or condition/then/else
    std::string error;          // when checked
    std::string conclusion;     // when settled at the conclusion
  };
  const std::vector<Row> rows = {
      {"NotFreshAnd", false, 2, {1}, "Variable is not fresh: 2", ""},
      {"NotFreshIte", true, 3, {1, 2, 1}, "Variable is not fresh: 3", ""},
      {"ZeroIsNeverFresh", false, 0, {}, "Variable is not fresh: 0", ""},
      {"UndefinedConjunct", false, 10, {1, -7, -8}, "", "E 10 (line #4)\n"},
      {"UndefinedElse", true, 10, {1, 2, -8}, "", "E 10 (line #5)\n"},
      {"UndefinedCondition", true, 10, {-7, 2, -8}, "", "E 10 (line #5)\n"},
      // The reader checks freshness before the operands are read (see
      // run_test.cpp); held back, the definition waits for -7.
      {"NotFreshAndUndefined", false, 1, {-7}, "", "E 1 (line #4)\n"},
  };
  for (const Row& row : rows) {
    Checking setup({{1, E}, {2, E}, {3, A}}, {{1, 2, 3}});
    const Extension e = extension(row.ite, row.variable, row.operands);
    EXPECT_EQ(message_of([&] { setup.proof->check_extension(e.definition, e.operands); }),
              row.error.empty() ? "<no exception>" : row.error)
        << row.name;
    if (row.error.empty()) {
      EXPECT_EQ(message_of([&] { setup.proof->settle_delayed(); }), kUnapplied + row.conclusion)
          << row.name;
    }
    EXPECT_EQ(setup.formula.clauses.size(), 1u) << row.name;
    EXPECT_EQ(blocks_of(setup.formula), (Blocks{{1, 2}, {3}})) << row.name;
    EXPECT_FALSE(setup.formula.is_defined(10)) << row.name;
    EXPECT_EQ(setup.formula.definitions.size(), 0u) << row.name;
  }
}

// Held-back definitions are applied at the conclusion, AND definitions
// first, newest first, in passes until nothing more applies.
TEST(ProofChecker, DelayedExtensionsSettle) {
  Checking setup({{1, E}, {2, E}, {3, A}}, {{1, 2, 3}});
  ProofChecker& proof = *setup.proof;
  const std::vector<Extension> entries = {
      extension(true, 12, {11, 1, 2}),  // waits for 11
      extension(false, 11, {10, -3}),   // waits for 10
      extension(false, 10, {3}),        // applied at once
      extension(false, 13, {14}),       // waits for 14, which never comes
  };
  for (const Extension& e : entries) proof.check_extension(e.definition, e.operands);
  EXPECT_TRUE(setup.formula.is_defined(10));
  EXPECT_FALSE(setup.formula.is_defined(11));
  EXPECT_EQ(proof.statistics().delayed_extensions, 3u);
  EXPECT_EQ(message_of([&] { proof.settle_delayed(); }),
            std::string(kUnapplied) + "E 13 (line #4)\n");
  EXPECT_EQ(blocks_of(setup.formula), (Blocks{{1, 2}, {3}, {10, 11, 12}}));
  // Positions: the input clause, then 10's two, 11's three, 12's four.
  EXPECT_EQ(setup.formula.clauses.size(), 10u);
  EXPECT_EQ(dimacs(setup.formula.clauses.copy(3)), ints({-11, 10}));
  EXPECT_EQ(dimacs(setup.formula.clauses.copy(6)), ints({-12, 1, -11}));
  EXPECT_EQ(proof.statistics().settled_extensions, 2u);
  EXPECT_EQ(proof.statistics().and_extensions, 2u);
  EXPECT_EQ(proof.statistics().ite_extensions, 1u);
}

// Steps held back for antecedents defined later are checked at the
// conclusion; those still missing one are listed, newest first, with a "*"
// after each undefined antecedent.
TEST(ProofChecker, DelayedStepsSettle) {
  Checking setup(kExistential, kPath);
  ProofChecker& proof = *setup.proof;
  StepEntry waiting = step(false, 5, {}, {4, 3});  // (2) x (-2) once 4 is (2)
  StepEntry missing = step(true, 6, {}, {1, 9});
  StepEntry later = step(false, 4, {2}, {1, 2});  // (1) x (-1, 2) = (2)
  for (StepEntry* s : {&waiting, &missing, &later}) proof.check_step(*s);
  EXPECT_TRUE(proof.defined(4));
  EXPECT_FALSE(proof.defined(5));
  EXPECT_EQ(proof.statistics().delayed_steps, 2u);
  EXPECT_EQ(message_of([&] { proof.settle_delayed(); }),
            "The following delayed resolutions are missing antecedents at conclusion: \n"
            "6: 1, 9*, \n");
  ASSERT_TRUE(proof.defined(5));
  EXPECT_TRUE(proof.clause(5).empty());
  EXPECT_FALSE(proof.defined(6));
  EXPECT_EQ(proof.statistics().settled_steps, 1u);
}

}  // namespace
