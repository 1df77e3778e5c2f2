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

// The cheap test: each clause holds a literal the cube makes true.
bool MatrixImplication::every_clause_hit(const std::vector<Literal>& cube) {
  uint32_t largest = 0;
  for (const Literal& literal : cube) largest = std::max(largest, literal.code | 1u);
  if (in_cube_.size() <= largest) in_cube_.resize(size_t{largest} + 1, 0);
  for (const Literal& literal : cube) in_cube_[literal.code] = 1;
  bool hit_all = true;
  for (uint32_t position = 0; position < clauses_ && hit_all; ++position) {
    widened_.clear();
    const ClauseView clause = formula_.clauses.read(position, widened_);
    bool hit = false;
    for (const Literal& literal : clause)
      if (literal.code < in_cube_.size() && in_cube_[literal.code]) {
        hit = true;
        break;
      }
    hit_all = hit;
  }
  for (const Literal& literal : cube) in_cube_[literal.code] = 0;
  return hit_all;
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
