// Translating the model's gate network into an and-inverter graph, and
// writing that graph in AIGER's ASCII or binary form, to a stream or to a
// file through the output writer.

#include "model/aiger_writer.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstring>
#include <ostream>
#include <utility>

#include "core/exception.hpp"
#include "core/messages.hpp"

namespace {

// The translation's own mark, beside assert_network's (network.hpp): an
// output depends on the variable.
constexpr uint8_t kIsNeeded = 8;

[[noreturn]] void throw_too_large() {
  throw Exception(message::aiger_circuit_limit(kAigerMaxVariable));
}

// Removes the gates no output reads (constant folding can leave a gate whose
// only reader folded it away) and renumbers the rest densely, keeping their
// order. The renumbering is monotone, so rhs0 >= rhs1 and the topological
// order survive.
void remove_unread_gates(FunctionCircuit& circuit) {
  const uint32_t first = circuit.input_count() + 1;  // AIGER variable of gate 0
  const uint32_t gates = circuit.and_count();
  if (gates == 0) return;
  // New AIGER variable of every gate, 0 while unread.
  std::vector<uint32_t> renumbered(gates, 0);
  for (uint32_t literal : circuit.outputs)
    if ((literal >> 1) >= first) renumbered[(literal >> 1) - first] = 1;
  for (uint32_t gate = gates; gate-- > 0;) {
    if (!renumbered[gate]) continue;
    for (int side = 0; side < 2; ++side) {
      const uint32_t variable = circuit.ands[2 * static_cast<size_t>(gate) + side] >> 1;
      if (variable >= first) renumbered[variable - first] = 1;
    }
  }
  uint32_t kept = 0;
  for (uint32_t gate = 0; gate < gates; ++gate)
    if (renumbered[gate]) renumbered[gate] = first + kept++;
  if (kept == gates) return;
  auto map = [&](uint32_t literal) {
    const uint32_t variable = literal >> 1;
    return variable < first ? literal : (2 * renumbered[variable - first]) | (literal & 1u);
  };
  for (uint32_t gate = 0; gate < gates; ++gate) {
    if (!renumbered[gate]) continue;
    const uint32_t target = renumbered[gate] - first;
    circuit.ands[2 * target] = map(circuit.ands[2 * gate]);
    circuit.ands[2 * target + 1] = map(circuit.ands[2 * gate + 1]);
  }
  circuit.ands.resize(2 * static_cast<size_t>(kept));
  circuit.ands.shrink_to_fit();
  for (uint32_t& literal : circuit.outputs) literal = map(literal);
}

// Moves the AND nodes of `graph` (inputs first, as AIGER numbers them) into
// the circuit, without those no output reads.
}  // namespace

void take_gates(const Aig& graph, FunctionCircuit& circuit) {
  const uint32_t first = circuit.input_count() + 1;
  circuit.ands.reserve(2 * size_t{graph.and_nodes()});
  for (uint32_t node = first; node < graph.nodes(); ++node) {
    assert(graph.is_and(node) && graph.left(node) < 2 * node);
    circuit.ands.push_back(graph.left(node));
    circuit.ands.push_back(graph.right(node));
  }
  remove_unread_gates(circuit);
}

FunctionCircuit build_skolem_circuit(const Network& network, const std::vector<uint32_t>& inputs,
                                   const std::vector<uint32_t>& outputs) {
  if (inputs.size() > kAigerMaxVariable) {
    throw_too_large();
  }
  FunctionCircuit circuit;
  circuit.input_variables = inputs;
  circuit.output_variables = outputs;
  const uint32_t input_count = circuit.input_count();

  // Inputs sorted by variable, with their positions: finds duplicates, and the
  // inputs beyond the network's variables, which no gate reads.
  std::vector<std::pair<uint32_t, uint32_t>> sorted_inputs;
  sorted_inputs.reserve(inputs.size());
  for (uint32_t i = 0; i < input_count; ++i) {
    assert(inputs[i] != 0 && "input variable 0");
    sorted_inputs.emplace_back(inputs[i], i);
  }
  std::sort(sorted_inputs.begin(), sorted_inputs.end());
  assert(std::adjacent_find(sorted_inputs.begin(), sorted_inputs.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }) ==
             sorted_inputs.end() &&
         "an input listed twice");
  assert(std::find(outputs.begin(), outputs.end(), 0u) == outputs.end() && "output variable 0");

  const uint32_t variables = network.variables;
  std::vector<uint8_t> flags(variables, 0);  // NetworkMark and kIsNeeded per network variable
  for (uint32_t variable : inputs)
    if (variable < variables) flags[variable] |= kNetworkInput;
  assert_network(network, flags);

  // Cone of influence: walking the gates backwards, a gate is needed when its
  // variable is, and then so are the variables it reads.
  for (uint32_t variable : outputs)
    if (variable < variables) flags[variable] |= kIsNeeded;
  for (size_t g = network.gates.size(); g-- > 0;) {
    const Gate& gate = network.gates[g];
    if (!(flags[gate.variable] & kIsNeeded)) continue;
    const Literal* operands = network.operands_of(gate);
    for (uint32_t i = 0; i < gate.count; ++i) flags[operands[i].variable()] |= kIsNeeded;
  }

  // Graph literal of every network variable: inputs are nodes 1 to I in
  // their order (AIGER's numbering), gate variables are filled in
  // topological order, the rest stay false.
  Aig graph;
  for (uint32_t i = 0; i < input_count; ++i) graph.add_input(inputs[i]);
  std::vector<uint32_t> literal_of(variables, Aig::kFalseLiteral);
  for (uint32_t i = 0; i < input_count; ++i)
    if (inputs[i] < variables) literal_of[inputs[i]] = 2 * (i + 1);
  {
    std::vector<uint32_t> conjuncts;  // scratch of translate_gate
    for (const Gate& gate : network.gates)
      if (flags[gate.variable] & kIsNeeded)
        translate_gate(network, gate, literal_of, graph, conjuncts);
  }
  flags.clear();
  flags.shrink_to_fit();

  circuit.outputs.reserve(outputs.size());
  for (uint32_t variable : outputs) {
    if (variable < variables) {
      circuit.outputs.push_back(literal_of[variable]);
      continue;
    }
    auto input = std::lower_bound(sorted_inputs.begin(), sorted_inputs.end(),
                                  std::make_pair(variable, uint32_t(0)));
    const bool is_input = input != sorted_inputs.end() && input->first == variable;
    circuit.outputs.push_back(is_input ? 2 * (input->second + 1) : Aig::kFalseLiteral);
  }
  take_gates(graph, circuit);
  return circuit;
}

FunctionCircuit build_skolem_circuit(const Aig& graph, const std::vector<uint32_t>& literal_of,
                                   const std::vector<uint32_t>& inputs,
                                   const std::vector<uint32_t>& outputs) {
  if (inputs.size() > kAigerMaxVariable) throw_too_large();
  FunctionCircuit circuit;
  circuit.input_variables = inputs;
  circuit.output_variables = outputs;
  const uint32_t input_count = circuit.input_count();

  // The circuit's own graph: the inputs first, then the model graph's AND
  // nodes that the outputs reach, in their order, with every other input
  // of the model graph false. Only where such a constant reaches does a
  // node fold; elsewhere each node is copied as it is.
  Aig copy;
  std::vector<uint32_t> mapped(graph.nodes(), Aig::kFalseLiteral);  // model node -> copy literal
  for (uint32_t i = 0; i < input_count; ++i) {
    const uint32_t literal = copy.add_input(inputs[i]);
    if (inputs[i] < literal_of.size()) {
      const uint32_t model_literal = literal_of[inputs[i]];
      assert(!(model_literal & 1u) && graph.is_input(model_literal >> 1) &&
             "an input defined by a gate");
      mapped[model_literal >> 1] = literal;
    }
  }
  std::vector<uint8_t> needed(graph.nodes(), 0);
  for (uint32_t variable : outputs)
    if (variable < literal_of.size()) needed[literal_of[variable] >> 1] = 1;
  for (uint32_t node = graph.nodes(); node-- > 1;) {
    if (!needed[node] || !graph.is_and(node)) continue;
    needed[graph.left(node) >> 1] = 1;
    needed[graph.right(node) >> 1] = 1;
  }
  size_t copied = 0;
  for (uint32_t node = 1; node < graph.nodes(); ++node) copied += needed[node] && graph.is_and(node);
  copy.reserve(copied);
  for (uint32_t node = 1; node < graph.nodes(); ++node) {
    if (!needed[node] || !graph.is_and(node)) continue;
    const uint32_t a = graph.left(node), b = graph.right(node);
    mapped[node] = copy.make_and(mapped[a >> 1] ^ (a & 1u), mapped[b >> 1] ^ (b & 1u));
  }
  needed = std::vector<uint8_t>();
  circuit.outputs.reserve(outputs.size());
  for (uint32_t variable : outputs) {
    const uint32_t literal = variable < literal_of.size() ? literal_of[variable] : Aig::kFalseLiteral;
    circuit.outputs.push_back(mapped[literal >> 1] ^ (literal & 1u));
  }
  take_gates(copy, circuit);
  return circuit;
}

namespace {

// Collects the output in a block of its own and hands it to the stream in
// large pieces: one stream call per block instead of one per number.
class BlockWriter {
 public:
  explicit BlockWriter(std::ostream& out) : out_(out) { block_.reserve(kCapacity + 64); }
  ~BlockWriter() { flush(); }

  void put(char c) {
    block_.push_back(c);
    if (block_.size() >= kCapacity) flush();
  }
  void put(const std::string& text) {
    block_ += text;
    if (block_.size() >= kCapacity) flush();
  }
  void put_number(uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    block_.append(digits, end);
    if (block_.size() >= kCapacity) flush();
  }
  // The binary format's unsigned number: 7 bits per byte, low bits first,
  // the high bit set on every byte but the last.
  void put_varint(uint32_t value) {
    while (value >= 0x80u) {
      block_.push_back(static_cast<char>((value & 0x7fu) | 0x80u));
      value >>= 7;
    }
    block_.push_back(static_cast<char>(value));
    if (block_.size() >= kCapacity) flush();
  }
  void flush() {
    if (!block_.empty()) out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
    block_.clear();
  }

 private:
  static constexpr size_t kCapacity = 1 << 16;  // bytes collected before a write
  std::ostream& out_;                          // destination, owned by the caller
  std::string block_;                          // bytes not yet handed to out_
};

}  // namespace

void write_aiger(std::ostream& out, bool binary, const FunctionCircuit& circuit,
                 const std::vector<std::string>& comments) {
  BlockWriter writer(out);
  const uint32_t inputs = circuit.input_count();
  const uint32_t gates = circuit.and_count();
  writer.put(binary ? "aig " : "aag ");
  writer.put_number(circuit.max_variable());
  writer.put(' ');
  writer.put_number(inputs);
  writer.put(" 0 ");
  writer.put_number(circuit.outputs.size());
  writer.put(' ');
  writer.put_number(gates);
  writer.put('\n');
  if (!binary) {
    for (uint32_t i = 0; i < inputs; ++i) {
      writer.put_number(2 * (static_cast<uint64_t>(i) + 1));
      writer.put('\n');
    }
  }
  for (uint32_t literal : circuit.outputs) {
    writer.put_number(literal);
    writer.put('\n');
  }
  for (uint32_t gate = 0; gate < gates; ++gate) {
    const uint32_t lhs = 2 * (inputs + gate + 1);
    const uint32_t rhs0 = circuit.ands[2 * static_cast<size_t>(gate)];
    const uint32_t rhs1 = circuit.ands[2 * static_cast<size_t>(gate) + 1];
    assert(rhs0 < lhs && rhs1 <= rhs0 && "a circuit gate out of topological order");
    if (binary) {
      writer.put_varint(lhs - rhs0);
      writer.put_varint(rhs0 - rhs1);
    } else {
      writer.put_number(lhs);
      writer.put(' ');
      writer.put_number(rhs0);
      writer.put(' ');
      writer.put_number(rhs1);
      writer.put('\n');
    }
  }
  for (uint32_t i = 0; i < inputs; ++i) {
    writer.put('i');
    writer.put_number(i);
    writer.put(' ');
    writer.put_number(circuit.input_variables[i]);
    writer.put('\n');
  }
  for (size_t i = 0; i < circuit.output_variables.size(); ++i) {
    writer.put('o');
    writer.put_number(i);
    writer.put(' ');
    writer.put_number(circuit.output_variables[i]);
    writer.put('\n');
  }
  if (!comments.empty()) {
    writer.put("c\n");
    for (const std::string& line : comments) {
      writer.put(line);
      writer.put('\n');
    }
  }
}

void write_aiger(std::ostream& out, bool binary, const Network& network,
                 const std::vector<uint32_t>& inputs, const std::vector<uint32_t>& outputs,
                 const std::vector<std::string>& comments) {
  write_aiger(out, binary, build_skolem_circuit(network, inputs, outputs), comments);
}

namespace {

bool ends_with(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void write_aiger_file(const std::string& path, const std::vector<RunFile>& run_inputs,
                      const Network& network, const std::vector<uint32_t>& inputs,
                      const std::vector<uint32_t>& outputs, const std::vector<std::string>& comments) {
  // Translate first: a refused network leaves the file system alone.
  write_aiger_file(path, run_inputs, build_skolem_circuit(network, inputs, outputs), comments);
}

void write_aiger_file(const std::string& path, const std::vector<RunFile>& run_inputs,
                      const FunctionCircuit& circuit, const std::vector<std::string>& comments) {
  const bool binary = ends_with(path, ".aig");
  write_output_file(path, run_inputs, [&](std::ostream& out) {
    write_aiger(out, binary, circuit, comments);
  });
}
