// Reading AIGER circuits, ASCII or binary, and mapping their inputs and
// outputs to formula variables.

#include "read/aiger_reader.hpp"

#include <algorithm>
#include <utility>

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "read/numbers.hpp"

namespace {

// The most bytes of a refused token a message shows.
constexpr size_t kShownBytes = 32;
// Entries reserved ahead at most: a header may announce far more than the
// file holds.
constexpr uint64_t kMostReserved = 1u << 20;
// Marks a variable that is not (yet) a gate's, and an unmapped output.
constexpr uint32_t kNone = 0xFFFFFFFFu;

// What defines an ASCII variable (AigerReader::defined_).
enum : uint8_t { UNDEFINED = 0, DEFINED_BY_INPUT = 1, DEFINED_BY_GATE = 2 };

bool is_digit(int c) { return c >= '0' && c <= '9'; }

[[noreturn]] void conversion_failed(const std::string& text) {
  throw Exception(message::number_conversion_failed(Tokenizer::printable(text, kShownBytes)));
}

const std::string kNoName;

const std::string& name_of(const std::vector<AigerSymbol>& symbols, uint32_t index) {
  const auto found = std::lower_bound(
      symbols.begin(), symbols.end(), index,
      [](const AigerSymbol& symbol, uint32_t wanted) { return symbol.index < wanted; });
  return found != symbols.end() && found->index == index ? found->name : kNoName;
}

}  // namespace

const std::string& AigerCircuit::input_name(uint32_t index) const {
  return name_of(input_names, index);
}

const std::string& AigerCircuit::output_name(uint32_t index) const {
  return name_of(output_names, index);
}

// Where a field stands, for messages: "AIGER header", "Input 3 of 5",
// "AND gate 2 of 7 (literal 12)", "Symbol o4". Built into text only when a
// message needs it, so reading a gate costs no string.
struct AigerReader::Place {
  const char* section;  // "AIGER header", "Input", "Output", "AND gate", "Symbol"
  uint64_t number;      // entry of the section from 1, 0 for none; a symbol's index
  uint64_t count;       // entries of the section
  uint32_t literal;     // a binary AND gate's implicit literal, 0 otherwise
  char symbol_kind;     // 'i', 'o' or 'l' for a symbol, 0 otherwise

  std::string text() const {
    return message::aiger_place(section, number, count, literal, symbol_kind);
  }
};

AigerReader::AigerReader(Tokenizer&& tokens) : tokens_(std::move(tokens)) {
  tokens_.use_separators(Tokenizer::Separators::CERTIFICATE);
}

AigerReader::AigerReader(ByteSource& source)
    : tokens_(source, Tokenizer::Separators::CERTIFICATE) {}

InputPosition AigerReader::position() const {
  if (located_) return fault_position_;
  return tokens_.position();
}

void AigerReader::read(AigerCircuit& circuit) {
  circuit = AigerCircuit();
  read_header(circuit);
  read_inputs(circuit);
  read_outputs(circuit);
  if (binary_) {
    read_binary_gates(circuit);
  } else {
    read_ascii_gates(circuit);
    if (!in_order_) order_gates(circuit);
  }
  read_symbols(circuit);
}

// ---- fields ---------------------------------------------------------------

void AigerReader::skip_blanks() {
  while (tokens_.peek() == ' ' || tokens_.peek() == '\t') tokens_.get();
}

// What stands where a field was expected, for a message: the end of the
// file or of the line, or the next bytes up to a blank or a line end (at
// most kShownBytes, consumed).
std::string AigerReader::found() {
  const int next = tokens_.peek();
  if (next == Tokenizer::END) return "the end of the file";
  if (next == '\n') return "the end of the line";
  return message::aiger_found_bytes(Tokenizer::printable(
      word_after(std::string(1, static_cast<char>(tokens_.get()))), kShownBytes));
}

// `start` and the bytes after it up to a blank or a line end, consumed, at
// most kShownBytes in all.
std::string AigerReader::word_after(std::string start) {
  for (int c; start.size() < kShownBytes && (c = tokens_.peek()) != Tokenizer::END && c != ' ' &&
              c != '\t' && c != '\n' && c != '\r';)
    start += static_cast<char>(tokens_.get());
  return start;
}

void AigerReader::expected(const Place& place, const char* field) {
  const std::string where_found = found();
  throw Exception(message::aiger_expected(place.text(), field, where_found));
}

// A decimal number after blanks: digits only, at most 4294967295, followed
// by a blank, a line end or the end of the input.
uint32_t AigerReader::read_number(const Place& place, const char* field) {
  skip_blanks();
  if (!is_digit(tokens_.peek())) expected(place, field);
  uint32_t value;
  if (tokens_.read_plain_unsigned(value)) return value;
  std::string digits;  // shown in a message; only its start is kept
  const uint64_t wide = tokens_.read_digits(digits, kShownBytes);
  const int next = tokens_.peek();
  if (next != Tokenizer::END && next != ' ' && next != '\t' && next != '\n')
    conversion_failed(word_after(digits));
  if (wide > 0xFFFFFFFFull) conversion_failed(digits);
  return static_cast<uint32_t>(wide);
}

uint32_t AigerReader::read_literal(const Place& place, const char* field) {
  const uint32_t literal = read_number(place, field);
  if (literal > max_literal_)
    throw Exception(message::aiger_literal_limit(place.text(), literal, max_literal_));
  return literal;
}

// Blanks, then the line feed that ends every line before the gates of a
// binary file and every ASCII line. A carriage return is refused: gate k
// of an ASCII file must stand on line first_gate_line_ + k.
void AigerReader::end_line(const Place& place) {
  skip_blanks();
  if (tokens_.peek() != '\n') expected(place, "line end");
  tokens_.get();
}

// ---- header, inputs, outputs ----------------------------------------------

void AigerReader::read_header(AigerCircuit& circuit) {
  const Place header{"AIGER header", 0, 0, 0, 0};
  const std::string& magic = tokens_.token();
  if (magic != "aag" && magic != "aig")
    throw Exception(message::aiger_header_expected(Tokenizer::printable(magic, kShownBytes)));
  binary_ = magic == "aig";
  circuit.binary = binary_;
  const uint32_t variables = read_number(header, "M");
  if (variables > kMaxVariable)
    throw Exception(message::aiger_header_variable_limit(header.text(), variables));
  const uint32_t inputs = read_number(header, "I");
  latches_ = read_number(header, "L");
  if (latches_ != 0)
    throw Exception(message::aiger_header_latches(header.text(), latches_));
  const uint32_t outputs = read_number(header, "O");
  const uint32_t gates = read_number(header, "A");
  const uint64_t defined = uint64_t(inputs) + latches_ + gates;
  if (variables < defined)
    throw Exception(message::aiger_header_too_few_variables(header.text(), variables, defined));
  if (binary_ && variables != defined)
    throw Exception(message::aiger_header_binary_variables(header.text(), variables, defined));
  // AIGER 1.9's property counts, each optional; a certificate has none.
  static const char* const kProperties[][2] = {{"B", "bad-state properties"},
                                               {"C", "invariant constraints"},
                                               {"J", "justice properties"},
                                               {"F", "fairness constraints"}};
  for (const auto& property : kProperties) {
    skip_blanks();
    if (!is_digit(tokens_.peek())) break;
    const uint32_t count = read_number(header, property[0]);
    if (count != 0)
      throw Exception(
          message::aiger_header_property(header.text(), property[0], count, property[1]));
  }
  end_line(header);

  circuit.max_variable = variables;
  max_literal_ = 2 * variables + 1;  // kMaxVariable keeps it within 32 bits
  circuit.inputs.resize(inputs);     // I <= M <= kMaxVariable
  circuit.outputs.reserve(std::min<uint64_t>(outputs, kMostReserved));
  circuit.outputs.resize(0);
  circuit.ands.reserve(3 * std::min<uint64_t>(gates, kMostReserved));
  if (!binary_) defined_.assign(uint64_t(variables) + 1, UNDEFINED);
  header_outputs_ = outputs;
  header_gates_ = gates;
}

// Marks the variable of an ASCII input or gate literal as defined, refusing
// a second definition.
void AigerReader::define(const Place& place, uint32_t literal, uint8_t kind) {
  uint8_t& definition = defined_[literal >> 1];
  if (definition != UNDEFINED)
    throw Exception(message::aiger_defined_twice(place.text(), literal >> 1,
                                                 definition == DEFINED_BY_INPUT));
  definition = kind;
}

void AigerReader::read_inputs(AigerCircuit& circuit) {
  const uint32_t count = static_cast<uint32_t>(circuit.inputs.size());
  if (binary_) {
    // Implicit: input i is variable i + 1.
    for (uint32_t i = 0; i < count; ++i) circuit.inputs[i] = 2 * (i + 1);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    const Place place{"Input", i + 1u, count, 0, 0};
    const uint32_t literal = read_literal(place, "literal");
    if (literal < 2 || (literal & 1u))
      throw Exception(message::aiger_literal_not_variable(place.text(), literal));
    define(place, literal, DEFINED_BY_INPUT);
    end_line(place);
    circuit.inputs[i] = literal;
  }
}

void AigerReader::read_outputs(AigerCircuit& circuit) {
  for (uint32_t i = 0; i < header_outputs_; ++i) {
    const Place place{"Output", i + 1u, header_outputs_, 0, 0};
    const uint32_t literal = read_literal(place, "literal");
    end_line(place);
    circuit.outputs.push_back(literal);
  }
}

// ---- gates ------------------------------------------------------------------

// One `lhs rhs0 rhs1` line a gate. A gate whose operand is not defined by
// an input or an earlier gate leaves the file's order unusable; the gates
// are then checked and ordered after the last one (order_gates).
void AigerReader::read_ascii_gates(AigerCircuit& circuit) {
  first_gate_line_ = tokens_.line();
  for (uint32_t g = 0; g < header_gates_; ++g) {
    const Place place{"AND gate", g + 1u, header_gates_, 0, 0};
    const uint32_t lhs = read_literal(place, "literal");
    if (lhs < 2 || (lhs & 1u))
      throw Exception(message::aiger_literal_not_variable(place.text(), lhs));
    if (defined_[lhs >> 1] != UNDEFINED) define(place, lhs, DEFINED_BY_GATE);  // refuses
    const uint32_t rhs0 = read_literal(place, "rhs0");
    const uint32_t rhs1 = read_literal(place, "rhs1");
    end_line(place);
    if (defined_[rhs0 >> 1] == UNDEFINED || defined_[rhs1 >> 1] == UNDEFINED) in_order_ = false;
    defined_[lhs >> 1] = DEFINED_BY_GATE;
    circuit.ands.push_back(lhs);
    circuit.ands.push_back(rhs0);
    circuit.ands.push_back(rhs1);
  }
}

// A fault of the gate at `gate` (0-based, in file order) found after all
// gates were read: reported at the start of its line.
void AigerReader::refuse_at_gate(uint32_t gate, const std::string& message) {
  located_ = true;
  fault_position_ = InputPosition{first_gate_line_ + gate, 1, 0};
  throw Exception(message);
}

// The gates of an ASCII file that are not in topological order: every
// operand must be defined (the first gate in file order reading an
// undefined variable is refused), then a depth-first search without
// recursion puts every gate after the gates it reads, refusing the first
// cycle met. Memory: one word per AIGER variable, about five per gate.
void AigerReader::order_gates(AigerCircuit& circuit) {
  // Variable 0 stands for the constants and counts as defined.
  defined_[0] = DEFINED_BY_INPUT;
  const uint32_t gates = circuit.and_count();
  std::vector<uint32_t>& ands = circuit.ands;
  for (uint32_t g = 0; g < gates; ++g)
    for (int side = 1; side <= 2; ++side) {
      const uint32_t variable = ands[3 * size_t(g) + side] >> 1;
      if (defined_[variable] == UNDEFINED)
        refuse_at_gate(g, message::aiger_gate_reads_undefined(ands[3 * size_t(g)], variable));
    }

  std::vector<uint32_t> gate_of(size_t(circuit.max_variable) + 1, kNone);  // variable -> gate
  for (uint32_t g = 0; g < gates; ++g) gate_of[ands[3 * size_t(g)] >> 1] = g;
  // Per gate: 0 not reached; 1 or 2 on the search path, the operand (rhs0,
  // rhs1) to look at next; 3 on the path with both looked at; 4 placed.
  std::vector<uint8_t> state(gates, 0);
  std::vector<uint32_t> order;  // gates, each after those it reads
  order.reserve(gates);
  std::vector<uint32_t> path;  // the search path, root first
  for (uint32_t root = 0; root < gates; ++root) {
    if (state[root] != 0) continue;
    state[root] = 1;
    path.push_back(root);
    while (!path.empty()) {
      const uint32_t gate = path.back();
      if (state[gate] == 3) {
        state[gate] = 4;
        order.push_back(gate);
        path.pop_back();
        continue;
      }
      const uint32_t operand = ands[3 * size_t(gate) + state[gate]];
      ++state[gate];
      const uint32_t read = gate_of[operand >> 1];
      if (read == kNone || state[read] == 4) continue;
      if (state[read] != 0)
        refuse_at_gate(gate, message::aiger_gate_on_cycle(ands[3 * size_t(gate)], operand >> 1));
      state[read] = 1;
      path.push_back(read);
    }
  }
  std::vector<uint32_t> sorted;
  sorted.reserve(ands.size());
  for (uint32_t g : order) sorted.insert(sorted.end(), &ands[3 * size_t(g)], &ands[3 * size_t(g)] + 3);
  ands.swap(sorted);
}

// Two binary numbers a gate: lhs - rhs0 (at least 1) and rhs0 - rhs1; the
// gate's own literal is 2 (I + L + k + 1), so the gates stand in
// topological order by construction.
void AigerReader::read_binary_gates(AigerCircuit& circuit) {
  const uint32_t first_variable = static_cast<uint32_t>(circuit.inputs.size()) + latches_ + 1;
  for (uint32_t g = 0; g < header_gates_; ++g) {
    const uint32_t lhs = 2 * (first_variable + g);
    uint32_t delta0, delta1;
    if (!tokens_.read_varint(delta0) || !tokens_.read_varint(delta1))
      throw Exception(
          message::cut_off(Place{"AND gate", g + 1u, header_gates_, lhs, 0}.text()));
    if (delta0 == 0 || delta0 > lhs || delta1 > lhs - delta0) {
      const Place place{"AND gate", g + 1u, header_gates_, lhs, 0};
      if (delta0 == 0)
        throw Exception(message::aiger_at(place.text(), "first delta 0 would make it read itself."));
      if (delta0 > lhs) throw Exception(message::aiger_first_delta(place.text(), delta0));
      throw Exception(message::aiger_second_delta(place.text(), delta1, lhs - delta0));
    }
    circuit.ands.push_back(lhs);
    circuit.ands.push_back(lhs - delta0);
    circuit.ands.push_back(lhs - delta0 - delta1);
  }
}

// ---- symbol table and comments ----------------------------------------------

// Lines `i<k> name`, `o<k> name` (`l<k>` would name a latch, of which there
// are none), each index at most once, until the end of the input or a line
// `c`, which starts the comments (not read).
void AigerReader::read_symbols(AigerCircuit& circuit) {
  std::vector<uint8_t> named[2];  // input / output index -> named already; sized when first needed
  for (int kind; (kind = tokens_.peek()) != Tokenizer::END;) {
    if (kind == 'c') {
      tokens_.get();
      const int next = tokens_.peek();
      if (next == '\n' || next == Tokenizer::END) break;
      refuse_symbol_line("c");
    }
    if (kind != 'i' && kind != 'o' && kind != 'l') refuse_symbol_line("");
    tokens_.get();
    if (!is_digit(tokens_.peek())) refuse_symbol_line(std::string(1, static_cast<char>(kind)));
    Place place{"Symbol", 0, 0, 0, static_cast<char>(kind)};
    const uint32_t index = read_number(place, "index");
    place.number = index;
    const uint64_t count = kind == 'i' ? circuit.inputs.size()
                           : kind == 'o' ? circuit.outputs.size()
                                         : latches_;
    if (index >= count)
      throw Exception(message::aiger_symbol_index(place.text(), count, static_cast<char>(kind)));
    std::vector<uint8_t>& seen = named[kind == 'o'];
    if (seen.empty()) seen.assign(count, 0);
    if (seen[index]) throw Exception(message::aiger_at(place.text(), "given twice."));
    seen[index] = 1;
    if (tokens_.peek() != ' ') expected(place, "blank");
    tokens_.get();
    if (tokens_.peek() == '\n') expected(place, "name");
    std::string name;
    for (int c; (c = tokens_.peek()) != '\n';) {
      if (c == Tokenizer::END) throw Exception(message::cut_off(place.text()));
      if (name.size() == kLongestToken)
        throw Exception(message::aiger_symbol_too_long(place.text(), kLongestToken));
      name += static_cast<char>(tokens_.get());
    }
    tokens_.get();
    (kind == 'i' ? circuit.input_names : circuit.output_names)
        .push_back(AigerSymbol{index, std::move(name)});
  }
  const auto by_index = [](const AigerSymbol& a, const AigerSymbol& b) { return a.index < b.index; };
  std::sort(circuit.input_names.begin(), circuit.input_names.end(), by_index);
  std::sort(circuit.output_names.begin(), circuit.output_names.end(), by_index);
}

// A line that is neither a symbol nor the start of the comments; `start`
// holds its bytes consumed already.
void AigerReader::refuse_symbol_line(std::string start) {
  const std::string shown = start.empty() ? found()
                                          : message::aiger_found_bytes(
                                                Tokenizer::printable(word_after(start), kShownBytes));
  throw Exception(message::aiger_symbol_line_expected(shown));
}

// ---- formula variables ------------------------------------------------------

namespace {

// The variable a decimal symbol names; false when the name is not decimal
// digits only. Throws when it is, but names no variable number.
bool named_variable(const std::string& name, const char* what, uint32_t index, uint32_t& variable) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return is_digit(c); }))
    return false;
  if (!whole_unsigned32(name, variable) || variable == 0 || variable > kMaxVariable)
    throw Exception(
        message::aiger_name_not_variable(what, index, Tokenizer::printable(name, kShownBytes)));
  return true;
}

}  // namespace

AigerVariables map_aiger_variables(const AigerCircuit& circuit) {
  AigerVariables variables;
  variables.inputs.resize(circuit.inputs.size());
  for (size_t i = 0; i < circuit.inputs.size(); ++i) variables.inputs[i] = circuit.inputs[i] >> 1;
  for (const AigerSymbol& symbol : circuit.input_names)
    named_variable(symbol.name, "Input", symbol.index, variables.inputs[symbol.index]);

  variables.outputs.resize(circuit.outputs.size());
  for (size_t i = 0; i < circuit.outputs.size(); ++i) {
    const uint32_t literal = circuit.outputs[i];
    variables.outputs[i] = literal >= 2 && !(literal & 1u) ? literal >> 1 : kNone;
  }
  for (const AigerSymbol& symbol : circuit.output_names) {
    uint32_t& variable = variables.outputs[symbol.index];
    if (symbol.name == "result")
      variable = AigerVariables::IGNORED;
    else
      named_variable(symbol.name, "Output", symbol.index, variable);
  }
  for (size_t i = 0; i < variables.outputs.size(); ++i)
    if (variables.outputs[i] == kNone)
      throw Exception(message::aiger_output_without_variable(i, circuit.outputs[i]));

  // Every variable at most once: (variable, output flag and index), sorted.
  std::vector<std::pair<uint32_t, uint64_t>> uses;
  uses.reserve(variables.inputs.size() + variables.outputs.size());
  for (size_t i = 0; i < variables.inputs.size(); ++i) uses.emplace_back(variables.inputs[i], i);
  for (size_t i = 0; i < variables.outputs.size(); ++i)
    if (variables.outputs[i] != AigerVariables::IGNORED)
      uses.emplace_back(variables.outputs[i], (uint64_t(1) << 32) | i);
  std::sort(uses.begin(), uses.end());
  for (size_t i = 1; i < uses.size(); ++i)
    if (uses[i].first == uses[i - 1].first) {
      const uint64_t first = uses[i - 1].second, other = uses[i].second;
      throw Exception(message::aiger_shared_variable(first >> 32, first & 0xFFFFFFFFu, other >> 32,
                                                     other & 0xFFFFFFFFu, uses[i].first));
    }
  return variables;
}
