// Tseitin's encoding of a two-input AND for MiniSat, the one place every
// MiniSat query over gates takes its clauses from.
#ifndef ZEL_MODEL_TSEITIN_HPP
#define ZEL_MODEL_TSEITIN_HPP

#include <minisat/core/Solver.h>

// The three clauses of x = a AND b.
inline void add_and_clauses(Minisat::Solver& solver, Minisat::Lit x, Minisat::Lit a,
                            Minisat::Lit b) {
  solver.addClause(~x, a);
  solver.addClause(~x, b);
  solver.addClause(x, ~a, ~b);
}

#endif
