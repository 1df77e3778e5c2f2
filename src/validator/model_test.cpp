// The clause-wise model test: one incremental MiniSat solver holds the
// extension definitions and one equivalence per model entry; each input
// clause is then tested by assuming its complement. A satisfiable call is a
// counterexample.
//
// Solver variables exist only for the formula variables these clauses
// mention, created in ascending variable order: a problem line may announce
// four billion variables and use ten.

#include <minisat/core/Solver.h>

#include <iostream>
#include <sstream>

#include "core/exception.hpp"
#include "zel.hpp"

using Minisat::lbool;

namespace {

int64_t milliseconds_between(const timeval& start, const timeval& end) {
  return static_cast<int32_t>((end.tv_usec - start.tv_usec) / 1000 +
                              (end.tv_sec - start.tv_sec) * 1000);
}

}  // namespace

bool ZEL::test_clausewise(Model& model) {
  Minisat::Solver solver;
  timeval sat_start;
  gettimeofday(&sat_start, nullptr);

  // Number the variables that reach the solver, in ascending order.
  std::vector<int> solver_variable(formula.variables.size(), -1);
  auto mention = [&](unsigned variable) { solver_variable[variable] = 0; };
  for (const auto& range : definition_clauses)
    for (uint32_t position = range.first; position < range.second; ++position)
      for (const Literal& literal : formula.clauses[position].literals) mention(literal.variable());
  for (const auto& entry : model) {
    mention(entry.first);
    mention(Literal(entry.second).variable());
  }
  const uint64_t input_clauses = static_cast<uint64_t>(last_input_clause) + 1;
  for (uint64_t position = 0; position < input_clauses; ++position)
    for (const Literal& literal : formula.clauses[position].literals) mention(literal.variable());
  for (size_t variable = 0; variable < solver_variable.size(); ++variable)
    if (solver_variable[variable] == 0) solver_variable[variable] = solver.newVar();

  auto to_solver = [&](const Literal& literal) {
    return Minisat::mkLit(solver_variable[literal.variable()], literal.negative());
  };

  // Only the defining clauses of applied extensions constrain the model:
  // clauses derived by proof steps are consequences of the matrix, and
  // assuming them could hide counterexamples.
  Minisat::vec<Minisat::Lit> clause;
  for (const auto& range : definition_clauses)
    for (uint32_t position = range.first; position < range.second; ++position) {
      clause.clear();
      for (const Literal& literal : formula.clauses[position].literals)
        clause.push(to_solver(literal));
      solver.addClause(clause);
    }
  for (const auto& entry : model) {
    const Minisat::Lit variable = to_solver(Literal(entry.first, false));
    const Minisat::Lit function = to_solver(Literal(entry.second));
    solver.addClause(variable, ~function);
    solver.addClause(~variable, function);
  }

  Minisat::vec<Minisat::Lit> assumptions;
  for (uint64_t position = 0; position < input_clauses; ++position) {
    const DClause& tested = formula.clauses[position];
    if (debug) std::cout << "\rTesting clause " << position + 1 << "/" << input_clauses << std::flush;
    assumptions.clear();
    for (const Literal& literal : tested.literals) assumptions.push(~to_solver(literal));
    if (!solver.okay()) throw Exception("Minisat not ready.");
    if (!solver.solve(assumptions)) continue;

    std::cout << std::endl << "Counterexample found." << std::endl;
    std::cout << "Clause (#" << position + 1 << "): " << tested.to_string() << std::endl;
    if (debug) {
      std::cout << "Assignment to universals: ";
      for (size_t variable = 1; variable < formula.variables.size(); ++variable) {
        if (formula.variables[variable].type != Quantifier::UNIVERSAL) continue;
        const int mapped = solver_variable[variable];
        const bool value = mapped >= 0 && solver.modelValue(mapped) == l_True;
        std::cout << variable << "=" << (value ? "1" : "0") << " ";
      }
      std::cout << std::endl;
    }
    return false;
  }

  if (debug) {
    timeval end;
    gettimeofday(&end, nullptr);
    std::cout << std::endl;
    const int64_t sat_ms = milliseconds_between(sat_start, end);
    const int64_t total_ms = milliseconds_between(start_time, end);
    std::cout << "SAT TIME: " << sat_ms / 1000.0 << " sec." << std::endl;
    std::cout << "TOT TIME: " << total_ms / 1000.0 << " sec." << std::endl;
    std::cout << "SAT PERCENTAGE: " << static_cast<double>(sat_ms) / static_cast<double>(total_ms) * 100.0
              << " %" << std::endl;
  }
  return true;
}
