// Reading tokens and numbers through the tokenizer's buffer.

#include "read/tokenizer.hpp"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "read/numbers.hpp"

void Tokenizer::FreeBuffer::operator()(char* buffer) const { std::free(buffer); }

Tokenizer::Tokenizer(ByteSource& source, Separators separators, const char* context)
    : source_(source), separators_(separators), context_(context) {
  // Page-aligned, so that plain files are read(2) into it at full speed.
  void* memory = std::aligned_alloc(4096, kBufferSize);
  if (!memory) throw std::bad_alloc();
  buffer_.reset(static_cast<char*>(memory));
  use_separators(separators);
}

void Tokenizer::use_separators(Separators separators) {
  separators_ = separators;
  for (bool& is : is_separator_) is = false;
  for (const unsigned char c : {' ', '\n', '\r'}) is_separator_[c] = true;
  if (separators_ == Separators::QDIMACS)
    for (const unsigned char c : {'\t', '\v', '\f'}) is_separator_[c] = true;
}

bool Tokenizer::refill() {
  if (exhausted_) return false;
  position_ = 0;
  end_ = source_.read(buffer_.get(), kBufferSize);
  if (end_ == 0) exhausted_ = true;
  return end_ != 0;
}

bool Tokenizer::skip_to(uint64_t target) {
  for (;;) {
    const uint64_t here = offset();
    assert(target >= here);
    if (target - here <= end_ - position_) {
      position_ += static_cast<size_t>(target - here);
      return true;
    }
    position_ = end_;
    if (!refill()) return false;
  }
}

int Tokenizer::get() {
  if (position_ == end_ && !refill()) {
    failed_ = true;
    return END;
  }
  const int c = static_cast<unsigned char>(buffer_.get()[position_++]);
  count(c);
  return c;
}

void Tokenizer::skip_separators() {
  int c;
  while ((c = peek()) != END && separator(c)) {
    ++position_;
    count(c);
  }
}

std::string Tokenizer::printable(const std::string& text, size_t limit) {
  std::string shown;
  for (size_t i = 0; i < limit && i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return shown;
}

void Tokenizer::refuse_long_token() const {
  // The first bytes, with anything but printable ASCII escaped.
  throw Exception(message::token_too_long(context_, printable(token_, 16)));
}

std::string_view Tokenizer::look_ahead(size_t count) {
  assert(count <= kBufferSize);
  if (end_ - position_ < count && !exhausted_) {
    // The unread bytes move to the front and the source fills the rest. Only
    // the first read after this goes to an address that is not page-aligned.
    char* buffer = buffer_.get();
    std::memmove(buffer, buffer + position_, end_ - position_);
    end_ -= position_;
    position_ = 0;
    while (end_ < count) {
      const size_t got = source_.read(buffer + end_, kBufferSize - end_);
      if (got == 0) {
        exhausted_ = true;
        break;
      }
      end_ += got;
    }
  }
  return std::string_view(buffer_.get() + position_, std::min(count, end_ - position_));
}

// The numbers of more than one byte, and any number at the end of the
// buffer. The fifth byte holds bits 28 to 34, of which only 28 to 31 fit.
bool Tokenizer::read_long_varint(uint32_t& value) {
  uint64_t result = 0;
  for (size_t i = 0;; ++i) {
    if (position_ == end_ && !refill()) {
      if (i == 0) return false;
      throw Exception("Binary number cut off by the end of the file.");
    }
    const unsigned byte = static_cast<unsigned char>(buffer_.get()[position_++]);
    result |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if (byte < 0x80) break;
    if (i + 1 == kLongestVarint) throw Exception("Binary number longer than 5 bytes.");
  }
  if (result > 0xFFFFFFFFull) throw Exception("Binary number above 4294967295.");
  value = static_cast<uint32_t>(result);
  return true;
}

const std::string& Tokenizer::token() {
  token_.clear();
  skip_separators();
  if (peek() == END) return token_;
  // Take whole runs of token bytes from the buffer at a time.
  for (;;) {
    const char* begin = buffer_.get() + position_;
    const size_t available = end_ - position_;
    size_t length = 0;
    while (length < available && !separator(static_cast<unsigned char>(begin[length]))) ++length;
    token_.append(begin, length);
    position_ += length;
    column_ += static_cast<uint32_t>(length);
    if (token_.size() > kLongestToken) refuse_long_token();
    if (length < available || peek() == END) break;
  }
  return token_;
}

const std::string& Tokenizer::next_qdimacs_token() {
  skip_separators();
  if (peek() == END) {
    failed_ = true;  // reading a token at the end fails the input
    token_.clear();
    return token_;
  }
  return token();
}

void Tokenizer::skip_line() {
  int c;
  do c = get();
  while (c != END && c != '\n');
}

int Tokenizer::skip_white_space() {
  int c;
  while ((c = peek()) != END && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    ++position_;
    count(c);
  }
  return c;
}


// Skips separators, then converts a plain number (an optional "-" and one to
// nine digits, followed by a separator within the buffer) straight from the
// buffer: the common case of every numeric field. False, with nothing of the
// token consumed, for anything else, which then takes the general path.
bool Tokenizer::read_plain_number(bool allow_negative, int64_t& value) {
  // One blank before the number is the common case: taken without the loop.
  if (end_ - position_ >= 2 && buffer_.get()[position_] == ' ' &&
      !separator(static_cast<unsigned char>(buffer_.get()[position_ + 1]))) {
    ++position_;
    ++column_;
  } else {
    skip_separators();
    if (position_ == end_) return false;
  }
  const char* text = buffer_.get() + position_;
  const size_t available = end_ - position_;
  size_t i = 0;
  const bool negative = text[0] == '-';
  if (negative) {
    if (!allow_negative) return false;
    ++i;
  }
  const size_t first_digit = i;
  int64_t magnitude = 0;
  // Eight bytes at once when the buffer holds them: the leading digits are
  // found and converted without a branch per byte (numbers of varying
  // length would have the branch predictor guess their ends wrong). Eight
  // digits or more, or the buffer's last bytes, are counted one by one.
  uint64_t chunk = 0;
  size_t digits = 8;
  if (available - i >= 8) {
    std::memcpy(&chunk, text + i, 8);
    digits = leading_digits(chunk);
  }
  if (digits == 0) return false;
  if (digits < 8) {
    magnitude = static_cast<int64_t>(convert_digits(chunk, digits));
    i += digits;
  } else {
    while (i < available && i - first_digit < 10 && text[i] >= '0' && text[i] <= '9')
      magnitude = magnitude * 10 + (text[i++] - '0');
    digits = i - first_digit;
  }
  if (digits == 0 || digits > 9 || i == available ||
      !separator(static_cast<unsigned char>(text[i])))
    return false;
  position_ += i;
  column_ += static_cast<uint32_t>(i);
  value = negative ? -magnitude : magnitude;
  return true;
}

namespace {

[[noreturn]] void conversion_failed(const std::string& token) {
  throw Exception(message::number_conversion_failed(token));
}

}  // namespace

int32_t Tokenizer::read_signed() {
  int64_t plain;
  if (read_plain_number(true, plain)) return static_cast<int32_t>(plain);
  int32_t value;
  if (!whole_signed32(token(), value)) conversion_failed(token_);
  return value;
}

uint32_t Tokenizer::read_unsigned() {
  uint32_t value;
  if (read_plain_unsigned(value)) return value;
  if (!whole_unsigned32(token(), value)) conversion_failed(token_);
  return value;
}

uint64_t Tokenizer::read_digits(std::string& shown, size_t shown_limit) {
  uint64_t value = 0;
  for (int c = peek(); c >= '0' && c <= '9'; c = peek()) {
    get();
    if (shown.size() < shown_limit) shown += static_cast<char>(c);
    if (value <= 0xFFFFFFFFull) value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}
