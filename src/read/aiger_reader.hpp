// The AIGER reader: the and-inverter graphs QBF solvers write as certificates
// (Skolem or Herbrand functions), ASCII ("aag") or binary ("aig"), and zel's
// own --skolem output. Header `aag|aig M I L O A` (the fields B C J F of
// AIGER 1.9 may follow, each 0), inputs (ASCII only), outputs, AND gates
// (ASCII: `lhs rhs0 rhs1` lines in any order; binary: two delta-coded binary
// numbers a gate, lhs implicit), the symbol table, the comment section. A
// certificate has no latches and no properties: those are refused. The
// reader checks the form and the graph (literal ranges, every variable
// defined once, no undefined operand, no cycle) and needs no formula; which
// formula variable an input or output stands for is map_aiger_variables'.
#ifndef ZEL_READ_AIGER_READER_HPP
#define ZEL_READ_AIGER_READER_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "read/byte_source.hpp"
#include "read/input_position.hpp"
#include "read/tokenizer.hpp"

// One symbol table entry.
struct AigerSymbol {
  uint32_t index = 0;  // input or output number, from 0
  std::string name;    // as written after the blank, never empty
};

// A circuit as read, in AIGER numbering: literal = 2 × variable + negation,
// 0 is false and 1 true. Gates stand in topological order (every operand is
// a constant, an input or an earlier gate): the file's order when it is one,
// else an order found by the reader.
struct AigerCircuit {
  bool binary = false;                    // read from "aig"
  uint32_t max_variable = 0;              // M of the header
  std::vector<uint32_t> inputs;           // literal of input i (even, at least 2)
  std::vector<uint32_t> outputs;          // literal of output i
  std::vector<uint32_t> ands;             // gate i: lhs, rhs0, rhs1 at 3i, 3i + 1, 3i + 2
  std::vector<AigerSymbol> input_names;   // the named inputs, by increasing index
  std::vector<AigerSymbol> output_names;  // the named outputs, by increasing index

  uint32_t and_count() const { return static_cast<uint32_t>(ands.size() / 3); }
  // The symbol of input or output i; empty when it has none.
  const std::string& input_name(uint32_t index) const;
  const std::string& output_name(uint32_t index) const;
};

class AigerReader {
 public:
  // Reads from where `tokens` stands (the start of the input, after
  // detect_certificate_kind looked at it).
  explicit AigerReader(Tokenizer&& tokens);
  // Reads `source` from its start.
  explicit AigerReader(ByteSource& source);

  // Reads the whole circuit into `circuit` (whose contents are replaced),
  // up to the end of the input or the comment section, which is not read:
  // a caller that needs the input checked to its end calls
  // ByteSource::verify_rest. Every refusal throws Exception; where() tells
  // the position. Memory: the flat arrays of the circuit, one byte per
  // AIGER variable, and (only for ASCII gates out of topological order)
  // four words per gate and one per variable; no allocation per gate.
  void read(AigerCircuit& circuit);

  // After read began: the input is binary ("aig").
  bool binary() const { return binary_; }
  // Where the reader stands (the byte after what it read last), or for a
  // fault of the graph found after the gates were read (an undefined
  // operand, a cycle), the start of the offending gate's line.
  InputPosition position() const;
  // A position as messages give it: "line L, column C" for ASCII, "byte
  // offset N" for binary input.
  std::string where(const InputPosition& position) const {
    return describe_position(position, binary_);
  }
  std::string where() const { return where(position()); }

 private:
  struct Place;  // where a field stands, for messages (defined in the .cpp)

  void read_header(AigerCircuit& circuit);
  void read_inputs(AigerCircuit& circuit);
  void read_outputs(AigerCircuit& circuit);
  void read_ascii_gates(AigerCircuit& circuit);
  void read_binary_gates(AigerCircuit& circuit);
  void order_gates(AigerCircuit& circuit);
  void read_symbols(AigerCircuit& circuit);
  uint32_t read_number(const Place& place, const char* field);
  uint32_t read_literal(const Place& place, const char* field);
  void end_line(const Place& place);
  void skip_blanks();
  void define(const Place& place, uint32_t literal, uint8_t kind);
  std::string found();
  std::string word_after(std::string start);
  [[noreturn]] void expected(const Place& place, const char* field);
  [[noreturn]] void refuse_symbol_line(std::string start);
  [[noreturn]] void refuse_at_gate(uint32_t gate, const std::string& message);

  Tokenizer tokens_;                 // the circuit's bytes
  bool binary_ = false;              // "aig" rather than "aag"
  uint32_t max_literal_ = 1;         // 2M + 1
  uint32_t latches_ = 0;             // L (always 0 once the header is read)
  uint32_t header_outputs_ = 0;      // O
  uint32_t header_gates_ = 0;        // A
  std::vector<uint8_t> defined_;     // ASCII: AIGER variable -> DEFINED_* kind
  bool in_order_ = true;             // ASCII: every operand so far was defined earlier
  uint32_t first_gate_line_ = 0;     // ASCII: line of the first gate, one gate a line
  bool located_ = false;             // fault_position_ holds the position of the fault
  InputPosition fault_position_;     // see position()
};

// The formula variable each input and output of a certificate stands for:
// the number its symbol names when that is decimal digits only; otherwise
// (no symbol, or another name) its AIGER variable, which for an output must
// be a gate or input literal without negation. An output named `result` is
// not a function and stands for none (IGNORED). Throws Exception when a
// decimal name is not a variable number from 1 to kMaxVariable, when an
// output has neither a number nor a variable literal, and when two inputs,
// two outputs or an input and an output stand for the same variable.
struct AigerVariables {
  static constexpr uint32_t IGNORED = 0;
  std::vector<uint32_t> inputs;   // formula variable of input i
  std::vector<uint32_t> outputs;  // formula variable of output i, IGNORED for `result`
};
AigerVariables map_aiger_variables(const AigerCircuit& circuit);

#endif
