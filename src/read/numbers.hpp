// Decimal conversions with the semantics of the C library's strtol and
// strtoul on a platform with 32-bit long, whatever the width of long here.
// Converting in 64 bits and narrowing afterwards would turn 4294967297 into
// 1; these functions report a range error instead.
#ifndef ZEL_READ_NUMBERS_HPP
#define ZEL_READ_NUMBERS_HPP

#include <cstddef>
#include <cstdint>
#include <string>

struct Conversion {
  int64_t value = 0;        // the converted number (meaningless on a range error)
  bool range_error = false; // the magnitude does not fit the target range
  size_t consumed = 0;      // characters used; 0 when no digit was found
};

// Like strtoul in base 10 into 32 bits: leading white space, an optional sign,
// digits. A "-" negates modulo 2^32, so "-1" gives 4294967295; magnitudes
// above 4294967295 are range errors.
Conversion convert_unsigned32(const char* text, size_t length);

// Like strtol in base 10, but symmetric: only -2147483647 .. 2147483647 are
// accepted, since a literal's magnitude must be a variable number that fits
// the 32-bit literal code. -2147483648 is a range error.
Conversion convert_signed32(const char* text, size_t length);

// True when all of `text` is one number in the range of the conversion
// (no other character, not empty); `value` then holds it. Every field the
// readers take as a whole token is checked this way.
bool whole_unsigned32(const std::string& text, uint32_t& value);
bool whole_signed32(const std::string& text, int32_t& value);

#endif
