// The AIGER reader: the certificates a 2QBF solver wrote (tests/aiger) read,
// and their inputs and outputs stand for the formula's universal and
// existential variables; zel's own --skolem output read in both encodings
// gives what the tests' independent reader gives; an ASCII circuit
// converted to binary by this test reads to the same circuit and computes
// the same functions; a binary file cut at every byte is refused with the
// message of the field cut and its offset; malformed inputs are refused
// with their messages and positions; pipes and compressed input.
#include "read/aiger_reader.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "aiger_reader.hpp"
#include "read/certificate_kind.hpp"
#include "support.hpp"

namespace {

using zeltest::file_content;
using zeltest::message_of;

const std::string kCertificates = ZEL_AIGER_DIR;

// What a reader made of an input: the circuit, or the error and where.
struct Reading {
  AigerCircuit circuit;
  std::string error = "<no exception>";
  std::string where;
};

Reading read_text(const std::string& text) {
  zeltest::MemoryTokens input(text);
  AigerReader reader(std::move(input.tokens()));
  Reading reading;
  try {
    reader.read(reading.circuit);
  } catch (const Exception& error) {
    reading.error = error.message;
  }
  reading.where = reader.where();
  return reading;
}

Reading read_file(const std::string& path) { return read_text(file_content(path)); }

// A circuit as text, every field, for comparisons with a readable diff.
std::string render(const AigerCircuit& circuit) {
  std::ostringstream text;
  text << (circuit.binary ? "aig " : "aag ") << circuit.max_variable << "\ninputs";
  for (uint32_t literal : circuit.inputs) text << " " << literal;
  text << "\noutputs";
  for (uint32_t literal : circuit.outputs) text << " " << literal;
  text << "\nands";
  for (size_t i = 0; i < circuit.ands.size(); i += 3)
    text << " " << circuit.ands[i] << "=" << circuit.ands[i + 1] << "&" << circuit.ands[i + 2];
  text << "\nsymbols";
  for (const AigerSymbol& symbol : circuit.input_names) text << " i" << symbol.index << ":" << symbol.name;
  for (const AigerSymbol& symbol : circuit.output_names) text << " o" << symbol.index << ":" << symbol.name;
  return text.str();
}

// The output values for one value per input; evaluates the gates in the
// circuit's order, so an operand read before its gate is found (it trips
// the assertion on the values that were set).
std::vector<bool> simulate(const AigerCircuit& circuit, const std::vector<bool>& input_values) {
  std::vector<int8_t> value(size_t(circuit.max_variable) + 1, -1);
  value[0] = 0;
  const auto of = [&](uint32_t literal) {
    EXPECT_NE(value[literal >> 1], -1) << "variable " << (literal >> 1) << " read before it is set";
    return (value[literal >> 1] == 1) != bool(literal & 1u);
  };
  for (size_t i = 0; i < circuit.inputs.size(); ++i) value[circuit.inputs[i] >> 1] = input_values[i];
  for (size_t i = 0; i < circuit.ands.size(); i += 3)
    value[circuit.ands[i] >> 1] = of(circuit.ands[i + 1]) && of(circuit.ands[i + 2]);
  std::vector<bool> outputs;
  for (uint32_t literal : circuit.outputs) outputs.push_back(of(literal));
  return outputs;
}

void put_varint(std::string& bytes, uint32_t value) {
  while (value >= 0x80) {
    bytes += static_cast<char>(0x80 | (value & 0x7F));
    value >>= 7;
  }
  bytes += static_cast<char>(value);
}

// The binary form of a circuit whose gates are in topological order, as
// the AIGER format defines it (written here, independently of the reader):
// inputs renumbered to variables 1..I, gates to I+1.. in their order, the
// operands of each gate sorted so that rhs0 >= rhs1. `converted` receives
// the circuit the bytes stand for.
std::string to_binary(const AigerCircuit& circuit, AigerCircuit& converted) {
  std::vector<uint32_t> variable_of(size_t(circuit.max_variable) + 1, 0);  // old variable -> new
  const uint32_t inputs = static_cast<uint32_t>(circuit.inputs.size());
  for (uint32_t i = 0; i < inputs; ++i) variable_of[circuit.inputs[i] >> 1] = i + 1;
  for (uint32_t g = 0; g < circuit.and_count(); ++g) variable_of[circuit.ands[3 * g] >> 1] = inputs + g + 1;
  const auto map = [&](uint32_t literal) { return 2 * variable_of[literal >> 1] + (literal & 1u); };
  converted = AigerCircuit();
  converted.binary = true;
  converted.max_variable = inputs + circuit.and_count();
  for (uint32_t i = 0; i < inputs; ++i) converted.inputs.push_back(2 * (i + 1));
  for (uint32_t literal : circuit.outputs) converted.outputs.push_back(map(literal));
  std::string bytes = "aig " + std::to_string(converted.max_variable) + " " + std::to_string(inputs) +
                      " 0 " + std::to_string(circuit.outputs.size()) + " " +
                      std::to_string(circuit.and_count()) + "\n";
  for (uint32_t literal : converted.outputs) bytes += std::to_string(literal) + "\n";
  for (uint32_t g = 0; g < circuit.and_count(); ++g) {
    const uint32_t lhs = 2 * (inputs + g + 1);
    const uint32_t a = map(circuit.ands[3 * g + 1]), b = map(circuit.ands[3 * g + 2]);
    const uint32_t rhs0 = std::max(a, b), rhs1 = std::min(a, b);
    put_varint(bytes, lhs - rhs0);
    put_varint(bytes, rhs0 - rhs1);
    converted.ands.insert(converted.ands.end(), {lhs, rhs0, rhs1});
  }
  for (const AigerSymbol& symbol : circuit.input_names)
    bytes += "i" + std::to_string(symbol.index) + " " + symbol.name + "\n";
  for (const AigerSymbol& symbol : circuit.output_names)
    bytes += "o" + std::to_string(symbol.index) + " " + symbol.name + "\n";
  converted.input_names = circuit.input_names;
  converted.output_names = circuit.output_names;
  bytes += "c\nconverted by the unit test\n";
  return bytes;
}

// Random input vectors (all of them up to 10 inputs) give the same outputs.
void expect_same_functions(const AigerCircuit& a, const AigerCircuit& b) {
  ASSERT_EQ(a.inputs.size(), b.inputs.size());
  zeltest::Random random(7);
  const size_t inputs = a.inputs.size();
  const uint64_t rounds = inputs <= 10 ? (uint64_t(1) << inputs) : 256;
  for (uint64_t round = 0; round < rounds; ++round) {
    std::vector<bool> values(inputs);
    for (size_t i = 0; i < inputs; ++i) values[i] = inputs <= 10 ? (round >> i) & 1 : random.below(2);
    ASSERT_EQ(simulate(a, values), simulate(b, values)) << "round " << round;
  }
}

// The quantifier of each variable of a QDIMACS prefix ('a' or 'e').
std::map<uint32_t, char> prefix_of(const std::string& path) {
  std::map<uint32_t, char> quantifier;
  std::istringstream lines(file_content(path));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || (line[0] != 'a' && line[0] != 'e')) continue;
    std::istringstream fields(line.substr(1));
    for (uint32_t variable; fields >> variable && variable != 0;) quantifier[variable] = line[0];
  }
  return quantifier;
}

struct Certificate {
  std::string name, formula, status;
};

std::vector<Certificate> manifest() {
  std::vector<Certificate> certificates;
  std::ifstream in(kCertificates + "/MANIFEST.tsv");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Certificate certificate;
    fields >> certificate.name >> certificate.formula >> certificate.status;
    certificates.push_back(certificate);
  }
  return certificates;
}

// ---- the certificates a solver wrote ------------------------------------------

// Every certificate reads; its inputs stand for universal variables of its
// formula and its outputs for existential ones, each existential variable
// once, the output named `result` for none; its binary conversion reads to
// the converted circuit and computes the same functions.
TEST(AigerCertificates, SolverCertificatesReadAndMapToTheirFormula) {
  const std::vector<Certificate> certificates = manifest();
  ASSERT_EQ(certificates.size(), 7u);
  for (const Certificate& certificate : certificates) {
    SCOPED_TRACE(certificate.name);
    const Reading reading = read_file(kCertificates + "/" + certificate.name);
    ASSERT_EQ(reading.error, "<no exception>") << reading.where;
    const AigerCircuit& circuit = reading.circuit;
    EXPECT_FALSE(circuit.binary);
    ASSERT_FALSE(circuit.outputs.empty());
    EXPECT_EQ(circuit.output_name(static_cast<uint32_t>(circuit.outputs.size() - 1)), "result");

    const AigerVariables variables = map_aiger_variables(circuit);
    const std::map<uint32_t, char> prefix = prefix_of(kCertificates + "/" + certificate.formula);
    for (uint32_t variable : variables.inputs) EXPECT_EQ(prefix.at(variable), 'a') << variable;
    size_t functions = 0;
    for (uint32_t variable : variables.outputs) {
      if (variable == AigerVariables::IGNORED) continue;
      EXPECT_EQ(prefix.at(variable), 'e') << variable;
      ++functions;
    }
    EXPECT_EQ(variables.outputs.back(), AigerVariables::IGNORED);
    size_t existentials = 0;
    for (const auto& entry : prefix) existentials += entry.second == 'e';
    EXPECT_EQ(functions, existentials);

    AigerCircuit converted;
    const Reading binary = read_text(to_binary(circuit, converted));
    ASSERT_EQ(binary.error, "<no exception>") << binary.where;
    EXPECT_EQ(render(binary.circuit), render(converted));
    expect_same_functions(circuit, binary.circuit);
  }
}

// ---- zel's own --skolem output --------------------------------------------------

// Every validated model of the corpus written as ASCII and binary AIGER by
// zel: both read to the circuit the tests' independent reader sees (up to
// the binary flag), and map to the variables the symbol table names.
TEST(AigerCertificates, SkolemOutputOfZelReadsInBothEncodings) {
  const std::string corpus = ZEL_CORPUS_DIR;
  const std::string directory = zeltest::scratch_directory();
  std::ifstream in(corpus + "/MANIFEST.tsv");
  size_t models = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string name, kind, status;
    fields >> name >> kind >> status;
    if (kind != "model" || status != "10") continue;
    SCOPED_TRACE(name);
    ++models;
    std::string rendered[2];
    for (int binary = 0; binary < 2; ++binary) {
      const std::string path = directory + "/" + name + (binary ? ".aig" : ".aag");
      const std::string command = std::string(ZEL_BINARY) + " --skolem '" + path + "' '" + corpus + "/" +
                                  name + ".qdimacs' '" + corpus + "/" + name + ".cert' > /dev/null";
      ASSERT_EQ(std::system(command.c_str()), 10 << 8);
      const std::string bytes = file_content(path);
      const Reading reading = read_text(bytes);
      ASSERT_EQ(reading.error, "<no exception>") << reading.where;
      const AigerCircuit& circuit = reading.circuit;
      EXPECT_EQ(circuit.binary, binary == 1);
      const zeltest::AigerFile expected = zeltest::read_aiger(bytes);
      EXPECT_EQ(circuit.max_variable, expected.max_variable);
      EXPECT_EQ(circuit.inputs, expected.inputs);
      EXPECT_EQ(circuit.outputs, expected.outputs);
      std::vector<uint32_t> ands;
      for (const auto& gate : expected.ands) ands.insert(ands.end(), gate.begin(), gate.end());
      EXPECT_EQ(circuit.ands, ands);
      const AigerVariables variables = map_aiger_variables(circuit);
      for (size_t i = 0; i < circuit.inputs.size(); ++i)
        EXPECT_EQ(std::to_string(variables.inputs[i]), expected.input_names[i]);
      for (size_t i = 0; i < circuit.outputs.size(); ++i)
        EXPECT_EQ(std::to_string(variables.outputs[i]), expected.output_names[i]);
      AigerCircuit unflagged = circuit;
      unflagged.binary = false;
      rendered[binary] = render(unflagged);
    }
    EXPECT_EQ(rendered[0], rendered[1]);
  }
  EXPECT_EQ(models, 20u);
}

// ---- a binary file cut at every byte --------------------------------------------

// A binary circuit of 70 inputs and 3 gates whose first deltas take two
// bytes, with symbols and comments; every prefix of it is refused with the
// message of the field it cuts, at the offset of the cut (where the input
// ends), or read when it ends at the end of a symbol line or in the comments.
TEST(AigerReader, BinaryFileCutAtEveryByte) {
  struct Field {
    size_t start, length;
    std::string role;  // "header", "output N", "gate N", "symbol TEXT", "comment"
  };
  std::vector<Field> fields;
  std::string whole;
  const auto add = [&](const std::string& bytes, const std::string& role) {
    fields.push_back({whole.size(), bytes.size(), role});
    whole += bytes;
  };
  add("aig 73 70 0 2 3\n", "header");
  add("146\n", "output 1");
  add("7\n", "output 2");
  // Gates 142 = 2 & 3 (deltas 140, 1), 144 = 142 & 141, 146 = 144 & 4.
  std::string gate;
  put_varint(gate, 140);
  put_varint(gate, 1);
  add(gate, "gate 1");
  add(std::string("\x02\x01", 2), "gate 2");
  gate.clear();
  put_varint(gate, 2);
  put_varint(gate, 140);
  add(gate, "gate 3");
  add("i0 1\n", "symbol i0");
  add("o1 result\n", "symbol o1");
  add("c\nsome comment\n", "comment");
  ASSERT_EQ(read_text(whole).error, "<no exception>");

  const std::vector<std::pair<std::string, std::string>> header_fields = {
      {"aig ", "M"}, {"aig 73 ", "I"}, {"aig 73 70 ", "L"}, {"aig 73 70 0 ", "O"}, {"aig 73 70 0 2 ", "A"}};
  const uint32_t gate_literal[] = {0, 142, 144, 146};
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Reading reading = read_text(whole.substr(0, cut));
    // Before the header tells the encoding, lines and columns; in the
    // comments, which are not read, after their `c`.
    const size_t comments = fields.back().start;
    EXPECT_EQ(reading.where, cut < 3        ? "line 1, column " + std::to_string(cut + 1)
                             : cut > comments ? "byte offset " + std::to_string(comments + 1)
                                              : "byte offset " + std::to_string(cut));
    std::string expected;
    for (const Field& field : fields) {
      if (cut < field.start || cut >= field.start + field.length) continue;
      const size_t into = cut - field.start;
      const std::string role = field.role;
      if (role == "header") {
        if (cut < 3) {
          expected = "AIGER header expected ('aag M I L O A' or 'aig M I L O A'), found '" +
                     whole.substr(0, cut) + "'.";
        } else {
          expected = "AIGER header: line end expected, found the end of the file.";
          for (size_t f = header_fields.size(); f-- > 0;)
            if (cut <= header_fields[f].first.size())
              expected = "AIGER header: " + header_fields[f].second + " expected, found the end of the file.";
        }
      } else if (role.compare(0, 6, "output") == 0) {
        expected = "Output " + role.substr(7) + " of 2: " + (into == 0 ? "literal" : "line end") +
                   " expected, found the end of the file.";
      } else if (role.compare(0, 4, "gate") == 0) {
        const int number = role[5] - '0';
        // Inside the two bytes of 140: gate 1's first delta, gate 3's second.
        const bool inside_number = (number == 1 && into == 1) || (number == 3 && into == 2);
        expected = inside_number ? "Binary number cut off by the end of the file."
                                 : "AND gate " + std::to_string(number) + " of 3 (literal " +
                                       std::to_string(gate_literal[number]) + ") cut off by the end of the file.";
      } else if (role.compare(0, 6, "symbol") == 0) {
        const std::string symbol = role.substr(7);
        if (into == 0)
          expected = "<no exception>";
        else if (into == 1)
          expected = "Symbol table or comment line expected, found '" + symbol.substr(0, 1) + "'.";
        else if (into == 2)
          expected = "Symbol " + symbol + ": blank expected, found the end of the file.";
        else
          expected = "Symbol " + symbol + " cut off by the end of the file.";
      } else {
        expected = "<no exception>";
      }
    }
    EXPECT_EQ(reading.error, expected);
  }
}

// ---- malformed input --------------------------------------------------------------

struct Refusal {
  std::string text;     // the whole input
  std::string message;  // what it is refused with
  std::string where;    // where the reader stands then
};

template <size_t N>
std::string raw(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(AigerReader, MalformedInputsAreRefusedWithMessageAndPosition) {
  const std::string magic = "AIGER header expected ('aag M I L O A' or 'aig M I L O A'), found '";
  const std::string symbol_expected = "Symbol table or comment line expected, found ";
  // Two inputs, one output, one gate: the lines before the gate, and the
  // whole circuit, to which symbol lines are added.
  const std::string head = "aag 3 2 0 1 1\n2\n4\n6\n";
  const std::string aag = head + "6 2 4\n";
  const std::vector<Refusal> refusals = {
      // header
      {"", magic + "'.", "line 1, column 1"},
      {"aags 1 0 0 0 0\n", magic + "aags'.", "line 1, column 5"},
      {"aag\n", "AIGER header: M expected, found the end of the line.", "line 1, column 4"},
      {"aag 1 x 0 0 0\n", "AIGER header: I expected, found 'x'.", "line 1, column 8"},
      {"aag -1 0 0 0 0\n", "AIGER header: M expected, found '-1'.", "line 1, column 7"},
      {"aag 1 0 0 0\n", "AIGER header: A expected, found the end of the line.", "line 1, column 12"},
      {"aag 4294967296 0 0 0 0\n", "Number conversion failed (4294967296).", "line 1, column 15"},
      {"aag 12x 0 0 0 0\n", "Number conversion failed (12x).", "line 1, column 8"},
      {"aag 33554432 0 0 0 0\n",
       "AIGER header: M = 33554432 exceeds the largest supported variable number 33554431.",
       "line 1, column 13"},
      {"aag 2 0 1 0 1\n", "AIGER header: L = 1, but a certificate has no latches.", "line 1, column 10"},
      {"aag 2 1 0 0 2\n", "AIGER header: M = 2 is less than I + L + A = 3.", "line 1, column 14"},
      {"aig 4 1 0 0 2\n",
       "AIGER header: M = 4 is not I + L + A = 3 (binary AIGER numbers every variable).",
       "byte offset 13"},
      {"aag 0 0 0 0 0 1\n", "AIGER header: B = 1, but a certificate has no bad-state properties.",
       "line 1, column 16"},
      {"aag 0 0 0 0 0 0 0 2\n", "AIGER header: J = 2, but a certificate has no justice properties.",
       "line 1, column 20"},
      {"aag 0 0 0 0 0 0 0 0 0 0\n", "AIGER header: line end expected, found '0'.", "line 1, column 24"},
      {"aag 0 0 0 0 0\r\n", "AIGER header: line end expected, found '\\x0D'.", "line 2, column 1"},
      {"aag 0 0 0 0 0", "AIGER header: line end expected, found the end of the file.", "line 1, column 14"},
      // inputs and outputs
      {"aag 1 1 0 0 0\n3\n", "Input 1 of 1: literal 3 must be even and at least 2.", "line 2, column 2"},
      {"aag 1 1 0 0 0\n0\n", "Input 1 of 1: literal 0 must be even and at least 2.", "line 2, column 2"},
      {"aag 1 1 0 0 0\n4\n", "Input 1 of 1: literal 4 exceeds 2M + 1 = 3.", "line 2, column 2"},
      {"aag 2 2 0 0 0\n2\n2\n", "Input 2 of 2: variable 1 is already defined by an input.", "line 3, column 2"},
      {"aag 2 2 0 0 0\n2 4\n", "Input 1 of 2: line end expected, found '4'.", "line 2, column 4"},
      {"aag 2 2 0 0 0\n2\n", "Input 2 of 2: literal expected, found the end of the file.", "line 3, column 1"},
      {"aag 1 1 0 1 0\n2\n4\n", "Output 1 of 1: literal 4 exceeds 2M + 1 = 3.", "line 3, column 2"},
      {"aag 1 1 0 1 0\n2\n\n", "Output 1 of 1: literal expected, found the end of the line.", "line 3, column 1"},
      {"aig 1 1 0 1 0\n3", "Output 1 of 1: line end expected, found the end of the file.", "byte offset 15"},
      // ASCII gates
      {"aag 3 2 0 1 1\n2\n4\n6\n7 2 4\n", "AND gate 1 of 1: literal 7 must be even and at least 2.",
       "line 5, column 2"},
      {"aag 3 2 0 1 1\n2\n4\n6\n4 2 2\n", "AND gate 1 of 1: variable 2 is already defined by an input.",
       "line 5, column 2"},
      {"aag 4 2 0 1 2\n2\n4\n6\n6 2 4\n6 3 5\n",
       "AND gate 2 of 2: variable 3 is already defined by an AND gate.", "line 6, column 2"},
      {"aag 3 2 0 1 1\n2\n4\n6\n6 2 8\n", "AND gate 1 of 1: literal 8 exceeds 2M + 1 = 7.", "line 5, column 6"},
      {"aag 3 2 0 1 1\n2\n4\n6\n6 2\n", "AND gate 1 of 1: rhs1 expected, found the end of the line.",
       "line 5, column 4"},
      {"aag 3 2 0 1 1\n2\n4\n6\n6 2 4 4\n", "AND gate 1 of 1: line end expected, found '4'.",
       "line 5, column 8"},
      {head + "6 2 4", "AND gate 1 of 1: line end expected, found the end of the file.", "line 5, column 6"},
      {"aag 4 1 0 1 2\n2\n8\n8 6 2\n4 2 3\n",
       "AND gate 8 reads variable 3, which no input or AND gate defines.", "line 4, column 1"},
      {"aag 2 1 0 1 1\n2\n4\n4 4 2\n",
       "AND gate 4 reads variable 2, which depends on this gate: the AND gates form a cycle.",
       "line 4, column 1"},
      {"aag 5 1 0 1 4\n2\n4\n4 6 2\n6 8 2\n8 10 3\n10 4 2\n",
       "AND gate 10 reads variable 2, which depends on this gate: the AND gates form a cycle.",
       "line 7, column 1"},
      // binary gates
      {raw("aig 2 1 0 1 1\n4\n\x00\x00"),
       "AND gate 1 of 1 (literal 4): first delta 0 would make it read itself.", "byte offset 18"},
      {raw("aig 2 1 0 1 1\n4\n\x05\x00"), "AND gate 1 of 1 (literal 4): first delta 5 exceeds the literal.",
       "byte offset 18"},
      {raw("aig 2 1 0 1 1\n4\n\x01\x04"), "AND gate 1 of 1 (literal 4): second delta 4 exceeds rhs0 = 3.",
       "byte offset 18"},
      {raw("aig 2 1 0 1 1\n4\n\x01"), "AND gate 1 of 1 (literal 4) cut off by the end of the file.",
       "byte offset 17"},
      {raw("aig 2 1 0 1 1\n4\n\x81\x80\x80\x80\x80\x01"), "Binary number longer than 5 bytes.",
       "byte offset 21"},
      // symbol table and comments
      {aag + "i2 x\n", "Symbol i2: index out of range (2 inputs).", "line 6, column 3"},
      {aag + "o1 x\n", "Symbol o1: index out of range (1 outputs).", "line 6, column 3"},
      {aag + "l0 x\n", "Symbol l0: index out of range (0 latches).", "line 6, column 3"},
      {aag + "i0 x\ni1 y\ni0 z\n", "Symbol i0: given twice.", "line 8, column 3"},
      {aag + "i0\n", "Symbol i0: blank expected, found the end of the line.", "line 6, column 3"},
      {aag + "i0\tx\n", "Symbol i0: blank expected, found '\\x09x'.", "line 6, column 5"},
      {aag + "i0 \n", "Symbol i0: name expected, found the end of the line.", "line 6, column 4"},
      {aag + "i0 x", "Symbol i0 cut off by the end of the file.", "line 6, column 5"},
      {aag + "i0 " + std::string(5000, 'x') + "\n", "Symbol i0: name longer than 4096 bytes.",
       "line 6, column 4100"},
      {aag + "i 0 x\n", symbol_expected + "'i'.", "line 6, column 2"},
      {aag + "ix\n", symbol_expected + "'ix'.", "line 6, column 3"},
      {aag + "b0 x\n", symbol_expected + "'b0'.", "line 6, column 3"},
      {aag + "\n", symbol_expected + "the end of the line.", "line 6, column 1"},
      {aag + "6 2 4\n", symbol_expected + "'6'.", "line 6, column 2"},
      {aag + "comment\n", symbol_expected + "'comment'.", "line 6, column 8"},
      {aag + "i99999999999 x\n", "Number conversion failed (99999999999).", "line 6, column 13"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(Tokenizer::printable(refusal.text, 100));
    const Reading reading = read_text(refusal.text);
    EXPECT_EQ(reading.error, refusal.message);
    EXPECT_EQ(reading.where, refusal.where);
  }
}

TEST(AigerReader, AcceptedForms) {
  struct Accepted {
    std::string text;
    std::string circuit;  // rendered
  };
  const std::vector<Accepted> accepted = {
      {"aag 0 0 0 0 0\n", "aag 0\ninputs\noutputs\nands\nsymbols"},
      // the optional property counts, all 0; blanks and tabs between fields
      {"aag 0 0 0 0 0 0 0 0 0\n", "aag 0\ninputs\noutputs\nands\nsymbols"},
      {"aag  1\t1 0 1 0 \n 2\t\n3 \n", "aag 1\ninputs 2\noutputs 3\nands\nsymbols"},
      // unused variables (M above I + A), constants as outputs and operands
      {"aag 9 2 0 3 1\n8\n12\n0\n1\n18\n18 9 1\n", "aag 9\ninputs 8 12\noutputs 0 1 18\nands 18=9&1\nsymbols"},
      // gates out of order: each put after the gates it reads (depth first
      // from the first gate of the file); gates in order keep the file's order
      {"aag 6 2 0 1 4\n2\n4\n12\n12 10 8\n8 2 4\n6 2 5\n10 6 9\n",
       "aag 6\ninputs 2 4\noutputs 12\nands 6=2&5 8=2&4 10=6&9 12=10&8\nsymbols"},
      {"aag 6 2 0 1 4\n2\n4\n12\n8 2 4\n6 2 5\n10 6 9\n12 10 8\n",
       "aag 6\ninputs 2 4\noutputs 12\nands 8=2&4 6=2&5 10=6&9 12=10&8\nsymbols"},
      // symbols in any order, names with blanks; the comments are not read
      {"aag 2 2 0 1 0\n2\n4\n5\no0 result\ni1 my input\ni0 1\nc\nanything \x01\n",
       "aag 2\ninputs 2 4\noutputs 5\nands\nsymbols i0:1 i1:my input o0:result"},
      {"aag 0 0 0 0 0\nc", "aag 0\ninputs\noutputs\nands\nsymbols"},
      // binary: implicit inputs and gate literals
      {raw("aig 3 2 0 1 1\n7\n\x02\x01i1 2\n"), "aig 3\ninputs 2 4\noutputs 7\nands 6=4&3\nsymbols i1:2"},
      {raw("aig 3 2 0 1 1\n6\n\x05\x00"), "aig 3\ninputs 2 4\noutputs 6\nands 6=1&1\nsymbols"},
  };
  for (const Accepted& input : accepted) {
    SCOPED_TRACE(Tokenizer::printable(input.text, 100));
    const Reading reading = read_text(input.text);
    EXPECT_EQ(reading.error, "<no exception>") << reading.where;
    EXPECT_EQ(render(reading.circuit), input.circuit);
  }
}

// ---- formula variables -------------------------------------------------------------

TEST(AigerVariables, ByNameOrIndexWithResultIgnored) {
  struct Case {
    std::string text;
    std::string variables;  // "inputs ... | outputs ..." or the message
  };
  const std::string aag = "aag 5 2 0 2 1\n2\n4\n10\n7\n10 2 4\n";
  const std::vector<Case> cases = {
      // without names: the AIGER variables
      {aag, "1 2 | 5 <error>"},
      {"aag 5 2 0 2 1\n2\n4\n10\n6\n10 2 4\n", "1 2 | 5 3"},
      {aag + "i0 7\ni1 9\no0 12\no1 result\n", "7 9 | 12 0"},
      // leading zeros are decimal; other names fall back to the index
      {aag + "i0 007\ni1 x9\no0 +3\no1 13\n", "7 2 | 5 13"},
      {aag + "i0 0\n", "Input 0 is named '0', which is not a variable number from 1 to 33554431."},
      {aag + "o1 33554432\n",
       "Output 1 is named '33554432', which is not a variable number from 1 to 33554431."},
      {aag + "o1 99999999999\n",
       "Output 1 is named '99999999999', which is not a variable number from 1 to 33554431."},
      {aag + "i0 4\ni1 4\no1 result\n", "Input 0 and input 1 both stand for variable 4."},
      {aag + "i0 3\no0 3\no1 result\n", "Input 0 and output 0 both stand for variable 3."},
      {aag + "o0 6\no1 6\n", "Output 0 and output 1 both stand for variable 6."},
      {aag + "o0 result\no1 result\n", "1 2 | 0 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Reading reading = read_text(c.text);
    ASSERT_EQ(reading.error, "<no exception>");
    std::string result;
    const std::string message = message_of([&] {
      const AigerVariables variables = map_aiger_variables(reading.circuit);
      for (uint32_t v : variables.inputs) result += std::to_string(v) + " ";
      result += "|";
      for (uint32_t v : variables.outputs) result += " " + std::to_string(v);
    });
    if (c.variables.find("<error>") != std::string::npos) {
      EXPECT_EQ(message,
                "Output 1 (literal 7) stands for no variable: it has no variable number in the symbol "
                "table and its literal is not a variable without negation.");
    } else if (message != "<no exception>") {
      EXPECT_EQ(message, c.variables);
    } else {
      EXPECT_EQ(result, c.variables);
    }
  }
}

// ---- pipes, compressed input, size ------------------------------------------------

// The kind is told, and the tokenizer handed over, through a pipe and a
// gzip file, in both encodings.
TEST(AigerReader, PipesAndCompressedStreams) {
  const std::string directory = zeltest::scratch_directory();
  const std::string ascii = file_content(kCertificates + "/mult9.sat.aag");
  const Reading expected = read_text(ascii);
  ASSERT_EQ(expected.error, "<no exception>");
  AigerCircuit converted;
  const std::string binary = to_binary(expected.circuit, converted);
  for (int is_binary = 0; is_binary < 2; ++is_binary) {
    const std::string path = directory + (is_binary ? "/c.aig" : "/c.aag");
    zeltest::put_file(path, is_binary ? binary : ascii);
    ASSERT_EQ(std::system(("gzip -c '" + path + "' > '" + path + ".gz'").c_str()), 0);
    for (const std::string& input : {path, path + ".gz"}) {
      for (int via_pipe = 0; via_pipe < 2; ++via_pipe) {
        SCOPED_TRACE(input + (via_pipe ? " through a pipe" : ""));
        std::unique_ptr<zeltest::StdinPipe> pipe;
        if (via_pipe) pipe.reset(new zeltest::StdinPipe(input));
        ByteSource source;
        ASSERT_TRUE(source.open(via_pipe ? "-" : input));
        Tokenizer tokens(source, Tokenizer::Separators::QDIMACS);
        EXPECT_EQ(detect_certificate_kind(tokens),
                  is_binary ? CertificateKind::AIGER_BINARY : CertificateKind::AIGER_ASCII);
        AigerReader reader(std::move(tokens));
        AigerCircuit circuit;
        reader.read(circuit);
        EXPECT_EQ(render(circuit), render(is_binary ? converted : expected.circuit));
      }
    }
  }
}

// A million gates in reverse topological order (a chain each gate of
// which reads the next one's variable, so the search path is a million
// deep), and the same circuit in binary: both read, ordered, and the times
// are printed (not asserted).
TEST(AigerReader, MillionGatesReadInOrder) {
  const uint32_t gates = 1000000, inputs = 10;
  const uint32_t max_variable = inputs + gates;
  std::string ascii = "aag " + std::to_string(max_variable) + " " + std::to_string(inputs) + " 0 1 " +
                      std::to_string(gates) + "\n";
  for (uint32_t i = 1; i <= inputs; ++i) ascii += std::to_string(2 * i) + "\n";
  ascii += std::to_string(2 * (inputs + 1)) + "\n";
  // Gate variable inputs + k reads gate variable inputs + k + 1 and an input.
  for (uint32_t k = 1; k <= gates; ++k) {
    const uint32_t variable = inputs + k;
    const uint32_t next = k == gates ? 2 : 2 * (variable + 1) + (k & 1u);
    ascii += std::to_string(2 * variable) + " " + std::to_string(next) + " " +
             std::to_string(2 * (1 + k % inputs) + 1) + "\n";
  }
  const auto start = std::chrono::steady_clock::now();
  const Reading reading = read_text(ascii);
  const double ascii_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(reading.error, "<no exception>") << reading.where;
  ASSERT_EQ(reading.circuit.and_count(), gates);
  // The last gate of the file comes first, the first last.
  EXPECT_EQ(reading.circuit.ands[0], 2 * max_variable);
  EXPECT_EQ(reading.circuit.ands[3 * size_t(gates - 1)], 2 * (inputs + 1));

  AigerCircuit converted;
  const std::string binary = to_binary(reading.circuit, converted);
  const auto binary_start = std::chrono::steady_clock::now();
  const Reading binary_reading = read_text(binary);
  const double binary_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - binary_start).count();
  ASSERT_EQ(binary_reading.error, "<no exception>") << binary_reading.where;
  EXPECT_EQ(binary_reading.circuit.ands, converted.ands);
  std::cout << "1000000 gates: ASCII in reverse order (" << ascii.size() << " bytes) " << ascii_seconds
            << " s, binary (" << binary.size() << " bytes) " << binary_seconds << " s\n";
}

}  // namespace
