// Decimal conversions shared by the tokenizer and the readers.

#include "read/numbers.hpp"

namespace {

inline bool conversion_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the sign and digits after leading white space. The magnitude
// saturates just above the 32-bit range so that long digit strings cannot
// overflow the accumulator.
Conversion scan(const char* text, size_t length, bool& negative, uint64_t& magnitude) {
  Conversion result;
  size_t i = 0;
  while (i < length && conversion_space(text[i])) ++i;
  negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t first_digit = i;
  magnitude = 0;
  while (i < length && text[i] >= '0' && text[i] <= '9') {
    if (magnitude <= 0xFFFFFFFFull) magnitude = magnitude * 10 + static_cast<unsigned>(text[i] - '0');
    ++i;
  }
  result.consumed = i == first_digit ? 0 : i;
  return result;
}

}  // namespace

Conversion convert_unsigned32(const char* text, size_t length) {
  bool negative;
  uint64_t magnitude;
  Conversion result = scan(text, length, negative, magnitude);
  if (magnitude > 0xFFFFFFFFull) {
    result.range_error = true;
    result.value = 0xFFFFFFFFll;
  } else {
    result.value = negative ? static_cast<int64_t>((0x100000000ull - magnitude) & 0xFFFFFFFFull)
                            : static_cast<int64_t>(magnitude);
  }
  return result;
}

Conversion convert_signed32(const char* text, size_t length) {
  bool negative;
  uint64_t magnitude;
  Conversion result = scan(text, length, negative, magnitude);
  if (magnitude > 0x7FFFFFFFull) {
    result.range_error = true;
    result.value = negative ? -0x7FFFFFFFll : 0x7FFFFFFFll;
  } else {
    result.value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  }
  return result;
}

namespace {

template <typename Value>
bool whole(Conversion (*convert)(const char*, size_t), const std::string& text, Value& value) {
  const Conversion number = convert(text.data(), text.size());
  value = static_cast<Value>(number.value);
  return !number.range_error && !text.empty() && number.consumed == text.size();
}

}  // namespace

bool whole_unsigned32(const std::string& text, uint32_t& value) {
  return whole(convert_unsigned32, text, value);
}

bool whole_signed32(const std::string& text, int32_t& value) {
  return whole(convert_signed32, text, value);
}
