// Whether a cube implies the matrix of the formula: the test of a QRP
// trace's initial cubes. Every clause having a literal of the cube settles
// it at once; otherwise MiniSat decides whether the matrix's negation and
// the cube are unsatisfiable together. This file is the QRP checker's only
// use of MiniSat; the solver is built on the first cube that needs it.
#ifndef ZEL_PROOF_MATRIX_IMPLICATION_HPP
#define ZEL_PROOF_MATRIX_IMPLICATION_HPP

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/literal.hpp"
#include "formula/qcnf.hpp"

namespace Minisat {
class Solver;
}

class MatrixImplication {
 public:
  // The matrix is the first `clauses` clauses of `formula` (the QBF file's).
  MatrixImplication(const QCNF& formula, uint32_t clauses);
  ~MatrixImplication();

  // True when every assignment that makes the literals of `cube` true
  // satisfies every clause of the matrix. The cube's literals are distinct,
  // free of complementary pairs and name variables of the formula.
  bool implied_by(const std::vector<Literal>& cube);

  // Cubes MiniSat had to decide.
  uint64_t solver_calls() const { return solver_calls_; }

 private:
  bool every_clause_hit(const std::vector<Literal>& cube);
  void build_occurrences();
  void build_solver();

  const QCNF& formula_;                      // holds the matrix; not owned
  const uint32_t clauses_;                   // clauses of the matrix, positions 0..clauses_-1
  // The matrix's occurrence lists, built on the first cube: the clauses of
  // literal code c are occurrences_[first_[c] .. first_[c + 1]).
  std::vector<uint32_t> first_;
  std::vector<uint32_t> occurrences_;
  // Clause position -> the cube test that last found it hit.
  std::vector<uint32_t> hit_by_;
  uint32_t test_ = 0;                        // the current cube test's number
  PodVector<Literal> widened_;               // scratch of ClauseStore::read
  std::unique_ptr<Minisat::Solver> solver_;  // the matrix's negation, once needed
  // Formula variable -> solver variable, for the variables of the matrix
  // only: a large variable number costs the solver nothing.
  std::unordered_map<uint32_t, int> solver_variables_;
  uint64_t solver_calls_ = 0;                // cubes MiniSat decided
};

#endif
