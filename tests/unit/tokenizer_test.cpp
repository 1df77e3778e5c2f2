// The tokenizer: which bytes separate tokens (certificates: blanks and line
// ends; QDIMACS: any white space), how every consumed byte moves the line
// and column (CR and LF each start a line), the decimal conversions with
// their 32-bit boundaries, the refusal of over-long tokens, and the exact
// error messages. Input comes from memory.
#include "read/tokenizer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "read/numbers.hpp"
#include "support.hpp"

namespace {

using zeltest::MemoryTokens;
using zeltest::message_of;

struct Position {
  uint32_t line, column;
  bool operator==(const Position& other) const {
    return line == other.line && column == other.column;
  }
};
std::ostream& operator<<(std::ostream& out, const Position& p) {
  return out << p.line << ":" << p.column;
}
Position where(const Tokenizer& tokens) {
  return {tokens.line(), tokens.column()};
}

TEST(Tokenizer, TokensAndPositionsAcrossLineEnds) {
  MemoryTokens input("12 ab\ncd\r\nef\rgh");
  Tokenizer& tokens = input.tokens();
  struct Expected {
    std::string token;
    Position after;
  };
  const std::vector<Expected> expected = {
      {"12", {1, 3}}, {"ab", {1, 6}},
      {"cd", {2, 3}}, {"ef", {4, 3}},  // CR LF counts as two line ends
      {"gh", {5, 3}},                  // a lone CR ends a line too
      {"", {5, 3}},                    // end of file: empty token, nothing counted
      {"", {5, 3}},
  };
  for (const Expected& e : expected) {
    EXPECT_EQ(tokens.token(), e.token);
    EXPECT_EQ(where(tokens), e.after) << e.token;
  }
}

TEST(Tokenizer, SeparatorAfterATokenIsNotConsumed) {
  MemoryTokens input("12 34\n5\n");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.read_unsigned(), 12u);
  EXPECT_EQ(where(tokens), (Position{1, 3}));
  EXPECT_EQ(tokens.get(), ' ');
  EXPECT_EQ(where(tokens), (Position{1, 4}));
  EXPECT_EQ(tokens.read_signed(), 34);
  EXPECT_EQ(where(tokens), (Position{1, 6}));  // still on line 1: the LF waits
  EXPECT_EQ(tokens.read_unsigned(), 5u);
  EXPECT_EQ(where(tokens), (Position{2, 2}));
}

TEST(Tokenizer, TabBelongsToTheToken) {
  MemoryTokens input("1\t2 \t5 x\ty");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(message_of([&] { tokens.read_signed(); }), "Number conversion failed (1\t2).");
  EXPECT_EQ(where(tokens), (Position{1, 4}));
  EXPECT_EQ(tokens.read_signed(), 5);  // leading tab skipped by the conversion
  EXPECT_EQ(where(tokens), (Position{1, 7}));
  EXPECT_EQ(tokens.token(), "x\ty");
}

// Token, then the outcome of the signed and of the unsigned conversion.
struct ConversionCase {
  std::string token;
  bool signed_ok;
  int32_t signed_value;
  bool unsigned_ok;
  uint32_t unsigned_value;
};

void PrintTo(const ConversionCase& c, std::ostream* out) {
  *out << "token " << ::testing::PrintToString(c.token);
}

class Conversions : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(Conversions, SignedAndUnsigned) {
  const ConversionCase& c = GetParam();
  const std::string text = c.token + "\n";
  const std::string failure = "Number conversion failed (" + c.token + ").";
  {
    MemoryTokens input(text);
    Tokenizer& tokens = input.tokens();
    if (c.signed_ok)
      EXPECT_EQ(tokens.read_signed(), c.signed_value);
    else
      EXPECT_EQ(message_of([&] { tokens.read_signed(); }), failure);
    EXPECT_EQ(where(tokens), (Position{1, static_cast<uint32_t>(c.token.size() + 1)}));
  }
  {
    MemoryTokens input(text);
    Tokenizer& tokens = input.tokens();
    if (c.unsigned_ok)
      EXPECT_EQ(tokens.read_unsigned(), c.unsigned_value);
    else
      EXPECT_EQ(message_of([&] { tokens.read_unsigned(); }), failure);
  }
  {
    MemoryTokens input(text);
    Tokenizer& tokens = input.tokens();
    if (c.signed_ok)
      EXPECT_EQ(tokens.read_literal(), Literal(c.signed_value));
    else
      EXPECT_EQ(message_of([&] { tokens.read_literal(); }), failure);
  }
  // The conversions underneath, on the token alone (leading white space is
  // skipped as strtol would).
  const Conversion as_signed = convert_signed32(c.token.data(), c.token.size());
  const bool signed_whole = !as_signed.range_error && as_signed.consumed == c.token.size();
  EXPECT_EQ(signed_whole, c.signed_ok);
  if (c.signed_ok) {
    EXPECT_EQ(as_signed.value, c.signed_value);
  }
  const Conversion as_unsigned = convert_unsigned32(c.token.data(), c.token.size());
  const bool unsigned_whole = !as_unsigned.range_error && as_unsigned.consumed == c.token.size();
  EXPECT_EQ(unsigned_whole, c.unsigned_ok);
  if (c.unsigned_ok) {
    EXPECT_EQ(as_unsigned.value, c.unsigned_value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, Conversions,
    ::testing::Values(
        ConversionCase{"7", true, 7, true, 7}, ConversionCase{"+7", true, 7, true, 7},
        ConversionCase{"007", true, 7, true, 7}, ConversionCase{"\t+7", true, 7, true, 7},
        ConversionCase{"0", true, 0, true, 0}, ConversionCase{"-0", true, 0, true, 0},
        ConversionCase{"-1", true, -1, true, 4294967295u},
        ConversionCase{"2147483647", true, 2147483647, true, 2147483647u},
        ConversionCase{"2147483648", false, 0, true, 2147483648u},
        ConversionCase{"-2147483647", true, -2147483647, true, 2147483649u},
        ConversionCase{"-2147483648", false, 0, true, 2147483648u},
        ConversionCase{"4294967295", false, 0, true, 4294967295u},
        ConversionCase{"4294967296", false, 0, false, 0},
        ConversionCase{"4294967297", false, 0, false, 0},
        ConversionCase{"-4294967295", false, 0, true, 1},
        ConversionCase{"-4294967296", false, 0, false, 0},
        ConversionCase{"99999999999999999999", false, 0, false, 0},
        // 2^64 + 5 and 2^64 + 1: no wrapping onto small numbers.
        ConversionCase{"18446744073709551621", false, 0, false, 0},
        ConversionCase{"-18446744073709551617", false, 0, false, 0},
        ConversionCase{"abc", false, 0, false, 0}, ConversionCase{"7x", false, 0, false, 0},
        ConversionCase{"0x10", false, 0, false, 0}, ConversionCase{"-", false, 0, false, 0},
        ConversionCase{"+", false, 0, false, 0}, ConversionCase{"1.5", false, 0, false, 0},
        ConversionCase{"--1", false, 0, false, 0}),
    [](const ::testing::TestParamInfo<ConversionCase>& info) {
      // Test names may hold letters, digits and underscores only.
      std::string name = "n" + std::to_string(info.index) + "_";
      for (char c : info.param.token)
        name += std::isalnum(static_cast<unsigned char>(c)) ? std::string(1, c)
                : c == '-'                                  ? std::string("minus")
                : c == '+'                                  ? std::string("plus")
                                                            : std::string("_");
      return name;
    });

TEST(Tokenizer, LiteralCodes) {
  MemoryTokens input("-5 5 0");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.read_literal().code, 11u);
  EXPECT_EQ(tokens.read_literal().code, 10u);
  EXPECT_EQ(tokens.read_literal().code, 0u);
}

TEST(Tokenizer, EndOfFile) {
  MemoryTokens input("12");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.token(), "12");  // a token right before the end is whole
  EXPECT_EQ(tokens.token(), "");
  EXPECT_EQ(message_of([&] { tokens.read_signed(); }), "Number conversion failed ().");
  EXPECT_EQ(message_of([&] { tokens.read_unsigned(); }), "Number conversion failed ().");
  EXPECT_EQ(where(tokens), (Position{1, 3}));
}

TEST(Tokenizer, ErrorPositionInCrLfFile) {
  MemoryTokens input("1\r\n2 x\r\n");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.read_unsigned(), 1u);
  EXPECT_EQ(tokens.read_unsigned(), 2u);
  EXPECT_EQ(message_of([&] { tokens.read_unsigned(); }), "Number conversion failed (x).");
  EXPECT_EQ(where(tokens), (Position{3, 4}));
}

TEST(Tokenizer, ReadCharacterCountsEveryByte) {
  MemoryTokens input("a\r\n\tb");
  Tokenizer& tokens = input.tokens();
  struct Step {
    int character;
    Position after;
  };
  const std::vector<Step> steps = {
      {'a', {1, 2}}, {'\r', {2, 1}}, {'\n', {3, 1}}, {'\t', {3, 2}}, {'b', {3, 3}}};
  for (const Step& step : steps) {
    EXPECT_EQ(tokens.get(), step.character);
    EXPECT_EQ(where(tokens), step.after);
  }
  EXPECT_FALSE(tokens.failed());
  EXPECT_EQ(tokens.get(), Tokenizer::END);
  EXPECT_EQ(where(tokens), (Position{3, 3}));  // a failed read counts nothing
  EXPECT_TRUE(tokens.failed());                // reading past the end fails the input
}

TEST(Tokenizer, ReadWhitespaceStopsBeforeTheNextByte) {
  MemoryTokens input(" \t\r\n x y\t");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.skip_white_space(), 'x');
  EXPECT_EQ(where(tokens), (Position{3, 2}));
  EXPECT_EQ(tokens.skip_white_space(), 'x');  // not consumed
  EXPECT_EQ(tokens.token(), "x");
  EXPECT_EQ(tokens.skip_white_space(), 'y');
  EXPECT_EQ(tokens.token(), "y\t");
  EXPECT_EQ(tokens.skip_white_space(), Tokenizer::END);
  EXPECT_EQ(where(tokens), (Position{3, 6}));
}

// Files are large; tokens and CR LF pairs that straddle any internal
// chunking of the input must read the same as elsewhere.
TEST(Tokenizer, TokensAcrossAMegabyte) {
  for (size_t shift : {0u, 1u, 2u, 3u, 4u, 5u}) {
    const size_t blanks = (1u << 20) - shift;
    MemoryTokens input(std::string(blanks, ' ') + "12345 678\r\n9\t\r\n");
    Tokenizer& tokens = input.tokens();
    EXPECT_EQ(tokens.read_unsigned(), 12345u) << shift;
    EXPECT_EQ(where(tokens), (Position{1, static_cast<uint32_t>(blanks + 6)}));
    EXPECT_EQ(tokens.read_signed(), 678);
    EXPECT_EQ(tokens.token(), "9\t");
    EXPECT_EQ(where(tokens), (Position{3, 3}));
    EXPECT_EQ(tokens.token(), "");
    EXPECT_EQ(where(tokens), (Position{5, 1}));
  }
  for (size_t shift : {0u, 1u, 2u}) {
    const size_t length = (1u << 20) - shift;
    MemoryTokens input(std::string(length - 3, ' ') + "xyz\r\n7");
    Tokenizer& tokens = input.tokens();
    EXPECT_EQ(tokens.token(), "xyz");
    EXPECT_EQ(tokens.get(), '\r');
    EXPECT_EQ(tokens.skip_white_space(), '7');
    EXPECT_EQ(where(tokens), (Position{3, 1}));
  }
}

// A list of binary numbers read whole (read_varint_list) with one number
// of every length starting at each offset around the end of the first
// megabyte buffer: the numbers in the buffer are decoded in place, the one
// that straddles its end through the refill, and the reader stands right
// after the ending 0 (or the refused number, or the fault) in every case.
TEST(Tokenizer, VarintListsAcrossTheBufferEnd) {
  struct Number {
    std::string bytes;
    uint32_t value;
  };
  const std::vector<Number> numbers = {
      {"\x05", 5},
      {"\xac\x02", 300},
      {"\x80\x80\x01", 1u << 14},
      {"\x81\x80\x80\x01", (1u << 21) + 1},
      {"\xff\xff\xff\xff\x0f", 0xFFFFFFFFu},
      {std::string("\x85\x80\x80\x80\x00", 5), 5},  // padded with zero bits, as read_varint takes it
  };
  const size_t boundary = Tokenizer::kBufferSize;
  for (const Number& number : numbers)
    for (size_t start = boundary - 6; start <= boundary + 1; ++start) {
      SCOPED_TRACE(std::to_string(number.value) + " at " + std::to_string(start));
      const std::string text = std::string(start, '\x03') + number.bytes + std::string("\0\x07\0", 3);
      MemoryTokens input(text);
      Tokenizer& tokens = input.tokens();
      std::vector<uint32_t> values;
      uint32_t refused = 0;
      const auto take = [&](uint32_t value) {
        values.push_back(value);
        return true;
      };
      ASSERT_EQ(tokens.read_varint_list(take, refused), Tokenizer::ListEnd::ZERO);
      ASSERT_EQ(values.size(), start + 1);
      EXPECT_EQ(values.back(), number.value);
      EXPECT_EQ(std::count(values.begin(), values.end(), 3u),
                static_cast<std::ptrdiff_t>(start - (number.value == 3)));
      EXPECT_EQ(tokens.offset(), start + number.bytes.size() + 1);
      values.clear();
      EXPECT_EQ(tokens.read_varint_list(take, refused), Tokenizer::ListEnd::ZERO);
      EXPECT_EQ(values, std::vector<uint32_t>{7});
      EXPECT_EQ(tokens.read_varint_list(take, refused), Tokenizer::ListEnd::END);
      EXPECT_EQ(tokens.offset(), text.size());

      // The same numbers one at a time.
      MemoryTokens single(text);
      uint32_t value = 0;
      for (size_t i = 0; i < start; ++i) ASSERT_TRUE(single.tokens().read_varint(value));
      ASSERT_TRUE(single.tokens().read_varint(value));
      EXPECT_EQ(value, number.value);
      EXPECT_EQ(single.tokens().offset(), start + number.bytes.size());

      // The same number refused: the reader stands right after it.
      MemoryTokens refusing(text);
      const auto only_threes = [](uint32_t value) { return value == 3; };
      ASSERT_EQ(refusing.tokens().read_varint_list(only_threes, refused),
                Tokenizer::ListEnd::REFUSED);
      EXPECT_EQ(refused, number.value);
      EXPECT_EQ(refusing.tokens().offset(), start + number.bytes.size());
    }
}

// Malformed numbers in a list, in the buffer and across its end, and lists
// cut off by the end of the input: read_varint's messages, at the offset
// after the bytes that tell the fault, whether the number is read in a list
// or alone.
TEST(Tokenizer, MalformedVarintListsAreRefusedWhereTheFaultIs) {
  struct Malformed {
    std::string bytes;    // after the list's first numbers
    std::string message;  // "" for a list that ends at a number boundary
    size_t consumed;      // bytes of `bytes` read when the fault is told
  };
  const std::vector<Malformed> cases = {
      {std::string("\x80\x80\x80\x80\x80\x01\0\0\0\0\0\0", 12),
       "Binary number longer than 5 bytes.", 5},
      {std::string("\xff\xff\xff\xff\x10\0\0\0\0\0\0", 11), "Binary number above 4294967295.",
       5},
      {"\x81", "Binary number cut off by the end of the file.", 1},
      {"\xff\xff\xff\xff", "Binary number cut off by the end of the file.", 4},
      {"\x02", "", 1},
  };
  const size_t boundary = Tokenizer::kBufferSize;
  for (const Malformed& malformed : cases)
    for (size_t start : {size_t(3), boundary - 3, boundary - 1, boundary}) {
      SCOPED_TRACE(Tokenizer::printable(malformed.bytes, 8) + " at " + std::to_string(start));
      MemoryTokens input(std::string(start, '\x03') + malformed.bytes);
      Tokenizer& tokens = input.tokens();
      uint32_t refused = 0;
      size_t taken = 0;
      const auto take = [&](uint32_t) {
        ++taken;
        return true;
      };
      Tokenizer::ListEnd end = Tokenizer::ListEnd::ZERO;
      const std::string message =
          message_of([&] { end = tokens.read_varint_list(take, refused); });
      EXPECT_EQ(message, malformed.message.empty() ? "<no exception>" : malformed.message);
      if (malformed.message.empty()) {
        EXPECT_EQ(end, Tokenizer::ListEnd::END);
      }
      EXPECT_EQ(tokens.offset(), start + malformed.consumed);
      EXPECT_EQ(taken, start + malformed.message.empty());

      MemoryTokens single(std::string(start, '\x03') + malformed.bytes);
      uint32_t value = 0;
      for (size_t i = 0; i < start; ++i) ASSERT_TRUE(single.tokens().read_varint(value));
      bool read = true;
      EXPECT_EQ(message_of([&] { read = single.tokens().read_varint(value); }),
                malformed.message.empty() ? "<no exception>" : malformed.message);
      if (malformed.message.empty()) {
        EXPECT_TRUE(read);
        EXPECT_EQ(value, 2u);
      }
      EXPECT_EQ(single.tokens().offset(), start + malformed.consumed);
    }
}

TEST(Tokenizer, QdimacsSeparatorsAndEnd) {
  MemoryTokens input("p\tcnf\v3\f1\r\n-2", Tokenizer::Separators::QDIMACS);
  Tokenizer& tokens = input.tokens();
  for (const char* expected : {"p", "cnf", "3", "1", "-2"}) {
    EXPECT_EQ(tokens.next_qdimacs_token(), expected);
    EXPECT_FALSE(tokens.failed()) << expected;
  }
  EXPECT_EQ(where(tokens), (Position{3, 3}));
  EXPECT_EQ(tokens.next_qdimacs_token(), "");  // past the end: empty, and the input fails
  EXPECT_TRUE(tokens.failed());
}

TEST(Tokenizer, SkipLineAndPeek) {
  MemoryTokens input("c a b\rc\nx\n");
  Tokenizer& tokens = input.tokens();
  EXPECT_EQ(tokens.token(), "c");
  tokens.skip_line();  // a lone CR does not end the skipped line
  EXPECT_EQ(where(tokens), (Position{3, 1}));
  EXPECT_EQ(tokens.peek(), 'x');
  EXPECT_EQ(where(tokens), (Position{3, 1}));  // peeking counts nothing
  tokens.skip_line();
  EXPECT_FALSE(tokens.failed());
  EXPECT_EQ(tokens.peek(), Tokenizer::END);
  tokens.skip_line();  // at the end it fails the input
  EXPECT_TRUE(tokens.failed());
}

// No number or keyword is longer than 4096 bytes: a longer token is refused
// at once, named by its first 16 bytes with non-printable ones escaped.
TEST(Tokenizer, LongTokensAreRefused) {
  struct Row {
    std::string text;
    std::string message;
  };
  const std::vector<Row> rows = {
      {std::string(4097, '1'), "Token too long: '1111111111111111...' (more than 4096 bytes)."},
      {"1 " + std::string(100000, 'x') + " 2",
       "Token too long: 'xxxxxxxxxxxxxxxx...' (more than 4096 bytes)."},
      {"\t\x80" + std::string(5000, '\0'),
       "Token too long: '\\x09\\x80\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"
       "\\x00\\x00...' (more than 4096 bytes)."},
  };
  for (const Row& row : rows) {
    MemoryTokens input(row.text);
    Tokenizer& tokens = input.tokens();
    EXPECT_EQ(message_of([&] {
                for (int i = 0; i < 3; ++i) tokens.token();
              }),
              row.message);
  }
  // A token of exactly 4096 bytes is whole, also across buffer refills.
  for (size_t shift : {0u, 1u, 4095u, 4096u}) {
    MemoryTokens input(std::string((1u << 20) - shift, ' ') + std::string(4096, '9') + " 5");
    Tokenizer& tokens = input.tokens();
    EXPECT_EQ(tokens.token().size(), 4096u) << shift;
    EXPECT_EQ(tokens.read_unsigned(), 5u);
  }
  // With a context the message starts with it.
  MemoryTokens qdimacs(std::string(5000, 'p'), Tokenizer::Separators::QDIMACS, "QBF File: ");
  EXPECT_EQ(message_of([&] { qdimacs.tokens().next_qdimacs_token(); }),
            "QBF File: Token too long: 'pppppppppppppppp...' (more than 4096 bytes).");
}

}  // namespace

// Numbers of every length from 1 to 11 digits, signed or not, with leading
// zeros, read in the middle of a long line (where eight bytes are looked at
// at once) and near its end: each must convert as the whole-token rule
// converts it, and a number running into another byte must fail with its
// whole token.
// Lists ended by 0 read through read_plain_list, falling back to
// read_signed where it stops, give the numbers, lines, columns and offsets
// of read_signed alone: over more than the buffer (lists across its end),
// with numbers of every length, signs, leading zeros, "-0", runs of
// blanks, tabs and line ends between them.
TEST(Tokenizer, PlainListsReadAsNumberByNumber) {
  zeltest::Random random(77);
  auto next = [&](uint64_t bound) { return random.below(bound); };
  const std::vector<std::string> gaps = {" ", " ", " ", " ", " ", "  ", "\t", "\n", " \r\n "};
  std::string text;
  size_t lists = 0;
  while (text.size() < Tokenizer::kBufferSize + (1 << 18)) {
    for (size_t count = next(40); count > 0; --count) {
      std::string token = next(3) ? "" : "-";
      const size_t digits = 1 + (next(8) ? next(4) : next(9));
      for (size_t d = 0; d < digits; ++d)
        token += static_cast<char>('0' + (d == 0 && next(6) ? 1 + next(9) : next(10)));
      int32_t value;
      if (!whole_signed32(token, value) || value == 0) continue;
      text += gaps[next(gaps.size())] + token;
    }
    text += next(10) ? " 0" : (next(2) ? " -0" : " 000");
    ++lists;
  }
  text += "\n";
  MemoryTokens plain(text, Tokenizer::Separators::QDIMACS);
  MemoryTokens single(text, Tokenizer::Separators::QDIMACS);
  Tokenizer& a = plain.tokens();
  Tokenizer& b = single.tokens();
  for (size_t list = 0; list < lists; ++list) {
    std::vector<int32_t> got, expected;
    int32_t refused = 0;
    for (;;) {
      const Tokenizer::ListEnd end = a.read_plain_list(
          true, [&](int32_t value) { got.push_back(value); return true; }, refused);
      if (end == Tokenizer::ListEnd::ZERO) break;
      ASSERT_EQ(end, Tokenizer::ListEnd::END);
      const int32_t value = a.read_signed();
      if (value == 0) break;
      got.push_back(value);
    }
    for (int32_t value; (value = b.read_signed()) != 0;) expected.push_back(value);
    ASSERT_EQ(got, expected) << "list " << list;
    ASSERT_EQ(where(a), where(b)) << "list " << list;
    ASSERT_EQ(a.offset(), b.offset()) << "list " << list;
  }
}

// A refused number leaves the reader right after it; a sign where none is
// allowed, a ninth digit or a byte that ends no number stops the plain
// reading before the number, for the general reading to word the fault.
TEST(Tokenizer, PlainListsStopAtWhatTheyDoNotTake) {
  struct Row {
    std::string text;
    bool allow_negative;
    std::vector<int32_t> taken;
    Tokenizer::ListEnd end;
    size_t offset;  // of the reader afterwards
  };
  const std::vector<Row> rows = {
      {" 1 22 333 0", true, {1, 22, 333}, Tokenizer::ListEnd::ZERO, 11},
      {" 1 -5 7 0", false, {1}, Tokenizer::ListEnd::END, 2},
      {" 1 12345678 0", true, {1}, Tokenizer::ListEnd::END, 2},
      {" 4 5x 0", true, {4}, Tokenizer::ListEnd::END, 2},
      {" 4 5\x01 0", true, {4}, Tokenizer::ListEnd::END, 2},
      {" 3 99 6 0", true, {3, 99}, Tokenizer::ListEnd::REFUSED, 5},
      // A token longer than a block of 64 bytes, first or after others.
      {" " + std::string(70, '7') + " 0", true, {}, Tokenizer::ListEnd::END, 0},
      {" 5 " + std::string(70, '7') + " 0", true, {5}, Tokenizer::ListEnd::END, 2},
      {" 5 -" + std::string(200, '1') + " 0", true, {5}, Tokenizer::ListEnd::END, 2},
  };
  // 100 blanks after: the list lies in a block of 64 bytes with 16 to
  // spare; 12: it is read one number at a time.
  for (const size_t pad : {12, 100})
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text + " and " + std::to_string(pad) + " blanks");
      MemoryTokens input(row.text + std::string(pad, ' '), Tokenizer::Separators::QDIMACS);
      input.tokens().peek();  // the list is taken from the buffer only
      std::vector<int32_t> taken;
      int32_t refused = 0;
      const Tokenizer::ListEnd end = input.tokens().read_plain_list(
          row.allow_negative,
          [&](int32_t value) {
            taken.push_back(value);
            return value != 99;
          },
          refused);
      EXPECT_EQ(end, row.end);
      EXPECT_EQ(taken, row.taken);
      EXPECT_EQ(input.tokens().offset(), row.offset);
      EXPECT_EQ(input.tokens().column(), row.offset + 1);
      EXPECT_EQ(refused, end == Tokenizer::ListEnd::REFUSED ? 99 : 0);
    }
}

TEST(Tokenizer, NumbersOfEveryLengthAsTheTokenRuleReadsThem) {
  zeltest::Random random(2024);
  auto next = [&](uint64_t bound) { return random.below(bound); };
  std::vector<std::string> tokens;
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    std::string token = next(2) ? "-" : "";
    const size_t digits = 1 + next(11);
    for (size_t d = 0; d < digits; ++d)
      token += static_cast<char>('0' + (d == 0 && next(4) ? 1 + next(9) : next(10)));
    int32_t value;
    if (!whole_signed32(token, value)) continue;  // out of range: tested below
    tokens.push_back(token);
    text += token;
    text += next(5) ? " " : "\n";
  }
  MemoryTokens input(text);
  Tokenizer& reader = input.tokens();
  for (const std::string& token : tokens) {
    int32_t expected;
    ASSERT_TRUE(whole_signed32(token, expected));
    ASSERT_EQ(reader.read_signed(), expected) << token;
  }

  const std::vector<std::pair<std::string, std::string>> refused = {
      {"1234567x 89", "1234567x"},
      {"12a4567890 5", "12a4567890"},
      {"7-5 123456789", "7-5"},
      {"99999999999 1", "99999999999"},
      {"-2147483649 0 0", "-2147483649"},
      {"1234567:", "1234567:"},
      {"123: 4567", "123:"},
      {"x1234567 8", "x1234567"},
      {"5/ 1", "5/"},
  };
  for (const auto& row : refused) {
    MemoryTokens bad(row.first + "          ");
    EXPECT_EQ(message_of([&] { bad.tokens().read_signed(); }),
              "Number conversion failed (" + row.second + ").");
  }
}
