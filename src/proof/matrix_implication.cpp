// The initial-cube test: a scan of the matrix, then MiniSat.

#include "proof/matrix_implication.hpp"

#include <minisat/core/Solver.h>

#include <algorithm>
#include <cassert>

MatrixImplication::MatrixImplication(const QCNF& formula, uint32_t clauses)
    : formula_(formula), clauses_(clauses) {}

MatrixImplication::~MatrixImplication() = default;

bool MatrixImplication::implied_by(const std::vector<Literal>& cube) {
  if (every_clause_hit(cube)) return true;
  if (!solver_) build_solver();
  ++solver_calls_;
  Minisat::vec<Minisat::Lit> assumptions;
  // A variable the matrix does not name cannot help falsify a clause: its
  // literal of the cube is left out.
  for (const Literal& literal : cube) {
    const auto found = solver_variables_.find(literal.variable());
    if (found != solver_variables_.end())
      assumptions.push(Minisat::mkLit(found->second, literal.negative()));
  }
  // Unsatisfiable: no assignment extending the cube falsifies a clause.
  return !solver_->solve(assumptions);
}

// The cheap test: each clause holds a literal the cube makes true. The
// clauses of the cube's literals are counted once each through the
// occurrence lists: time in the cube's occurrences, not in the matrix.
bool MatrixImplication::every_clause_hit(const std::vector<Literal>& cube) {
  if (first_.empty()) build_occurrences();
  if (++test_ == 0) {  // the numbers wrapped: no clause may look hit by this test
    std::fill(hit_by_.begin(), hit_by_.end(), 0);
    test_ = 1;
  }
  uint32_t hit = 0;
  for (const Literal& literal : cube) {
    if (literal.code + 1 >= first_.size()) continue;  // a literal the matrix does not name
    for (uint32_t i = first_[literal.code]; i < first_[literal.code + 1]; ++i) {
      const uint32_t position = occurrences_[i];
      hit += hit_by_[position] != test_;
      hit_by_[position] = test_;
    }
  }
  assert(hit <= clauses_);
  return hit == clauses_;
}

// Two passes over the matrix: the occurrences per literal code, then the
// lists in place (counting sort by code).
void MatrixImplication::build_occurrences() {
  first_.assign(2, 0);
  for (uint32_t position = 0; position < clauses_; ++position) {
    widened_.clear();
    for (const Literal& literal : formula_.clauses.read(position, widened_)) {
      if (first_.size() < size_t{literal.code} + 2) first_.resize(size_t{literal.code} + 2, 0);
      ++first_[literal.code + 1];
    }
  }
  for (size_t code = 1; code < first_.size(); ++code) first_[code] += first_[code - 1];
  occurrences_.resize(first_.back());
  std::vector<uint32_t> next(first_.begin(), first_.end() - 1);
  for (uint32_t position = 0; position < clauses_; ++position) {
    widened_.clear();
    for (const Literal& literal : formula_.clauses.read(position, widened_))
      occurrences_[next[literal.code]++] = position;
  }
  hit_by_.assign(clauses_, 0);
}

// The matrix's negation: a selector per clause that, when true, makes every
// literal of its clause false, and one clause asking some selector to be
// true. The matrix's variables get solver variables as they are met.
void MatrixImplication::build_solver() {
  solver_.reset(new Minisat::Solver);
  Minisat::Solver& solver = *solver_;
  solver_variables_.clear();
  Minisat::vec<Minisat::Lit> some_selector, implication;
  for (uint32_t position = 0; position < clauses_; ++position) {
    const Minisat::Var selector = solver.newVar();
    some_selector.push(Minisat::mkLit(selector));
    widened_.clear();
    for (const Literal& literal : formula_.clauses.read(position, widened_)) {
      assert(literal.variable() < formula_.quantifiers.size());
      const auto entry = solver_variables_.emplace(literal.variable(), 0);
      if (entry.second) entry.first->second = solver.newVar();
      implication.clear();
      implication.push(Minisat::mkLit(selector, true));
      implication.push(Minisat::mkLit(entry.first->second, !literal.negative()));
      solver.addClause(implication);
    }
  }
  solver.addClause(some_selector);
}
