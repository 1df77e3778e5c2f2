// The certificate tokenizer: which bytes separate tokens, how every consumed
// byte moves the line and column (CR and LF each start a line), the decimal
// conversions with their 32-bit boundaries, and the exact error messages.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "support.hpp"
#include "validator/zel.hpp"

namespace {

using zeltest::message_of;
using zeltest::scratch_file;

struct Position {
  uint32_t line, column;
  bool operator==(const Position& other) const {
    return line == other.line && column == other.column;
  }
};
std::ostream& operator<<(std::ostream& out, const Position& p) {
  return out << p.line << ":" << p.column;
}
Position where(const ZEL& zel) {
  return {zel.line, zel.column};
}

TEST(Tokenizer, TokensAndPositionsAcrossLineEnds) {
  std::ifstream in(scratch_file("12 ab\ncd\r\nef\rgh"));
  ZEL zel;
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
    EXPECT_EQ(zel.read_token(in), e.token);
    EXPECT_EQ(where(zel), e.after) << e.token;
  }
}

TEST(Tokenizer, SeparatorAfterATokenIsNotConsumed) {
  std::ifstream in(scratch_file("12 34\n5\n"));
  ZEL zel;
  EXPECT_EQ(zel.read_unsigned(in), 12u);
  EXPECT_EQ(where(zel), (Position{1, 3}));
  EXPECT_EQ(zel.read_character(in), ' ');
  EXPECT_EQ(where(zel), (Position{1, 4}));
  EXPECT_EQ(zel.read_signed(in), 34);
  EXPECT_EQ(where(zel), (Position{1, 6}));  // still on line 1: the LF waits
  EXPECT_EQ(zel.read_unsigned(in), 5u);
  EXPECT_EQ(where(zel), (Position{2, 2}));
}

TEST(Tokenizer, TabBelongsToTheToken) {
  std::ifstream in(scratch_file("1\t2 \t5 x\ty"));
  ZEL zel;
  EXPECT_EQ(message_of([&] { zel.read_signed(in); }), "Number conversion failed (1\t2).");
  EXPECT_EQ(where(zel), (Position{1, 4}));
  EXPECT_EQ(zel.read_signed(in), 5);  // leading tab skipped by the conversion
  EXPECT_EQ(where(zel), (Position{1, 7}));
  EXPECT_EQ(zel.read_token(in), "x\ty");
}

// Token, then the outcome of the signed and of the unsigned conversion.
struct Conversion {
  std::string token;
  bool signed_ok;
  int32_t signed_value;
  bool unsigned_ok;
  uint32_t unsigned_value;
};

void PrintTo(const Conversion& c, std::ostream* out) {
  *out << "token " << ::testing::PrintToString(c.token);
}

class Conversions : public ::testing::TestWithParam<Conversion> {};

TEST_P(Conversions, SignedAndUnsigned) {
  const Conversion& c = GetParam();
  const std::string path = scratch_file(c.token + "\n");
  const std::string failure = "Number conversion failed (" + c.token + ").";
  {
    std::ifstream in(path);
    ZEL zel;
    if (c.signed_ok)
      EXPECT_EQ(zel.read_signed(in), c.signed_value);
    else
      EXPECT_EQ(message_of([&] { zel.read_signed(in); }), failure);
    EXPECT_EQ(where(zel), (Position{1, static_cast<uint32_t>(c.token.size() + 1)}));
  }
  {
    std::ifstream in(path);
    ZEL zel;
    if (c.unsigned_ok)
      EXPECT_EQ(zel.read_unsigned(in), c.unsigned_value);
    else
      EXPECT_EQ(message_of([&] { zel.read_unsigned(in); }), failure);
  }
  {
    std::ifstream in(path);
    ZEL zel;
    if (c.signed_ok)
      EXPECT_EQ(zel.read_literal(in), Literal(c.signed_value));
    else
      EXPECT_EQ(message_of([&] { zel.read_literal(in); }), failure);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokenizer, Conversions,
    ::testing::Values(Conversion{"7", true, 7, true, 7}, Conversion{"+7", true, 7, true, 7},
                      Conversion{"007", true, 7, true, 7}, Conversion{"\t+7", true, 7, true, 7},
                      Conversion{"0", true, 0, true, 0}, Conversion{"-0", true, 0, true, 0},
                      Conversion{"-1", true, -1, true, 4294967295u},
                      Conversion{"2147483647", true, 2147483647, true, 2147483647u},
                      Conversion{"2147483648", false, 0, true, 2147483648u},
                      Conversion{"-2147483647", true, -2147483647, true, 2147483649u},
                      Conversion{"-2147483648", false, 0, true, 2147483648u},
                      Conversion{"4294967295", false, 0, true, 4294967295u},
                      Conversion{"4294967296", false, 0, false, 0},
                      Conversion{"4294967297", false, 0, false, 0},
                      Conversion{"-4294967295", false, 0, true, 1},
                      Conversion{"-4294967296", false, 0, false, 0},
                      Conversion{"99999999999999999999", false, 0, false, 0},
                      // 2^64 + 5 and 2^64 + 1: no wrapping onto small numbers.
                      Conversion{"18446744073709551621", false, 0, false, 0},
                      Conversion{"-18446744073709551617", false, 0, false, 0},
                      Conversion{"abc", false, 0, false, 0}, Conversion{"7x", false, 0, false, 0},
                      Conversion{"0x10", false, 0, false, 0}, Conversion{"-", false, 0, false, 0},
                      Conversion{"+", false, 0, false, 0}, Conversion{"1.5", false, 0, false, 0},
                      Conversion{"--1", false, 0, false, 0}),
    [](const ::testing::TestParamInfo<Conversion>& info) {
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
  std::ifstream in(scratch_file("-5 5 0"));
  ZEL zel;
  EXPECT_EQ(zel.read_literal(in).code, 11u);
  EXPECT_EQ(zel.read_literal(in).code, 10u);
  EXPECT_EQ(zel.read_literal(in).code, 0u);
}

TEST(Tokenizer, EndOfFile) {
  std::ifstream in(scratch_file("12"));
  ZEL zel;
  EXPECT_EQ(zel.read_token(in), "12");  // a token right before the end is whole
  EXPECT_EQ(zel.read_token(in), "");
  EXPECT_EQ(message_of([&] { zel.read_signed(in); }), "Number conversion failed ().");
  EXPECT_EQ(message_of([&] { zel.read_unsigned(in); }), "Number conversion failed ().");
  EXPECT_EQ(where(zel), (Position{1, 3}));
}

TEST(Tokenizer, ErrorPositionInCrLfFile) {
  std::ifstream in(scratch_file("1\r\n2 x\r\n"));
  ZEL zel;
  EXPECT_EQ(zel.read_unsigned(in), 1u);
  EXPECT_EQ(zel.read_unsigned(in), 2u);
  EXPECT_EQ(message_of([&] { zel.read_unsigned(in); }), "Number conversion failed (x).");
  EXPECT_EQ(where(zel), (Position{3, 4}));
}

TEST(Tokenizer, ReadCharacterCountsEveryByte) {
  std::ifstream in(scratch_file("a\r\n\tb"));
  ZEL zel;
  struct Step {
    int character;
    Position after;
  };
  const std::vector<Step> steps = {
      {'a', {1, 2}}, {'\r', {2, 1}}, {'\n', {3, 1}}, {'\t', {3, 2}}, {'b', {3, 3}}};
  for (const Step& step : steps) {
    EXPECT_EQ(zel.read_character(in), step.character);
    EXPECT_EQ(where(zel), step.after);
  }
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(zel.read_character(in), std::char_traits<char>::eof());
  EXPECT_EQ(where(zel), (Position{3, 3}));  // a failed read counts nothing
  EXPECT_TRUE(in.fail());                   // reading past the end fails the stream
}

TEST(Tokenizer, ReadWhitespaceStopsBeforeTheNextByte) {
  std::ifstream in(scratch_file(" \t\r\n x y\t"));
  ZEL zel;
  EXPECT_EQ(zel.read_whitespace(in), 'x');
  EXPECT_EQ(where(zel), (Position{3, 2}));
  EXPECT_EQ(zel.read_whitespace(in), 'x');  // not consumed
  EXPECT_EQ(zel.read_token(in), "x");
  EXPECT_EQ(zel.read_whitespace(in), 'y');
  EXPECT_EQ(zel.read_token(in), "y\t");
  EXPECT_EQ(zel.read_whitespace(in), std::char_traits<char>::eof());
  EXPECT_EQ(where(zel), (Position{3, 6}));
}

// Files are large; tokens and CR LF pairs that straddle any internal
// chunking of the input must read the same as elsewhere.
TEST(Tokenizer, TokensAcrossAMegabyte) {
  for (size_t shift : {0u, 1u, 2u, 3u, 4u, 5u}) {
    const size_t blanks = (1u << 20) - shift;
    std::ifstream in(scratch_file(std::string(blanks, ' ') + "12345 678\r\n9\t\r\n"));
    ZEL zel;
    EXPECT_EQ(zel.read_unsigned(in), 12345u) << shift;
    EXPECT_EQ(where(zel), (Position{1, static_cast<uint32_t>(blanks + 6)}));
    EXPECT_EQ(zel.read_signed(in), 678);
    EXPECT_EQ(zel.read_token(in), "9\t");
    EXPECT_EQ(where(zel), (Position{3, 3}));
    EXPECT_EQ(zel.read_token(in), "");
    EXPECT_EQ(where(zel), (Position{5, 1}));
  }
  for (size_t shift : {0u, 1u, 2u}) {
    const size_t length = (1u << 20) - shift;
    std::ifstream in(scratch_file(std::string(length, 'x') + "\r\n7"));
    ZEL zel;
    EXPECT_EQ(zel.read_token(in).size(), length);
    EXPECT_EQ(zel.read_character(in), '\r');
    EXPECT_EQ(zel.read_whitespace(in), '7');
    EXPECT_EQ(where(zel), (Position{3, 1}));
  }
}

}  // namespace
