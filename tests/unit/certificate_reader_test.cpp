// The certificate reader: the header, the kind of each entry told by its
// first token, the fields of steps, resolution lines, extensions and the
// conclusion, the refusals a reader can make without the formula, and the
// position it reports.
#include "read/certificate_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formula/qcnf.hpp"
#include "support.hpp"

namespace {

using zeltest::dimacs;
using zeltest::ints;
using zeltest::message_of;
using Entry = CertificateReader::Entry;

// A reader over a copy of `text` in memory.
class Certificate {
 public:
  explicit Certificate(const std::string& text) : text_(text), reader_(open()) {}
  CertificateReader& reader() { return reader_; }

 private:
  ByteSource& open() {
    source_.open_memory(text_.data(), text_.size(), "cert");
    return source_;
  }
  const std::string text_;    // the certificate's bytes
  ByteSource source_;         // reads text_
  CertificateReader reader_;  // reads source_
};

std::vector<uint32_t> numbers(std::initializer_list<uint32_t> values) { return values; }

TEST(CertificateReader, Header) {
  for (const char* text : {"QBCertificate", "  \r\nQBCertificate\n1"}) {
    Certificate c(text);
    EXPECT_EQ(message_of([&] { c.reader().read_header("cert"); }), "<no exception>") << text;
  }
  for (const char* text : {"", "QBCertificat", "qbcertificate", "\tQBCertificate", "c x\nQBCertificate"}) {
    Certificate c(text);
    EXPECT_EQ(message_of([&] { c.reader().read_header("name.cert"); }),
              "Missing header in file: 'name.cert'.")
        << text;
  }
}

TEST(CertificateReader, EntriesAndTheirFields) {
  Certificate c(
      "QBCertificate\n"
      "c a comment 1 2 0\n"
      "5 1 -2 1 0 1 2 0\n"
      "C another\n"
      "6 * 3 5 0\n"
      "R 1 2 3\n"
      "r 4 5 6\n"
      "E 7 A 1 -2 0\n"
      "e 8 I -1 2 -3\n"
      "E 9 A 0\n"
      "CONCLUDE VALID 1 0 2 -1\n\t\n");
  CertificateReader& reader = c.reader();
  reader.read_header("cert");
  uint32_t number = 0;

  ASSERT_EQ(reader.next(number), Entry::STEP);
  EXPECT_EQ(number, 5u);
  StepEntry step;
  step.antecedents = {99};
  reader.read_step(step);
  EXPECT_FALSE(step.resolvent_omitted);
  EXPECT_EQ(dimacs(step.resolvent), ints({1, -2}));  // the repeated 1 is dropped
  EXPECT_EQ(step.antecedents, numbers({1, 2}));

  ASSERT_EQ(reader.next(number), Entry::STEP);
  EXPECT_EQ(number, 6u);
  reader.read_step(step);
  EXPECT_TRUE(step.resolvent_omitted);
  EXPECT_EQ(step.resolvent.size(), 0u);
  EXPECT_EQ(step.antecedents, numbers({3, 5}));

  for (const std::vector<uint32_t>& expected : {numbers({1, 2, 3}), numbers({4, 5, 6})}) {
    ASSERT_EQ(reader.next(number), Entry::RESOLUTION);
    uint32_t first, second, pivot;
    reader.read_resolution(first, second, pivot);
    EXPECT_EQ((std::vector<uint32_t>{first, second, pivot}), expected);
  }

  struct Expected {
    Definition::Kind kind;
    int64_t variable;
    std::vector<int64_t> operands;
    uint32_t line;
  };
  const std::vector<Expected> extensions = {{Definition::AND, 7, {1, -2}, 8},
                                            {Definition::ITE, 8, {-1, 2, -3}, 9},
                                            {Definition::AND, 9, {}, 10}};
  for (const Expected& e : extensions) {
    ASSERT_EQ(reader.next(number), Entry::EXTENSION);
    EXPECT_EQ(reader.read_extension_variable().to_dimacs(), e.variable);
    Definition definition;
    std::vector<Literal> operands = zeltest::literals({5});
    reader.read_extension(definition, operands);
    EXPECT_EQ(definition.kind, e.kind);
    EXPECT_EQ(definition.line, e.line);
    EXPECT_EQ(definition.count, e.operands.size());
    EXPECT_EQ(dimacs(ClauseView{operands.data(), static_cast<uint32_t>(operands.size())}),
              e.operands);
  }

  ASSERT_EQ(reader.next(number), Entry::CONCLUSION);
  EXPECT_EQ(reader.read_claim(), "VALID");
  EXPECT_FALSE(reader.model_ended());
  EXPECT_EQ(reader.read_model_variable(), 1u);
  EXPECT_EQ(reader.read_model_literal(), 0);
  EXPECT_EQ(reader.read_model_variable(), 2u);
  EXPECT_EQ(reader.read_model_literal(), -1);  // and the white space after it
  EXPECT_TRUE(reader.model_ended());
  EXPECT_EQ(reader.line(), 13u);
  EXPECT_EQ(reader.column(), 1u);
}

TEST(CertificateReader, InvalidClaimAndEmptyClaim) {
  Certificate c("QBCertificate\nconclude INVALID 4000000000\n");
  c.reader().read_header("cert");
  uint32_t number;
  ASSERT_EQ(c.reader().next(number), Entry::CONCLUSION);
  EXPECT_EQ(c.reader().read_claim(), "INVALID");
  EXPECT_EQ(c.reader().read_clause_number(), 4000000000u);
  Certificate bare("QBCertificate CONCLUDE");
  bare.reader().read_header("cert");
  ASSERT_EQ(bare.reader().next(number), Entry::CONCLUSION);
  EXPECT_EQ(bare.reader().read_claim(), "");
}

// Refusals, with the position of the next byte when they are thrown.
TEST(CertificateReader, Refusals) {
  struct Row {
    std::string text;  // after the header line
    std::string message;
    uint32_t line, column;
  };
  const std::string beyond = std::to_string(kMaxVariable + 1);
  const std::vector<Row> rows = {
      {"x 1 0 0\n", "Number conversion failed (x).", 2, 2},
      {"4294967296 1 0 0\n", "Number conversion failed (4294967296).", 2, 11},
      {"5- 1 0 0\n", "Number conversion failed (5-).", 2, 3},
      {"5 *1 2 0\n", "Bogus resolvent.", 2, 5},
      // The "*" must share the line of the number.
      {"5\n* 1 2 0\n", "Number conversion failed (*).", 3, 2},
      {"5 1 x 0\n", "Number conversion failed (x).", 2, 6},
      {"5 1 0 1 2x 0\n", "Number conversion failed (2x).", 2, 11},
      {"5 1 0 1\t2 0\n", "Number conversion failed (1\t2).", 2, 10},
      {"5 " + beyond + " 0 1 2 0\n", "Variable 33554432 exceeds the largest supported variable number 33554431.", 2, 11},
      {"5 1 0 1 2", "Number conversion failed ().", 2, 10},
      {"R 1 2\n", "Number conversion failed ().", 3, 1},
      {"E 7 X 1 0\n", "Unknown extension type supplied.", 2, 6},
      {"E 7 A 1 2\n", "Number conversion failed ().", 3, 1},
      {"E 7 I 1 2\n", "Number conversion failed ().", 3, 1},
      {"c unfinished comment", "Certificate incomplete.", 2, 21},
      {"", "Number conversion failed ().", 2, 1},
  };
  for (const Row& row : rows) {
    Certificate c("QBCertificate\n" + row.text);
    CertificateReader& reader = c.reader();
    reader.read_header("cert");
    const std::string message = message_of([&] {
      for (int entries = 0; entries < 3; ++entries) {
        uint32_t number;
        StepEntry step;
        Definition definition;
        std::vector<Literal> operands;
        uint32_t first, second, pivot;
        switch (reader.next(number)) {
          case Entry::STEP:
            reader.read_step(step);
            break;
          case Entry::RESOLUTION:
            reader.read_resolution(first, second, pivot);
            break;
          case Entry::EXTENSION:
            reader.read_extension_variable();
            reader.read_extension(definition, operands);
            break;
          case Entry::CONCLUSION:
            return;
        }
      }
    });
    EXPECT_EQ(message, row.message) << row.text;
    EXPECT_EQ(reader.line(), row.line) << row.text;
    EXPECT_EQ(reader.column(), row.column) << row.text;
  }
}

}  // namespace
