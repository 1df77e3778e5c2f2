// The record a QRP check leaves and the one derivation of a step: on random
// small QBFs, traces of input clauses, initial cubes, resolution chains of
// clauses and cubes, long-distance pairs, input clauses read as initial
// cubes and steps outside the proof are checked forwards and backwards;
// every recorded step must be what a plain set model of Q-resolution
// derives from its recorded antecedents, and derive_qrp_step must rebuild
// it from the record alone, in every mode. Hand-made tables pin the record
// of each kind of step and the faults the derivation reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formula/strategy.hpp"
#include "proof/qrp_checker.hpp"
#include "proof/qrp_derivation.hpp"
#include "proof/qrp_outputs.hpp"
#include "read/qdimacs_reader.hpp"
#include "qrp_support.hpp"
#include "support.hpp"

namespace {

using zeltest::Random;
using Set = std::set<int>;  // a constraint as DIMACS literals

// A prefix as the generator made it: variable -> block, quantifier.
struct Prefix {
  std::vector<unsigned> block;     // variable -> block index, outermost 0
  std::vector<bool> universal;     // variable -> universally quantified
  unsigned variables = 0;
};

// The set model of a resolution chain's rules, written from the rules'
// statements alone: a pivot is a variable of the quantifier not reduced
// that clashes across the two; every other pair in the union must be of
// the reduced quantifier, and one across the two deeper than the pivot;
// reduction drops the reduced quantifier's literals deeper than every
// literal of the other one.
struct Model {
  const Prefix& prefix;
  bool reduced(int literal, Rule rule) const {
    return prefix.universal[std::abs(literal)] == (rule == Rule::CLAUSE);
  }
  Set reduce(const Set& set, Rule rule) const {
    int deepest = -1;
    for (int literal : set)
      if (!reduced(literal, rule))
        deepest = std::max(deepest, static_cast<int>(prefix.block[std::abs(literal)]));
    Set result;
    for (int literal : set)
      if (!reduced(literal, rule) || static_cast<int>(prefix.block[std::abs(literal)]) <= deepest)
        result.insert(literal);
    return result;
  }
  // False when the two do not resolve; `pairs` set when the result keeps
  // a literal with its complement.
  bool resolve(const Set& first, const Set& second, Rule rule, Set& out, bool& pairs) const {
    int pivot = 0;
    for (int literal : first)
      if (!reduced(literal, rule) && second.count(-literal)) {
        if (pivot != 0) return false;
        pivot = std::abs(literal);
      }
    if (pivot == 0) return false;
    if ((first.count(pivot) && first.count(-pivot)) || (second.count(pivot) && second.count(-pivot)))
      return false;
    Set in_union;
    for (int literal : first)
      if (std::abs(literal) != pivot) in_union.insert(literal);
    for (int literal : second)
      if (std::abs(literal) != pivot) in_union.insert(literal);
    for (int literal : in_union) {
      if (literal < 0 || !in_union.count(-literal)) continue;
      if (!reduced(literal, rule)) return false;
      const bool across = (first.count(literal) && second.count(-literal)) ||
                          (first.count(-literal) && second.count(literal));
      if (across && prefix.block[literal] <= prefix.block[pivot]) return false;
      pairs = true;
    }
    out = reduce(in_union, rule);
    return true;
  }
};

struct Qbf {
  Prefix prefix;
  std::vector<Set> clauses;
  std::string text;  // QDIMACS
  std::string blocks;  // the prefix lines, for the trace
};

bool satisfies(const std::vector<Set>& clauses, unsigned assignment) {
  for (const Set& clause : clauses) {
    bool satisfied = false;
    for (int literal : clause)
      satisfied |= ((assignment >> std::abs(literal)) & 1u) == (literal > 0 ? 1u : 0u);
    if (!satisfied) return false;
  }
  return true;
}

// The truth of the QBF, variables taken block by block.
bool truth(const Qbf& qbf, const std::vector<unsigned>& order, size_t next, unsigned assignment) {
  if (next == order.size()) return satisfies(qbf.clauses, assignment);
  const unsigned variable = order[next];
  const bool low = truth(qbf, order, next + 1, assignment);
  const bool high = truth(qbf, order, next + 1, assignment | (1u << variable));
  return qbf.prefix.universal[variable] ? (low && high) : (low || high);
}

// Every assignment that makes the literals of `cube` true satisfies the
// matrix.
bool implies_matrix(const Qbf& qbf, const Set& cube) {
  for (unsigned assignment = 0; assignment < (2u << qbf.prefix.variables); assignment += 2) {
    bool agrees = true;
    for (int literal : cube)
      agrees &= ((assignment >> std::abs(literal)) & 1u) == (literal > 0 ? 1u : 0u);
    if (agrees && !satisfies(qbf.clauses, assignment)) return false;
  }
  return true;
}

std::string text_of(const Set& set) {
  std::string text;
  for (int literal : set) text += std::to_string(literal) + " ";
  return text;
}

Qbf random_qbf(Random& random) {
  Qbf qbf;
  Prefix& prefix = qbf.prefix;
  prefix.variables = 4 + random.below(4);
  const unsigned blocks = 2 + random.below(3);
  const bool first_universal = random.below(2);
  prefix.block.assign(prefix.variables + 1, 0);
  prefix.universal.assign(prefix.variables + 1, false);
  std::vector<std::vector<unsigned>> members(blocks);
  for (unsigned variable = 1; variable <= prefix.variables; ++variable) {
    // The first variables fill the blocks in turn, so that none is empty.
    const unsigned block = variable <= blocks ? variable - 1 : random.below(blocks);
    prefix.block[variable] = block;
    prefix.universal[variable] = (block % 2 == 1) != first_universal;
    members[block].push_back(variable);
  }
  for (unsigned block = 0; block < blocks; ++block) {
    qbf.blocks += ((block % 2 == 1) != first_universal) ? "a" : "e";
    for (unsigned variable : members[block]) qbf.blocks += " " + std::to_string(variable);
    qbf.blocks += " 0\n";
  }
  const unsigned clauses = 3 + random.below(7);
  while (qbf.clauses.size() < clauses) {
    Set clause;
    const unsigned width = 1 + random.below(3);
    for (unsigned i = 0; i < width; ++i) {
      const int variable = 1 + static_cast<int>(random.below(prefix.variables));
      if (!clause.count(-variable) && !clause.count(variable))
        clause.insert(random.below(2) ? variable : -variable);
    }
    if (std::find(qbf.clauses.begin(), qbf.clauses.end(), clause) == qbf.clauses.end())
      qbf.clauses.push_back(clause);
  }
  return qbf;
}

// A minimal cube of a satisfying assignment: literals dropped while the
// rest still implies the matrix.
Set shrunk_cube(const Qbf& qbf, unsigned assignment, Random& random) {
  Set cube;
  for (unsigned variable = 1; variable <= qbf.prefix.variables; ++variable)
    cube.insert((assignment >> variable) & 1u ? static_cast<int>(variable)
                                              : -static_cast<int>(variable));
  std::vector<int> order(cube.begin(), cube.end());
  for (size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random.below(i)]);
  for (int literal : order) {
    Set smaller = cube;
    smaller.erase(literal);
    if (implies_matrix(qbf, smaller)) cube = smaller;
  }
  return cube;
}

// A generated step: its set, kind, antecedents (steps) and whether it is
// an input clause or may be read as a cube.
struct Step {
  Set set;
  Rule rule;
  std::vector<size_t> antecedents;
  bool input = false;
  bool cube_too = false;  // an input clause whose literals imply the matrix
};

struct Trace {
  std::string text;
  bool expected_true = false;
  bool empty_derived = false;
  size_t steps = 0;
};

// A trace: the input clauses, initial cubes, then resolution steps of two
// or three antecedents and reductions of one, found by saturating the
// constraints of both kinds until the empty constraint of the QBF's truth
// comes out (or a bound on the steps is reached).
Trace random_trace(Qbf& qbf, Random& random) {
  const Model model{qbf.prefix};
  std::vector<Step> steps;
  // Sometimes a clause that is also an initial cube: a minimal cube of a
  // satisfying assignment, added to the matrix (it satisfies itself).
  std::vector<unsigned> models;
  for (unsigned assignment = 0; assignment < (2u << qbf.prefix.variables); assignment += 2)
    if (satisfies(qbf.clauses, assignment)) models.push_back(assignment);
  if (!models.empty() && random.below(4) != 0) {
    const Set cube = shrunk_cube(qbf, models[random.below(models.size())], random);
    if (!cube.empty() && std::find(qbf.clauses.begin(), qbf.clauses.end(), cube) == qbf.clauses.end()) {
      qbf.clauses.push_back(cube);
      models.clear();
      for (unsigned assignment = 0; assignment < (2u << qbf.prefix.variables); assignment += 2)
        if (satisfies(qbf.clauses, assignment)) models.push_back(assignment);
    }
  }
  std::vector<unsigned> order;
  for (unsigned variable = 1; variable <= qbf.prefix.variables; ++variable) order.push_back(variable);
  std::stable_sort(order.begin(), order.end(),
                   [&](unsigned a, unsigned b) { return qbf.prefix.block[a] < qbf.prefix.block[b]; });
  Trace trace;
  trace.expected_true = truth(qbf, order, 0, 0);
  qbf.text = "p cnf " + std::to_string(qbf.prefix.variables) + " " +
             std::to_string(qbf.clauses.size()) + "\n" + qbf.blocks;
  for (const Set& clause : qbf.clauses) {
    qbf.text += text_of(clause) + "0\n";
    Step step{clause, Rule::CLAUSE, {}, true, implies_matrix(qbf, clause)};
    steps.push_back(step);
  }
  std::vector<Set> cubes;
  for (unsigned assignment : models) {
    if (cubes.size() >= 6) break;
    const Set cube = shrunk_cube(qbf, assignment, random);
    if (std::find(cubes.begin(), cubes.end(), cube) != cubes.end()) continue;
    if (std::find(qbf.clauses.begin(), qbf.clauses.end(), cube) != qbf.clauses.end()) continue;
    cubes.push_back(cube);
    steps.push_back(Step{cube, Rule::CUBE, {}, false, false});
  }
  const Rule goal = trace.expected_true ? Rule::CUBE : Rule::CLAUSE;
  // The kind a step has as an antecedent of `rule`.
  const auto usable = [&](const Step& step, Rule rule) {
    return step.rule == rule || (rule == Rule::CUBE && step.cube_too);
  };
  const auto known = [&](const Set& set, Rule rule) {
    for (const Step& step : steps)
      if (step.set == set && !step.input && step.rule == rule) return true;
    return false;
  };
  // Steps go on after the empty constraint now and then: the backward
  // check skips them.
  const size_t after = random.below(2) ? 8 : 0;
  size_t at_empty = 0;
  for (unsigned attempt = 0;
       attempt < 3000 && steps.size() < 70 && (!trace.empty_derived || steps.size() < at_empty + after);
       ++attempt) {
    const Rule rule = random.below(4) == 0 ? (goal == Rule::CUBE ? Rule::CLAUSE : Rule::CUBE) : goal;
    const size_t first = random.below(steps.size());
    if (!usable(steps[first], rule)) continue;
    Step step{steps[first].set, rule, {first}, false, false};
    // A step over input clauses alone is a clause step; cube steps name a
    // cube of their own among their antecedents.
    bool own_kind = steps[first].rule == rule && !steps[first].input;
    if (random.below(5) == 0) {
      step.set = model.reduce(step.set, rule);
    } else {
      // A link is tried on a few antecedents at random, until one resolves.
      const unsigned chain = 1 + random.below(3);
      for (unsigned link = 0, tries = 0; link < chain && tries < 24; ++tries) {
        const size_t second = random.below(steps.size());
        if (!usable(steps[second], rule)) continue;
        Set resolvent;
        bool pairs = false;
        if (!model.resolve(step.set, steps[second].set, rule, resolvent, pairs)) continue;
        step.set = resolvent;
        step.antecedents.push_back(second);
        own_kind |= steps[second].rule == rule && !steps[second].input;
        ++link;
      }
      if (step.antecedents.size() == 1) continue;
    }
    if (rule == Rule::CUBE && !own_kind) continue;
    if (known(step.set, rule) && random.below(4) != 0) continue;
    if (!trace.empty_derived && rule == goal && step.set.empty()) {
      trace.empty_derived = true;
      at_empty = steps.size() + 1;
    }
    steps.push_back(step);
  }

  // The text: indices with gaps, literals in a shuffled order, now and
  // then one twice.
  std::vector<uint32_t> index(steps.size());
  uint32_t next = 0;
  for (uint32_t& number : index) number = next += 1 + random.below(3);
  std::ostringstream out;
  out << "p qrp " << qbf.prefix.variables << " " << qbf.clauses.size() << "\n" << qbf.blocks;
  for (size_t i = 0; i < steps.size(); ++i) {
    std::vector<int> literals(steps[i].set.begin(), steps[i].set.end());
    for (size_t j = literals.size(); j > 1; --j) std::swap(literals[j - 1], literals[random.below(j)]);
    if (!literals.empty() && random.below(8) == 0) literals.push_back(literals.front());
    out << index[i];
    for (int literal : literals) out << " " << literal;
    out << " 0";
    for (size_t antecedent : steps[i].antecedents) out << " " << index[antecedent];
    out << " 0\n";
  }
  out << "r " << (trace.expected_true ? "SAT" : "UNSAT") << "\n";
  trace.text = out.str();
  trace.steps = steps.size();
  return trace;
}

Set set_of(const std::vector<Literal>& literals) {
  Set set;
  for (const Literal& literal : literals)
    set.insert(literal.negative() ? -static_cast<int>(literal.variable())
                                  : static_cast<int>(literal.variable()));
  return set;
}

// What the tests count over all cases, so that each path is seen taken.
struct Seen {
  size_t proofs = 0, derived = 0, cubes = 0, long_distance = 0, reductions = 0, chains = 0,
         cube_readings = 0, skipped = 0, sunk = 0;
};

// Every stored constraint of `record` against the set model and the
// derivation replayed from the record alone.
void check_record(const QrpRecord& record, const QCNF& formula, const Qbf& qbf, Seen& seen) {
  const Model model{qbf.prefix};
  PodVector<Literal> widened;
  std::vector<Literal> stored;
  std::vector<uint32_t> antecedents;
  for (uint32_t position = record.input_clauses; position < record.stored.end_position();
       ++position) {
    record.stored.read_literals(position, stored);
    const Rule rule = record.rule(position);
    SCOPED_TRACE("position " + std::to_string(position) + ": " + text_of(set_of(stored)));
    antecedents.clear();
    record.stored.for_each_antecedent(position, [&](uint32_t a) { antecedents.push_back(a); });
    ASSERT_EQ(record.derived(position), !antecedents.empty());
    if (antecedents.empty()) {
      // An initial cube, of a step or of an input clause read as one.
      ASSERT_EQ(rule, Rule::CUBE);
      EXPECT_TRUE(implies_matrix(qbf, set_of(stored)));
      EXPECT_FALSE(record.long_distance(position));
      seen.cube_readings += std::find(qbf.clauses.begin(), qbf.clauses.end(), set_of(stored)) !=
                            qbf.clauses.end();
      continue;
    }
    ++seen.derived;
    seen.cubes += rule == Rule::CUBE;
    seen.reductions += antecedents.size() == 1;
    seen.chains += antecedents.size() > 2;
    seen.long_distance += record.long_distance(position);
    // The model, from the recorded antecedents' sets.
    std::vector<std::vector<Literal>> loaded(antecedents.size());
    for (size_t i = 0; i < antecedents.size(); ++i) {
      ASSERT_LT(antecedents[i], position);
      read_qrp_constraint(record, formula.clauses, antecedents[i], widened, loaded[i]);
      if (antecedents[i] < record.input_clauses) {
        EXPECT_EQ(rule, Rule::CLAUSE) << "an input clause stands for itself only in clause steps";
      } else {
        EXPECT_EQ(record.rule(antecedents[i]), rule);
      }
    }
    Set expected = set_of(loaded[0]);
    bool pairs = false;
    if (antecedents.size() == 1) expected = model.reduce(expected, rule);
    for (size_t i = 1; i < antecedents.size(); ++i) {
      Set resolvent;
      ASSERT_TRUE(model.resolve(expected, set_of(loaded[i]), rule, resolvent, pairs));
      expected = resolvent;
    }
    EXPECT_EQ(set_of(stored), expected);
    EXPECT_EQ(record.long_distance(position), pairs);
    // The derivation from the record, with the indexed constraint allowed
    // and not, and with a sink for steps without pairs.
    for (int mode = 0; mode < 3; ++mode) {
      if (mode == 2 && pairs) continue;
      QrpWorkspace workspace(2 * formula.quantifiers.size() + 2);
      read_qrp_constraint(record, formula.clauses, antecedents[0], widened,
                          workspace.load_running());
      std::vector<ClauseView> views(1, workspace.running().view());
      for (size_t i = 1; i < loaded.size(); ++i)
        views.push_back(ClauseView{loaded[i].data(), static_cast<uint32_t>(loaded[i].size())});
      QrpStepInput input;
      input.rule = rule;
      input.levels = &formula.levels;
      input.views = views.data();
      input.count = views.size();
      input.allow_indexed = mode == 0;
      Strategy sink(rule);
      if (mode == 2) input.sink = &sink;
      const QrpDerivation derivation = derive_qrp_step(input, workspace);
      ASSERT_EQ(derivation.outcome, QrpDerivation::DERIVED);
      EXPECT_EQ(derivation.long_distance, mode != 2 && pairs);
      EXPECT_EQ(set_of(workspace.running().literals), set_of(stored));
      // The working clauses give the checker's own order.
      if (mode == 1) {
        EXPECT_EQ(workspace.running().literals, stored);
      }
      if (mode == 2) seen.sunk += sink.entries().size();
      EXPECT_TRUE(std::all_of(workspace.marks.begin(), workspace.marks.end(),
                              [](uint8_t mark) { return mark == 0; }));
    }
  }
}

zeltest::QrpOutcome check(const std::string& qdimacs, const std::string& trace, bool forward,
                          const std::function<void(const QrpRecord&, const QCNF&)>& inspect) {
  QrpChecker::Options options;
  options.forward = forward;
  return zeltest::check_qrp_trace(qdimacs, trace, options, inspect);
}

TEST(QrpRecord, RandomTracesReplayFromTheRecord) {
  Random random(20261208);
  Seen seen;
  for (int round = 0; round < 1500; ++round) {
    Qbf qbf = random_qbf(random);
    const Trace trace = random_trace(qbf, random);
    SCOPED_TRACE(qbf.text + trace.text);
    for (bool forward : {true, false}) {
      SCOPED_TRACE(forward ? "forward" : "backward");
      const zeltest::QrpOutcome checked =
          check(qbf.text, trace.text, forward, [&](const QrpRecord& record, const QCNF& formula) {
            check_record(record, formula, qbf, seen);
            if (record.root == kNoPosition) return;
            ++seen.proofs;
            EXPECT_EQ(record.proved_rule(), trace.expected_true ? Rule::CUBE : Rule::CLAUSE);
            std::vector<Literal> root;
            PodVector<Literal> widened;
            read_qrp_constraint(record, formula.clauses, record.root, widened, root);
            EXPECT_TRUE(root.empty());
            std::ostringstream core;
            EXPECT_GT(write_qrp_core(core, record, formula, QrpHeader{}, false), 0u);
            Strategy strategy(record.proved_rule());
            if (record.long_distance_steps.empty()) extract_qrp_strategy(record, formula, strategy);
          });
      // The trace is sound: it proves the truth when it reaches the empty
      // constraint; forwards every step is checked.
      if (trace.empty_derived || forward) {
        EXPECT_EQ(checked.text, trace.empty_derived ? "validated" : "erroneous");
      }
      const QrpStatistics& counts = checked.statistics;
      EXPECT_EQ(counts.steps() + counts.skipped, trace.steps);
      if (forward) {
        EXPECT_EQ(counts.skipped, 0u);
      }
      seen.skipped += counts.skipped;
    }
  }
  // Each kind of step was met often enough to matter.
  EXPECT_GT(seen.proofs, 2000u);
  EXPECT_GT(seen.derived, 10000u);
  EXPECT_GT(seen.cubes, 800u);
  EXPECT_GT(seen.long_distance, 100u);
  EXPECT_GT(seen.reductions, 5000u);
  EXPECT_GT(seen.chains, 800u);
  EXPECT_GT(seen.cube_readings, 20u);
  EXPECT_GT(seen.skipped, 8000u);
  EXPECT_GT(seen.sunk, 4000u);
  std::cout << "proofs " << seen.proofs << ", derived " << seen.derived << ", cubes " << seen.cubes
            << ", long distance " << seen.long_distance << ", reductions " << seen.reductions
            << ", chains " << seen.chains << ", cube readings " << seen.cube_readings
            << ", skipped " << seen.skipped << ", reductions sunk " << seen.sunk << "\n";
}

// The record of each kind of step: "position: kind [antecedents] (literals)"
// for every stored constraint, and the root.
std::string rendered(const QrpRecord& record) {
  std::string text;
  std::vector<Literal> literals;
  for (uint32_t position = record.input_clauses; position < record.stored.end_position();
       ++position) {
    text += std::to_string(position) + ": " +
            (record.rule(position) == Rule::CUBE ? "cube" : "clause") +
            (record.derived(position) ? "" : " initial") +
            (record.long_distance(position) ? " ld" : "") + " [";
    std::string antecedents;
    record.stored.for_each_antecedent(position, [&](uint32_t a) {
      antecedents += (antecedents.empty() ? "" : " ") + std::to_string(a);
    });
    record.stored.read_literals(position, literals);
    text += antecedents + "] " + to_string(ClauseView{literals.data(),
                                                      static_cast<uint32_t>(literals.size())}) +
            "; ";
  }
  return text + "root " + (record.root == kNoPosition ? "none" : std::to_string(record.root));
}

TEST(QrpRecord, EachKindOfStep) {
  struct Case {
    const char* name;
    const char* formula;
    const char* steps;  // after the header and the prefix
    const char* forward;
    const char* backward;
  };
  const char* kOuterFalse = "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 -2 0\n";
  const Case cases[] = {
      {"resolution then reduction to the empty clause", "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 2 0\n",
       "1 1 2 0 0\n2 2 -1 0 0\n3 0 1 2 0\nr UNSAT\n", "2: clause [0 1] (); root 2",
       "2: clause [0 1] (); root 2"},
      {"reduction alone", "p cnf 2 1\ne 1 0\na 2 0\n2 0\n", "1 2 0 0\n2 0 1 0\nr UNSAT\n",
       "1: clause [0] (); root 1", "1: clause [0] (); root 1"},
      {"initial cubes and a long-distance cube step", "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n-1 -2 0\n",
       "1 1 -2 0 0\n2 -1 2 0 0\n3 0 1 2 0\nr SAT\n",
       "2: cube initial [] (1, -2); 3: cube initial [] (-1, 2); 4: cube ld [2 3] (); root 4",
       "2: cube initial [] (1, -2); 3: cube initial [] (-1, 2); 4: cube ld [2 3] (); root 4"},
      {"a long-distance clause step", kOuterFalse, "1 1 2 0 0\n2 -1 -2 0 0\n3 0 1 2 0\nr UNSAT\n",
       "2: clause ld [0 1] (); root 2", "2: clause ld [0 1] (); root 2"},
      // Clause reading first: 1 is no pivot of clauses; then both input
      // clauses are read as initial cubes, each stored once.
      {"input clauses read as initial cubes", "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n-1 2 0\n",
       "1 1 2 0 0\n2 -1 2 0 0\n3 0 1 2 0\n4 0 2 1 0\nr SAT\n",
       "2: cube initial [] (1, 2); 3: cube initial [] (-1, 2); 4: cube [2 3] (); "
       "5: cube [3 2] (); root 4",
       "2: cube initial [] (1, 2); 3: cube initial [] (-1, 2); 4: cube [2 3] (); root 4"},
      // A step the proof does not use: stored forwards, skipped backwards.
      {"a step outside the proof", "p cnf 2 2\ne 1 0\na 2 0\n1 2 0\n-1 2 0\n",
       "1 1 2 0 0\n2 -1 2 0 0\n3 1 0 1 0\n4 0 1 2 0\nr UNSAT\n",
       "2: clause [0] (1); 3: clause [0 1] (); root 3", "2: clause [0 1] (); root 2"},
      // A refused step is not stored; backwards its fault is reported only
      // when no proof stands without it.
      {"a refused step", kOuterFalse, "1 1 2 0 0\n2 -1 -2 0 0\n3 2 0 1 0\n4 0 1 2 0\nr UNSAT\n",
       "root none", "2: clause ld [0 1] (); root 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string trace = std::string(c.formula).replace(0, 5, "p qrp");
    // The trace: the QBF file's header and prefix lines, then the steps.
    std::string prefix;
    size_t line_start = 0;
    for (size_t line = 0; line_start < trace.size(); ++line) {
      const size_t end = trace.find('\n', line_start);
      const std::string text = trace.substr(line_start, end - line_start + 1);
      if (line > 0 && text[0] != 'a' && text[0] != 'e') break;
      prefix += text;
      line_start = end + 1;
    }
    for (bool forward : {true, false}) {
      std::string record_text;
      check(c.formula, prefix + c.steps, forward, [&](const QrpRecord& record, const QCNF&) {
        record_text = rendered(record);
      });
      EXPECT_EQ(record_text, forward ? c.forward : c.backward) << (forward ? "forward" : "backward");
    }
  }
}

// The faults derive_qrp_step reports, where in the chain, and what it
// derives, on ∃1 ∀2 ∃3 ∀4.
TEST(QrpDerivation, OutcomesOfOneStep) {
  const std::vector<unsigned> levels = {0, 0, 1, 2, 3};
  struct Case {
    Rule rule;
    std::vector<std::vector<int>> antecedents;
    uint64_t work_bound;
    QrpDerivation::Outcome outcome;
    size_t place;
    bool several;
    unsigned pivot, variable;
    bool long_distance;
    std::vector<int64_t> derived;  // in order (DERIVED only)
  };
  const uint64_t none = ~uint64_t{0};
  const Case cases[] = {
      {Rule::CLAUSE, {{1, 3, 4}, {-1, 2}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, false, {3, 2}},
      {Rule::CLAUSE, {{1, 2}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, false, {1}},
      {Rule::CLAUSE, {{1, 3}, {3, 2}}, none, QrpDerivation::NO_SINGLE_CLASH, 1, false, 0, 0, false, {}},
      {Rule::CLAUSE, {{1, 3}, {-1, -3}}, none, QrpDerivation::NO_SINGLE_CLASH, 1, true, 0, 0, false, {}},
      {Rule::CLAUSE, {{1, 3}, {-1}, {1}}, none, QrpDerivation::NO_SINGLE_CLASH, 2, false, 0, 0, false, {}},
      {Rule::CLAUSE, {{3, 2}, {-3, -2}}, none, QrpDerivation::REFUSED_PAIR, 1, false, 3, 2, false, {}},
      {Rule::CLAUSE, {{1, 2}, {-1, -2}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, true, {}},
      {Rule::CUBE, {{2, 1}, {-2, -1}}, none, QrpDerivation::REFUSED_PAIR, 1, false, 2, 1, false, {}},
      {Rule::CUBE, {{2, 3}, {-2, -3}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, true, {}},
      {Rule::CUBE, {{2, 1, 3}, {-2, 4}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, false, {1, 3, 4}},
      {Rule::CUBE, {{2, 1, 3}, {-2}}, none, QrpDerivation::DERIVED, 0, false, 0, 0, false, {}},
      // Passes of 3, then 2 literals: a bound of 4 stops the second.
      {Rule::CLAUSE, {{1, 3}, {-1}, {-3}}, 4, QrpDerivation::WORK_BOUND, 2, false, 0, 0, false, {}},
      {Rule::CLAUSE, {{1, 3}, {-1}, {-3}}, 5, QrpDerivation::DERIVED, 0, false, 0, 0, false, {}},
  };
  for (const Case& c : cases) {
    QrpWorkspace workspace(10);
    std::vector<std::vector<Literal>> loaded;
    for (const std::vector<int>& antecedent : c.antecedents)
      loaded.push_back(zeltest::literals(antecedent));
    workspace.load_running() = loaded[0];
    std::vector<ClauseView> views(1, workspace.running().view());
    for (size_t i = 1; i < loaded.size(); ++i)
      views.push_back(ClauseView{loaded[i].data(), static_cast<uint32_t>(loaded[i].size())});
    QrpStepInput input;
    input.rule = c.rule;
    input.levels = &levels;
    input.views = views.data();
    input.count = views.size();
    input.work_bound = c.work_bound;
    const QrpDerivation derivation = derive_qrp_step(input, workspace);
    SCOPED_TRACE(to_string(ClauseView{loaded[0].data(), static_cast<uint32_t>(loaded[0].size())}));
    EXPECT_EQ(derivation.outcome, c.outcome);
    EXPECT_EQ(derivation.place, c.place);
    EXPECT_EQ(derivation.several, c.several);
    EXPECT_EQ(derivation.pivot, c.pivot);
    EXPECT_EQ(derivation.variable, c.variable);
    EXPECT_EQ(derivation.long_distance, c.long_distance);
    if (c.outcome == QrpDerivation::DERIVED) {
      EXPECT_EQ(zeltest::dimacs(workspace.running()), c.derived);
    }
    EXPECT_EQ(workspace.held, kNoPosition);
    EXPECT_TRUE(std::all_of(workspace.marks.begin(), workspace.marks.end(),
                            [](uint8_t mark) { return mark == 0; }));
  }
}

// A long chain goes on in the indexed constraint (its own literal order)
// and gives the set the working clauses give; with a sink, every reduction
// is told with the literals it keeps.
TEST(QrpDerivation, IndexedChainsAndTheSink) {
  // ∃1..41: (41 1 .. 40) resolved with (-1) .. (-20) leaves 41 and 21..40.
  const std::vector<unsigned> levels(42, 0);
  std::vector<int> running = {41};
  for (int x = 1; x <= 40; ++x) running.push_back(x);
  std::vector<std::vector<Literal>> units;
  for (int x = 1; x <= 20; ++x) units.push_back(zeltest::literals({-x}));
  std::vector<int64_t> sets[2];
  for (bool allow_indexed : {true, false}) {
    QrpWorkspace workspace(2 * 42 + 2);
    workspace.load_running() = zeltest::literals(running);
    std::vector<ClauseView> views(1, workspace.running().view());
    for (const std::vector<Literal>& unit : units) views.push_back(ClauseView{unit.data(), 1});
    QrpStepInput input;
    input.levels = &levels;
    input.views = views.data();
    input.count = views.size();
    input.allow_indexed = allow_indexed;
    const QrpDerivation derivation = derive_qrp_step(input, workspace);
    EXPECT_EQ(derivation.outcome, QrpDerivation::DERIVED);
    EXPECT_EQ(derivation.switched, allow_indexed);
    std::vector<int64_t>& set = sets[allow_indexed];
    set = zeltest::dimacs(workspace.running());
    std::sort(set.begin(), set.end());
    EXPECT_TRUE(workspace.pair_free);
  }
  EXPECT_EQ(sets[0], sets[1]);
  EXPECT_EQ(sets[0].size(), 21u);

  // ∃1 ∀2 ∃3 ∀4: (3 4) with (-3 1) is (4 1) before reduction, which
  // removes 4 under the condition (1).
  const std::vector<unsigned> prefix = {0, 0, 1, 2, 3};
  QrpWorkspace workspace(10);
  workspace.load_running() = zeltest::literals({3, 4});
  workspace.pair_free = true;
  const std::vector<Literal> second = zeltest::literals({-3, 1});
  const ClauseView views[2] = {workspace.running().view(), ClauseView{second.data(), 2}};
  Strategy sink(Rule::CLAUSE);
  QrpStepInput input;
  input.levels = &prefix;
  input.views = views;
  input.count = 2;
  input.sink = &sink;
  EXPECT_EQ(derive_qrp_step(input, workspace).outcome, QrpDerivation::DERIVED);
  EXPECT_EQ(zeltest::dimacs(workspace.running()), zeltest::ints({1}));
  ASSERT_EQ(sink.entries().size(), 1u);
  EXPECT_EQ(sink.entries()[0].removed, Literal(4));
  EXPECT_EQ(zeltest::dimacs(sink.condition(sink.entries()[0].condition)), zeltest::ints({1}));
}

}  // namespace
