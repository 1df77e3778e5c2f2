// The QRP checker and the rules it adds: the pivot two constraints clash
// on, which complementary pairs long-distance resolution may make (clauses
// and cubes), input clauses, initial cubes (the scan and MiniSat), cube
// proofs, the prefix agreement, the verdict of the result line, the exact
// message and position of each refusal, and the count of the steps outside
// the proof. The traces are small proofs written for the rule at hand.
#include "proof/qrp_checker.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formula/rules.hpp"
#include "formula/working_clause.hpp"
#include "read/qdimacs_reader.hpp"
#include "store/packed_store.hpp"
#include "qrp_support.hpp"
#include "support.hpp"

namespace {

using zeltest::literals;

using Outcome = zeltest::QrpOutcome;

// Every step checked, as the step rules below are tested one at a time.
QrpChecker::Options forward() {
  QrpChecker::Options options;
  options.forward = true;
  return options;
}

Outcome check_trace(const std::string& qdimacs, const std::string& trace,
                    QrpChecker::Options options = forward()) {
  return zeltest::check_qrp_trace(qdimacs, trace, options);
}

// ∃1 ∀2 ∃3: (1 2 3) (-1 -2 3) (-2 -3) is true (1 false, 3 = not 2). A
// long-distance step on the outer 1 makes (2 -2 3), which is sound; merging
// -2 into it on the inner pivot 3 would lead to the empty clause.
const char* kTrueDeep = "p cnf 3 3\ne 1 0\na 2 0\ne 3 0\n1 2 3 0\n-1 -2 3 0\n-2 -3 0\n";
const char* kTrueDeepSteps = "p qrp 3 3\ne 1 0\na 2 0\ne 3 0\n1 1 2 3 0 0\n2 -1 -2 3 0 0\n3 -2 -3 0 0\n";
// ∃1 ∀2: (1 2) (-1 -2) is false; long distance on 1 refutes it in one step.
const char* kFalseOuter = "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 -2 0\n";
const char* kFalseOuterSteps = "p qrp 2 2\ne 1 0\na 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n";
// ∀1 ∃2: (1 2) (-1 -2) is true (2 = not 1): a cube proof.
const char* kTrueCube = "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n-1 -2 0\n";
const char* kTrueCubeSteps = "p qrp 2 2\na 1 0\ne 2 0\n1 1 2 0 0\n2 -1 -2 0 0\n";

struct Case {
  const char* name;
  const char* formula;
  std::string trace;
  std::string expected;
};

TEST(QrpChecker, StepsAndVerdicts) {
  const std::string deep = kTrueDeepSteps, outer = kFalseOuterSteps, cube = kTrueCubeSteps;
  const Case cases[] = {
      // Long distance: a pair deeper than the pivot stands and reduces away.
      {"pair deeper than the pivot", kFalseOuter, outer + "3 0 1 2 0\nr UNSAT\n", "validated"},
      {"pair deeper than the pivot, listed", kFalseOuter, outer + "3 2 -2 0 1 2 0\nr UNSAT\n",
       "validated"},
      {"sound pair, then merged across an inner pivot", kTrueDeep,
       deep + "4 2 -2 3 0 1 2 0\n5 2 -2 0 4 3 0\nr UNSAT\n",
       "line 9, column 1: Step 5: resolving antecedent 3 on variable 3 leaves 2 and -2 (allowed "
       "only for a universal variable on a level greater than the pivot's)."},
      {"pair of a universal outer to the pivot", kTrueDeep, deep + "4 1 0 1 3 0\nr UNSAT\n",
       "line 8, column 1: Step 4: resolving antecedent 3 on variable 3 leaves 2 and -2 (allowed "
       "only for a universal variable on a level greater than the pivot's)."},
      {"listed literals differ", kTrueDeep, deep + "4 2 -2 0 1 2 0\nr UNSAT\n",
       "line 8, column 1: Step 4: the listed literals (), reduced, differ from the clause "
       "derived (2, 3, -2)."},
      {"a pair the listed literals hold reduces away", kTrueDeep,
       deep + "4 -1 -2 2 0 2 3 0\nr UNSAT\n", "erroneous"},
      {"listed literals reduced before the comparison", kFalseOuter,
       outer + "3 2 0 1 2 0\nr UNSAT\n", "validated"},
      // Cubes: initial cubes, universal pivots, existential reduction.
      {"cube proof", kTrueCube,
       cube + "3 1 -2 0 0\n4 -1 2 0 0\n5 1 0 3 0\n6 -1 0 4 0\n7 0 5 6 0\nr SAT\n", "validated"},
      {"cube proof, long distance on the existential", kTrueCube,
       cube + "3 1 -2 0 0\n4 -1 2 0 0\n5 0 3 4 0\nr SAT\n", "validated"},
      {"cube proof, result flipped", kTrueCube,
       cube + "3 1 -2 0 0\n4 -1 2 0 0\n5 0 3 4 0\nr UNSAT\n", "erroneous"},
      {"cube that leaves a clause false", kTrueCube, cube + "3 1 0 0\nr SAT\n",
       "line 6, column 1: Step 3: no clause of the QBF file, and as an initial cube it does "
       "not imply the matrix."},
      {"contradictory cube", kTrueCube, cube + "3 2 -2 0 0\n4 0 3 0\nr SAT\n",
       "line 6, column 1: Step 3: no clause of the QBF file, and as an initial cube it holds a "
       "literal and its complement."},
      {"a clause and a cube in one step", kTrueCube, cube + "3 1 -2 0 0\n4 -2 0 1 3 0\nr SAT\n",
       "line 7, column 1: Step 4: antecedent 1 is a clause, antecedent 3 a cube."},
      // A step without antecedents that repeats a clause of the QBF file is
      // that clause, even where it would imply the matrix as a cube.
      {"a cube that is a clause of the QBF file", kTrueCube,
       cube + "3 1 -2 0 0\n4 1 2 0 0\n5 1 0 3 4 0\nr SAT\n",
       "line 8, column 1: Step 5: antecedent 3 is a cube, antecedent 4 a clause."},
      // Input clauses: any order, as sets; tautologies refused.
      {"input clauses in another order", kFalseOuter,
       "p qrp 2 2\ne 1 0\na 2 0\n7 -2 -1 0 0\n9 2 1 1 0 0\n3 0 9 7 0\nr UNSAT\n", "validated"},
      {"empty clause never derived", kFalseOuter, outer + "r UNSAT\n", "erroneous"},
      // Faults of form and reference.
      {"index used twice", kFalseOuter, outer + "2 0 1 2 0\nr UNSAT\n",
       "line 6, column 1: Step index 2 is used twice."},
      {"antecedent not defined", kFalseOuter, outer + "3 0 1 4 0\nr UNSAT\n",
       "line 6, column 1: Step 3: antecedent 4 is not defined."},
      {"variable outside the QBF file", kFalseOuter, outer + "3 5 0 1 2 0\nr UNSAT\n",
       "line 6, column 1: Step 3: variable 5 is not in the QBF file."},
      {"no result line", kFalseOuter, outer + "3 0 1 2 0\n",
       "line 7, column 1: Missing result line."},
      {"prefix: quantifier differs", kFalseOuter, "p qrp 2 2\na 1 0\ne 2 0\nr UNSAT\n",
       "line 2, column 1: Prefix differs from the QBF file's: variable 1 is universal in the "
       "trace, existential in the QBF file."},
      {"prefix: blocks in another order", kTrueDeep, "p qrp 3 3\ne 3 0\na 2 0\nr UNSAT\n",
       "line 3, column 1: Prefix differs from the QBF file's: variable 2 stands in an inner "
       "block of the trace but an outer block of the QBF file."},
      {"prefix: two levels in one block", kTrueDeep, "p qrp 3 3\ne 1 3 0\nr UNSAT\n",
       "line 2, column 1: Prefix differs from the QBF file's: variable 3 shares a block of the "
       "trace with variable 1 but not a block of the QBF file."},
      {"prefix: a block split", kTrueDeep, "p qrp 3 3\ne 1 0\na 2 0\ne 3 0\ne 0\nr UNSAT\n",
       "erroneous"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(check_trace(c.formula, c.trace).text, c.expected) << c.name;
}

// Initial cubes: a clause no literal of the cube makes true is left to
// MiniSat, which finds a tautology implied and anything else not.
TEST(QrpChecker, InitialCubesByMiniSat) {
  const char* formula = "p cnf 3 2\na 1 0\ne 2 3 0\n1 2 0\n3 -3 0\n";
  const std::string steps = "p qrp 3 2\na 1 0\ne 2 3 0\n1 1 2 0 0\n2 3 -3 0 0\n";
  const Outcome tautology = check_trace(formula, steps + "3 1 0 0\nr UNSAT\n");
  EXPECT_EQ(tautology.text, "line 5, column 1: Step 2: input clause holds a literal and its "
                            "complement (tautologies are refused).");
  // Not an input step: the QBF file's tautology is never repeated here.
  const std::string cubes = "p qrp 3 2\na 1 0\ne 2 3 0\n3 1 0 0\n4 -1 2 0 0\n5 0 3 4 0\nr SAT\n";
  const Outcome proved = check_trace(formula, cubes);
  EXPECT_EQ(proved.text, "validated");
  EXPECT_EQ(proved.statistics.cubes_solved, 2u);
  EXPECT_EQ(proved.statistics.initial_cubes, 2u);
  EXPECT_EQ(proved.statistics.cube_steps, 1u);
  const Outcome refused = check_trace(formula, "p qrp 3 2\n3 -1 0 0\nr SAT\n");
  EXPECT_EQ(refused.text, "line 2, column 1: Step 3: no clause of the QBF file, and as an "
                          "initial cube it does not imply the matrix.");
}

// The steps outside the proof: those the first empty constraint of the
// claimed kind does not rest on, counted by the backward pass.
TEST(QrpChecker, StepsOutsideTheProof) {
  const std::string trace = std::string(kTrueCubeSteps) +
                            "3 1 -2 0 0\n4 -1 2 0 0\n5 1 0 3 0\n6 2 0 2 1 0\n7 0 3 4 0\n"
                            "8 0 5 4 0\nr SAT\n";
  const Outcome outcome = check_trace(kTrueCube, trace);
  // A clause step among the cubes is checked too: 1 is outer to the pivot 2.
  ASSERT_EQ(outcome.text, "line 9, column 1: Step 6: resolving antecedent 1 on variable 2 "
                          "leaves 1 and -1 (allowed only for a universal variable on a level "
                          "greater than the pivot's).");
  const Outcome proved = check_trace(
      kTrueCube, std::string(kTrueCubeSteps) +
                     "3 1 -2 0 0\n4 -1 2 0 0\n5 1 0 3 0\n6 -1 0 4 0\n7 0 3 4 0\n8 0 5 6 0\nr SAT\n");
  ASSERT_EQ(proved.text, "validated");
  EXPECT_EQ(proved.statistics.steps(), 8u);
  // Step 7 is the first empty cube: it rests on 3 and 4; 1, 2, 5, 6, 8 lie outside.
  EXPECT_EQ(proved.statistics.outside_proof, 5u);
  const Outcome flipped = check_trace(
      kTrueCube, std::string(kTrueCubeSteps) + "3 1 -2 0 0\n4 -1 2 0 0\n5 0 3 4 0\nr UNSAT\n");
  EXPECT_EQ(flipped.statistics.outside_proof, 5u);  // no proof: every step lies outside
}

// Backwards, only the steps the result's empty constraint rests on are
// checked: a faulty step outside the proof does not refuse it, a faulty
// step inside refuses it with the message of the forward check.
TEST(QrpChecker, BackwardChecksWhatTheResultRestsOn) {
  const QrpChecker::Options backward;
  const std::string outside = std::string(kTrueCubeSteps) +
                              "3 1 -2 0 0\n4 -1 2 0 0\n5 1 0 3 0\n6 2 0 2 1 0\n7 0 3 4 0\n"
                              "8 0 5 4 0\nr SAT\n";
  const Outcome skipped = check_trace(kTrueCube, outside, backward);
  ASSERT_EQ(skipped.text, "validated");
  // Step 7 (the first empty cube) rests on 3 and 4: three steps checked.
  EXPECT_EQ(skipped.statistics.steps(), 3u);
  EXPECT_EQ(skipped.statistics.skipped, 5u);
  EXPECT_EQ(skipped.statistics.outside_proof, 5u);
  EXPECT_EQ(check_trace(kTrueCube, outside).text,
            "line 9, column 1: Step 6: resolving antecedent 1 on variable 2 leaves 1 and -1 "
            "(allowed only for a universal variable on a level greater than the pivot's).");
  // (-1 -2) is an input clause but no initial cube: the root mixes kinds.
  // Forwards, the faulty step 5 before it is refused first.
  const std::string inside = std::string(kTrueCubeSteps) +
                             "3 1 -2 0 0\n4 -1 -2 0 0\n5 2 0 1 0\n6 0 3 4 0\nr SAT\n";
  EXPECT_EQ(check_trace(kTrueCube, inside, backward).text,
            "line 9, column 1: Step 6: antecedent 3 is a cube, antecedent 4 a clause.");
  EXPECT_EQ(check_trace(kTrueCube, inside).text,
            "line 8, column 1: Step 5: the listed literals (2) differ from the clause derived "
            "(1, 2).");
  // No empty cube: backwards nothing is checked and the verdict stands.
  const Outcome none = check_trace(kTrueCube, std::string(kTrueCubeSteps) + "3 1 -2 0 0\nr SAT\n",
                                   backward);
  EXPECT_EQ(none.text, "erroneous");
  EXPECT_EQ(none.statistics.skipped, 3u);
}

// The rules themselves, for both directions: which pivot two constraints
// clash on and which complementary pairs a resolvent may hold.
TEST(QrpRules, PivotAndLongDistancePairs) {
  // Variables 1..4 on levels 0 (∃), 1 (∀), 2 (∃), 3 (∀).
  const std::vector<unsigned> levels = {0, 0, 1, 2, 3};
  std::vector<uint8_t> marks(16, 0);
  struct PairCase {
    Rule rule;
    std::vector<int> first, second;
    unsigned pivot;     // expected clashing_pivot
    bool several;       // expected `several`
    unsigned refused;   // expected refused_long_distance_pair on `pivot`
  };
  const PairCase cases[] = {
      {Rule::CLAUSE, {1, 2}, {-1, 4}, 1, false, 0},
      {Rule::CLAUSE, {1, 2}, {-1, -2}, 1, false, 0},    // 2 deeper than 1
      {Rule::CLAUSE, {3, 2}, {-3, -2}, 3, false, 2},    // 2 outer to 3
      {Rule::CLAUSE, {3, 4}, {-3, -4}, 3, false, 0},    // 4 deeper than 3
      {Rule::CLAUSE, {1, 3}, {-1, -3}, 1, true, 3},     // an existential pair
      {Rule::CLAUSE, {2, -2, 3}, {-3}, 3, false, 0},    // an earlier pair, inside
      {Rule::CLAUSE, {2, -2, 3}, {-3, -2}, 3, false, 2},
      {Rule::CLAUSE, {1, -1, 2}, {-1}, 1, false, 1},    // the pivot doubled
      {Rule::CLAUSE, {2}, {-2}, 0, false, 0},           // universals are no pivots
      {Rule::CUBE, {2, 3}, {-2, -3}, 2, false, 0},      // 3 deeper than 2
      {Rule::CUBE, {4, 3}, {-4, -3}, 4, false, 3},      // 3 outer to 4
      {Rule::CUBE, {2, 4}, {-2, -4}, 2, true, 4},       // a universal pair
      {Rule::CUBE, {1}, {-1}, 0, false, 0},             // existentials are no pivots
  };
  for (const PairCase& c : cases) {
    const std::vector<Literal> first = literals(c.first), second = literals(c.second);
    const ClauseView a{first.data(), static_cast<uint32_t>(first.size())};
    const ClauseView b{second.data(), static_cast<uint32_t>(second.size())};
    bool several = false;
    EXPECT_EQ(clashing_pivot(c.rule, a, b, levels, marks, several), c.pivot);
    EXPECT_EQ(several, c.several);
    if (c.pivot != 0) {
      EXPECT_EQ(refused_long_distance_pair(c.rule, a, b, c.pivot, levels, marks), c.refused);
    }
    EXPECT_TRUE(std::all_of(marks.begin(), marks.end(), [](uint8_t m) { return m == 0; }));
  }
}

// The single-clash resolutions of QRP steps against the general path they
// stand in for (clashing_pivot, then resolve): on random constraints with
// duplicates, pairs, several clashes and reductions on one or more levels,
// in both directions. Whenever they resolve, the pivot and the literals,
// in order, are the general path's, which found one pivot and a sound
// resolvent (so neither constraint holds a pair); they resolve whenever it
// does so, but the copying one not when `second` repeats its pivot literal
// (the in-place one is given pair-free constraints without duplicates).
TEST(QrpRules, SingleClashResolutionIsTheGeneralOne) {
  // Variables 1..6 on levels 0 (∃), 1 (∀), 2 (∃), 1 (∀), 2 (∃), 3 (∀).
  const std::vector<unsigned> levels = {0, 0, 1, 2, 1, 2, 3};
  std::vector<uint8_t> marks(16, 0);
  uint64_t state = 2024;
  const auto random = [&state](uint32_t range) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) % range);
  };
  const auto random_constraint = [&] {
    std::vector<int> numbers(random(6));
    for (int& number : numbers) number = static_cast<int>(random(6) + 1) * (random(2) ? 1 : -1);
    return literals(numbers);
  };
  const auto distinct_pair_free = [](const std::vector<Literal>& constraint) {
    for (const Literal& a : constraint)
      for (const Literal& b : constraint)
        if (&a != &b && a.variable() == b.variable()) return false;
    return true;
  };
  const auto occurrences = [](const std::vector<Literal>& constraint, unsigned variable) {
    return std::count_if(constraint.begin(), constraint.end(),
                         [variable](const Literal& l) { return l.variable() == variable; });
  };
  size_t resolved = 0, in_place = 0;
  for (int round = 0; round < 20000; ++round) {
    const Rule rule = round % 2 ? Rule::CUBE : Rule::CLAUSE;
    const std::vector<Literal> first = random_constraint(), second = random_constraint();
    SCOPED_TRACE(to_string(ClauseView{first.data(), static_cast<uint32_t>(first.size())}) +
                 " with " +
                 to_string(ClauseView{second.data(), static_cast<uint32_t>(second.size())}));
    const ClauseView a{first.data(), static_cast<uint32_t>(first.size())};
    const ClauseView b{second.data(), static_cast<uint32_t>(second.size())};
    bool several = false;
    const unsigned pivot = clashing_pivot(rule, a, b, levels, marks, several);
    WorkingClause general;
    const bool sound = pivot != 0 && !several &&
                       resolve(rule, a, b, pivot, levels, general, marks) ==
                           ResolutionOutcome::RESOLVED;

    WorkingClause copied;
    const unsigned copied_pivot = resolve_single_clash(rule, a, b, levels, copied, marks);
    EXPECT_EQ(copied_pivot != 0, sound && occurrences(second, pivot) == 1);
    if (copied_pivot != 0) {
      ++resolved;
      EXPECT_TRUE(sound);
      EXPECT_EQ(copied_pivot, pivot);
      EXPECT_EQ(copied.literals, general.literals);
    }

    if (distinct_pair_free(first)) {
      WorkingClause clause;
      clause.assign(a);
      const unsigned in_place_pivot = resolve_single_clash_in_place(rule, clause, b, levels, marks);
      EXPECT_EQ(in_place_pivot != 0, sound);
      if (in_place_pivot != 0) {
        ++in_place;
        EXPECT_EQ(in_place_pivot, pivot);
        EXPECT_EQ(clause.literals, general.literals);
      } else {
        EXPECT_EQ(clause.literals, first);  // unchanged
      }
    }
    ASSERT_TRUE(std::all_of(marks.begin(), marks.end(), [](uint8_t m) { return m == 0; }));
  }
  // Both paths are taken often, not only the refusals.
  EXPECT_GT(resolved, 1000u);
  EXPECT_GT(in_place, 500u);
}

// Packed records give back what was stored, literals and antecedents, for
// codes and distances of every length.
// A chain of long-distance resolutions on a long clause passes over the
// whole clause at each resolution (the indexed constraint takes no pair):
// the run's work is bounded by the trace's size and refused past it, at
// the step where it happens, with the bound named.
TEST(QrpChecker, WorkBoundOfLongDistanceChains) {
  const int zs = 3000, repeats = 3000;
  // ∃p1 p2 ∀u ∃z1..zm: (p1 u z..) (-p1 p2 -u) (-p2 p1) (-p1 p2). The first
  // resolution leaves u and -u (sound: u is deeper than the pivot p1), and
  // every later one keeps the pair.
  std::string zlist, formula = "p cnf " + std::to_string(zs + 3) + " 4\ne 1 2 0\na 3 0\ne";
  for (int z = 4; z < zs + 4; ++z) zlist += " " + std::to_string(z);
  formula += zlist + " 0\n1 3" + zlist + " 0\n-1 2 -3 0\n-2 1 0\n-1 2 0\n";
  std::string trace = "p qrp " + std::to_string(zs + 3) + " 4\ne 1 2 0\na 3 0\ne" + zlist +
                      " 0\n1 1 3" + zlist + " 0 0\n2 -1 2 -3 0 0\n3 -2 1 0 0\n4 -1 2 0 0\n5" +
                      zlist + " 3 -3 2 0 1 2";
  for (int i = 0; i < repeats; ++i) trace += " 3 4";
  trace += " 0\nr UNSAT\n";
  EXPECT_EQ(check_trace(formula, trace).text, "erroneous");
  QrpChecker::Options tight = forward();
  tight.work_base = 0;
  // Numbers read by step 5, each step's literals and antecedents and its
  // two zeros: 3002 + 2, 3 + 2, 2 + 2, 2 + 2, and 3003 + 6002 + 2.
  const uint64_t numbers = 3004 + 5 + 4 + 4 + 9007;
  EXPECT_EQ(check_trace(formula, trace, tight).text,
            "line 9, column 1: Step 5: the resolutions of the trace so far pass over more than " +
                std::to_string(1024 * numbers) +
                " literals (a base and 1024 for each number read): the trace is refused as too "
                "costly to check.");
}

TEST(PackedStore, RecordsReadBack) {
  PackedStore store(5);
  const std::vector<Literal> wide = literals({1, -127, 128, -16384, 2147483647, -33554431});
  const uint32_t antecedents[] = {0, 4};
  store.push(wide.data(), wide.size(), antecedents, 2);
  store.push(nullptr, 0, nullptr, 0);
  const uint32_t far[] = {5, 6};
  store.push(wide.data(), 1, far, 2);
  std::vector<Literal> read;
  store.read_literals(5, read);
  EXPECT_EQ(read, wide);
  store.read_literals(6, read);
  EXPECT_TRUE(read.empty());
  std::vector<uint32_t> seen;
  for (uint32_t position = 5; position < store.end_position(); ++position)
    store.for_each_antecedent(position, [&](uint32_t antecedent) { seen.push_back(antecedent); });
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 4, 5, 6}));
  EXPECT_EQ(store.literals(), 7u);
}

}  // namespace
