// The tokenizer: tokens and numbers from a byte source, through one large
// buffer of our own, with the line and column of the next byte. Every
// reader uses it: zel's certificates and AIGER circuits separate tokens by
// blanks and line ends only (a tab belongs to its token), QDIMACS files and
// QRP traces by any white space; binary formats take binary numbers from it.
#ifndef ZEL_READ_TOKENIZER_HPP
#define ZEL_READ_TOKENIZER_HPP

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/limits.hpp"
#include "core/literal.hpp"
#include "read/byte_source.hpp"
#include "read/input_position.hpp"

class Tokenizer {
 public:
  enum class Separators {
    CERTIFICATE,  // ' ', '\n', '\r'
    QDIMACS,      // ' ', '\t', '\n', '\v', '\f', '\r'
  };
  static constexpr int END = -1;  // returned by peek and get at the end of input

  // The longest token, from the limits (a longer one is refused at once).
  static constexpr size_t kLongestToken = ::kLongestToken;

  // Bytes buffered at a time; also the most look_ahead gives.
  static constexpr size_t kBufferSize = 1 << 20;
  // The longest binary number (read_varint): 5 bytes of 7 bits hold 32 bits.
  static constexpr size_t kLongestVarint = 5;

  // Reads `source`, which must outlive the tokenizer. `context` starts the
  // message of a refused token ("QBF File: " for formulas).
  Tokenizer(ByteSource& source, Separators separators, const char* context = "");

  // Changes which bytes separate tokens from the next read on (a reader
  // that takes over a tokenizer after the certificate kind was told).
  void use_separators(Separators separators);

  // Position of the next byte: lines and columns count from 1, and a
  // carriage return and a line feed each end a line.
  uint32_t line() const { return line_; }
  uint32_t column() const { return column_; }

  // Bytes consumed so far: the offset of the next byte in the
  // (decompressed) input, counted from 0. Binary formats report positions so.
  uint64_t offset() const { return source_.bytes_out() - (end_ - position_); }

  // Where the next byte stands, as messages and the readers' blocks give it.
  InputPosition position() const { return InputPosition{line_, column_, offset()}; }

  // A read past the end happened (get at the end, or next_qdimacs_token).
  bool failed() const { return failed_; }

  // The next `count` bytes (fewer only at the end of input) without
  // consuming them; count is at most kBufferSize. Reads the source as far
  // as needed, so on a pipe this waits for the bytes. The view stays valid
  // until the next read.
  std::string_view look_ahead(size_t count);

  // The next byte without consuming it, or END.
  int peek() {
    if (position_ == end_ && !refill()) return END;
    return static_cast<unsigned char>(buffer_.get()[position_]);
  }
  // Consumes one byte and counts it; at the end, END and the failed state.
  int get();

  // Skips separators and returns the next token (empty at the end of input,
  // without failing). The reference stays valid until the next read.
  const std::string& token();
  // The same, failing the input when no token is left (QDIMACS reading).
  const std::string& next_qdimacs_token();
  // Consumes bytes up to and including the next line feed, or to the end
  // (which fails the input).
  void skip_line();
  // Skips ' ', '\t', '\r' and '\n'; returns the next byte or END.
  int skip_white_space();
  // Consumes a run of decimal digits (none at all when the next byte is no
  // digit) and returns its value, or a value above 0xFFFFFFFF when it does
  // not fit 32 bits; the first `shown_limit` digits are appended to `shown`
  // for messages. The readers that take numbers byte by byte use it.
  uint64_t read_digits(std::string& shown, size_t shown_limit);
  // Skips the separators of this tokenizer (see Separators).
  void skip_separators();
  // Moves on to byte offset `target` (not before offset()) without taking
  // the bytes between as tokens; lines and columns are not counted over
  // them (the QRP checker's second reading skips the steps it need not
  // check and reports no position from it). False when the input ends
  // before `target`.
  bool skip_to(uint64_t target);

  // A number field: an optional sign and decimal digits, converted with
  // 32-bit semantics; anything else throws "Number conversion failed (T)."
  // with the token read.
  int32_t read_signed();
  uint32_t read_unsigned();
  Literal read_literal() { return Literal(read_signed()); }
  // The common case of a field that may be a number or a word: a plain
  // unsigned number (one to nine digits followed by a separator) is read,
  // and true; otherwise only separators are consumed, and false.
  bool read_plain_unsigned(uint32_t& value) {
    int64_t plain;
    if (!read_plain_number(false, plain)) return false;
    value = static_cast<uint32_t>(plain);
    return true;
  }
  // The same for a signed number (an optional "-" and one to nine digits).
  bool read_plain_signed(int32_t& value) {
    int64_t plain;
    if (!read_plain_number(true, plain)) return false;
    value = static_cast<int32_t>(plain);
    return true;
  }

  // A binary number: 7 bits a byte, low bits first, the high bit set on
  // every byte but the last (binary QRP and AIGER). False, with nothing
  // consumed, at the end of input; throws "Binary number cut off by the end
  // of the file." when the input ends inside one, "Binary number longer than
  // 5 bytes." and "Binary number above 4294967295.". Bytes read so are not
  // counted in line and column: binary positions are offsets.
  bool read_varint(uint32_t& value) {
    // Most numbers of a binary proof are one byte, and nearly all lie in
    // the buffer: taken here inline.
    if (end_ - position_ >= kLongestVarint) {
      const size_t length =
          decode_varint(reinterpret_cast<const unsigned char*>(buffer_.get()) + position_, value);
      if (length != 0) {
        position_ += length;
        return true;
      }
    } else if (position_ != end_) {
      const unsigned char first = static_cast<unsigned char>(buffer_.get()[position_]);
      if (first < 0x80) {
        ++position_;
        value = first;
        return true;
      }
    }
    return read_long_varint(value);
  }

  // How read_varint_list ended.
  enum class ListEnd {
    ZERO,     // at the 0 that ends the list (consumed)
    END,      // the input ended where a number should start
    REFUSED,  // take refused a number; the reader stands right after it
  };
  // A list of binary numbers ended by a 0 (the lists of a binary QRP
  // entry): each number before the 0 goes to take(value), which returns
  // false to refuse it. Numbers that lie wholly in the buffer are decoded
  // in place, without a call per number; the buffer's last bytes, and any
  // malformed number, go through read_varint, which refills and throws its
  // messages at the same positions. `refused` receives a refused number.
  template <typename Take>
  ListEnd read_varint_list(Take&& take, uint32_t& refused) {
    const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(buffer_.get());
    for (;;) {
      size_t at = position_;
      const size_t end = end_;
      while (at < end) {
        uint32_t value = bytes[at];
        if (value < 0x80) {
          ++at;
        } else {
          if (end - at < kLongestVarint) break;
          const size_t length = decode_varint(bytes + at, value);
          if (length == 0) break;  // read_varint throws
          at += length;
        }
        if (value == 0) {
          position_ = at;
          return ListEnd::ZERO;
        }
        if (!take(value)) {
          position_ = at;
          refused = value;
          return ListEnd::REFUSED;
        }
      }
      position_ = at;
      // One number the loop left: at the buffer's end, or malformed.
      uint32_t value;
      if (!read_varint(value)) return ListEnd::END;
      if (value == 0) return ListEnd::ZERO;
      if (!take(value)) {
        refused = value;
        return ListEnd::REFUSED;
      }
    }
  }

  // A list of decimal numbers ended by a 0 (the lists of an ASCII QRP
  // step), as far as it is plain: each number one blank after the one
  // before, an optional "-" (when `allow_negative`) and one to seven digits
  // followed by a separator, all in the buffer. Those are converted in
  // place, without a call per number, and go to take(value), which returns
  // false to refuse one. ZERO: the 0 was consumed; REFUSED: take refused
  // `refused`, the reader stands right after it; END (here: anything else):
  // nothing of the next number was consumed, the caller reads it the
  // general way (read_signed and its kin) and may call again. A number
  // starts no earlier than at a blank, so lines and columns stay counted.
  //
  // Where 80 bytes or more are left, the buffer is taken 64 bytes at a
  // time: a mask of the bytes that may end a number (0x20 and below) tells
  // where each number ends, so that finding the next number does not wait
  // for the conversion of the one before.
  template <typename Take>
  ListEnd read_plain_list(bool allow_negative, Take&& take, int32_t& refused) {
    const char* const bytes = buffer_.get();
    size_t at = position_;  // the blank before the next number
    ListEnd ended = ListEnd::END;
    // Converts the number of `length` bytes after the blank at `blank`;
    // false when it is not plain.
    const auto convert = [&](size_t blank, size_t length, int32_t& value) {
      const char* const text = bytes + blank + 1;
      const bool negative = text[0] == '-';
      if (negative && !allow_negative) return false;
      const size_t digits = length - negative;
      if (digits == 0 || digits > 7) return false;
      uint64_t chunk;
      std::memcpy(&chunk, text + negative, 8);
      if (leading_digits(chunk) != digits || !separator(static_cast<unsigned char>(text[length])))
        return false;
      const int32_t magnitude = static_cast<int32_t>(convert_digits(chunk, digits));
      value = negative ? -magnitude : magnitude;
      return true;
    };
    // Takes a converted number that ends before `next`: false when the
    // list ends there (the 0, or a refusal).
    const auto hand_over = [&](int32_t value, size_t next) {
      at = next;
      if (value == 0) {
        ended = ListEnd::ZERO;
        return false;
      }
      if (!take(value)) {
        refused = value;
        ended = ListEnd::REFUSED;
        return false;
      }
      return true;
    };
    constexpr size_t kBlock = 64, kSlack = 16;
    for (bool going = true; going && end_ - at >= kBlock + kSlack;) {
      const size_t base = at;
      const uint64_t ends = low_bytes(bytes + base);  // bit i: bytes[base + i] <= 0x20
      for (;;) {
        const size_t blank = at - base;
        if (bytes[at] != ' ') {
          going = false;
          break;
        }
        const uint64_t later = blank + 1 < kBlock ? ends >> (blank + 1) : 0;
        if (later == 0) break;  // the number ends in the next block
        const size_t length = static_cast<size_t>(__builtin_ctzll(later));
        int32_t value;
        if (!convert(at, length, value) || !hand_over(value, at + 1 + length)) {
          going = false;
          break;
        }
      }
      // A number longer than a block is left to the general reading.
      if (at == base) going = false;
    }
    // The buffer's last bytes, one number at a time.
    while (ended == ListEnd::END && end_ - at >= 10 && bytes[at] == ' ') {
      uint64_t chunk;
      std::memcpy(&chunk, bytes + at + 1 + (bytes[at + 1] == '-'), 8);
      const size_t length = leading_digits(chunk) + (bytes[at + 1] == '-');
      int32_t value;
      if (!convert(at, length, value) || !hand_over(value, at + 1 + length)) break;
    }
    column_ += static_cast<uint32_t>(at - position_);
    position_ = at;
    return ended;
  }

  // Up to `limit` bytes of `text` for a message, anything but printable
  // ASCII escaped as \xHH.
  static std::string printable(const std::string& text, size_t limit);

 private:
  bool refill();
  bool separator(int c) const { return is_separator_[static_cast<unsigned char>(c)]; }
  void count(int c) {
    if (c == '\n' || c == '\r') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
  }
  bool read_plain_number(bool allow_negative, int64_t& value);
  // The number of ASCII digits at the start of `chunk` (its first byte in
  // memory is the lowest): a byte is a digit when its high nibble is 3 both
  // before and after adding 6 (0x30 to 0x39). A carry out of a byte of 0xFA
  // or more can only reach later bytes, after a non-digit.
  static size_t leading_digits(uint64_t chunk) {
    const uint64_t high = (chunk & bytes_of(0xF0)) ^ bytes_of(0x30);
    const uint64_t shifted = ((chunk + bytes_of(0x06)) & bytes_of(0xF0)) ^ bytes_of(0x30);
    const uint64_t other = high | shifted;  // non-zero bytes: not a digit
    return other == 0 ? 8 : static_cast<size_t>(__builtin_ctzll(other)) / 8;
  }
  // The value of the first `digits` (1 to 7) ASCII digits of `chunk`: they
  // are moved to the top, zero bytes standing for leading zeros, and
  // combined in pairs, fours and eights.
  static uint64_t convert_digits(uint64_t chunk, size_t digits) {
    assert(digits >= 1 && digits <= 7);
    uint64_t value = (chunk & bytes_of(0x0F)) << (8 * (8 - digits));
    value = (value * 10 + (value >> 8)) & 0x00FF00FF00FF00FFull;
    value = (value * 100 + (value >> 16)) & 0x0000FFFF0000FFFFull;
    value = (value * 10000 + (value >> 32)) & 0x00000000FFFFFFFFull;
    return value;
  }
  static constexpr uint64_t bytes_of(uint8_t byte) { return 0x0101010101010101ull * byte; }
  // Bit i set when byte i of the 64 at `at` is 0x20 or below: every
  // separator is, no digit or sign is.
  static uint64_t low_bytes(const char* at) {
#if defined(__SSE2__)
    uint64_t mask = 0;
    const __m128i blank = _mm_set1_epi8(0x20);
    for (int part = 0; part < 4; ++part) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16 * part));
      const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(chunk, blank), chunk);
      mask |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(low))) << (16 * part);
    }
    return mask;
#else
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
      mask |= static_cast<uint64_t>(static_cast<unsigned char>(at[i]) <= 0x20) << i;
    return mask;
#endif
  }
  // The binary number at `at`, which has kLongestVarint bytes or more after
  // it: its length, or 0 when it is longer or above 4294967295 (left to
  // read_long_varint, which words the fault).
  static size_t decode_varint(const unsigned char* at, uint32_t& value) {
    uint64_t result = 0;
    for (size_t length = 0; length < kLongestVarint; ++length) {
      const unsigned byte = at[length];
      result |= static_cast<uint64_t>(byte & 0x7Fu) << (7 * length);
      if (byte < 0x80) {
        if (result > 0xFFFFFFFFull) return 0;
        value = static_cast<uint32_t>(result);
        return length + 1;
      }
    }
    return 0;
  }
  bool read_long_varint(uint32_t& value);
  [[noreturn]] void refuse_long_token() const;

  struct FreeBuffer {
    void operator()(char* buffer) const;
  };
  ByteSource& source_;                        // where the bytes come from; not owned
  Separators separators_;                     // which bytes separate tokens
  bool is_separator_[256] = {};               // byte -> separates tokens
  const char* const context_;                 // start of the long-token message
  std::unique_ptr<char, FreeBuffer> buffer_;  // kBufferSize bytes, page-aligned
  size_t position_ = 0;                       // next unread byte in buffer_
  size_t end_ = 0;                            // bytes of buffer_ that hold input
  bool exhausted_ = false;                    // the source delivered its last byte
  bool failed_ = false;                       // a read went past the end
  uint32_t line_ = 1;                         // line of the next byte, from 1
  uint32_t column_ = 1;                       // column of the next byte, from 1
  std::string token_;                         // the last token read; reused storage
};

#endif
