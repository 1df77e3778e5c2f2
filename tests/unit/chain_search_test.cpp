// The sound-chain search: small steps with known answers; random sound
// linear chains of 16 to 64 antecedents, listed in adversarial orders
// (reversed, shuffled), checked as whole steps: where the backward ordering
// runs into a tautological resolution, the search must find a sound chain
// with work far below its bound; chains made unsound by one added literal
// must not be found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "proof/chain_search.hpp"
#include "proof/proof_checker.hpp"
#include "support.hpp"

namespace {

// A prefix as level and quantifier tables indexed by variable.
struct Prefix {
  std::vector<unsigned> levels;
  std::vector<Quantifier> quantifiers;

  void add(unsigned variable, unsigned level) {
    if (levels.size() <= variable) {
      levels.resize(variable + 1, 0);
      quantifiers.resize(variable + 1);
    }
    levels[variable] = level;
    quantifiers[variable] = Quantifier{level % 2 ? Quantifier::UNIVERSAL : Quantifier::EXISTENTIAL};
  }
};

std::vector<Literal> literals(const std::vector<int>& dimacs) {
  std::vector<Literal> result;
  for (int value : dimacs) result.push_back(Literal(value));
  return result;
}

struct Step {
  std::vector<std::vector<Literal>> antecedents;
  std::vector<Literal> target;
};

// The chain a search reports found, replayed through the formula's one
// resolution rule: each resolution is on an existential pivot, clashes and
// is not tautological, and the last resolvent lies inside the target. This
// guards against the search and the rule drifting apart.
void expect_replays(const ChainSearch& chain_search, const Step& step, const Prefix& prefix) {
  const std::vector<uint32_t>& chain = chain_search.chain();
  const std::vector<unsigned>& pivots = chain_search.chain_pivots();
  ASSERT_FALSE(chain.empty());
  ASSERT_EQ(pivots.size() + 1, chain.size());
  auto view = [&](uint32_t antecedent) {
    const std::vector<Literal>& clause = step.antecedents.at(antecedent);
    return ClauseView{clause.data(), static_cast<uint32_t>(clause.size())};
  };
  std::vector<uint8_t> marks(2 * prefix.levels.size() + 2, 0);
  std::vector<uint8_t> used(step.antecedents.size(), 0);
  WorkingClause running, result;
  running.assign(view(chain[0]));
  used[chain[0]] = 1;
  for (size_t i = 1; i < chain.size(); ++i) {
    EXPECT_EQ(used[chain[i]], 0) << "antecedent " << chain[i] << " used twice";
    used[chain[i]] = 1;
    EXPECT_TRUE(is_pivot_level(Rule::CLAUSE, prefix.levels[pivots[i - 1]])) << pivots[i - 1];
    EXPECT_EQ(resolve(Rule::CLAUSE, running.view(), view(chain[i]), pivots[i - 1], prefix.levels,
                      result, marks),
              ResolutionOutcome::RESOLVED)
        << running.to_string() << " x antecedent " << chain[i] << " on " << pivots[i - 1];
    std::swap(running, result);
  }
  for (const Literal& literal : running.literals)
    EXPECT_NE(std::find(step.target.begin(), step.target.end(), literal), step.target.end())
        << literal.to_dimacs() << " of " << running.to_string() << " outside the target";
}

// Runs the search; a chain it reports found must replay.
ChainSearch::Result search(ChainSearch& chain_search, const Step& step, const Prefix& prefix,
                           uint64_t budget = 20000000) {
  std::vector<ClauseView> views;
  for (const auto& clause : step.antecedents)
    views.push_back(ClauseView{clause.data(), static_cast<uint32_t>(clause.size())});
  const ChainSearch::Result result = chain_search.run(
      views, ClauseView{step.target.data(), static_cast<uint32_t>(step.target.size())},
      prefix.levels, budget);
  if (result == ChainSearch::FOUND) expect_replays(chain_search, step, prefix);
  return result;
}

// Prefix of the small cases: 1, 2 existential (level 0), 3 universal
// (level 1), 4, 5 existential (level 2).
Prefix small_prefix() {
  Prefix prefix;
  for (unsigned v : {1u, 2u}) prefix.add(v, 0);
  prefix.add(3, 1);
  for (unsigned v : {4u, 5u}) prefix.add(v, 2);
  return prefix;
}

TEST(ChainSearch, SmallSteps) {
  struct Row {
    std::string name;
    std::vector<std::vector<int>> antecedents;
    std::vector<int> target;
    ChainSearch::Result result;
  };
  const std::vector<Row> rows = {
      {"OneResolution", {{1, 2}, {-1, 2}}, {2}, ChainSearch::FOUND},
      {"AntecedentAlreadyInside", {{1, 4}, {2}}, {2, 5}, ChainSearch::FOUND},
      // (3, 4) x (-4) is (3), reduced to the empty clause.
      {"ReductionEmpties", {{3, 4}, {-4}}, {}, ChainSearch::FOUND},
      // (1, 2) and (-1, -2) clash twice: no resolution is allowed.
      {"DoubleClash", {{1, 2}, {-1, -2}}, {}, ChainSearch::NONE},
      // Pivots must be existential: (3, 1) x (-3, 1) is refused.
      {"UniversalPivot", {{3, 1}, {-3, 1}}, {1}, ChainSearch::NONE},
      // (-3, 4) x (3, 5) on nothing existential; (-3, 4) x (-4) gives (-3)
      // reduced to the empty clause, which is inside any target.
      {"ReductionInTheMiddle", {{-3, 4}, {3, 5}, {-4}}, {5}, ChainSearch::FOUND},
      // The tautological order (3, 4) x (-3, -4) is refused; the sound
      // chain needs (-5) first: (3, 4, 5) x (-5) = (3, 4) x (-4) = ().
      {"SoundOrderExists", {{-3, -4}, {3, 4, 5}, {-5}, {-4}}, {}, ChainSearch::FOUND},
      // A tautological antecedent is never used.
      {"TautologicalAntecedent", {{1, -1}, {2}}, {1}, ChainSearch::NONE},
  };
  const Prefix prefix = small_prefix();
  ChainSearch chain_search;
  for (const Row& row : rows) {
    Step step;
    for (const auto& clause : row.antecedents) step.antecedents.push_back(literals(clause));
    step.target = literals(row.target);
    EXPECT_EQ(search(chain_search, step, prefix), row.result) << row.name;
  }
}

// A random sound linear chain: a start clause, then antecedents that each
// clash with the running clause on one existential literal of it, bring new
// literals that clash with nothing, and never bring back a variable already
// resolved. The target is the final running clause.
struct Generated {
  Prefix prefix;
  Step step;
};

bool generate(std::mt19937& random, unsigned length, Generated& out) {
  const unsigned variables = 30 + random() % 60;
  Prefix& prefix = out.prefix;
  prefix = Prefix();
  // Variables 1 to 5 stand on levels 0 to 4, so that no level is empty.
  for (unsigned v = 1; v <= variables; ++v) prefix.add(v, v <= 5 ? v - 1 : random() % 5);
  auto existential = [&](int literal) {
    return prefix.quantifiers[static_cast<unsigned>(std::abs(literal))].type ==
           Quantifier::EXISTENTIAL;
  };
  auto reduce = [&](std::vector<int>& clause) {
    int deepest = -1;
    for (int l : clause)
      if (existential(l)) deepest = std::max(deepest, static_cast<int>(prefix.levels[std::abs(l)]));
    clause.erase(std::remove_if(clause.begin(), clause.end(),
                                [&](int l) {
                                  return !existential(l) &&
                                         static_cast<int>(prefix.levels[std::abs(l)]) > deepest;
                                }),
                 clause.end());
  };
  auto contains = [](const std::vector<int>& clause, int l) {
    return std::find(clause.begin(), clause.end(), l) != clause.end();
  };
  std::set<int> resolved;  // pivot variables so far
  auto fresh_literals = [&](unsigned count, const std::vector<int>& avoid) {
    std::vector<int> result;
    for (unsigned attempt = 0; attempt < 3 * count && result.size() < count; ++attempt) {
      const int v = static_cast<int>(1 + random() % variables);
      const int l = random() % 2 ? v : -v;
      if (resolved.count(v) || contains(result, l) || contains(result, -l) || contains(avoid, -l))
        continue;
      result.push_back(l);
    }
    return result;
  };

  std::vector<int> running = fresh_literals(3 + random() % 6, {});
  reduce(running);
  std::vector<std::vector<int>> chain = {running};
  for (unsigned i = 1; i < length; ++i) {
    std::vector<int> pivots;
    for (int l : running)
      if (existential(l)) pivots.push_back(l);
    if (pivots.empty()) return false;
    const int pivot = pivots[random() % pivots.size()];
    resolved.insert(std::abs(pivot));
    std::vector<int> antecedent = fresh_literals(random() % 6, running);
    antecedent.erase(std::remove_if(antecedent.begin(), antecedent.end(),
                                    [&](int l) { return std::abs(l) == std::abs(pivot); }),
                     antecedent.end());
    antecedent.insert(antecedent.begin() + random() % (antecedent.size() + 1), -pivot);
    std::vector<int> next;
    for (int l : running)
      if (l != pivot) next.push_back(l);
    for (int l : antecedent)
      if (l != -pivot && !contains(next, l)) next.push_back(l);
    reduce(next);
    chain.push_back(antecedent);
    running = next;
  }
  out.step.antecedents.clear();
  for (const auto& clause : chain) out.step.antecedents.push_back(literals(clause));
  out.step.target = literals(running);
  return true;
}

// Loads the generated prefix and clauses into a formula: the prefix block
// by block (every level holds a variable), the antecedents as its clauses
// 1..n.
void load(QCNF& formula, const Generated& generated) {
  const Prefix& prefix = generated.prefix;
  for (unsigned level = 0; level < 5; ++level)
    for (unsigned v = 1; v < prefix.levels.size(); ++v) {
      if (prefix.levels[v] != level) continue;
      ASSERT_FALSE(formula.new_variable(v, prefix.quantifiers[v].type, false));
    }
  for (const auto& antecedent : generated.step.antecedents) formula.clauses.push(antecedent);
}

// Whole steps: the backward ordering first, the search where the order it
// found makes a tautological resolution. Listed reversed or shuffled, every
// such step must stand, with work far below the search's bound.
TEST(ChainSearch, StepsWhoseOrderingIsTautological) {
  std::mt19937 random(20261208);
  const uint64_t step_bound = 100000000;  // the bound of a step in literals touched
  unsigned searched = 0;
  uint64_t most_work = 0;
  for (unsigned chains = 0; chains < 3000;) {
    Generated generated;
    if (!generate(random, 16 + random() % 49, generated)) continue;
    ++chains;
    for (int order = 0; order < 2; ++order) {
      QCNF formula;
      load(formula, generated);
      ProofChecker proof(formula, ProofChecker::Options());
      StepEntry step;
      step.number = static_cast<uint32_t>(generated.step.antecedents.size()) + 1;
      for (const Literal& literal : generated.step.target) step.resolvent.insert(literal);
      for (uint32_t i = 1; i < step.number; ++i) step.antecedents.push_back(i);
      if (order == 0) std::reverse(step.antecedents.begin(), step.antecedents.end());
      if (order == 1) std::shuffle(step.antecedents.begin(), step.antecedents.end(), random);
      const std::string error = zeltest::message_of([&] { proof.check_step(step); });
      // Orders in which universal reduction leaves other literals, or that
      // the backward ordering cannot place, fail before any search.
      const ProofStatistics& statistics = proof.statistics();
      if (statistics.chain_searches == 0) {
        EXPECT_EQ(statistics.chain_search_work, 0u);
        continue;
      }
      ++searched;
      EXPECT_EQ(error, "<no exception>") << "chain " << chains << " order " << order;
      EXPECT_TRUE(proof.defined(step.number));
      EXPECT_GT(statistics.chain_search_work, 0u);
      most_work = std::max(most_work, statistics.chain_search_work);
    }
  }
  EXPECT_GE(searched, 100u);
  EXPECT_LT(most_work, step_bound / 20);
}

// Random sound chains searched directly in adversarial orders: the search
// finds each, and (through search) every chain it reports replays through
// the resolution rule to a subset of the target.
TEST(ChainSearch, FoundChainsReplayThroughTheRule) {
  std::mt19937 random(424242);
  ChainSearch chain_search;
  unsigned found = 0;
  for (unsigned chains = 0; chains < 300;) {
    Generated generated;
    if (!generate(random, 4 + random() % 40, generated)) continue;
    ++chains;
    Step step = generated.step;
    if (chains % 2) std::reverse(step.antecedents.begin(), step.antecedents.end());
    else std::shuffle(step.antecedents.begin(), step.antecedents.end(), random);
    const ChainSearch::Result result = search(chain_search, step, generated.prefix);
    EXPECT_EQ(result, ChainSearch::FOUND) << "chain " << chains;
    found += result == ChainSearch::FOUND;
  }
  EXPECT_EQ(found, 300u);
}

// The same chains with an existential literal outside the target added to
// the last antecedent that nothing can resolve away: no chain reaches a
// subset of the target, and the search says so without exhausting its
// bound.
TEST(ChainSearch, UnsoundChainsAreRefused) {
  std::mt19937 random(7);
  ChainSearch chain_search;
  unsigned chains = 0;
  while (chains < 100) {
    Generated generated;
    if (!generate(random, 16 + random() % 49, generated)) continue;
    // A fresh existential variable, beyond every other.
    const unsigned extra = static_cast<unsigned>(generated.prefix.levels.size());
    generated.prefix.add(extra, 4);
    generated.step.antecedents.back().push_back(Literal(static_cast<int>(extra)));
    // Every antecedent now has to be usable without the last one.
    ++chains;
    Step step = generated.step;
    std::shuffle(step.antecedents.begin(), step.antecedents.end(), random);
    const ChainSearch::Result result = search(chain_search, step, generated.prefix);
    EXPECT_NE(result, ChainSearch::FOUND) << "chain " << chains;
  }
}

TEST(ChainSearch, BudgetIsKept) {
  // Eighteen unit clauses that resolve the start clause in any order, and a
  // last clause that clashes twice: no chain, and 2^18 orders to refute.
  Prefix prefix;
  for (unsigned v = 1; v <= 18; ++v) prefix.add(v, 0);
  prefix.add(19, 1);
  prefix.add(20, 2);
  Step step;
  std::vector<int> start = {19, 20};
  for (int v = 1; v <= 18; ++v) start.push_back(v);
  step.antecedents.push_back(literals(start));
  for (int v = 1; v <= 18; ++v) step.antecedents.push_back(literals({-v}));
  step.antecedents.push_back(literals({-19, -20}));
  ChainSearch chain_search;
  const uint64_t budget = 100000;
  EXPECT_EQ(search(chain_search, step, prefix, budget), ChainSearch::EXHAUSTED);
  // The bound is checked before each step of the search, whose largest
  // single step here touches a few hundred literals.
  EXPECT_LT(chain_search.work(), budget + 1000);
}

}  // namespace
