// The certificate reader: the header, the kind of each entry told by its
// first token, the fields of steps, resolution lines, extensions and the
// conclusion, the refusals a reader can make without the formula, and the
// position it reports.
#include "read/certificate_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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


// Everything a checker would read, in its order of calls, as text: each
// entry with its fields and the position after it; a refusal with its
// message and position ends it. With `stop_after`, reading stops after that
// many entries (as when a checker refuses a step) and the position the
// reader gives then ends the text.
std::string transcript(const std::string& text, bool ahead, size_t stop_after = SIZE_MAX) {
  Certificate c(text);
  CertificateReader& reader = c.reader();
  reader.read_header("cert");
  if (ahead) reader.read_ahead();
  std::string out;
  const auto at = [&] { return " @" + std::to_string(reader.line()) + ":" + std::to_string(reader.column()) + "\n"; };
  const std::string message = message_of([&] {
    StepEntry step;
    Definition definition;
    std::vector<Literal> operands;
    for (size_t entries = 0; entries < stop_after; ++entries) {
      uint32_t number = 0, first, second, pivot;
      const Entry kind = reader.next(number);
      out += "next " + std::to_string(static_cast<int>(kind)) + " " + std::to_string(number) + at();
      switch (kind) {
        case Entry::STEP:
          reader.read_step(step);
          out += (step.resolvent_omitted ? "* " : "") + step.resolvent.to_string() + " |";
          for (uint32_t antecedent : step.antecedents) out += " " + std::to_string(antecedent);
          break;
        case Entry::RESOLUTION:
          reader.read_resolution(first, second, pivot);
          out += "R " + std::to_string(first) + " " + std::to_string(second) + " " + std::to_string(pivot);
          break;
        case Entry::EXTENSION:
          out += "E " + std::to_string(reader.read_extension_variable().to_dimacs()) + at();
          reader.read_extension(definition, operands);
          out += std::to_string(operands.size()) + " operands, line " + std::to_string(definition.line);
          break;
        case Entry::CONCLUSION: {
          const std::string claim = reader.read_claim();
          out += claim;
          if (claim == "INVALID") {
            out += " " + std::to_string(reader.read_clause_number());
          } else {
            while (!reader.model_ended())
              out += " " + std::to_string(reader.read_model_variable()) + "=" +
                     std::to_string(reader.read_model_literal());
          }
          out += at();
          return;
        }
      }
      out += at();
    }
  });
  return out + message + at();
}

// Where two transcripts part, with a little of each from there ("" when
// they are equal).
std::string parting(const std::string& a, const std::string& b) {
  if (a == b) return "";
  const size_t at = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first -
                    a.begin();
  const size_t from = at > 60 ? at - 60 : 0;
  return "at byte " + std::to_string(at) + ":\n" + a.substr(from, 160) + "\n---\n" + b.substr(from, 160);
}

// Reading ahead gives the entries, refusals and positions of reading in
// turn, over many blocks of the ring, at every kind of hand-over (an
// extension, a resolution line, the conclusion), for refusals met by the
// thread in an entry's first token or in a step's fields, and when the
// caller stops early.
TEST(CertificateReader, ReadingAheadGivesWhatReadingInTurnGives) {
  std::string steps;
  for (uint32_t number = 1; number <= 12000; ++number)
    steps += std::to_string(number) + " " + (number % 3 ? "-" : "") + std::to_string(number % 7 + 1) +
             " " + std::to_string(number % 5 + 9) + " 0 " +
             (number > 2 ? std::to_string(number - 1) + " " + std::to_string(number - 2) + " " : "") +
             "0\n" + (number % 11 == 0 ? "c comment 1 2 0\n" : "");
  const std::string header = "QBCertificate\n";
  std::vector<std::string> texts = {
      header + steps + "CONCLUDE INVALID 12000\n",
      header + steps + "E 99 A 1 -2 0\nE 100 I 1 2 3\nCONCLUDE VALID 1 0 2 -1\n",
      header + steps + "R 1 2 3\n5 * 1 2 0\nCONCLUDE INVALID 5\n",
      header + "E 7 A 1 0\nCONCLUDE VALID 7 1\n",
      header + "CONCLUDE INVALID 1",
      header,
  };
  // A refusal far in, in a step's fields and at an entry's first token.
  for (const char* bad : {"5 1 x 0\n", "5 *1 2 0\n", "x 1 0 0\n", "c unfinished", "5 1 0 1 2"})
    texts.push_back(header + steps + bad);
  // Cut anywhere: mostly inside a step.
  const std::string whole = texts[0];
  for (size_t cut : {whole.size() / 3, whole.size() / 2 + 1, whole.size() - 3})
    texts.push_back(whole.substr(0, cut));
  for (const std::string& text : texts) {
    const std::string in_turn = transcript(text, false);
    EXPECT_EQ(parting(transcript(text, true), in_turn), "")
        << text.substr(text.size() > 80 ? text.size() - 80 : 0);
    // Every text that holds all the steps is read past them.
    if (text.size() > steps.size()) {
      EXPECT_GE(std::count(in_turn.begin(), in_turn.end(), '\n'), 24000) << text.substr(0, 80);
    }
  }
  for (size_t stop : {size_t{0}, size_t{1}, size_t{4095}, size_t{4097}, size_t{9000}})
    EXPECT_EQ(parting(transcript(texts[1], true, stop), transcript(texts[1], false, stop)), "")
        << stop;
}

}  // namespace
