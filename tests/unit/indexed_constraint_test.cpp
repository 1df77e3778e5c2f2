// The indexed constraint against the working clause's resolution: random
// chains of resolutions, clauses and cubes, on prefixes of many levels must
// give the same sets and the same refusals; and the level set against a
// plain array.
#include "formula/indexed_constraint.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "formula/working_clause.hpp"
#include "support.hpp"

namespace {

struct Random {
  uint64_t state;
  uint32_t operator()(uint32_t range) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>((state >> 33) % range);
  }
};

std::vector<Literal> sorted(std::vector<Literal> literals) {
  std::sort(literals.begin(), literals.end(),
            [](const Literal& a, const Literal& b) { return a.code < b.code; });
  return literals;
}

TEST(LevelSet, DeepestBelowAgreesWithAPlainArray) {
  Random random{7};
  for (unsigned size : {1u, 63u, 64u, 65u, 4097u, 300000u}) {
    LevelSet set;
    set.reset(size);
    std::vector<bool> member(size, false);
    for (int round = 0; round < 3000; ++round) {
      const unsigned level = random(size);
      if (random(3) == 0) {
        set.erase(level);
        member[level] = false;
      } else {
        set.insert(level);
        member[level] = true;
      }
      const unsigned below = random(size + 2);
      unsigned wanted = LevelSet::kNone;
      for (unsigned l = std::min(below, size); l-- > 0;)
        if (member[l]) {
          wanted = l;
          break;
        }
      ASSERT_EQ(set.deepest_below(below), wanted) << size << " below " << below;
    }
  }
}

// A chain resolved step by step by the working clause (in place once the
// running clause is pair-free, as the QRP checker does) and by the indexed
// constraint: the same pivots and refusals, the same sets.
TEST(IndexedConstraint, ChainsAgreeWithTheWorkingClause) {
  Random random{2026};
  const unsigned variables = 40;
  size_t resolutions = 0, reductions = 0, refusals = 0;
  for (int round = 0; round < 4000; ++round) {
    const Rule rule = round % 2 ? Rule::CUBE : Rule::CLAUSE;
    // Levels of few or many blocks.
    const unsigned blocks = 1 + random(round % 3 == 0 ? 30 : 5);
    std::vector<unsigned> levels(variables + 1, 0);
    for (unsigned v = 1; v <= variables; ++v) levels[v] = random(blocks);
    std::vector<uint8_t> marks(2 * variables + 2, 0);
    const auto random_constraint = [&](uint32_t most) {
      std::vector<int> numbers(1 + random(most));
      for (int& number : numbers)
        number = static_cast<int>(random(variables) + 1) * (random(2) ? 1 : -1);
      return zeltest::literals(numbers);
    };
    const std::vector<Literal> first = random_constraint(20);
    IndexedConstraint indexed;
    indexed.reset(marks.size(), levels);
    WorkingClause working;
    working.assign(ClauseView{first.data(), static_cast<uint32_t>(first.size())});
    if (!indexed.load(working.view(), levels)) {
      // A pair in the first constraint: nothing loaded.
      EXPECT_EQ(indexed.size(), 0u);
      continue;
    }
    // The working clause without duplicates, as a stored constraint is.
    std::vector<Literal> distinct;
    indexed.take(distinct, levels);
    ASSERT_TRUE(indexed.load(ClauseView{distinct.data(), static_cast<uint32_t>(distinct.size())},
                             levels));
    working.assign(ClauseView{distinct.data(), static_cast<uint32_t>(distinct.size())});
    for (int link = 0; link < 12; ++link) {
      const std::vector<Literal> second = random_constraint(6);
      const ClauseView b{second.data(), static_cast<uint32_t>(second.size())};
      const uint32_t before = working.size();
      const unsigned expected = resolve_single_clash_in_place(rule, working, b, levels, marks);
      const unsigned got = indexed.resolve(rule, b, levels, marks);
      ASSERT_EQ(got, expected);
      ASSERT_TRUE(std::all_of(marks.begin(), marks.end(), [](uint8_t m) { return m == 0; }));
      if (got == 0) {
        ++refusals;
        continue;
      }
      ++resolutions;
      reductions += working.size() + 1 < before + second.size();
      std::vector<Literal> taken;
      indexed.take(taken, levels);
      ASSERT_EQ(sorted(taken), sorted(working.literals));
      ASSERT_TRUE(indexed.load(ClauseView{taken.data(), static_cast<uint32_t>(taken.size())},
                               levels));
    }
    indexed.reduce(rule, levels);
    working.reduce(rule, levels);
    std::vector<Literal> taken;
    indexed.take(taken, levels);
    EXPECT_EQ(sorted(taken), sorted(working.literals));
  }
  // Every path is taken often.
  EXPECT_GT(resolutions, 2000u);
  EXPECT_GT(reductions, 500u);
  EXPECT_GT(refusals, 2000u);
}

}  // namespace
