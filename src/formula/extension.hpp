// Records of extension definitions: a fresh variable defined as the AND of
// some literals, or as an if-then-else of three literals. The formula applies
// them (qcnf.hpp); the validator holds back those whose operands are not yet
// defined.
#ifndef ZEL_FORMULA_EXTENSION_HPP
#define ZEL_FORMULA_EXTENSION_HPP

#include <vector>

#include "core/literal.hpp"

struct and_extension {
  unsigned line = 0;              // certificate line of the type token, for reports
  Literal variable;               // the fresh variable, built positive by the reader
  std::vector<Literal> literals;  // conjuncts in reading order; repeats stay, may be empty
};

struct ite_extension {
  unsigned line = 0;     // certificate line of the type token, for reports
  Literal variable;      // the fresh variable, built positive by the reader
  Literal condition;     // first operand
  Literal then_literal;  // the value when the condition holds
  Literal else_literal;  // the value otherwise
};

#endif
