// The QDIMACS reader: its messages, comments and token-based lines,
// placement of free variables, the announced clause count (fewer clauses
// accepted, more refused), the 32-bit range of every numeric field, and
// refusal of variable numbers too large to tabulate. The formula is read
// from memory through a byte source and a tokenizer with QDIMACS separators.
#include <gtest/gtest.h>

#include "core/exception.hpp"

#include <string>
#include <vector>

#include "formula/qcnf.hpp"
#include "read/qdimacs_reader.hpp"
#include "support.hpp"

namespace {

using zeltest::blocks_of;
using zeltest::Blocks;
using zeltest::dimacs;
using zeltest::ints;

struct Read {
  bool ok;
  std::string error;  // the refusal's message
  QCNF formula;
};
Read read(const std::string& text) {
  zeltest::MemoryTokens input(text, Tokenizer::Separators::QDIMACS, "QBF File: ");
  Read result;
  try {
    read_qdimacs(input.tokens(), result.formula);
  } catch (const Exception& refusal) {
    result.error = refusal.message;
  }
  result.ok = result.error.empty();
  return result;
}

struct RefusedFile {
  std::string text;
  std::string message;
};

void PrintTo(const RefusedFile& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.text);
}

class Refusals : public ::testing::TestWithParam<RefusedFile> {};

TEST_P(Refusals, Message) {
  const Read r = read(GetParam().text);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, GetParam().message);
}

const char kNoP[] = "QBF File does not start with a p line.";
const char kNoCnf[] = "QBF File does not have a cnf argument.";
const char kVariables[] = "QBF File: Number of variables is bogus.";
const char kClauses[] = "QBF File: Number of clauses is bogus.";
const char kQuantifiers[] = "QBF File: Invalid quantification sequence.";
const char kClause[] = "QBF File: Bogus clause.";
const char kMore[] = "QBF File: More clauses than announced.";
const char kUnterminated[] = "QBF File: Last clause lacks its terminating 0.";

INSTANTIATE_TEST_SUITE_P(
    QDIMACS, Refusals,
    ::testing::Values(RefusedFile{"", kNoP}, RefusedFile{"\n\n", kNoP},
                      RefusedFile{"comment\np cnf 1 1\n1 0\n", kNoP},
                      RefusedFile{"cc x\np cnf 1 1\n1 0\n", kNoP}, RefusedFile{"c x\nP cnf 1 1\n", kNoP},
                      // A comment ends at a line feed only: a lone CR does not end it.
                      RefusedFile{"c x\rp cnf 1 0\n", kNoP}, RefusedFile{"c", kNoP}, RefusedFile{"p\n", kNoCnf},
                      RefusedFile{"p dnf 1 1\n", kNoCnf}, RefusedFile{"p CNF 1 1\n", kNoCnf},
                      RefusedFile{"p cnf 4294967296 1\n", kVariables},
                      RefusedFile{"p cnf 99999999999999999999 1\n", kVariables},
                      RefusedFile{"p cnf 1 4294967296\n", kClauses},
                      RefusedFile{"p cnf 1 -4294967296\n", kClauses},
                      RefusedFile{"p cnf 3 1\na 4294967296 0\n", kQuantifiers},
                      RefusedFile{"p cnf 3 1\ne 1 4294967297 0\n", kQuantifiers},
                      RefusedFile{"p cnf 3 1\ne -4294967296 0\n", kQuantifiers},
                      RefusedFile{"p cnf 2 1\n1 x 0\n", kClause}, RefusedFile{"p cnf 2 1\n1x 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n1 -- 0\n", kClause},
                      RefusedFile{"p cnf 2 1\ne 1 0\nc late comment\n1 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n2147483648 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n-2147483648 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n4294967297 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n-4294967297 0\n", kClause},
                      RefusedFile{"p cnf 2 1\n18446744073709551617 0\n", kClause},
                      RefusedFile{"p cnf 3 1\na 18446744073709551617 0\n", kQuantifiers},
                      RefusedFile{"p cnf 18446744073709551617 1\n", kVariables},
                      RefusedFile{"p cnf 2 2\n1 0 99999999999999999999 0\n", kClause},
                      // Every clause the file holds is read: none beyond the
                      // announced count, none without its 0.
                      RefusedFile{"p cnf 2 2\n1 0\n2 0\nx y 0\n", kMore},
                      RefusedFile{"p cnf 2 0\n1 0\n", kMore},
                      RefusedFile{"p cnf 2 1\n1 0\nc comment\n-1 0\n", kMore},
                      RefusedFile{"p cnf 2 3\n1 0\n2 -1", kUnterminated},
                      RefusedFile{"p cnf 2 3\n1 0\n2 -1\n", kUnterminated},
                      RefusedFile{"p cnf 2 3\n1 0\n2 % 0\n", kClause},
                      // A "%" ends the formula only before the trailer: it
                      // must not hide the clauses after it.
                      RefusedFile{"p cnf 1 2\ne 1 0\n1 0\n%\n-1 0\n", kClause},
                      RefusedFile{"p cnf 1 3\n1 0\n%\n0\nc x\n0 -1 0\n", kClause},
                      RefusedFile{"p cnf 1 1\ne 1 0\n1 0\n%\n-1 0\n", kMore},
                      RefusedFile{"p cnf 1 1\n1 0\n%\n0\n%\n", kMore},
                      // Counts and quantified variables are whole numbers.
                      RefusedFile{"p cnf 3x 2\n1 0\n", kVariables},
                      RefusedFile{"p cnf 3 2y\n1 0\n", kClauses},
                      RefusedFile{"p cnf", kVariables}, RefusedFile{"p cnf 3", kClauses},
                      RefusedFile{"p cnf 3 1\ne 3x 0\n3 0\n", kQuantifiers},
                      RefusedFile{"p cnf 3 1\na 1 x 2 0\n2 0\n", kQuantifiers},
                      RefusedFile{"p cnf 2 1\ne 1 2", kQuantifiers},
                      RefusedFile{"p cnf 2 0\ne 1 0\na 1 2 0\n", "QBF File: Variable 1 is quantified twice."},
                      RefusedFile{"p cnf 2 0\ne 2 2 0\n", "QBF File: Variable 2 is quantified twice."}),
    [](const ::testing::TestParamInfo<RefusedFile>& info) { return "n" + std::to_string(info.index); });

// A token longer than any number or keyword is refused as soon as it is
// that long, named by its first bytes.
TEST(QDIMACS, LongTokensAreRefused) {
  const std::string zeros(5000, '0');
  EXPECT_EQ(read("p cnf 2 1\n" + zeros + "1 0\n").error,
            "QBF File: Token too long: '0000000000000000...' (more than 4096 bytes).");
  EXPECT_EQ(read("c x\np cnf 2 1\n1 \x01\x7f" + zeros + " 0\n").error,
            "QBF File: Token too long: '\\x01\\x7F00000000000000...' (more than 4096 bytes).");
  // Exactly the longest length is still read (and refused as a clause).
  const Read r = read("p cnf 2 1\n" + std::string(4096, '7') + " 0\n");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "QBF File: Bogus clause.");
  // A long comment is skipped byte by byte, never collected as a token.
  EXPECT_TRUE(read("c " + std::string(100000, 'x') + "\np cnf 1 1\n1 0\n").ok);
}

// Numbers that fit the 32-bit fields but name variables too large for the
// per-variable tables: refused with a message naming the number, and never
// wrapped onto a small variable.
TEST(QDIMACS, HugeVariableNumbersAreRefusedByName) {
  struct Row {
    std::string text;
    std::string named;
  };
  const std::vector<Row> rows = {
      {"p cnf 1 1\na 4294967295 0\n1 0\n", "4294967295"},
      {"p cnf 1 1\na -1 0\n1 0\n", "-1"},
      {"p cnf 1 1\ne -2 0\n1 0\n", "-2"},
      {"p cnf 1 1\na 2147483648 0\n1 0\n", "2147483648"},
      {"p cnf 1 1\n2147483647 0\n", "2147483647"},
      {"p cnf 1 1\n-2147483647 0\n", "2147483647"},
      {"p cnf 1 1\n" + std::to_string(kMaxVariable + 1) + " 0\n", std::to_string(kMaxVariable + 1)},
  };
  for (const Row& row : rows) {
    const Read r = read(row.text);
    EXPECT_FALSE(r.ok) << row.text;
    EXPECT_NE(r.error.find(row.named), std::string::npos) << r.error;
    EXPECT_NE(r.error, "Variable redefined");
    EXPECT_FALSE(r.formula.is_defined(1)) << row.text;
    EXPECT_LT(r.formula.quantifiers.size(), 10u) << row.text;
  }
}

TEST(QDIMACS, LargestFieldValuesAccepted) {
  const Read r = read("p cnf 4294967295 4294967295\ne 2 0\n-2 1 0\n");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.formula.max_variable, 4294967295u);
  ASSERT_EQ(r.formula.clauses.size(), 1u);
  EXPECT_EQ(dimacs(r.formula.clauses.copy(0)), ints({-2, 1}));
  // strtoul semantics: -1 is 4294967295 and no range error.
  const Read negative = read("p cnf -1 0\n");
  ASSERT_TRUE(negative.ok) << negative.error;
  EXPECT_EQ(negative.formula.max_variable, 4294967295u);
}

TEST(QDIMACS, HugeAnnouncedCountsAllocateNothing) {
  const Read r = read("p cnf 4000000000 4000000000\n1 2 0\n-1 0\n");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.formula.max_variable, 4000000000u);
  ASSERT_EQ(r.formula.clauses.size(), 2u);
  EXPECT_EQ(dimacs(r.formula.clauses.copy(1)), ints({-1}));
  EXPECT_LE(r.formula.clauses.bytes(), kMaxClauseReservation * sizeof(uint64_t) + 4096);
  EXPECT_LT(r.formula.quantifiers.size(), 10u);
  EXPECT_LT(r.formula.levels.size(), 10u);
}

struct Accepted {
  std::string name;
  std::string text;
  std::vector<std::vector<int64_t>> clauses;
  Blocks blocks;
  unsigned max_variable;
};

void PrintTo(const Accepted& c, std::ostream* out) {
  *out << c.name;
}

class Accepts : public ::testing::TestWithParam<Accepted> {};

TEST_P(Accepts, ClausesPrefixAndCount) {
  const Accepted& a = GetParam();
  const Read r = read(a.text);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(zeltest::stored(r.formula.clauses), a.clauses);
  EXPECT_EQ(blocks_of(r.formula), a.blocks);
  EXPECT_EQ(r.formula.max_variable, a.max_variable);
  for (size_t level = 0; level < r.formula.blocks.size(); ++level)
    r.formula.blocks[level].for_each(
        [&](uint32_t v) { EXPECT_EQ(r.formula.levels[v], level) << v; });
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    QDIMACS, Accepts,
    ::testing::Values(
        Accepted{"Comments", "c one\nc\nc\tx y\r\np cnf 2 1\ne 1 2 0\n1 -2 0\n", {{1, -2}}, {{1, 2}}, 2},
        Accepted{"SplitProblemLine", "p\ncnf\n3\n2\n1 0 2\n0\n", {{1}, {2}}, {{2, 1}}, 3},
        Accepted{"TabsSeparate", "p\tcnf\t3 1\ne\t1\t0\t1\t-3\t0", {{1, -3}}, {{3, 1}}, 3},
        Accepted{"PrefixOnly", "p cnf 3 0\ne 1 0\na 2 0\ne 3 0\n", {}, {{1}, {2}, {3}}, 3},
        Accepted{"ConsecutiveLinesMerge", "p cnf 3 0\ne 1 0\ne 2 0\na 3 0\n", {}, {{1, 2}, {3}}, 3},
        Accepted{"UniversalFirst", "p cnf 3 1\na 1 0\ne 2 0\n3 -1 2 0\n", {{3, -1, 2}}, {{3}, {1}, {2}}, 3},
        // Free variables: front of block 0, reverse order of first occurrence.
        Accepted{"FreeVariables", "p cnf 5 2\ne 1 0\na 2 0\n3 4 0\n-4 5 1 -2 0\n", {{3, 4}, {-4, 5, 1, -2}},
                 {{5, 4, 3, 1}, {2}}, 5},
        Accepted{"FreeAboveAnnounced", "p cnf 5 1\ne 1 0\n9 0\n", {{9}}, {{9, 1}}, 9},
        Accepted{"QuantifiedAboveAnnounced", "p cnf 2 0\ne 7 0\n", {}, {{7}}, 7},
        // After the announced clauses only comments and a "%" trailer may follow.
        Accepted{"CommentsAfterClauses", "p cnf 2 2\n1 0\n2 0\nc x y 0\n\nc\n", {{1}, {2}}, {{2, 1}}, 2},
        Accepted{"SatlibTrailer", "p cnf 2 2\n1 0\n2 0\n%\n0\n\n", {{1}, {2}}, {{2, 1}}, 2},
        Accepted{"TrailerAfterFewerClauses", "p cnf 2 9\n1 0\n%\n0\n", {{1}}, {{1}}, 2},
        Accepted{"TrailerZerosAndComments", "p cnf 2 9\n1 0\n%\n0 0\nc -2 0\n\t0\nc\n", {{1}}, {{1}}, 2},
        Accepted{"TrailerAtEnd", "p cnf 2 9\n1 0\n%", {{1}}, {{1}}, 2},
        Accepted{"FewerClauses", "p cnf 2 5\n1 0\n-2 0\n", {{1}, {-2}}, {{2, 1}}, 2},
        Accepted{"RepeatedLiteral", "p cnf 2 1\n2 2 -2 +1 0\n", {{2, -2, 1}}, {{1, 2}}, 2},
        Accepted{"EmptyClause", "p cnf 2 2\n0\n1 0\n", {{}, {1}}, {{1}}, 2},
        Accepted{"BoundaryLiterals", "p cnf 1 1\ne 1 0\n-1 +1 1 0\n", {{-1, 1}}, {{1}}, 1},
        Accepted{"ZeroForms", "p cnf 2 3\n1 -0 2 +0 00\n", {{1}, {2}, {}}, {{2, 1}}, 2},
        Accepted{"NoClausesAnnounced", "p cnf 2 0\nc only comments\n", {}, {}, 2}),
    [](const ::testing::TestParamInfo<Accepted>& info) { return info.param.name; });
// clang-format on

TEST(QDIMACS, CrLfLineEnds) {
  const Read r = read("c x\r\np cnf 2 2\r\na 1 0\r\n1 2 0\r\n-2 0\r\n");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.formula.clauses.size(), 2u);
  EXPECT_EQ(dimacs(r.formula.clauses.copy(0)), ints({1, 2}));
  EXPECT_EQ(blocks_of(r.formula), (Blocks{{2}, {1}}));
}

// A comment of a megabyte puts the later tokens across any internal
// chunking of the input; they must read as anywhere else.
TEST(QDIMACS, TokensAcrossAMegabyte) {
  for (size_t shift = 0; shift < 24; ++shift) {
    const std::string comment = "c " + std::string((1u << 20) - shift, 'x') + "\n";
    const Read r = read(comment + "p cnf 3 2\r\ne 1 2 0\n-12 3 0\n1 0\n");
    ASSERT_TRUE(r.ok) << shift << r.error;
    ASSERT_EQ(r.formula.clauses.size(), 2u) << shift;
    EXPECT_EQ(dimacs(r.formula.clauses.copy(0)), ints({-12, 3})) << shift;
    EXPECT_EQ(dimacs(r.formula.clauses.copy(1)), ints({1})) << shift;
    EXPECT_EQ(blocks_of(r.formula), (Blocks{{3, 12, 1, 2}})) << shift;
  }
}

}  // namespace
