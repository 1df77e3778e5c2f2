// The QRP reader and the certificate kind: every DepQBF trace of tests/qrp
// read in both encodings must give the same entries, and the binary file
// must be byte for byte what the layout makes of the ASCII entries; the
// kind is told from the first bytes without consuming them; every
// malformed input is refused with its message and position; traces are
// read through pipes and compressed streams.
#include "read/qrp_reader.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "read/certificate_kind.hpp"
#include "read/certificate_reader.hpp"
#include "support.hpp"

namespace {

using zeltest::file_content;
using zeltest::message_of;
using zeltest::StdinPipe;

const std::string kTraces = ZEL_QRP_DIR;

// An entry as one line of text, the same for both encodings.
std::string render(const QrpEntry& entry) {
  std::ostringstream text;
  switch (entry.kind) {
    case QrpEntry::BLOCK:
      text << (entry.quantifier == Quantifier::UNIVERSAL ? "a" : "e");
      for (uint32_t variable : entry.variables) text << " " << variable;
      break;
    case QrpEntry::STEP:
      text << entry.index << ":";
      for (const Literal& literal : entry.literals) text << " " << literal.to_dimacs();
      text << " |";
      for (uint32_t antecedent : entry.antecedents) text << " " << antecedent;
      break;
    case QrpEntry::RESULT:
      text << (entry.satisfiable ? "r SAT" : "r UNSAT");
      break;
  }
  return text.str();
}

// What a reader made of a whole input: the entries, where each started, and
// the error that ended it (with the reader's position) if any.
struct Reading {
  QrpHeader header;
  std::vector<std::string> entries;
  std::vector<InputPosition> positions;
  std::string error = "<no exception>";
  std::string where;
};

Reading read_all(QrpReader& reader, bool ahead = false) {
  Reading reading;
  QrpEntry entry;  // reused, as a checker reuses it
  try {
    reading.header = reader.read_header();
    if (ahead) reader.read_ahead();
    while (reader.next(entry) != QrpEntry::RESULT) {
      reading.entries.push_back(render(entry));
      reading.positions.push_back(entry.position);
    }
    reading.entries.push_back(render(entry));
    reading.positions.push_back(entry.position);
  } catch (const Exception& error) {
    reading.error = error.message;
  }
  reading.where = reader.where();
  return reading;
}

Reading read_text_once(const std::string& text, bool ahead) {
  ByteSource source;
  source.open_memory(text.data(), text.size(), "trace");
  QrpReader reader(source);
  return read_all(reader, ahead);
}

std::string describe(const Reading& reading) {
  std::string text;
  for (size_t i = 0; i < reading.entries.size(); ++i)
    text += describe_position(reading.positions[i], false) + " @" +
            std::to_string(reading.positions[i].offset) + " " + reading.entries[i] + "\n";
  return text + reading.error + " at " + reading.where;
}

// Reads `text` in turn and read ahead on a second thread: both must give
// the same entries at the same positions and end the same, also where a
// refusal stops them. Returns the reading in turn.
Reading read_text(const std::string& text) {
  const Reading in_turn = read_text_once(text, false);
  const Reading ahead = read_text_once(text, true);
  EXPECT_EQ(describe(ahead), describe(in_turn));
  return in_turn;
}

Reading read_file(const std::string& path) {
  ByteSource source;
  EXPECT_TRUE(source.open(path)) << path;
  QrpReader reader(source);
  return read_all(reader);
}

// The binary layout, written independently of the reader: what the bytes of
// a binary trace must be, field by field, with what each field is (for the
// messages of a trace cut off inside it).
class BinaryLayout {
 public:
  struct Field {
    size_t start;      // offset of its first byte
    size_t length;     // bytes
    std::string role;  // "index", "type", "Step N", "Quantifier block", "result"
  };

  explicit BinaryLayout(const QrpHeader& header) {
    bytes_ = "p bqrp " + std::to_string(header.variables) + " " + std::to_string(header.clauses);
    bytes_ += '\0';
  }

  // Appends the entry; returns the offset the reader reports for it.
  size_t add(const QrpEntry& entry) {
    const size_t start = bytes_.size();
    switch (entry.kind) {
      case QrpEntry::BLOCK:
        number(0, "index");
        fields_.push_back({bytes_.size(), 1, "type"});
        bytes_ += entry.quantifier == Quantifier::UNIVERSAL ? 'a' : 'e';
        for (uint32_t variable : entry.variables) number(variable, "Quantifier block");
        number(0, "Quantifier block");
        return start;
      case QrpEntry::STEP: {
        number(entry.index, "index");
        const std::string role = "Step " + std::to_string(entry.index);
        for (const Literal& literal : entry.literals) number(literal.code, role);
        number(0, role);
        for (uint32_t antecedent : entry.antecedents) number(antecedent, role);
        number(0, role);
        return start;
      }
      case QrpEntry::RESULT: {
        number(0, "index");
        const std::string line = entry.satisfiable ? "r SAT\n" : "r UNSAT\n";
        fields_.push_back({bytes_.size(), line.size(), "result"});
        bytes_ += line;
        return start + 1;  // the result line starts after the 0
      }
    }
    return start;
  }

  const std::string& bytes() const { return bytes_; }
  const std::vector<Field>& fields() const { return fields_; }

 private:
  void number(uint32_t value, const std::string& role) {
    const size_t start = bytes_.size();
    while (value >= 0x80) {
      bytes_ += static_cast<char>(0x80 | (value & 0x7F));
      value >>= 7;
    }
    bytes_ += static_cast<char>(value);
    fields_.push_back({start, bytes_.size() - start, role});
  }

  std::string bytes_;           // the trace so far
  std::vector<Field> fields_;   // every field after the preamble, in order
};

struct Trace {
  std::string name;     // file name of the ASCII trace (.qrp)
  std::string result;   // SAT or UNSAT
};

std::vector<Trace> manifest() {
  std::vector<Trace> traces;
  std::ifstream in(kTraces + "/MANIFEST.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Trace trace;
    std::string formula;
    fields >> trace.name >> formula >> trace.result;
    const std::string suffix = ".qrp";
    if (trace.name.size() > suffix.size() &&
        trace.name.compare(trace.name.size() - suffix.size(), suffix.size(), suffix) == 0)
      traces.push_back(trace);
  }
  return traces;
}

std::string binary_twin(const std::string& name) { return name.substr(0, name.size() - 4) + ".bqrp"; }

// ---- the traces DepQBF wrote ---------------------------------------------

TEST(QrpTraces, AsciiAndBinaryTwinsGiveTheSameEntriesAndTheLayoutBytes) {
  const std::vector<Trace> traces = manifest();
  ASSERT_EQ(traces.size(), 36u);
  for (const Trace& trace : traces) {
    SCOPED_TRACE(trace.name);
    const Reading ascii = read_file(kTraces + "/" + trace.name);
    const Reading binary = read_file(kTraces + "/" + binary_twin(trace.name));
    ASSERT_EQ(ascii.error, "<no exception>") << ascii.where;
    ASSERT_EQ(binary.error, "<no exception>") << binary.where;
    EXPECT_FALSE(ascii.header.binary);
    EXPECT_TRUE(binary.header.binary);
    EXPECT_EQ(ascii.header.variables, binary.header.variables);
    EXPECT_EQ(ascii.header.clauses, binary.header.clauses);
    EXPECT_EQ(ascii.entries, binary.entries);
    EXPECT_EQ(ascii.entries.back(), "r " + trace.result);

    // One entry a line, from line 2 on, each at column 1.
    for (size_t i = 0; i < ascii.positions.size(); ++i) {
      EXPECT_EQ(ascii.positions[i].line, i + 2) << ascii.entries[i];
      EXPECT_EQ(ascii.positions[i].column, 1u) << ascii.entries[i];
    }

    // The binary file is exactly the layout of the ASCII entries, and each
    // entry is reported at its offset in it.
    const std::string ascii_text = file_content(kTraces + "/" + trace.name);
    ByteSource source;
    source.open_memory(ascii_text.data(), ascii_text.size(), "ascii");
    QrpReader reader(source);
    BinaryLayout layout(reader.read_header());
    QrpEntry entry;
    size_t count = 0;
    do {
      reader.next(entry);
      ASSERT_LT(count, binary.positions.size());
      EXPECT_EQ(layout.add(entry), binary.positions[count].offset) << render(entry);
      ++count;
    } while (entry.kind != QrpEntry::RESULT);
    EXPECT_EQ(layout.bytes(), file_content(kTraces + "/" + binary_twin(trace.name)));
  }
}

// A binary trace cut after each of its bytes: never accepted unless only the
// final line end is missing, and refused with the message the field that
// was cut calls for, at the offset of the cut (the end of the input).
TEST(QrpTraces, BinaryTraceCutAtEveryByte) {
  const std::string name = "qparity-n5.trad.qrp";  // indices and literals of two bytes
  const std::string ascii_text = file_content(kTraces + "/" + name);
  ByteSource source;
  source.open_memory(ascii_text.data(), ascii_text.size(), "ascii");
  QrpReader reader(source);
  BinaryLayout layout(reader.read_header());
  const size_t preamble = layout.bytes().size();
  QrpEntry entry;
  do {
    reader.next(entry);
    layout.add(entry);
  } while (entry.kind != QrpEntry::RESULT);
  const std::string& whole = layout.bytes();
  ASSERT_EQ(whole, file_content(kTraces + "/" + binary_twin(name)));

  size_t multi_byte_cuts = 0;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Reading reading = read_text(whole.substr(0, cut));
    if (cut < preamble) {
      EXPECT_NE(reading.error, "<no exception>");
      continue;
    }
    std::string expected;
    for (const BinaryLayout::Field& field : layout.fields()) {
      if (cut < field.start || cut >= field.start + field.length) continue;
      if (field.role == "result") {
        const std::string text = whole.substr(field.start, cut - field.start);
        const std::string word = text.size() > 2 ? text.substr(2) : "";
        expected = text.empty() ? "Missing result line."
                   : word == "SAT" || word == "UNSAT" ? "<no exception>"
                                                      : "Unknown result: '" + word + "'.";
      } else if (cut > field.start) {
        expected = "Binary number cut off by the end of the file.";
        ++multi_byte_cuts;
      } else if (field.role == "index" || field.role == "type") {
        expected = "Missing result line.";
      } else {
        expected = field.role + " cut off by the end of the file.";
      }
    }
    EXPECT_EQ(reading.error, expected);
    EXPECT_EQ(reading.where, "byte offset " + std::to_string(cut));
  }
  EXPECT_GT(multi_byte_cuts, 100u);
  EXPECT_EQ(read_text(whole.substr(0, whole.size() - 1)).error, "<no exception>");
}

// ---- malformed input ------------------------------------------------------

struct Refusal {
  std::string text;     // the whole input
  std::string message;  // what it is refused with
  std::string where;    // where the reader stands then
};

// The bytes of a string literal, zero bytes included.
template <size_t N>
std::string raw(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// A binary trace of two variables and one clause: the preamble, then `tail`.
std::string bin(const std::string& tail) { return raw("p bqrp 2 1\0") + tail; }

TEST(QrpReader, MalformedInputsAreRefusedWithMessageAndPosition) {
  const std::string header_expected = "QRP header expected ('p qrp V C' or 'p bqrp V C'), found '";
  const std::vector<Refusal> refusals = {
      // the preamble
      {"", header_expected + "'.", "line 1, column 1"},
      {"c only a comment\n", header_expected + "'.", "line 2, column 1"},
      {"p cnf 1 1\n", header_expected + "cnf'.", "line 1, column 6"},
      {"qrp 1 1\n", header_expected + "qrp'.", "line 1, column 4"},
      {"p qrp x 1\n", "Number conversion failed (x).", "line 1, column 8"},
      {"p qrp 1 2x\n", "Number conversion failed (2x).", "line 1, column 11"},
      {"p qrp 1 -2\n", "Number conversion failed (-2).", "line 1, column 11"},
      {raw("p qrp 1 2\0\n"), "Number conversion failed (2\\x00).", "line 1, column 11"},
      {"p qrp 1 4294967296\n", "Number conversion failed (4294967296).", "line 1, column 19"},
      {"p bqrp 2 1\n\x01\x00\x00", "Binary QRP header: 'p bqrp V C' must end with a 0 byte.",
       "byte offset 10"},
      // quantifier lines
      {"p qrp 2 1\ne -1 0\n", "Quantified variable -1 is negative.", "line 2, column 5"},
      {"p qrp 2 1\na 33554432 0\n",
       "Variable 33554432 exceeds the largest supported variable number 33554431.",
       "line 2, column 11"},
      {"p qrp 2 1\ne 1", "Quantifier block cut off by the end of the file.", "line 2, column 4"},
      {"p qrp 2 1\n1 1 0 0\ne 2 0\n", "Quantifier line after the first step.", "line 3, column 2"},
      // steps
      {"p qrp 2 1\n0 1 0 0\n", "Step index 0: indices start at 1.", "line 2, column 2"},
      {"p qrp 2 1\n-1 1 0 0\n", "Number conversion failed (-1).", "line 2, column 3"},
      {"p qrp 2 1\n4294967296 1 0 0\n", "Number conversion failed (4294967296).",
       "line 2, column 11"},
      {"p qrp 2 1\nx 1 0 0\n", "Number conversion failed (x).", "line 2, column 2"},
      {"p qrp 2 1\nc a comment\n", "Number conversion failed (c).", "line 2, column 2"},
      {"p qrp 2 1\n1 33554432 0 0\n",
       "Variable 33554432 exceeds the largest supported variable number 33554431.",
       "line 2, column 11"},
      {"p qrp 2 1\n1 -2147483648 0 0\n", "Number conversion failed (-2147483648).",
       "line 2, column 14"},
      {"p qrp 2 1\n2 1 0 -1 0\n", "Number conversion failed (-1).", "line 2, column 9"},
      {"p qrp 2 1\n2 1 0 1", "Step 2 cut off by the end of the file.", "line 2, column 8"},
      // the end
      {"p qrp 2 1\n1 1 0 0\n", "Missing result line.", "line 3, column 1"},
      {"p qrp 2 1\n1 1 0 0\nr\n", "Unknown result: ''.", "line 4, column 1"},
      {"p qrp 2 1\n1 1 0 0\nr sat\n", "Unknown result: 'sat'.", "line 3, column 6"},
      {"p qrp 2 1\nr SAT\nxyz\n", "Unexpected 'xyz' after the result line.", "line 3, column 4"},
      {"p qrp 2 1\nr UNSAT\n2 0 1 0\n", "Unexpected '2' after the result line.",
       "line 3, column 2"},
      {"p qrp 2 1\nr UNSAT\nr UNSAT\n", "Unexpected 'r' after the result line.",
       "line 3, column 2"},
      // binary numbers
      {bin(raw("\x81\x80\x80\x80\x80\x01")), "Binary number longer than 5 bytes.",
       "byte offset 16"},
      {bin("\xff\xff\xff\xff\x10"), "Binary number above 4294967295.", "byte offset 16"},
      {bin("\x80"), "Binary number cut off by the end of the file.", "byte offset 12"},
      // binary entries
      {bin(raw("\x01\x01\x00\x00")), "Literal code 1 names variable 0.",
       "byte offset 13"},
      {bin(raw("\x01\x80\x80\x80\x20\x00")),
       "Variable 33554432 exceeds the largest supported variable number 33554431.",
       "byte offset 16"},
      {bin(raw("\x00" "e\x80\x80\x80\x10\x00")),
       "Variable 33554432 exceeds the largest supported variable number 33554431.",
       "byte offset 17"},
      // the same inside a step's lists with bytes after them, decoded in the
      // buffer: the position is right after the number at fault
      {bin(raw("\x01\x02\x81\x80\x80\x80\x80\x01\x00\x00\x00\x00")),
       "Binary number longer than 5 bytes.", "byte offset 18"},
      {bin(raw("\x02\x02\x00\xff\xff\xff\xff\x10\x00\x00\x00")),
       "Binary number above 4294967295.", "byte offset 19"},
      {bin(raw("\x01\x02\x01\x00\x00\x00r UNSAT\n")), "Literal code 1 names variable 0.",
       "byte offset 14"},
      {bin(raw("\x01\x02\x80\x80\x80\x20\x04\x00\x00\x00r UNSAT\n")),
       "Variable 33554432 exceeds the largest supported variable number 33554431.",
       "byte offset 17"},
      {bin(raw("\x01\x02\x00\x01\x81")), "Binary number cut off by the end of the file.",
       "byte offset 16"},
      {bin(raw("\x01\x02\x00\x01\x81\x01")), "Step 1 cut off by the end of the file.",
       "byte offset 17"},
      {bin(raw("\x01\x02\x00\x00\x00" "e\x01\x00")),
       "Quantifier block after the first step.", "byte offset 16"},
      {bin(raw("\x01\x02\x00")), "Step 1 cut off by the end of the file.",
       "byte offset 14"},
      {bin(raw("\x00" "e\x01")), "Quantifier block cut off by the end of the file.",
       "byte offset 14"},
      {bin(raw("\x01\x02\x00\x00")), "Missing result line.", "byte offset 15"},
      {bin(raw("\x01\x02\x00\x00\x00")), "Missing result line.", "byte offset 16"},
      {bin(raw("\x00x\n")), "Result line expected after the steps, found 'x'.",
       "byte offset 13"},
      {bin(raw("\x00r SAT\n\x00")), "Unexpected '\\x00' after the result line.",
       "byte offset 19"},
      {bin(raw("\x00r UNSAT\n\x02\x00\x01\x00")),
       "Unexpected '\\x02\\x00\\x01\\x00' after the result line.", "byte offset 24"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(Tokenizer::printable(refusal.text, 100));
    const Reading reading = read_text(refusal.text);
    EXPECT_EQ(reading.error, refusal.message);
    EXPECT_EQ(reading.where, refusal.where);
  }
}

TEST(QrpReader, AcceptedForms) {
  struct Accepted {
    std::string text;
    std::vector<std::string> entries;
  };
  const std::vector<Accepted> accepted = {
      // no prefix, no steps; comments and blank lines first; no final line end
      {"p qrp 0 0\nr SAT", {"r SAT"}},
      {"c one\nc\n\n  p  qrp 0 0\r\nr UNSAT\r\n\n", {"r UNSAT"}},
      // tabs separate, as in QDIMACS; a step may span lines
      {"p qrp 3 2\na\t1 0\ne 2 3 0\n1\t-1 2 0 0\n2 1\n3 0 1\n0\nr UNSAT\n",
       {"a 1", "e 2 3", "1: -1 2 |", "2: 1 3 | 1", "r UNSAT"}},
      // the largest numbers
      {"p qrp 4294967295 4294967295\n4294967295 -33554431 0 4294967295 0\nr UNSAT\n",
       {"4294967295: -33554431 | 4294967295", "r UNSAT"}},
      {bin(raw("\x00r SAT\n")), {"r SAT"}},
      {bin(raw("\x00" "a\x01\x00\x00" "e\x02\x00\xff\xff\xff\xff\x0f\x03\xff\xff\xff\x1f"
                       "\x00\xff\xff\xff\xff\x0f\x00\x00r UNSAT\n  \n")),
       {"a 1", "e 2", "4294967295: -1 -33554431 | 4294967295", "r UNSAT"}},
  };
  for (const Accepted& input : accepted) {
    SCOPED_TRACE(Tokenizer::printable(input.text, 100));
    const Reading reading = read_text(input.text);
    EXPECT_EQ(reading.error, "<no exception>") << reading.where;
    EXPECT_EQ(reading.entries, input.entries);
  }
}

// Binary steps longer than the reader's block of codes (256) and around
// it: every literal read, in order, one and two bytes long.
TEST(QrpReader, LongBinaryStepsAreReadWhole) {
  for (size_t count : {1u, 255u, 256u, 257u, 512u, 1000u}) {
    SCOPED_TRACE(count);
    std::string tail = "\x05";  // step 5
    std::string expected = "5:";
    for (size_t i = 0; i < count; ++i) {
      const uint32_t variable = i % 2 ? 100 + static_cast<uint32_t>(i % 7) : 1 + i % 50;
      const uint32_t code = 2 * variable + (i % 3 == 0);
      if (code >= 0x80) tail += static_cast<char>((code & 0x7F) | 0x80);
      tail += static_cast<char>(code >= 0x80 ? code >> 7 : code);
      expected += " " + std::to_string(i % 3 == 0 ? -static_cast<int64_t>(variable) : variable);
    }
    tail += std::string("\0\x03\0\0r UNSAT\n", 12);
    const Reading reading = read_text(bin(tail));
    EXPECT_EQ(reading.error, "<no exception>");
    EXPECT_EQ(reading.entries, (std::vector<std::string>{expected + " | 3", "r UNSAT"}));
  }
}

// ---- the certificate kind -------------------------------------------------

TEST(CertificateKind, ToldFromTheFirstBytesWithoutConsumingThem) {
  struct Case {
    std::string text;
    CertificateKind kind;
  };
  const std::string long_comments(100000, 'x');
  const std::vector<Case> cases = {
      {"QBCertificate\n1 1 0 0\n", CertificateKind::ZEL},
      {"  \r\n\nQBCertificate", CertificateKind::ZEL},
      {"QBCertificates\n", CertificateKind::UNKNOWN},
      {"\tQBCertificate\n", CertificateKind::UNKNOWN},
      {"c x\nQBCertificate\n", CertificateKind::UNKNOWN},
      {"", CertificateKind::UNKNOWN},
      {"p qrp 1 1\n", CertificateKind::QRP_ASCII},
      {"c made by a solver\nc\n\n \tp  qrp 3 4\n", CertificateKind::QRP_ASCII},
      {"c " + long_comments + "\nc " + long_comments + "\np qrp 1 1\n", CertificateKind::QRP_ASCII},
      {raw("p bqrp 1 1\0\x01\x02\x00\x00"), CertificateKind::QRP_BINARY},
      {"p\tbqrp 1 1", CertificateKind::QRP_BINARY},
      {"p cnf 1 1\n", CertificateKind::UNKNOWN},
      {"p qrpx 1 1\n", CertificateKind::UNKNOWN},
      {"p bqrpx 1 1\n", CertificateKind::UNKNOWN},
      {"p qrp", CertificateKind::UNKNOWN},
      {"cx\np qrp 1 1\n", CertificateKind::UNKNOWN},
      {"c comment without its end", CertificateKind::UNKNOWN},
      {"aag 3 2 0 1 1\n", CertificateKind::AIGER_ASCII},
      {"aig 3 2 0 1 1\n", CertificateKind::AIGER_BINARY},
      {" aag 3 2 0 1 1\n", CertificateKind::UNKNOWN},
      {"aag", CertificateKind::UNKNOWN},
      // a preamble beyond what the tokenizer can look at
      {"c " + std::string(Tokenizer::kBufferSize, 'x') + "\np qrp 1 1\n", CertificateKind::UNKNOWN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Tokenizer::printable(c.text, 40));
    zeltest::MemoryTokens input(c.text);
    Tokenizer& tokens = input.tokens();
    EXPECT_EQ(detect_certificate_kind(tokens), c.kind);
    EXPECT_EQ(tokens.offset(), 0u);
    EXPECT_EQ(tokens.line(), 1u);
    EXPECT_EQ(tokens.column(), 1u);
  }
}

// The flow of a run: the tokenizer that told the kind goes to the reader of
// that kind, which sees the input from its first byte; an unknown input
// goes to the certificate reader, whose header check refuses it where it
// always did.
TEST(CertificateKind, ReadersTakeOverTheTokenizer) {
  const std::string qrp = "c x\np qrp 2 1\ne 1 2 0\n1 1 2 0 0\nr SAT\n";
  {
    zeltest::MemoryTokens input(qrp);
    ASSERT_EQ(detect_certificate_kind(input.tokens()), CertificateKind::QRP_ASCII);
    QrpReader reader(std::move(input.tokens()));
    const Reading reading = read_all(reader);
    EXPECT_EQ(reading.error, "<no exception>");
    EXPECT_EQ(reading.entries, (std::vector<std::string>{"e 1 2", "1: 1 2 |", "r SAT"}));
  }
  for (const std::string text : {"c x\nQBCertificate\n", "QBCertificate\n"}) {
    zeltest::MemoryTokens input(text);
    detect_certificate_kind(input.tokens());
    CertificateReader reader(std::move(input.tokens()));
    const std::string message = message_of([&] { reader.read_header("name.cert"); });
    if (text[0] == 'c') {
      EXPECT_EQ(message, "Missing header in file: 'name.cert'.");
      EXPECT_EQ(reader.line(), 1u);
      EXPECT_EQ(reader.column(), 2u);
    } else {
      EXPECT_EQ(message, "<no exception>");
    }
  }
}

// ---- pipes and compressed streams -----------------------------------------

// Detection and reading through standard input, a pipe that delivers the
// bytes in pieces, and through gzip and xz files: the same entries as from
// the plain file.
TEST(QrpReader, PipesAndCompressedStreams) {
  const std::string directory = zeltest::scratch_directory();
  // A comment preamble longer than one pipe read, so that the look-ahead
  // must read more than once.
  const std::string preamble = "c " + std::string(200000, 'x') + "\n";
  for (const char* name : {"adder-n3.qpup.qrp", "adder-n3.qpup.bqrp"}) {
    SCOPED_TRACE(name);
    const std::string path = directory + "/" + name;
    zeltest::put_file(path, preamble + file_content(kTraces + "/" + name));
    const Reading expected = read_file(path);
    ASSERT_EQ(expected.error, "<no exception>");
    ASSERT_EQ(std::system(("gzip -c '" + path + "' > '" + path + ".gz' && xz -c '" + path +
                           "' > '" + path + ".xz'").c_str()),
              0);
    for (const std::string& input : {path, path + ".gz", path + ".xz"}) {
      for (int via_pipe = 0; via_pipe < 2; ++via_pipe) {
        SCOPED_TRACE(input + (via_pipe ? " through a pipe" : ""));
        std::unique_ptr<StdinPipe> pipe;
        if (via_pipe) pipe.reset(new StdinPipe(input));
        ByteSource source;
        ASSERT_TRUE(source.open(via_pipe ? "-" : input));
        Tokenizer tokens(source, Tokenizer::Separators::CERTIFICATE);
        EXPECT_EQ(detect_certificate_kind(tokens), expected.header.binary
                                                       ? CertificateKind::QRP_BINARY
                                                       : CertificateKind::QRP_ASCII);
        QrpReader reader(std::move(tokens));
        const Reading reading = read_all(reader);
        EXPECT_EQ(reading.error, "<no exception>") << reading.where;
        EXPECT_EQ(reading.entries, expected.entries);
      }
    }
  }
}

// Not a test: the reading time of whole traces, run by hand with
//   ZEL_QRP_BENCH=file1:file2 qrp_reader_test
//       --gtest_also_run_disabled_tests --gtest_filter='*Benchmark*'
// It prints the seconds, MB/s, steps and literals of reading each file.
// Reading ahead over many blocks: the ring of blocks fills and is emptied
// many times over, and the entries and positions stay those read in turn.
// A reader dropped with most of its entries not taken stops its thread.
TEST(QrpReader, ReadingAheadOverManyBlocks) {
  std::string ascii = "p qrp 3 200000\ne 1 2 0\na 3 0\n";
  std::string binary = raw("p bqrp 3 200000\0") + raw("\0e\x02\x04\0\0a\x06\0");
  const auto number = [](uint32_t value) {  // the binary layout: 7 bits a byte
    std::string bytes;
    for (; value > 0x7f; value >>= 7) bytes += static_cast<char>((value & 0x7f) | 0x80);
    return bytes + static_cast<char>(value);
  };
  for (uint32_t step = 1; step <= 100000; ++step) {
    const uint32_t variable = step % 3 + 1;
    ascii += std::to_string(step) + " " + (step % 2 ? "-" : "") + std::to_string(variable) + " 0 " +
             (step > 1 ? std::to_string(step - 1) + " " : "") + "0\n";
    binary += number(step) + number(2 * variable + step % 2) + '\0' +
              (step > 1 ? number(step - 1) : "") + '\0';
  }
  ascii += "r UNSAT\n";
  binary += raw("\0r UNSAT\n");
  for (const std::string* text : {&ascii, &binary}) {
    const Reading reading = read_text(*text);
    EXPECT_EQ(reading.error, "<no exception>") << reading.where;
    EXPECT_EQ(reading.entries.size(), 100003u);
    EXPECT_EQ(reading.entries[100001], "100000: 2 | 99999");
    // A refusal far into the trace: thrown after every entry before it.
    std::string cut = text->substr(0, text->size() * 3 / 4);
    const Reading refused = read_text(cut);
    EXPECT_NE(refused.error, "<no exception>");
    EXPECT_GT(refused.entries.size(), 50000u);
  }
  for (int taken = 0; taken < 3; ++taken) {
    ByteSource source;
    source.open_memory(ascii.data(), ascii.size(), "trace");
    QrpReader reader(source);
    reader.read_header();
    reader.read_ahead();
    QrpEntry entry;
    for (int i = 0; i < taken * 1000; ++i) reader.next(entry);
    if (taken == 2) reader.stop_reading_ahead();
  }  // each reader stops its thread, which waits for room in the ring
}

TEST(QrpReaderBenchmark, DISABLED_ReadTraces) {
  const char* list = std::getenv("ZEL_QRP_BENCH");
  ASSERT_NE(list, nullptr) << "set ZEL_QRP_BENCH to a colon-separated list of files";
  std::stringstream names(list);
  for (std::string name; std::getline(names, name, ':');) {
    ByteSource source;
    ASSERT_TRUE(source.open(name)) << name;
    const auto start = std::chrono::steady_clock::now();
    Tokenizer tokens(source, Tokenizer::Separators::CERTIFICATE);
    const CertificateKind kind = detect_certificate_kind(tokens);
    QrpReader reader(std::move(tokens));
    reader.read_header();
    QrpEntry entry;
    uint64_t steps = 0, literals = 0, antecedents = 0;
    while (reader.next(entry) != QrpEntry::RESULT) {
      steps += entry.kind == QrpEntry::STEP;
      literals += entry.literals.size();
      antecedents += entry.antecedents.size();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << name << " (" << certificate_kind_name(kind) << "): " << source.bytes_out()
              << " bytes, " << steps << " steps, " << literals << " literals, " << antecedents
              << " antecedents, " << seconds << " s, " << source.bytes_out() / seconds / 1e6
              << " MB/s\n";
  }
}

}  // namespace
