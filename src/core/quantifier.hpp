// One variable's quantifier record, as kept in the formula's per-variable
// table and in its quantifier blocks.
#ifndef ZEL_CORE_QUANTIFIER_HPP
#define ZEL_CORE_QUANTIFIER_HPP

#include <cstdint>

struct Quantifier {
  enum Type : int32_t {
    UNDEFINED = 0,    // not defined; also the filler of unused table entries
    UNIVERSAL = 1,    // "a" in QDIMACS
    EXISTENTIAL = 2,  // "e" in QDIMACS
  };

  Type type = UNDEFINED;  // how the variable is quantified
  unsigned variable = 0;  // the variable's number (0 in filler entries)
};

#endif
