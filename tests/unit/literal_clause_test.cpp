// Literals and clauses: literal codes, the storage rules of a clause (no
// duplicates, removal by swapping the last literal in), universal reduction
// with its exact resulting order, and the Q-resolution rule `resolve`
// including its report of tautological resolvents.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "formula/working_clause.hpp"
#include "core/literal.hpp"
#include "core/quantifier.hpp"
#include "support.hpp"

namespace {

using zeltest::clause;
using zeltest::dimacs;
using zeltest::ints;

TEST(Literal, CodesAndSignedForm) {
  struct Row {
    Literal literal;
    uint32_t code;
    int64_t value;
  };
  const std::vector<Row> rows = {
      {Literal(-5), 11, -5},
      {Literal(5), 10, 5},
      {Literal(5u, false), 10, 5},
      {Literal(5u, true), 11, -5},
      {Literal(0), 0, 0},
      {Literal(1), 2, 1},
      {Literal(-1), 3, -1},
      {Literal(2147483647), 4294967294u, 2147483647},
      {Literal(-2147483647), 4294967295u, -2147483647},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.literal.code, row.code) << row.value;
    EXPECT_EQ(row.literal.to_dimacs(), row.value) << row.code;
  }
  EXPECT_EQ(Literal(-5).complement().code, 10u);
  EXPECT_EQ(Literal(-5).variable(), 5u);
}

TEST(WorkingClause, InsertRefusesDuplicatesButKeepsComplements) {
  WorkingClause c = clause({1, -2});
  EXPECT_FALSE(c.insert(Literal(1)));
  EXPECT_EQ(dimacs(c), ints({1, -2}));
  EXPECT_EQ(c.size(), 2u);
  EXPECT_TRUE(c.insert(Literal(-1)));
  EXPECT_EQ(dimacs(c), ints({1, -2, -1}));
  EXPECT_EQ(c.size(), 3u);
  EXPECT_TRUE(c.contains(Literal(-1)));
  EXPECT_FALSE(c.contains(Literal(2)));
  c.clear();
  EXPECT_EQ(c.size(), 0u);
  EXPECT_TRUE(c.literals.empty());
}

// Removal moves the last literal into the freed slot and looks at that slot
// again, so the order after removal is part of the observable behaviour.
TEST(WorkingClause, RemovalFollowsTheSwapRule) {
  struct Row {
    std::vector<int> before;
    bool by_variable;
    int what;  // a variable (by_variable) or a signed literal
    std::vector<int64_t> after;
  };
  const std::vector<Row> rows = {
      {{1, -2, 2, 3}, true, 2, {1, 3}},      {{1, -2, 2, 3}, false, 2, {1, -2, 3}},
      {{1, -2, 2, 3}, false, -2, {1, 3, 2}}, {{1, 2, -1, 3}, true, 1, {3, 2}},
      {{4, 5, 6}, false, 4, {6, 5}},         {{4, 5, 6}, false, 6, {4, 5}},
      {{4, 5, 6}, false, -4, {4, 5, 6}},  // absent literal: unchanged
      {{4, 5, 6}, true, 9, {4, 5, 6}},    // absent variable: unchanged
  };
  for (const Row& row : rows) {
    WorkingClause c = clause(row.before);
    if (row.by_variable)
      c.remove(static_cast<unsigned>(row.what));
    else
      c.remove(Literal(row.what));
    EXPECT_EQ(dimacs(c), row.after) << c.to_string() << " removing " << row.what;
    EXPECT_EQ(c.size(), row.after.size());
  }
}

// Levels of the worked example: 1 and 2 existential on level 0, 3 universal
// on level 1, 4 existential on level 2, 5 universal on level 3; and 6,
// universal on level 1 beside 3.
struct Prefix {
  std::vector<unsigned> levels{0, 0, 0, 1, 2, 3, 1};
  std::vector<Quantifier> variables{{Quantifier::UNDEFINED},   {Quantifier::EXISTENTIAL},
                                    {Quantifier::EXISTENTIAL}, {Quantifier::UNIVERSAL},
                                    {Quantifier::EXISTENTIAL}, {Quantifier::UNIVERSAL},
                                    {Quantifier::UNIVERSAL}};
};

TEST(WorkingClause, UniversalReductionKeepsTheSwapOrder) {
  const Prefix prefix;
  struct Row {
    std::vector<int> before;
    std::vector<int64_t> after;
  };
  const std::vector<Row> rows = {
      {{1, 3, 5}, {1}},
      {{3, 4, 5}, {3, 4}},
      {{3, -5}, {}},
      {{-5, 5, 4}, {4}},
      // 5 goes first (deepest), then 3; each removal swaps the last literal in.
      {{5, 1, 2, 3}, {2, 1}},
      {{3, 1, -5, 2}, {2, 1}},
      {{-3, 4, 1, 5}, {-3, 4, 1}},  // 4 is existential and deeper than 3: 3 stays
      // 3 and 6 share a level: the one met first goes first.
      {{3, 6, 1, 2}, {2, 1}},
      {{6, 3, 1, 2}, {2, 1}},
      {{6, -3, 1, 2, 3}, {2, 1}},
      {{1, 2}, {1, 2}},
      {{}, {}},
  };
  for (const Row& row : rows) {
    WorkingClause c = clause(row.before);
    c.reduce(Rule::CLAUSE, prefix.levels);
    EXPECT_EQ(dimacs(c), row.after) << clause(row.before).to_string();
    EXPECT_EQ(c.size(), row.after.size());
  }
}

TEST(WorkingClause, QResolutionOrderAndReduction) {
  const Prefix prefix;
  struct Row {
    std::vector<int> first, second;
    unsigned pivot;
    std::vector<int64_t> resolvent;
  };
  const std::vector<Row> rows = {
      // Union (1, 3, 2) loses the universal 3, deeper than 1 and 2.
      {{1, 4, 3}, {-4, 2}, 4, {1, 2}},
      {{-4, 2}, {1, 4, 3}, 4, {2, 1}},
      // A literal in both clauses stays once, at its place in the first.
      {{2, -4, 1}, {1, 4}, 4, {2, 1}},
      {{-1}, {1}, 1, {}},
      // Universal 5 is deeper than 4 and goes; 3 stays below existential 4.
      {{4, -1, 5}, {1, 3}, 1, {4, 3}},
  };
  std::vector<uint8_t> marks(32, 0);
  for (const Row& row : rows) {
    WorkingClause result = clause({7});
    EXPECT_EQ(resolve(Rule::CLAUSE, clause(row.first).view(), clause(row.second).view(), row.pivot,
                      prefix.levels, result, marks),
              ResolutionOutcome::RESOLVED);
    EXPECT_EQ(dimacs(result), row.resolvent);
    EXPECT_EQ(marks, std::vector<uint8_t>(32, 0));  // left all 0
  }
}

// A failed clash leaves the result empty; a tautological resolvent is
// computed and reported, so that a chain can be reproduced exactly.
TEST(WorkingClause, QResolutionFailures) {
  const Prefix prefix;
  struct Row {
    std::vector<int> first, second;
    unsigned pivot;
    ResolutionOutcome outcome;
    std::vector<int64_t> computed;  // resolvent reported with TAUTOLOGICAL
  };
  const std::vector<Row> rows = {
      {{1, 4}, {4, 2}, 4, ResolutionOutcome::NO_CLASH, {}},  // same sign
      {{1, 2}, {-4}, 4, ResolutionOutcome::NO_CLASH, {}},    // pivot only in one
      {{-4}, {1, 2}, 4, ResolutionOutcome::NO_CLASH, {}},
      {{1}, {2}, 4, ResolutionOutcome::NO_CLASH, {}},         // in neither
      {{4, -4}, {4, 2}, 4, ResolutionOutcome::NO_CLASH, {}},  // first occurrences agree
      // The union holds 2 and -2: refused, but reported with the resolvent.
      {{1, 2}, {-1, -2}, 1, ResolutionOutcome::TAUTOLOGICAL, {2, -2}},
      // (3, -3) would reduce to the empty clause: still a tautology.
      {{4, 3}, {-4, -3}, 4, ResolutionOutcome::TAUTOLOGICAL, {}},
      // A clause holding both pivot literals.
      {{1, 4, -4}, {-4, 2}, 4, ResolutionOutcome::TAUTOLOGICAL, {1, 2}},
      {{1, 4}, {-4, 2, 4}, 4, ResolutionOutcome::TAUTOLOGICAL, {1, 2}},
  };
  std::vector<uint8_t> marks(32, 0);
  for (const Row& row : rows) {
    const WorkingClause first = clause(row.first), second = clause(row.second);
    WorkingClause reported = clause({7, 1});
    EXPECT_EQ(resolve(Rule::CLAUSE, first.view(), second.view(), row.pivot, prefix.levels, reported, marks),
              row.outcome)
        << first.to_string() << " x " << second.to_string();
    EXPECT_EQ(dimacs(reported), row.computed);
    EXPECT_EQ(marks, std::vector<uint8_t>(32, 0));
    // The antecedents themselves are never changed.
    EXPECT_EQ(dimacs(first), std::vector<int64_t>(row.first.begin(), row.first.end()));
  }
}

// The dual rule on cubes: universal pivots, existential literals deeper
// than every universal one removed, by the same swap rule.
TEST(WorkingClause, CubeReductionAndResolution) {
  const Prefix prefix;
  struct ReductionRow {
    std::vector<int> before;
    std::vector<int64_t> after;
  };
  const std::vector<ReductionRow> reductions = {
      {{1, 3}, {1, 3}},      // 1 (level 0) is outer to 3 (level 1): stays
      {{3, 4}, {3}},         // 4 (level 2) is deeper than 3: goes
      {{1, -2}, {}},         // no universal literal: every existential goes
      {{4, 5}, {4, 5}},      // 5 (level 3) is deepest: nothing goes
      {{4, 1, 3}, {3, 1}},   // 4 goes, 3 swaps into its slot; 1 stays
      {{3, 5}, {3, 5}},      // universal literals are never reduced in a cube
      {{}, {}},
  };
  for (const ReductionRow& row : reductions) {
    WorkingClause c = clause(row.before);
    c.reduce(Rule::CUBE, prefix.levels);
    EXPECT_EQ(dimacs(c), row.after) << clause(row.before).to_string();
  }
  struct ResolutionRow {
    std::vector<int> first, second;
    unsigned pivot;
    ResolutionOutcome outcome;
    std::vector<int64_t> resolvent;
  };
  const std::vector<ResolutionRow> resolutions = {
      // Union (5, 1, 4): 5 is the deepest, so nothing goes.
      {{3, 5, 1}, {-3, 4}, 3, ResolutionOutcome::RESOLVED, {5, 1, 4}},
      // Union (6, 4, 2): 4 is deeper than 6 and goes, 2 swaps in.
      {{6, -3, 4}, {3, 2}, 3, ResolutionOutcome::RESOLVED, {6, 2}},
      // Union (1, 4) holds no universal: the empty cube.
      {{3, 1}, {-3, 4}, 3, ResolutionOutcome::RESOLVED, {}},
      // (1, -1) after the pivot: a contradictory cube, reported.
      {{5, 1}, {-5, -1}, 5, ResolutionOutcome::TAUTOLOGICAL, {}},
      {{3, 1}, {3, 2}, 3, ResolutionOutcome::NO_CLASH, {}},
  };
  std::vector<uint8_t> marks(32, 0);
  for (const ResolutionRow& row : resolutions) {
    WorkingClause result = clause({7});
    EXPECT_EQ(resolve(Rule::CUBE, clause(row.first).view(), clause(row.second).view(), row.pivot,
                      prefix.levels, result, marks),
              row.outcome)
        << clause(row.first).to_string() << " x " << clause(row.second).to_string();
    EXPECT_EQ(dimacs(result), row.resolvent);
    EXPECT_EQ(marks, std::vector<uint8_t>(32, 0));
  }
}

// The dual rule is the clause rule with the quantifiers swapped: shifting
// every level by one swaps them and keeps their order, so a cube resolution
// over some levels must give exactly (order included) the clause resolution
// over the shifted levels.
TEST(WorkingClause, CubeRuleIsTheClauseRuleWithQuantifiersSwapped) {
  zeltest::Random random(777);
  auto next = [&](uint64_t bound) { return random.below(bound); };
  for (int round = 0; round < 2000; ++round) {
    const unsigned variable_count = 8 + static_cast<unsigned>(next(60));
    std::vector<unsigned> levels(variable_count + 1, 0), shifted(variable_count + 1, 0);
    const unsigned level_count = 1 + static_cast<unsigned>(next(8));
    for (unsigned v = 1; v <= variable_count; ++v) {
      levels[v] = static_cast<unsigned>(next(level_count));
      shifted[v] = levels[v] + 1;
    }
    auto random_clause = [&](unsigned pivot, bool negative) {
      WorkingClause c;
      c.insert(Literal(pivot, negative));
      for (size_t i = next(round % 2 ? 12 : 60); i > 0; --i) {
        const int v = 1 + static_cast<int>(next(variable_count));
        if (static_cast<unsigned>(v) != pivot) c.insert(Literal(next(2) ? v : -v));
      }
      return c;
    };
    const unsigned pivot = 1 + static_cast<unsigned>(next(variable_count));
    const WorkingClause first = random_clause(pivot, false), second = random_clause(pivot, true);
    std::vector<uint8_t> marks(2 * variable_count + 2, 0);
    WorkingClause cube, clause_result;
    const ResolutionOutcome cube_outcome =
        resolve(Rule::CUBE, first.view(), second.view(), pivot, levels, cube, marks);
    const ResolutionOutcome clause_outcome =
        resolve(Rule::CLAUSE, first.view(), second.view(), pivot, shifted, clause_result, marks);
    ASSERT_EQ(cube_outcome, clause_outcome) << "round " << round;
    ASSERT_EQ(dimacs(cube), dimacs(clause_result)) << "round " << round;
    ASSERT_EQ(marks, std::vector<uint8_t>(marks.size(), 0));
  }
}

TEST(WorkingClause, TautologyAndAssign) {
  std::vector<uint8_t> marks(32, 0);
  EXPECT_FALSE(tautological(clause({1, -2, 3}).view(), marks));
  EXPECT_TRUE(tautological(clause({1, -2, -1}).view(), marks));
  EXPECT_FALSE(tautological(clause({}).view(), marks));
  EXPECT_EQ(marks, std::vector<uint8_t>(32, 0));  // left all 0
  WorkingClause c = clause({9, 8});
  const std::vector<Literal> source = zeltest::literals({-3, 4, 5});
  c.assign(ClauseView{source.data(), 3});
  EXPECT_EQ(dimacs(c), ints({-3, 4, 5}));
  EXPECT_TRUE(c.contains(Literal(4)));
  EXPECT_FALSE(c.contains(Literal(9)));
}

// Equal literal sets: duplicates in the listed literals count once, order
// does not matter, a missing or an extra literal (also one whose code lies
// beyond the marks) makes them differ; the marks are left all 0.
TEST(Rules, SameLiteralSet) {
  struct Row {
    std::vector<int> set, listed;
    bool same;
  };
  const Row rows[] = {
      {{1, -2, 3}, {3, 1, -2}, true},   {{1, -2, 3}, {1, 1, -2, 3, 3}, true},
      {{}, {}, true},                   {{1, -2, 3}, {1, -2}, false},
      {{1, -2}, {1, -2, 3}, false},     {{1, -2}, {1, 2}, false},
      {{1}, {1, 1000}, false},          {{}, {1000}, false},
      {{1, -2}, {-2, 1, -2, 1}, true},  {{1, 2, 3}, {1, 2, 2}, false},
  };
  std::vector<uint8_t> marks(32, 0);
  for (const Row& row : rows) {
    const std::vector<Literal> set = zeltest::literals(row.set);
    const std::vector<Literal> listed = zeltest::literals(row.listed);
    EXPECT_EQ(same_literal_set(ClauseView{set.data(), static_cast<uint32_t>(set.size())},
                               ClauseView{listed.data(), static_cast<uint32_t>(listed.size())},
                               marks),
              row.same)
        << ::testing::PrintToString(row.set) << " " << ::testing::PrintToString(row.listed);
    EXPECT_EQ(marks, std::vector<uint8_t>(32, 0));
  }
}

TEST(WorkingClause, TextualForm) {
  EXPECT_EQ(clause({1, -2, 3}).to_string(), "(1, -2, 3)");
  EXPECT_EQ(clause({}).to_string(), "()");
  EXPECT_EQ(clause({-7}).to_string(), "(-7)");
  EXPECT_EQ(clause({-2147483647, 2147483647}).to_string(), "(-2147483647, 2147483647)");
}

// A clause of 1,000,000 literals must be built in linear time, and lookups
// must stay right after removals reorder it. Built in linear time it takes
// 0.04 to 0.07 s (Release); a duplicate test by scanning would
// make 10^12 comparisons, minutes. The bound sits between, far from both,
// so that a loaded machine or a sanitizer build does not fail it.
TEST(WorkingClause, LongClauseStaysFastAndExact) {
  const auto start = std::chrono::steady_clock::now();
  WorkingClause c;
  const int n = 1000000;
  for (int v = 1; v <= n; ++v) ASSERT_TRUE(c.insert(Literal(v)));
  for (int v = 1; v <= n; ++v) ASSERT_FALSE(c.insert(Literal(v)));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(c.size(), static_cast<unsigned>(n));
  EXPECT_TRUE(c.contains(Literal(n)));
  EXPECT_TRUE(c.contains(Literal(50000)));
  EXPECT_FALSE(c.contains(Literal(-5)));
  EXPECT_FALSE(c.contains(Literal(n + 1)));

  EXPECT_TRUE(c.insert(Literal(-5)));
  EXPECT_EQ(c.literals.back().to_dimacs(), -5);
  c.remove(5u);  // both signs; -5 (last) lands in slot 4 and is removed again
  EXPECT_FALSE(c.contains(Literal(5)));
  EXPECT_FALSE(c.contains(Literal(-5)));
  EXPECT_EQ(c.size(), static_cast<unsigned>(n - 1));
  EXPECT_EQ(c.literals[4].to_dimacs(), n);

  c.remove(Literal(1));  // the last literal, n - 1, moves into slot 0
  EXPECT_EQ(c.literals[0].to_dimacs(), n - 1);
  EXPECT_FALSE(c.contains(Literal(1)));
  EXPECT_TRUE(c.contains(Literal(n)));
  EXPECT_TRUE(c.insert(Literal(1)));
  EXPECT_FALSE(c.insert(Literal(n)));
  EXPECT_EQ(c.literals.back().to_dimacs(), 1);
}

// Just above the length where a clause may switch its lookup strategy.
TEST(WorkingClause, MediumClauseAfterRemovalAndClear) {
  for (int length = 10; length <= 40; ++length) {
    WorkingClause c;
    for (int v = 1; v <= length; ++v) c.insert(Literal(v));
    c.remove(Literal(1));
    EXPECT_EQ(c.literals[0].to_dimacs(), length);
    EXPECT_FALSE(c.contains(Literal(1)));
    EXPECT_TRUE(c.insert(Literal(1)));
    EXPECT_FALSE(c.insert(Literal(1)));
    EXPECT_TRUE(c.insert(Literal(-1)));
    c.clear();
    EXPECT_FALSE(c.contains(Literal(2)));
    EXPECT_TRUE(c.insert(Literal(2)));
    EXPECT_EQ(c.size(), 1u);
  }
}

}  // namespace

// Long clauses that lose many variables are reduced and pruned through a slot
// map instead of repeated scans. The result must be the one of the plain
// rules, order included: compare with a direct rendering of those rules on
// random clauses over a prefix of many alternating levels.
namespace {

void plain_remove(std::vector<Literal>& literals, unsigned variable) {
  size_t i = 0;
  while (i < literals.size()) {
    if (literals[i].variable() == variable) {
      literals[i] = literals.back();
      literals.pop_back();
    } else {
      ++i;
    }
  }
}

// While the deepest literal (the first met among those of greatest level)
// has the `reduced` quantifier, its variable goes.
void plain_reduce(std::vector<Literal>& literals, const std::vector<unsigned>& levels,
                  const std::vector<Quantifier>& records,
                  Quantifier::Type reduced = Quantifier::UNIVERSAL) {
  while (!literals.empty()) {
    unsigned deepest = literals.front().variable();
    for (const Literal& literal : literals)
      if (levels[literal.variable()] > levels[deepest]) deepest = literal.variable();
    if (records[deepest].type != reduced) return;
    plain_remove(literals, deepest);
  }
}

std::vector<int64_t> codes(const std::vector<Literal>& literals) {
  std::vector<int64_t> result;
  for (const Literal& literal : literals) result.push_back(literal.to_dimacs());
  return result;
}

}  // namespace

// Many literals going on a few levels take one scan per level, deepest
// first; on more levels, or with a complementary pair among them, the heap.
// Clauses of distinct variables whose universal literals sit on 1 to 12
// levels below every existential one (and the dual for cubes), a third of
// them with complementary pairs: the plain rules' result, order included.
TEST(WorkingClause, ManyLiteralsOnFewLevelsMatchThePlainRules) {
  zeltest::Random random(2026);
  auto next = [&](uint64_t bound) { return random.below(bound); };
  for (int round = 0; round < 3000; ++round) {
    const unsigned variable_count = 300;
    const Rule rule = round % 2 ? Rule::CUBE : Rule::CLAUSE;
    // The quantifier that goes: universal (odd levels) for clauses,
    // existential (even levels) for cubes; the other kind stays on the
    // outermost level of its parity, so every literal of the first kind goes.
    const unsigned removed_levels = 1 + static_cast<unsigned>(next(12));
    const unsigned removed_parity = rule == Rule::CLAUSE ? 1 : 0;
    std::vector<unsigned> levels(variable_count + 1, 0);
    std::vector<Quantifier> records(variable_count + 1);
    for (unsigned v = 1; v <= variable_count; ++v) {
      const bool goes = next(3) != 0;
      levels[v] = goes ? 2 + removed_parity + 2 * static_cast<unsigned>(next(removed_levels))
                       : 1 - removed_parity;
      records[v] = {levels[v] % 2 ? Quantifier::UNIVERSAL : Quantifier::EXISTENTIAL};
    }
    std::vector<unsigned> order(variable_count);
    for (unsigned v = 0; v < variable_count; ++v) order[v] = v + 1;
    for (unsigned i = variable_count - 1; i > 0; --i) std::swap(order[i], order[next(i + 1)]);
    WorkingClause clause;
    const size_t length = 17 + next(250);
    for (size_t i = 0; i < length; ++i)
      clause.insert(Literal(next(2) ? static_cast<int>(order[i]) : -static_cast<int>(order[i])));
    if (round % 3 == 0)  // complementary pairs
      for (size_t i = next(4) + 1; i > 0; --i) clause.insert(clause.literals[next(length)].complement());
    std::vector<Literal> expected = clause.literals;
    clause.reduce(rule, levels);
    plain_reduce(expected, levels, records,
                 rule == Rule::CLAUSE ? Quantifier::UNIVERSAL : Quantifier::EXISTENTIAL);
    ASSERT_EQ(codes(clause.literals), codes(expected)) << "round " << round;
  }
}

// Short and long clauses, few and many literals removed: both the linear
// list and the sorted list with its heap must give the plain rules' result,
// order included.
TEST(WorkingClause, ReductionAndRemovalMatchThePlainRules) {
  zeltest::Random random(12345);
  auto next = [&](uint64_t bound) { return random.below(bound); };
  for (int round = 0; round < 3000; ++round) {
    const unsigned variable_count = 20 + static_cast<unsigned>(next(120));
    std::vector<uint8_t> marks(2 * variable_count + 2, 0);
    const unsigned level_count = 1 + static_cast<unsigned>(next(12));
    std::vector<unsigned> levels(variable_count + 1, 0);
    std::vector<Quantifier> records(variable_count + 1);
    for (unsigned v = 1; v <= variable_count; ++v) {
      levels[v] = static_cast<unsigned>(next(level_count));
      records[v] = {levels[v] % 2 ? Quantifier::UNIVERSAL : Quantifier::EXISTENTIAL};
    }
    WorkingClause clause;
    const size_t length = round % 2 ? 1 + next(16) : 17 + next(200);
    for (size_t i = 0; i < length; ++i) {
      const int v = 1 + static_cast<int>(next(variable_count));
      clause.insert(Literal(next(2) ? v : -v));
    }
    std::vector<Literal> expected = clause.literals;

    WorkingClause reduced = clause;
    reduced.reduce(Rule::CLAUSE, levels);
    plain_reduce(expected, levels, records);
    ASSERT_EQ(codes(reduced.literals), codes(expected)) << "round " << round;
    ASSERT_EQ(reduced.size(), expected.size());
    // The dual: existential literals deeper than every universal one go.
    WorkingClause cube = clause;
    cube.reduce(Rule::CUBE, levels);
    expected = clause.literals;
    plain_reduce(expected, levels, records, Quantifier::EXISTENTIAL);
    ASSERT_EQ(codes(cube.literals), codes(expected)) << "round " << round;

    std::vector<unsigned> removed;
    for (size_t i = next(40); i > 0; --i) removed.push_back(1 + static_cast<unsigned>(next(variable_count)));
    WorkingClause pruned = clause;
    pruned.remove_variables(removed, marks);
    ASSERT_EQ(marks, std::vector<uint8_t>(marks.size(), 0));
    expected = clause.literals;
    for (unsigned v : removed) plain_remove(expected, v);
    ASSERT_EQ(codes(pruned.literals), codes(expected)) << "round " << round;
    ASSERT_EQ(pruned.size(), expected.size());
  }
}
