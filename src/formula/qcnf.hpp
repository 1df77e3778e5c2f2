// The quantified formula under test: the matrix and the quantifier prefix.
// Filled once from the QDIMACS file, it then only grows while the
// certificate is read: resolvents, extension definitions and the variables
// that proof steps mention are appended, never removed.
#ifndef ZEL_FORMULA_QCNF_HPP
#define ZEL_FORMULA_QCNF_HPP

#include <cstdint>
#include <istream>
#include <list>
#include <string>
#include <vector>

#include "dclause.hpp"
#include "extension.hpp"
#include "core/literal.hpp"
#include "quantifier.hpp"

// The per-variable tables are indexed by variable number and take 12 bytes
// per number up to the largest defined one, so numbers beyond this are
// refused: a file must not make us allocate gigabytes by naming one huge
// variable. Problem lines may still announce any count.
constexpr unsigned kMaxVariable = (1u << 25) - 1;  // 33554431, tables of at most 400 MB

// The announced clause count only sizes a reservation, and no further than
// this: a header may announce four billion clauses and hold two.
constexpr uint64_t kMaxClauseReservation = 1u << 20;

class QCNF {
 public:
  // Invariants: v is defined exactly when v < variables.size() and its type is
  // not UNDEFINED; a defined variable stands once in blocks, in the block whose
  // index is its level. Even blocks are existential, odd ones universal; block 0
  // is empty when the first variable placed was universal, every other block
  // is non-empty. Nothing is ever undefined, moved or redefined.
  std::vector<DClause> clauses;           // the matrix; position p (1-based) is element p - 1
  unsigned max_variable = 0;              // announced count, raised by every variable seen
  std::string error;                      // message of the last refused operation
  std::vector<unsigned> levels;           // variable -> level (block index); 0 if undefined
  std::vector<Quantifier> variables;      // variable -> record; {UNDEFINED, 0} if undefined
  std::vector<std::list<Quantifier>> blocks;  // the prefix, outermost block first

  // Defines `variable` outermost (front of block 0, or of block 1 for a
  // universal when there are no blocks) or innermost. False with `error` set
  // when refused; the formula is then unchanged.
  bool new_variable(unsigned variable, Quantifier::Type type, bool outermost);
  // Defines `variable` in the block of `after` when the types agree, else in
  // the block right inside it.
  bool new_variable_after(unsigned variable, Quantifier::Type type, unsigned after);

  bool is_defined(unsigned variable) const {
    return variable < variables.size() && variables[variable].type != Quantifier::UNDEFINED;
  }
  bool is_universal(unsigned variable) const {
    return variable < variables.size() && variables[variable].type == Quantifier::UNIVERSAL;
  }
  // Both variables must be defined.
  bool is_before(unsigned a, unsigned b) const { return levels[a] < levels[b]; }

  // Throw "Undefined variable: " / "Variable is not fresh: " with the signed
  // value. Variable 0 counts as defined: it never exists, so it is never fresh.
  bool check_defined(const Literal& literal) const;
  bool check_fresh(const Literal& literal) const;
  // Throws when the literal's variable is beyond kMaxVariable, so that a
  // definition is refused before anything is changed.
  bool check_supported(const Literal& literal) const;

  // Q-resolves the clauses at 0-based positions i and j on `pivot` and appends
  // the resolvent, after printing the "Resolving [" line. False when a
  // position is out of range (nothing printed) or the resolution fails.
  bool qresolve(unsigned i, unsigned j, unsigned pivot);

  // Loads a QDIMACS file into this empty formula (qdimacs.cpp).
  bool read_qdimacs(std::istream& in);

  // Extension definitions (extension.cpp).
  bool is_applicable(const and_extension& extension) const;
  bool is_applicable(const ite_extension& extension) const;
  bool apply_extension(const and_extension& extension);
  bool apply_extension(const ite_extension& extension);

  // Total number of variables in all blocks.
  size_t quantified_variables() const;

 private:
  bool within_limit(unsigned variable);
  void grow_tables(unsigned variable);
  unsigned deepest_operand(const Literal* operands, size_t count) const;
};

#endif
