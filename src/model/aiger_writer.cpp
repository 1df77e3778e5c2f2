// Translating the model's gate network into an and-inverter graph, and
// writing that graph in AIGER's ASCII or binary form, to a stream or to a
// file through the output writer.

#include "model/aiger_writer.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ostream>
#include <sstream>
#include <utility>

#include "core/exception.hpp"

namespace {

// Per-variable flags of the translation, one byte per network variable.
enum : uint8_t {
  IS_INPUT = 1,    // listed among the inputs
  IS_DEFINED = 2,  // some gate seen so far defines it
  IS_READ = 4,     // some gate seen so far reads it (its gate must come earlier)
  IS_NEEDED = 8,   // an output depends on it
};

[[noreturn]] void throw_too_large() {
  throw Exception("The AIGER circuit would need more than " + std::to_string(AIGER_MAX_VARIABLE) + " variables.");
}

constexpr uint32_t FALSE_LITERAL = 0;
constexpr uint32_t TRUE_LITERAL = 1;

// Builds the AND gates of a circuit with structural hashing and the constant
// folding rules listed in the header. The hash table is open addressing with
// linear probing, at most half full. A slot holds the gate number + 1 in its
// low half (0 marks an empty slot) and the high half of the operand pair's
// hash in its high half: most probes that do not match are refused by that
// fingerprint, without reading the gate's operands (a cache miss on large
// circuits, which dominated the time when the slots held gate numbers only).
// Memory: two words for the gate, two to four for the table.
class AndBuilder {
 public:
  AndBuilder(std::vector<uint32_t>& ands, uint32_t input_count)
      : ands_(ands), first_gate_variable_(input_count + 1), table_(1024, 0), mask_(1023) {}

  // The literal of a AND b, creating a gate only when no rule folds it and
  // no equal gate exists. Operands must be literals of existing variables.
  uint32_t make_and(uint32_t a, uint32_t b) {
    if (a < b) std::swap(a, b);
    if (b == FALSE_LITERAL) return FALSE_LITERAL;
    if (b == TRUE_LITERAL) return a;
    if (a == b) return a;
    if (a == (b ^ 1u)) return FALSE_LITERAL;
    const uint64_t key = hash(a, b);
    const uint64_t fingerprint = key & ~uint64_t(0xffffffffu);
    size_t slot = static_cast<size_t>(key) & mask_;
    while (const uint64_t entry = table_[slot]) {
      if ((entry & ~uint64_t(0xffffffffu)) == fingerprint) {
        const size_t gate = static_cast<uint32_t>(entry) - 1;
        if (ands_[2 * gate] == a && ands_[2 * gate + 1] == b)
          return 2 * (first_gate_variable_ + static_cast<uint32_t>(gate));
      }
      slot = (slot + 1) & mask_;
    }
    const uint32_t gate = static_cast<uint32_t>(ands_.size() / 2);
    if (first_gate_variable_ + static_cast<uint64_t>(gate) > AIGER_MAX_VARIABLE) {
      throw_too_large();
    }
    ands_.push_back(a);
    ands_.push_back(b);
    table_[slot] = fingerprint | (gate + 1u);
    if (2 * (static_cast<size_t>(gate) + 1) > table_.size()) grow();
    return 2 * (first_gate_variable_ + gate);
  }

 private:
  // A 64-bit mix of the pair (the finaliser of MurmurHash3): the low bits
  // choose the slot, the high 32 are the fingerprint.
  static uint64_t hash(uint32_t a, uint32_t b) {
    uint64_t key = (static_cast<uint64_t>(a) << 32) | b;
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    key *= 0xc4ceb9fe1a85ec53ull;
    key ^= key >> 33;
    return key;
  }

  // Doubles the table and reinserts every gate.
  void grow() {
    table_.assign(2 * table_.size(), 0);
    mask_ = table_.size() - 1;
    const uint32_t gates = static_cast<uint32_t>(ands_.size() / 2);
    for (uint32_t gate = 0; gate < gates; ++gate) {
      const uint64_t key = hash(ands_[2 * static_cast<size_t>(gate)], ands_[2 * static_cast<size_t>(gate) + 1]);
      size_t slot = static_cast<size_t>(key) & mask_;
      while (table_[slot]) slot = (slot + 1) & mask_;
      table_[slot] = (key & ~uint64_t(0xffffffffu)) | (gate + 1u);
    }
  }

  std::vector<uint32_t>& ands_;   // the circuit's gates, owned by the caller
  uint32_t first_gate_variable_;  // AIGER variable of gate 0 (inputs + 1)
  std::vector<uint64_t> table_;   // fingerprint << 32 | gate number + 1 per slot, 0 = empty; size a power of two
  size_t mask_;                   // table_.size() - 1
};

std::string describe_gate(const Gate& gate) {
  return "The gate for variable " + std::to_string(gate.variable);
}

// Checks the network invariants the translation relies on (see network.hpp)
// and fills `flags` with IS_DEFINED. Inputs must already carry IS_INPUT.
void check_network(const Network& network, std::vector<uint8_t>& flags) {
  const uint32_t variables = network.variables;
  for (const Gate& gate : network.gates) {
    if (gate.variable == 0 || gate.variable >= variables) {
      std::ostringstream message;
      message << "A gate defines variable " << gate.variable << ", outside the network's range 1 to "
              << (variables ? variables - 1 : 0) << ".";
      throw Exception(message.str());
    }
    if (gate.first > network.operands.size() || gate.count > network.operands.size() - gate.first)
      throw Exception(describe_gate(gate) + " has operands beyond the network's operand list.");
    uint32_t expected = gate.count;
    const char* kind_name = "";
    if (gate.kind == Gate::ITE) {
      expected = 3;
      kind_name = "an if-then-else gate";
    } else if (gate.kind == Gate::COPY) {
      expected = 1;
      kind_name = "a copy gate";
    } else if (gate.kind != Gate::AND) {
      throw Exception(describe_gate(gate) + " has unknown kind " + std::to_string(gate.kind) + ".");
    }
    if (gate.count != expected) {
      std::ostringstream message;
      message << describe_gate(gate) << " has " << gate.count << " operands; " << kind_name << " needs "
              << expected << ".";
      throw Exception(message.str());
    }
    const Literal* operands = network.operands_of(gate);
    for (uint32_t i = 0; i < gate.count; ++i) {
      const uint32_t variable = operands[i].variable();
      if (variable == 0 || variable >= variables) {
        std::ostringstream message;
        message << describe_gate(gate) << " reads variable " << variable
                << ", outside the network's range 1 to " << (variables ? variables - 1 : 0) << ".";
        throw Exception(message.str());
      }
      flags[variable] |= IS_READ;
    }
    uint8_t& own = flags[gate.variable];
    if (own & IS_DEFINED)
      throw Exception("Variable " + std::to_string(gate.variable) + " is defined by two gates.");
    if (own & IS_READ)
      throw Exception("Variable " + std::to_string(gate.variable) +
                      " is read before its gate (the gates are not in topological order).");
    if (own & IS_INPUT)
      throw Exception("Input variable " + std::to_string(gate.variable) + " is defined by a gate.");
    own |= IS_DEFINED;
  }
}

// Removes the gates no output reads (constant folding can leave a gate whose
// only reader folded it away) and renumbers the rest densely, keeping their
// order. The renumbering is monotone, so rhs0 >= rhs1 and the topological
// order survive.
void remove_unread_gates(SkolemCircuit& circuit) {
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

}  // namespace

SkolemCircuit build_skolem_circuit(const Network& network, const std::vector<uint32_t>& inputs,
                                   const std::vector<uint32_t>& outputs) {
  if (inputs.size() > AIGER_MAX_VARIABLE) {
    throw_too_large();
  }
  SkolemCircuit circuit;
  circuit.input_variables = inputs;
  circuit.output_variables = outputs;
  const uint32_t input_count = circuit.input_count();

  // Inputs sorted by variable, with their positions: finds duplicates, and the
  // inputs beyond the network's variables, which no gate reads.
  std::vector<std::pair<uint32_t, uint32_t>> sorted_inputs;
  sorted_inputs.reserve(inputs.size());
  for (uint32_t i = 0; i < input_count; ++i) {
    if (inputs[i] == 0) throw Exception("Input variable 0 is not a variable.");
    sorted_inputs.emplace_back(inputs[i], i);
  }
  std::sort(sorted_inputs.begin(), sorted_inputs.end());
  for (size_t i = 1; i < sorted_inputs.size(); ++i)
    if (sorted_inputs[i].first == sorted_inputs[i - 1].first)
      throw Exception("Variable " + std::to_string(sorted_inputs[i].first) + " is an input twice.");
  for (uint32_t variable : outputs)
    if (variable == 0) throw Exception("Output variable 0 is not a variable.");

  const uint32_t variables = network.variables;
  std::vector<uint8_t> flags(variables, 0);  // IS_* per network variable
  for (uint32_t variable : inputs)
    if (variable < variables) flags[variable] |= IS_INPUT;
  check_network(network, flags);

  // Cone of influence: walking the gates backwards, a gate is needed when its
  // variable is, and then so are the variables it reads.
  for (uint32_t variable : outputs)
    if (variable < variables) flags[variable] |= IS_NEEDED;
  for (size_t g = network.gates.size(); g-- > 0;) {
    const Gate& gate = network.gates[g];
    if (!(flags[gate.variable] & IS_NEEDED)) continue;
    const Literal* operands = network.operands_of(gate);
    for (uint32_t i = 0; i < gate.count; ++i) flags[operands[i].variable()] |= IS_NEEDED;
  }

  // AIGER literal of every network variable: inputs are 2 × (position + 1),
  // gate variables are filled in topological order, the rest stay false.
  std::vector<uint32_t> literal_of(variables, FALSE_LITERAL);
  for (uint32_t i = 0; i < input_count; ++i)
    if (inputs[i] < variables) literal_of[inputs[i]] = 2 * (i + 1);

  {
    AndBuilder builder(circuit.ands, input_count);
    std::vector<uint32_t> conjuncts;  // scratch: the operand literals of one AND gate
    for (const Gate& gate : network.gates) {
      if (!(flags[gate.variable] & IS_NEEDED)) continue;
      const Literal* operands = network.operands_of(gate);
      auto literal = [&](uint32_t i) { return literal_of[operands[i].variable()] ^ (operands[i].code & 1u); };
      uint32_t result = FALSE_LITERAL;
      if (gate.kind == Gate::COPY) {
        result = literal(0);
      } else if (gate.kind == Gate::ITE) {
        const uint32_t condition = literal(0), then_literal = literal(1), else_literal = literal(2);
        if (then_literal == else_literal) {
          result = then_literal;
        } else {
          const uint32_t when_true = builder.make_and(condition, then_literal);
          const uint32_t when_false = builder.make_and(condition ^ 1u, else_literal);
          result = builder.make_and(when_true ^ 1u, when_false ^ 1u) ^ 1u;
        }
      } else {
        // Sorted, duplicates dropped: a constant false or a complementary
        // pair (adjacent once sorted) makes the gate false, true is dropped.
        conjuncts.clear();
        for (uint32_t i = 0; i < gate.count; ++i) conjuncts.push_back(literal(i));
        std::sort(conjuncts.begin(), conjuncts.end());
        conjuncts.erase(std::unique(conjuncts.begin(), conjuncts.end()), conjuncts.end());
        bool is_false = !conjuncts.empty() && conjuncts[0] == FALSE_LITERAL;
        for (size_t i = 1; i < conjuncts.size() && !is_false; ++i)
          is_false = conjuncts[i] == (conjuncts[i - 1] ^ 1u);
        if (is_false) {
          result = FALSE_LITERAL;
        } else {
          if (!conjuncts.empty() && conjuncts[0] == TRUE_LITERAL) conjuncts.erase(conjuncts.begin());
          // Balanced tree: pair neighbours level by level, an odd one out
          // moves up unchanged.
          size_t level = conjuncts.size();
          while (level > 1) {
            size_t next = 0;
            for (size_t i = 0; i + 1 < level; i += 2)
              conjuncts[next++] = builder.make_and(conjuncts[i], conjuncts[i + 1]);
            if (level & 1u) conjuncts[next++] = conjuncts[level - 1];
            level = next;
          }
          result = level ? conjuncts[0] : TRUE_LITERAL;
        }
      }
      literal_of[gate.variable] = result;
    }
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
    circuit.outputs.push_back(is_input ? 2 * (input->second + 1) : FALSE_LITERAL);
  }
  remove_unread_gates(circuit);
  return circuit;
}

namespace {

// Collects the output in a block of its own and hands it to the stream in
// large pieces: one stream call per block instead of one per number.
class BlockWriter {
 public:
  explicit BlockWriter(std::ostream& out) : out_(out) { block_.reserve(CAPACITY + 64); }
  ~BlockWriter() { flush(); }

  void put(char c) {
    block_.push_back(c);
    if (block_.size() >= CAPACITY) flush();
  }
  void put(const std::string& text) {
    block_ += text;
    if (block_.size() >= CAPACITY) flush();
  }
  void put_number(uint64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    block_.append(digits, end);
    if (block_.size() >= CAPACITY) flush();
  }
  // The binary format's unsigned number: 7 bits per byte, low bits first,
  // the high bit set on every byte but the last.
  void put_varint(uint32_t value) {
    while (value >= 0x80u) {
      block_.push_back(static_cast<char>((value & 0x7fu) | 0x80u));
      value >>= 7;
    }
    block_.push_back(static_cast<char>(value));
    if (block_.size() >= CAPACITY) flush();
  }
  void flush() {
    if (!block_.empty()) out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
    block_.clear();
  }

 private:
  static constexpr size_t CAPACITY = 1 << 16;  // bytes collected before a write
  std::ostream& out_;                          // destination, owned by the caller
  std::string block_;                          // bytes not yet handed to out_
};

}  // namespace

void write_aiger(std::ostream& out, bool binary, const SkolemCircuit& circuit,
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

void write_aiger_file(const std::string& path, const std::vector<InputFile>& run_inputs,
                      const Network& network, const std::vector<uint32_t>& inputs,
                      const std::vector<uint32_t>& outputs, const std::vector<std::string>& comments) {
  // Translate first: a refused network leaves the file system alone.
  write_aiger_file(path, run_inputs, build_skolem_circuit(network, inputs, outputs), comments);
}

void write_aiger_file(const std::string& path, const std::vector<InputFile>& run_inputs,
                      const SkolemCircuit& circuit, const std::vector<std::string>& comments) {
  const bool binary = ends_with(path, ".aig");
  write_output_file(path, run_inputs, [&](std::ostream& out) {
    write_aiger(out, binary, circuit, comments);
  });
}
