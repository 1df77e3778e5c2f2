// Reading the certificate token by token, counting lines and columns.
// Only blank, carriage return and line feed separate tokens; a tab or any
// other byte belongs to the token it stands in.

#include <sstream>

#include "../formula/numbers.hpp"
#include "core/exception.hpp"
#include "zel.hpp"

namespace {

inline bool separator(int c) { return c == ' ' || c == '\n' || c == '\r'; }

[[noreturn]] void conversion_failed(const std::string& token) {
  throw Exception("Number conversion failed (" + token + ").");
}

}  // namespace

std::string& ZEL::read_token(std::ifstream& in) {
  bind(in);
  token.clear();
  int c;
  while ((c = input.peek()) != InputBuffer::END && separator(c)) {
    input.skip(1);
    count(c);
  }
  if (c == InputBuffer::END) return token;
  // Take whole runs of token bytes from the buffer at a time.
  for (;;) {
    const char* begin = input.data();
    const size_t available = input.available();
    size_t length = 0;
    while (length < available && !separator(static_cast<unsigned char>(begin[length]))) ++length;
    token.append(begin, length);
    input.skip(length);
    column += static_cast<uint32_t>(length);
    if (length < available || !input.fill()) break;
  }
  return token;
}

// Skips separators, then converts a plain number (an optional "-" and one to
// nine digits, followed by a separator within the buffer) straight from the
// buffer: the common case of every numeric field. False, with nothing of the
// token consumed, for anything else, which then takes the general path.
bool ZEL::read_plain_number(std::ifstream& in, bool allow_negative, int64_t& value) {
  bind(in);
  int c;
  while ((c = input.peek()) != InputBuffer::END && separator(c)) {
    input.skip(1);
    count(c);
  }
  const char* text = input.data();
  const size_t available = input.available();
  size_t i = 0;
  const bool negative = available > 0 && text[0] == '-';
  if (negative) {
    if (!allow_negative) return false;
    ++i;
  }
  const size_t first_digit = i;
  int64_t magnitude = 0;
  while (i < available && i - first_digit < 10 && text[i] >= '0' && text[i] <= '9')
    magnitude = magnitude * 10 + (text[i++] - '0');
  const size_t digits = i - first_digit;
  if (digits == 0 || digits > 9 || i == available || !separator(static_cast<unsigned char>(text[i])))
    return false;
  input.skip(i);
  column += static_cast<uint32_t>(i);
  value = negative ? -magnitude : magnitude;
  return true;
}

int32_t ZEL::read_signed(std::ifstream& in) {
  int64_t value;
  if (read_plain_number(in, true, value)) return static_cast<int32_t>(value);
  const std::string& text = read_token(in);
  const Conversion number = convert_signed32(text.data(), text.size());
  if (number.range_error || text.empty() || number.consumed != text.size()) conversion_failed(text);
  return static_cast<int32_t>(number.value);
}

uint32_t ZEL::read_unsigned(std::ifstream& in) {
  int64_t value;
  if (read_plain_number(in, false, value)) return static_cast<uint32_t>(value);
  const std::string& text = read_token(in);
  const Conversion number = convert_unsigned32(text.data(), text.size());
  if (number.range_error || text.empty() || number.consumed != text.size()) conversion_failed(text);
  return static_cast<uint32_t>(number.value);
}

Literal ZEL::read_literal(std::ifstream& in) { return Literal(read_signed(in)); }

int ZEL::read_character(std::ifstream& in) {
  bind(in);
  const int c = input.get();
  if (c != InputBuffer::END) count(c);
  return c;
}

int ZEL::read_whitespace(std::ifstream& in) {
  bind(in);
  int c;
  while ((c = input.peek()) != InputBuffer::END &&
         (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    input.skip(1);
    count(c);
  }
  return c;
}
