// The derivations of chain and merge steps and the record they are replayed
// from. Hand-made cases pin each derivation's clause, literal order, pivots
// and reductions; random proofs (small prefixes, chains in listed, reversed
// and shuffled orders, merges, steps taken on trust, extension definitions,
// steps and definitions held back to the conclusion) are checked, then every
// recorded step is replayed through the derivations, with and without a
// strategy, and must give the stored clause, which must be the clause an
// independent Q-resolution in this file computes.
#include "proof/derivation.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "proof/proof_checker.hpp"
#include "proof/refutation.hpp"
#include "support.hpp"

namespace {

using zeltest::dimacs;
using zeltest::message_of;
using zeltest::Random;

constexpr Quantifier::Type E = Quantifier::EXISTENTIAL;
constexpr Quantifier::Type A = Quantifier::UNIVERSAL;

// ---- hand-made cases --------------------------------------------------------

// A formula over `prefix` (variable, quantifier; outermost first) and the
// clauses as stored views.
struct Fixture {
  explicit Fixture(const std::vector<std::pair<unsigned, Quantifier::Type>>& prefix) {
    for (const auto& [variable, type] : prefix)
      EXPECT_FALSE(formula.new_variable(variable, type, false));
  }
  std::vector<ClauseView> views(const std::vector<std::vector<int>>& clauses) {
    for (const auto& c : clauses) formula.clauses.push(zeltest::literals(c));
    std::vector<ClauseView> result;
    widened.clear();
    widened.reserve(1024);
    for (uint32_t i = 0; i < formula.clauses.size(); ++i)
      result.push_back(formula.clauses.read(i, widened));
    work.cover(64);
    return result;
  }
  QCNF formula;
  PodVector<Literal> widened;
  DerivationWork work;
};

// The strategy's rules as "removed literal | kept literals" lines.
std::vector<std::string> rules_of(const Strategy& strategy) {
  std::vector<std::string> rules;
  for (const Strategy::Entry& entry : strategy.entries()) {
    std::ostringstream line;
    line << entry.removed.to_dimacs() << " |";
    for (const Literal& literal : strategy.condition(entry.condition))
      line << ' ' << literal.to_dimacs();
    rules.push_back(line.str());
  }
  return rules;
}

struct ChainCase {
  std::string name;
  std::vector<std::pair<unsigned, Quantifier::Type>> prefix;
  std::vector<std::vector<int>> clauses;  // the chain, in order
  std::vector<unsigned> pivots;
  bool clashed, tautological;
  std::vector<int64_t> derived;         // in the checker's order
  std::vector<int64_t> derived_kept;    // with a strategy: in the union's order
  std::vector<std::string> rules;       // the strategy's rules
};

void PrintTo(const ChainCase& c, std::ostream* out) { *out << c.name; }

class Chains : public ::testing::TestWithParam<ChainCase> {};

TEST_P(Chains, DeriveWithAndWithoutStrategy) {
  const ChainCase& c = GetParam();
  Fixture fixture(c.prefix);
  const std::vector<ClauseView> chain = fixture.views(c.clauses);
  const ChainDerivation plain = derive_chain(fixture.formula.levels, chain.data(), chain.size(),
                                             c.pivots.data(), fixture.work, nullptr);
  EXPECT_EQ(plain.clashed, c.clashed);
  EXPECT_EQ(plain.tautological, c.tautological);
  if (c.clashed) {
    EXPECT_EQ(dimacs(plain.clause), c.derived);
  }
  Strategy strategy(Rule::CLAUSE);
  const ChainDerivation replayed = derive_chain(fixture.formula.levels, chain.data(),
                                                chain.size(), c.pivots.data(), fixture.work,
                                                &strategy);
  EXPECT_EQ(replayed.clashed, c.clashed);
  EXPECT_EQ(replayed.tautological, c.tautological);
  if (c.clashed) {
    EXPECT_EQ(dimacs(replayed.clause), c.derived_kept);
  }
  EXPECT_EQ(rules_of(strategy), c.rules);
  EXPECT_TRUE(std::all_of(fixture.work.marks.begin(), fixture.work.marks.end(),
                          [](uint8_t mark) { return mark == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Derivation, Chains,
    ::testing::Values(
        ChainCase{"OneResolution", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {-1, 3}}, {1}, true, false,
                  {3, 2}, {3, 2}, {}},
        ChainCase{"Single", {{1, E}, {2, E}}, {{1, 2}}, {}, true, false, {1, 2}, {1, 2}, {}},
        // Resolving (1 2 3) with (-3 1) on 3 leaves (1 2): universal 2
        // lies deeper than every existential literal and goes.
        ChainCase{"ReductionAfterResolution",
                  {{1, E}, {2, A}, {3, E}},
                  {{1, 2, 3}, {-3, 1}},
                  {3},
                  true,
                  false,
                  {1},
                  {1},
                  {"2 | 1"}},
        // Each reduction inside a chain reaches the strategy with the
        // clause it keeps: (5 1 4) with (-5 3 2) on 5 drops 4 below 3, the
        // result with (-3 1) on 3 drops 2 below 1.
        ChainCase{"TwoReductions",
                  {{1, E}, {2, A}, {3, E}, {4, A}, {5, E}},
                  {{5, 1, 4}, {-5, 3, 2}, {-3, 1}},
                  {5, 3},
                  true,
                  false,
                  {1},
                  {1},
                  {"4 | 3 2 1", "2 | 1"}},
        // The union of (-6 5 4) and (4 6 1 2) on 6 is (5 4 1 2): 5 and 2
        // go. Reduction moves the last literal into each freed slot,
        // deepest first, giving (1 4); the strategy keeps the union's
        // order, (4 1).
        ChainCase{"OrderOfTheKeptLiterals",
                  {{1, E}, {4, E}, {2, A}, {3, E}, {5, A}, {6, E}},
                  {{3, 1, 2}, {-3, 4, 6}, {-6, 5, 4}},
                  {3, 6},
                  true,
                  false,
                  {1, 4},
                  {4, 1},
                  {"5 | 4 1", "2 | 4 1"}},
        ChainCase{"NoClash", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {1, 3}}, {1}, false, false, {}, {},
                  {}},
        ChainCase{"Tautological", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {-1, -2, 3}}, {1}, true,
                  true, {-2, 3, 2}, {-2, 3, 2}, {}}));

struct MergeCase {
  std::string name;
  std::vector<std::pair<unsigned, Quantifier::Type>> prefix;
  std::vector<std::vector<int>> clauses;
  MergeOutcome outcome;
  std::vector<unsigned> pivots;
  std::vector<int64_t> merged;        // the merged clause returned
  std::vector<int64_t> derived;       // the checker's order (MERGED only)
  std::vector<int64_t> derived_kept;  // with a strategy (MERGED only)
  std::vector<std::string> rules;
};

void PrintTo(const MergeCase& c, std::ostream* out) { *out << c.name; }

class Merges : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merges, DeriveWithAndWithoutStrategy) {
  const MergeCase& c = GetParam();
  Fixture fixture(c.prefix);
  const std::vector<ClauseView> antecedents = fixture.views(c.clauses);
  const MergeDerivation plain =
      derive_merge(fixture.formula.levels, antecedents, fixture.work, nullptr);
  EXPECT_EQ(plain.outcome, c.outcome);
  EXPECT_EQ(plain.pivots, c.pivots);
  EXPECT_EQ(dimacs(plain.merged), c.merged);
  if (c.outcome == MergeOutcome::MERGED) {
    EXPECT_EQ(dimacs(plain.derived), c.derived);
  }
  Strategy strategy(Rule::CLAUSE);
  const MergeDerivation replayed =
      derive_merge(fixture.formula.levels, antecedents, fixture.work, &strategy);
  EXPECT_EQ(replayed.outcome, c.outcome);
  EXPECT_EQ(dimacs(replayed.merged), c.merged);
  if (c.outcome == MergeOutcome::MERGED) {
    EXPECT_EQ(dimacs(replayed.derived), c.derived_kept);
  }
  EXPECT_EQ(rules_of(strategy), c.rules);
}

INSTANTIATE_TEST_SUITE_P(
    Derivation, Merges,
    ::testing::Values(
        // The union (1 2 -1 3) loses its pivot by moving the last literal
        // into each freed slot.
        MergeCase{"Two", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {-1, 3}}, MergeOutcome::MERGED,
                  {1}, {3, 2}, {3, 2}, {3, 2}, {}},
        MergeCase{"ThreeInALine",
                  {{1, E}, {2, E}, {3, E}, {4, E}},
                  {{1, 4}, {-1, 2}, {-2, 3}},
                  MergeOutcome::MERGED,
                  {1, 2},
                  {3, 4},
                  {3, 4},
                  {3, 4},
                  {}},
        // One reduction at the end, of the union without its pivots,
        // (3 2 5 1): 5 goes first (deepest), then 3.
        MergeCase{"Reduced",
                  {{1, E}, {2, E}, {3, A}, {4, E}, {5, A}},
                  {{4, 2, 5}, {-4, 1, 3}},
                  MergeOutcome::MERGED,
                  {4},
                  {3, 2, 5, 1},
                  {1, 2},
                  {2, 1},
                  {"3 | 2 1", "5 | 2 1"}},
        MergeCase{"TooFew", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {3}}, MergeOutcome::TOO_FEW_PIVOTS,
                  {}, {1, 2, 3}, {}, {}, {}},
        MergeCase{"TooMany", {{1, E}, {2, E}, {3, E}}, {{1, 2}, {-1, -2}},
                  MergeOutcome::TOO_MANY_PIVOTS, {1, 2}, {1, 2, -1, -2}, {}, {}, {}}));

// ---- random proofs ----------------------------------------------------------

using LiteralSet = std::set<int>;

// Q-resolution for clauses written plainly: the union without the pivot,
// refused when a literal meets its complement, then universal reduction.
bool reference_resolve(const LiteralSet& a, const LiteralSet& b, unsigned pivot,
                       LiteralSet& out) {
  out.clear();
  for (int literal : a)
    if (static_cast<unsigned>(std::abs(literal)) != pivot) out.insert(literal);
  for (int literal : b)
    if (static_cast<unsigned>(std::abs(literal)) != pivot) out.insert(literal);
  for (int literal : out)
    if (out.count(-literal)) return false;
  return true;
}

void reference_reduce(const std::vector<unsigned>& levels, LiteralSet& clause) {
  unsigned deepest_existential_plus_one = 0;
  for (int literal : clause) {
    const unsigned level = levels[std::abs(literal)];
    if (level % 2 == 0) deepest_existential_plus_one = std::max(deepest_existential_plus_one, level + 1);
  }
  for (auto it = clause.begin(); it != clause.end();) {
    const unsigned level = levels[std::abs(*it)];
    if (level % 2 == 1 && level >= deepest_existential_plus_one)
      it = clause.erase(it);
    else
      ++it;
  }
}

LiteralSet set_of(ClauseView clause) {
  LiteralSet set;
  for (const Literal& literal : clause) set.insert(static_cast<int>(literal.to_dimacs()));
  return set;
}
LiteralSet set_of(const std::vector<Literal>& clause) {
  return set_of(ClauseView{clause.data(), static_cast<uint32_t>(clause.size())});
}

// One entry of a generated proof.
struct Entry {
  enum Kind { CHAIN, MERGE, TRUSTED, EXTENSION } kind;
  StepEntry step;            // the numbered steps
  LiteralSet expected;       // their clause, from the reference
  Definition definition;     // an extension
  std::vector<Literal> operands;
};

// A random formula and proof: builds a checker (which must accept every
// entry kept) and returns the entries it accepted.
struct Generated {
  std::vector<std::pair<unsigned, Quantifier::Type>> prefix;
  std::vector<std::vector<int>> clauses;
  std::vector<Entry> entries;
  unsigned variables = 0;
};

void load(const Generated& generated, QCNF& formula) {
  for (const auto& [variable, type] : generated.prefix)
    ASSERT_FALSE(formula.new_variable(variable, type, false));
  for (const auto& c : generated.clauses) formula.clauses.push(zeltest::literals(c));
}

ProofChecker::Options recording() {
  ProofChecker::Options options;
  options.ignore = true;
  options.record = true;
  return options;
}

// A chain of up to `resolutions` sound resolutions from `pool`, or empty.
bool random_chain(Random& random, const std::vector<unsigned>& levels,
                  const std::map<uint32_t, LiteralSet>& pool, size_t resolutions, bool merge,
                  std::vector<uint32_t>& chain, LiteralSet& result) {
  std::vector<uint32_t> numbers;
  for (const auto& [number, clause] : pool) numbers.push_back(number);
  chain.assign(1, numbers[random.below(numbers.size())]);
  result = pool.at(chain[0]);
  LiteralSet uni = result;  // merges: the union so far, pivots aside
  std::set<unsigned> pivots;
  for (size_t r = 0; r < resolutions; ++r) {
    std::vector<std::pair<uint32_t, unsigned>> candidates;
    for (uint32_t number : numbers) {
      if (std::count(chain.begin(), chain.end(), number)) continue;
      const LiteralSet& clause = pool.at(number);
      unsigned pivot = 0, clashes = 0;
      for (int literal : clause)
        if (result.count(-literal)) {
          ++clashes;
          pivot = static_cast<unsigned>(std::abs(literal));
        }
      if (clashes != 1 || levels[pivot] % 2 == 1) continue;
      if (merge) {
        // Every pivot clashes once in the union: no other pair, no pivot again.
        bool plain = !pivots.count(pivot);
        for (int literal : clause)
          if (static_cast<unsigned>(std::abs(literal)) != pivot &&
              (uni.count(-literal) || pivots.count(static_cast<unsigned>(std::abs(literal)))))
            plain = false;
        if (!plain) continue;
      }
      candidates.emplace_back(number, pivot);
    }
    if (candidates.empty()) break;
    const auto [number, pivot] = candidates[random.below(candidates.size())];
    LiteralSet next;
    if (!reference_resolve(pool.at(number), result, pivot, next)) continue;
    if (!merge) reference_reduce(levels, next);
    chain.push_back(number);
    pivots.insert(pivot);
    for (int literal : pool.at(number)) uni.insert(literal);
    result = next;
  }
  if (merge) {
    result.clear();
    for (int literal : uni)
      if (!pivots.count(static_cast<unsigned>(std::abs(literal)))) result.insert(literal);
    reference_reduce(levels, result);
  }
  return chain.size() >= 2;
}

Generated generate(Random& random, ProofStatistics& statistics) {
  Generated generated;
  generated.variables = 6 + static_cast<unsigned>(random.below(6));
  Quantifier::Type type = random.below(2) ? E : A;
  for (unsigned variable = 1; variable <= generated.variables; ++variable) {
    if (random.below(3) == 0) type = type == E ? A : E;
    generated.prefix.emplace_back(variable, type);
  }
  const size_t clause_count = 6 + random.below(8);
  for (size_t i = 0; i < clause_count; ++i) {
    std::set<unsigned> variables;
    std::vector<int> clause;
    const size_t width = 1 + random.below(3);
    while (variables.size() < width) {
      const unsigned variable = 1 + static_cast<unsigned>(random.below(generated.variables));
      if (!variables.insert(variable).second) continue;
      clause.push_back(random.below(2) ? static_cast<int>(variable) : -static_cast<int>(variable));
    }
    generated.clauses.push_back(clause);
  }
  QCNF formula;
  load(generated, formula);
  ProofChecker proof(formula, recording());
  std::map<uint32_t, LiteralSet> pool;
  for (uint32_t number = 1; number <= clause_count; ++number)
    pool[number] = set_of(proof.clause(number));
  uint32_t next_number = static_cast<uint32_t>(clause_count) + 1;
  unsigned next_variable = generated.variables + 1;
  for (int attempt = 0; attempt < 40; ++attempt) {
    Entry entry;
    // Extensions come in the first part only, so that the steps after the
    // last one are many (see the second run below).
    const uint64_t pick = random.below(10);
    if (pick == 0 && attempt < 20) {
      // An extension over defined literals; a trusted step names its variable.
      entry.kind = Entry::EXTENSION;
      entry.definition.kind = Definition::AND;
      entry.definition.variable = next_variable++;
      entry.definition.count = 1 + static_cast<uint32_t>(random.below(2));
      for (uint32_t i = 0; i < entry.definition.count; ++i)
        entry.operands.push_back(
            Literal(1 + static_cast<unsigned>(random.below(generated.variables)), random.below(2)));
      proof.check_extension(entry.definition, entry.operands);
      generated.entries.push_back(entry);
      Entry trusted;
      trusted.kind = Entry::TRUSTED;
      trusted.step.number = next_number++;
      trusted.step.resolvent.insert(Literal(entry.definition.variable, random.below(2)));
      trusted.step.resolvent.insert(
          Literal(1 + static_cast<unsigned>(random.below(generated.variables)), random.below(2)));
      trusted.expected = set_of(trusted.step.resolvent.literals);
      proof.check_step(trusted.step);
      pool[trusted.step.number] = trusted.expected;
      generated.entries.push_back(trusted);
      continue;
    }
    entry.kind = pick < 4 ? Entry::MERGE : Entry::CHAIN;
    std::vector<uint32_t> chain;
    if (!random_chain(random, formula.levels, pool, 1 + random.below(4), entry.kind == Entry::MERGE,
                      chain, entry.expected))
      continue;
    // Listed in chain order, reversed, or shuffled.
    const uint64_t order = random.below(3);
    if (order == 1) std::reverse(chain.begin(), chain.end());
    if (order == 2)
      for (size_t i = chain.size(); i > 1; --i) std::swap(chain[i - 1], chain[random.below(i)]);
    entry.step.number = next_number;
    entry.step.antecedents = chain;
    entry.step.resolvent_omitted = entry.kind == Entry::MERGE;
    if (entry.kind == Entry::CHAIN)
      for (int literal : entry.expected)
        entry.step.resolvent.insert(Literal(static_cast<unsigned>(std::abs(literal)), literal < 0));
    StepEntry fed = entry.step;
    if (message_of([&] { proof.check_step(fed); }) != "<no exception>") continue;
    ++next_number;
    pool[entry.step.number] = set_of(proof.clause(entry.step.number));
    generated.entries.push_back(entry);
  }
  statistics = proof.statistics();
  return generated;
}

// Replays every clause step of `proof`'s record, without and with a
// strategy: each must give its stored clause. Returns the count per kind.
std::map<ProofRecord::Kind, unsigned> replay_all(const ProofChecker& proof, const QCNF& formula) {
  const ProofRecord& record = proof.record();
  std::map<ProofRecord::Kind, unsigned> kinds;
  ReplayWork work;
  for (size_t step = 0; step < record.steps.size(); ++step) {
    const ProofRecord::Step& recorded = record.steps[step];
    ++kinds[recorded.kind];
    if (recorded.kind == ProofRecord::Kind::EXTENSION) {
      EXPECT_LT(recorded.definition, formula.definitions.size());
      EXPECT_EQ(recorded.position, ClauseMap::kNone);
      continue;
    }
    EXPECT_EQ(recorded.definition, ProofRecord::kNoDefinition);
    // Clause steps come in store order.
    EXPECT_TRUE(step == 0 || record.steps[step - 1].kind == ProofRecord::Kind::EXTENSION ||
                record.steps[step - 1].position < recorded.position);
    const LiteralSet stored = set_of(formula.clauses.copy(recorded.position));
    EXPECT_EQ(stored, set_of(proof.clause(recorded.number))) << "step " << step;
    if (recorded.kind == ProofRecord::Kind::TRUSTED) continue;
    const LiteralSet plain = set_of(replay_step(record, step, formula, work, nullptr));
    EXPECT_TRUE(replay_matches(record, step, formula,
                               replay_step(record, step, formula, work, nullptr), work))
        << "step " << step;
    Strategy strategy(Rule::CLAUSE);
    const LiteralSet kept = set_of(replay_step(record, step, formula, work, &strategy));
    EXPECT_EQ(plain, kept) << "step " << step;
    if (recorded.kind == ProofRecord::Kind::SEARCHED_CHAIN) {
      EXPECT_TRUE(std::includes(stored.begin(), stored.end(), plain.begin(), plain.end()));
    } else {
      EXPECT_EQ(plain, stored) << "step " << step;
    }
  }
  return kinds;
}

TEST(Derivation, RandomProofsReplayToTheirStoredClauses) {
  Random random(20261208);
  std::map<ProofRecord::Kind, unsigned> total;
  uint64_t searches = 0, delayed_steps = 0, delayed_extensions = 0;
  for (int proofs = 0; proofs < 600; ++proofs) {
    ProofStatistics first;
    Generated generated;
    {
      zeltest::CoutCapture listings;  // of orders the ordering cannot place
      const std::string error = message_of([&] { generated = generate(random, first); });
      ASSERT_EQ(error, "<no exception>") << "proof " << proofs;
    }
    searches += first.chain_searches;

    // The same proof again: the numbered steps with antecedents after the
    // last extension come in reverse order (those that name a later one are
    // held back; before the extension a supplied literal would define its
    // variable), and an extension over a variable defined later is held
    // back.
    QCNF formula;
    load(generated, formula);
    ProofChecker proof(formula, recording());
    std::vector<Entry> entries = generated.entries;
    std::vector<size_t> movable;
    for (size_t i = entries.size(); i-- > 0 && entries[i].kind != Entry::EXTENSION;)
      if (entries[i].kind == Entry::CHAIN || entries[i].kind == Entry::MERGE) movable.push_back(i);
    for (size_t i = 0; i < movable.size() / 2; ++i)
      std::swap(entries[movable[i]], entries[movable[movable.size() - 1 - i]]);
    unsigned fresh = generated.variables + 1;
    for (const Entry& entry : generated.entries)
      if (entry.kind == Entry::EXTENSION) fresh = std::max(fresh, entry.definition.variable + 1);
    Definition waiting;
    waiting.variable = fresh;
    waiting.count = 1;
    const std::vector<Literal> on_later = {Literal(fresh + 1, false)};
    proof.check_extension(waiting, on_later);
    for (Entry& entry : entries) {
      if (entry.kind == Entry::EXTENSION) {
        proof.check_extension(entry.definition, entry.operands);
        continue;
      }
      EXPECT_EQ(message_of([&] { proof.check_step(entry.step); }), "<no exception>");
    }
    Definition later;
    later.variable = fresh + 1;
    later.count = 1;
    proof.check_extension(later, {Literal(1, false)});
    proof.settle_delayed();
    delayed_steps += proof.statistics().delayed_steps;
    delayed_extensions += proof.statistics().delayed_extensions;
    for (const Entry& entry : entries) {
      if (entry.kind == Entry::EXTENSION) continue;
      EXPECT_EQ(set_of(proof.clause(entry.step.number)), entry.expected)
          << "proof " << proofs << " clause " << entry.step.number;
    }
    for (const auto& [kind, count] : replay_all(proof, formula)) total[kind] += count;
  }
  // Every kind of step was met often enough to matter.
  EXPECT_GE(total[ProofRecord::Kind::CHAIN], 2000u);
  EXPECT_GE(total[ProofRecord::Kind::SEARCHED_CHAIN], 10u);
  EXPECT_GE(total[ProofRecord::Kind::MERGE], 1000u);
  EXPECT_GE(total[ProofRecord::Kind::TRUSTED], 500u);
  EXPECT_GE(total[ProofRecord::Kind::EXTENSION], 1000u);
  EXPECT_GE(searches, 10u);
  EXPECT_GE(delayed_steps, 400u);
  EXPECT_GE(delayed_extensions, 600u);
  std::cout << "steps: chain " << total[ProofRecord::Kind::CHAIN] << ", searched "
            << total[ProofRecord::Kind::SEARCHED_CHAIN] << ", merge "
            << total[ProofRecord::Kind::MERGE] << ", trusted "
            << total[ProofRecord::Kind::TRUSTED] << ", extension "
            << total[ProofRecord::Kind::EXTENSION] << "; searches " << searches
            << ", delayed steps " << delayed_steps << std::endl;
}

}  // namespace
