// The quantified formula under test: the quantifier prefix, every clause of
// the run in the flat clause store, and the extension definitions. Filled
// once from the QDIMACS file, it then only grows while the certificate is
// checked: resolvents, extension definitions and the variables that proof
// steps mention are appended, never removed.
//
// This layer never prints and never throws for bad input: a refused
// operation returns its message as a Refusal, and the caller decides when
// to throw.
#ifndef ZEL_FORMULA_QCNF_HPP
#define ZEL_FORMULA_QCNF_HPP

#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "core/limits.hpp"
#include "core/literal.hpp"
#include "core/quantifier.hpp"
#include "formula/working_clause.hpp"
#include "formula/extension.hpp"
#include "formula/rules.hpp"
#include "store/clause_store.hpp"

// The result of an operation that input can refuse: its message, empty when
// the operation was done. True when refused.
struct [[nodiscard]] Refusal {
  std::string message;

  explicit operator bool() const { return !message.empty(); }
};

// One block of the prefix. Variables enter at its end, or (block 0 only:
// outermost placement) at its front; `front` holds those in reverse order
// of entry, so that the block reads front reversed, then back.
struct Block {
  std::vector<uint32_t> front;  // entered at the front, latest last
  std::vector<uint32_t> back;   // entered at the end, in order

  size_t size() const { return front.size() + back.size(); }
  template <typename Visit>
  void for_each(Visit visit) const {
    for (auto it = front.rbegin(); it != front.rend(); ++it) visit(*it);
    for (uint32_t variable : back) visit(variable);
  }
};

class QCNF {
 public:
  // Invariants (checked by prefix_invariants): v is defined exactly when
  // v < quantifiers.size() and its type is not UNDEFINED; a defined variable
  // stands once in blocks, in the block whose index is its level. Even
  // blocks are existential, odd ones universal, so a level's parity is its
  // quantifier (is_universal_level); block 0 is empty when the first
  // variable placed was universal, every other block is non-empty. Nothing
  // is ever undefined, moved or redefined.
  ClauseStore clauses;                    // position p (0-based) is the p-th clause appended
  unsigned max_variable = 0;              // announced count, raised by every variable seen
  std::vector<unsigned> levels;           // variable -> level (block index); 0 if undefined
  std::vector<Quantifier> quantifiers;    // variable -> its quantifier; UNDEFINED if undefined
  std::vector<Block> blocks;              // the prefix, outermost block first
  Definitions definitions;                // every applied extension, in order of application

  // Defines `variable` outermost (front of block 0, or of block 1 for a
  // universal when there are no blocks) or innermost. When refused, the
  // formula is unchanged.
  Refusal new_variable(unsigned variable, Quantifier::Type type, bool outermost);
  // Defines `variable` in the block of `after` when the types agree, else in
  // the block right inside it.
  Refusal new_variable_after(unsigned variable, Quantifier::Type type, unsigned after);

  bool is_defined(unsigned variable) const {
    return variable < quantifiers.size() && quantifiers[variable].type != Quantifier::UNDEFINED;
  }
  // The quantifier is asked of the level, as the proof rules ask it.
  bool is_universal(unsigned variable) const {
    return is_defined(variable) && is_universal_level(levels[variable]);
  }
  bool is_existential(unsigned variable) const {
    return is_defined(variable) && !is_universal_level(levels[variable]);
  }
  // Both variables must be defined.
  bool is_before(unsigned a, unsigned b) const { return levels[a] < levels[b]; }

  // Extension definitions (extension.cpp): applicable when every operand is
  // defined; applying appends the defining clauses, places the fresh
  // variable and records the definition. The caller has checked that the
  // variable is fresh and the operands defined.
  bool is_applicable(const Definition& definition, const Literal* operands) const;
  Refusal apply_extension(const Definition& definition, const Literal* operands);

  // Total number of variables in all blocks.
  size_t quantified_variables() const;
  // The largest variable defined so far (0 if none): the tables end at it.
  // Unlike `max_variable` it ignores the header's announced count.
  unsigned largest_defined() const {
    assert(quantifiers.empty() || is_defined(static_cast<unsigned>(quantifiers.size() - 1)));
    return quantifiers.empty() ? 0 : static_cast<unsigned>(quantifiers.size() - 1);
  }

  // For asserts: the invariants above, for the whole prefix (linear time).
  bool prefix_invariants() const;

 private:
  WorkingClause defining_clause_;  // scratch of apply_extension

  Refusal within_limit(unsigned variable) const;
  void grow_tables(unsigned variable);
  unsigned deepest_operand(const Literal* operands, size_t count) const;
};

#endif
