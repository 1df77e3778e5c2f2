// One variable's quantifier record, as kept in the formula's per-variable
// table: one byte, since the table has an entry for every variable number up
// to the largest in use.
#ifndef ZEL_CORE_QUANTIFIER_HPP
#define ZEL_CORE_QUANTIFIER_HPP

#include <cstdint>

struct Quantifier {
  enum Type : uint8_t {
    UNDEFINED = 0,    // not defined; also the filler of unused table entries
    UNIVERSAL = 1,    // "a" in QDIMACS
    EXISTENTIAL = 2,  // "e" in QDIMACS
  };

  Type type = UNDEFINED;  // how the variable is quantified
};

#endif
