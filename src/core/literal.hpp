// A literal of the formula or the certificate: variable × 2 plus a sign bit.
// This is the same code MiniSat uses for its Lit, so per-literal arrays can be
// indexed by it and per-variable arrays by code >> 1.
#ifndef ZEL_CORE_LITERAL_HPP
#define ZEL_CORE_LITERAL_HPP

#include <cstdint>

// Variable numbers are positive; variable 0 never occurs in a formula and
// serves the readers as list terminator. Codes fit 32 bits because every
// reader refuses magnitudes above 2147483647.
struct Literal {
  uint32_t code = 0;  // variable × 2 + sign bit (1 = negative)

  Literal() = default;
  Literal(unsigned variable, bool negative) : code((variable << 1) | (negative ? 1u : 0u)) {}
  // From a signed DIMACS number; the callers guarantee |dimacs| <= INT32_MAX.
  explicit Literal(int dimacs)
      : code(dimacs < 0 ? ((static_cast<uint32_t>(-static_cast<int64_t>(dimacs)) << 1) | 1u)
                        : (static_cast<uint32_t>(dimacs) << 1)) {}

  unsigned variable() const { return code >> 1; }
  bool negative() const { return code & 1u; }
  Literal complement() const {
    Literal result;
    result.code = code ^ 1u;
    return result;
  }
  // The signed form in which literals are read and printed.
  int64_t to_dimacs() const {
    return negative() ? -static_cast<int64_t>(code >> 1) : static_cast<int64_t>(code >> 1);
  }

  bool operator==(const Literal& other) const { return code == other.code; }
  bool operator!=(const Literal& other) const { return code != other.code; }
};

#endif
