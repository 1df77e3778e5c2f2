// Herbrand functions of an AIGER certificate: one function per universal
// variable, over the existential variables quantified before it. They prove
// the formula false when the matrix, each universal replaced by its
// function, is unsatisfiable: then no choice of the existentials, made in
// prefix order, survives the universals' answers. Two checks: each function
// reads only existentials quantified before its universal (the cone of
// influence of its output), then MiniSat on the substituted matrix.
#ifndef ZEL_MODEL_HERBRAND_CHECK_HPP
#define ZEL_MODEL_HERBRAND_CHECK_HPP

#include <cstdint>

#include "formula/qcnf.hpp"
#include "read/aiger_reader.hpp"

// Work counts of a Herbrand check, for --stats.
struct HerbrandStatistics {
  uint64_t gates_encoded = 0;  // AND gates in the outputs' cones, given to MiniSat
  double test_seconds = 0;     // time of the MiniSat check
};

// `circuit` and `variables` hold Herbrand functions of `formula`
// (classify_aiger_certificate said so): outputs name universal variables,
// inputs existential ones. Throws Exception for the first output (in output
// order) whose cone reads an existential not quantified before its
// universal, naming the existential of highest level it reads.
void check_herbrand_dependencies(const QCNF& formula, const AigerCircuit& circuit,
                                 const AigerVariables& variables);

// After check_herbrand_dependencies: true when the matrix (the first
// `input_clauses` clauses of `formula`) with every universal literal
// replaced by its function's literal is unsatisfiable. A universal without
// a function is constant false. Otherwise prints the counterexample,
//   Counterexample found.
//   Assignment to existentials: 1 -2 5
// (every existential variable of the formula in ascending order, negative
// when false, in an assignment that satisfies the substituted matrix) and
// returns false. Encodes only the gates some output reads.
bool check_herbrand(const QCNF& formula, uint32_t input_clauses, const AigerCircuit& circuit,
                    const AigerVariables& variables, HerbrandStatistics& statistics);

#endif
