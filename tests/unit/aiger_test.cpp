// The AIGER writer: hand-built networks written in both forms, read back by
// the tests' own reader and simulated on every input assignment against a
// direct evaluation of the network; the exact bytes of small files; the
// broken networks, which are program faults (death tests of the
// assertions); and the atomic file write.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "aiger_reader.hpp"
#include "core/exception.hpp"
#include "model/aiger_writer.hpp"
#include "support.hpp"

namespace {

using zeltest::AigerFile;
using zeltest::directory_entries;
using zeltest::file_content;
using zeltest::put_file;
using zeltest::scratch_directory;
using zeltest::read_aiger;
using zeltest::simulate_aiger;
using Numbers = std::vector<uint32_t>;

// Builds a network gate by gate; `variables` follows the largest number used.
struct NetworkBuilder {
  Network network;  // the network under construction

  NetworkBuilder& gate(Gate::Kind kind, uint32_t variable, std::initializer_list<int> operands) {
    Gate g;
    g.kind = kind;
    g.variable = variable;
    g.first = static_cast<uint32_t>(network.operands.size());
    g.count = static_cast<uint32_t>(operands.size());
    network.gates.push_back(g);
    note(variable);
    for (int dimacs : operands) {
      network.operands.push_back(Literal(dimacs));
      note(static_cast<uint32_t>(dimacs < 0 ? -dimacs : dimacs));
    }
    return *this;
  }
  NetworkBuilder& and_gate(uint32_t variable, std::initializer_list<int> operands) {
    return gate(Gate::AND, variable, operands);
  }
  NetworkBuilder& ite(uint32_t variable, int condition, int then_literal, int else_literal) {
    return gate(Gate::ITE, variable, {condition, then_literal, else_literal});
  }
  NetworkBuilder& copy(uint32_t variable, int literal) { return gate(Gate::COPY, variable, {literal}); }
  void note(uint32_t variable) {
    if (variable >= network.variables) network.variables = variable + 1;
  }
};

// Evaluates the network directly: inputs take `input_values`, every other
// variable without a gate is false. Returns the outputs' values.
std::vector<bool> evaluate_network(const Network& network, const Numbers& inputs, const Numbers& outputs,
                                   const std::vector<bool>& input_values) {
  uint32_t size = network.variables;
  for (uint32_t v : inputs) size = std::max(size, v + 1);
  for (uint32_t v : outputs) size = std::max(size, v + 1);
  std::vector<bool> value(size, false);
  for (size_t i = 0; i < inputs.size(); ++i) value[inputs[i]] = input_values[i];
  auto of = [&](Literal l) { return value[l.variable()] != l.negative(); };
  for (const Gate& gate : network.gates) {
    const Literal* ops = network.operands_of(gate);
    bool result = true;
    if (gate.kind == Gate::AND) {
      for (uint32_t i = 0; i < gate.count; ++i) result = result && of(ops[i]);
    } else if (gate.kind == Gate::ITE) {
      result = of(ops[0]) ? of(ops[1]) : of(ops[2]);
    } else {
      result = of(ops[0]);
    }
    value[gate.variable] = result;
  }
  std::vector<bool> result;
  for (uint32_t v : outputs) result.push_back(value[v]);
  return result;
}

std::string written(bool binary, const Network& network, const Numbers& inputs, const Numbers& outputs,
                    const std::vector<std::string>& comments = {}) {
  std::ostringstream out;
  write_aiger(out, binary, network, inputs, outputs, comments);
  EXPECT_TRUE(out.good());
  return out.str();
}

std::vector<std::string> decimal_names(const Numbers& variables) {
  std::vector<std::string> names;
  for (uint32_t v : variables) names.push_back(std::to_string(v));
  return names;
}

// Both forms describe one circuit: same header, inputs, outputs, gates,
// symbols and comments.
void expect_same_circuit(const AigerFile& ascii, const AigerFile& binary) {
  EXPECT_FALSE(ascii.binary);
  EXPECT_TRUE(binary.binary);
  EXPECT_EQ(ascii.max_variable, binary.max_variable);
  EXPECT_EQ(ascii.input_count, binary.input_count);
  EXPECT_EQ(ascii.latch_count, binary.latch_count);
  EXPECT_EQ(ascii.output_count, binary.output_count);
  EXPECT_EQ(ascii.and_count, binary.and_count);
  EXPECT_EQ(ascii.inputs, binary.inputs);
  EXPECT_EQ(ascii.outputs, binary.outputs);
  EXPECT_EQ(ascii.ands, binary.ands);
  EXPECT_EQ(ascii.input_names, binary.input_names);
  EXPECT_EQ(ascii.output_names, binary.output_names);
  EXPECT_EQ(ascii.comments, binary.comments);
}

// Every assignment of the inputs: the circuit's outputs equal the network's.
void expect_equivalent(const AigerFile& file, const Network& network, const Numbers& inputs,
                       const Numbers& outputs) {
  ASSERT_LE(inputs.size(), 16u);
  for (uint32_t assignment = 0; assignment < (1u << inputs.size()); ++assignment) {
    std::vector<bool> values;
    for (size_t i = 0; i < inputs.size(); ++i) values.push_back((assignment >> i) & 1u);
    EXPECT_EQ(simulate_aiger(file, values), evaluate_network(network, inputs, outputs, values))
        << "assignment " << assignment;
  }
}

struct CircuitCase {
  const char* name;                  // what the network exercises
  NetworkBuilder builder;            // the network
  Numbers inputs;                    // universal variables, prefix order
  Numbers outputs;                   // existential variables, prefix order
  uint32_t expected_ands;            // A in the header
  Numbers expected_output_literals;  // AIGER literal of every output
};

std::vector<CircuitCase> circuit_cases() {
  return {
      {"and_of_none", NetworkBuilder().and_gate(5, {}), {1}, {5}, 0, {1}},
      {"and_of_one_negated", NetworkBuilder().and_gate(5, {-2}), {1, 2}, {5}, 0, {5}},
      {"and_of_two", NetworkBuilder().and_gate(5, {1, -2}), {1, 2}, {5}, 1, {6}},
      // Operand literals 2 5 6 9 10: (2,5)=12, (6,9)=14, then (12,14)=16, then (16,10)=18.
      {"and_of_five", NetworkBuilder().and_gate(9, {1, -2, 3, -4, 5}), {1, 2, 3, 4, 5}, {9}, 4, {18}},
      {"ite", NetworkBuilder().ite(7, 1, 2, -3), {1, 2, 3}, {7}, 3, {13}},
      {"copy_of_negated_input", NetworkBuilder().copy(6, -2), {1, 2}, {6}, 0, {5}},
      // 10 = 1 AND 2; 11 = 10 ? 3 : -10, which is NOT 10 OR 3; 12 = -11; 13 = 12 AND -1.
      {"chain",
       NetworkBuilder().and_gate(10, {1, 2}).ite(11, 10, 3, -10).copy(12, -11).and_gate(13, {12, -1}),
       {1, 2, 3}, {13, 11}, 4, {14, 13}},
      {"copy_of_free_existential", NetworkBuilder().copy(5, -4).copy(6, 4), {1}, {5, 6}, 0, {1, 0}},
      {"output_without_gate", NetworkBuilder().and_gate(5, {1, 2}), {1, 2}, {5, 6}, 1, {6, 0}},
      // 5 and 6 are one gate, 7 and 8 one more on top of it, 9 = 5 ? 5 : 3 two more.
      {"shared_subcircuits",
       NetworkBuilder().and_gate(5, {1, 2}).and_gate(6, {2, 1}).and_gate(7, {1, 2, 3}).and_gate(8, {3, 2, 1}).ite(
           9, 5, 6, 3),
       {1, 2, 3}, {5, 6, 7, 8, 9}, 4, {8, 8, 10, 10, 15}},
      {"unreachable_gates_not_written",
       NetworkBuilder().and_gate(5, {1, 2}).and_gate(6, {1, -2}).ite(7, 5, 1, 2), {1, 2}, {6}, 1, {6}},
      // 5 = false, 6 = 1 AND 2, 7 = false, 8 = 2, 9 = 1.
      {"constant_folding",
       NetworkBuilder().and_gate(5, {1, -1}).and_gate(6, {1, 1, 2}).and_gate(7, {5, 2}).ite(8, 1, 2, 2).and_gate(
           9, {-5, 1}),
       {1, 2}, {5, 6, 7, 8, 9}, 1, {0, 6, 0, 4, 2}},
      // Gate 5 is read only by 6, where it folds away: no gate remains.
      {"gate_folded_away_by_its_reader", NetworkBuilder().and_gate(5, {1, 2}).and_gate(6, {5, -5}), {1, 2}, {6},
       0, {0}},
      {"gate_folded_away_kept_gate_renumbered",
       NetworkBuilder().and_gate(5, {1, 2}).and_gate(6, {5, -5, 3}).and_gate(7, {-1, 3}).and_gate(8, {6, 7}),
       {1, 2, 3}, {8, 7}, 1, {0, 8}},
      {"inputs_out_of_order_and_duplicate_output", NetworkBuilder().and_gate(7, {4, -1}), {4, 1}, {7, 7}, 1,
       {6, 6}},
      {"no_inputs", NetworkBuilder().and_gate(2, {}).and_gate(3, {-2}), {}, {2, 3}, 0, {1, 0}},
  };
}

TEST(aiger_writer, HandBuiltNetworksInBothForms) {
  const std::vector<std::string> comments = {"zel Skolem functions", "", "third line"};
  for (const CircuitCase& c : circuit_cases()) {
    SCOPED_TRACE(c.name);
    const Network& network = c.builder.network;
    const AigerFile ascii = read_aiger(written(false, network, c.inputs, c.outputs, comments));
    const AigerFile binary = read_aiger(written(true, network, c.inputs, c.outputs, comments));
    EXPECT_EQ(ascii.input_count, c.inputs.size());
    EXPECT_EQ(ascii.output_count, c.outputs.size());
    EXPECT_EQ(ascii.and_count, c.expected_ands);
    EXPECT_EQ(ascii.max_variable, c.inputs.size() + c.expected_ands);
    EXPECT_EQ(ascii.outputs, c.expected_output_literals);
    EXPECT_EQ(ascii.input_names, decimal_names(c.inputs));
    EXPECT_EQ(ascii.output_names, decimal_names(c.outputs));
    EXPECT_TRUE(ascii.has_comments);
    EXPECT_EQ(ascii.comments, comments);
    for (const auto& gate : ascii.ands) {
      EXPECT_GT(gate[0], gate[1]);
      EXPECT_GE(gate[1], gate[2]);
    }
    expect_same_circuit(ascii, binary);
    expect_equivalent(ascii, network, c.inputs, c.outputs);
    expect_equivalent(binary, network, c.inputs, c.outputs);
  }
}

TEST(aiger_writer, ExactAsciiBytes) {
  const Network network = NetworkBuilder().ite(7, 1, 2, -3).network;
  EXPECT_EQ(written(false, network, {1, 2, 3}, {7}, {"zel model", "second line"}),
            "aag 6 3 0 1 3\n"
            "2\n4\n6\n"
            "13\n"
            "8 4 2\n"
            "10 7 3\n"
            "12 11 9\n"
            "i0 1\ni1 2\ni2 3\n"
            "o0 7\n"
            "c\nzel model\nsecond line\n");
}

TEST(aiger_writer, ExactBinaryBytes) {
  const Network network = NetworkBuilder().ite(7, 1, 2, -3).network;
  // Gate 8 = 4 AND 2: deltas 4, 2; gate 10 = 7 AND 3: 3, 4; gate 12 = 11 AND 9: 1, 2.
  EXPECT_EQ(written(true, network, {1, 2, 3}, {7}, {"zel model"}),
            std::string("aig 6 3 0 1 3\n13\n\x04\x02\x03\x04\x01\x02"
                        "i0 1\ni1 2\ni2 3\no0 7\nc\nzel model\n"));
}

TEST(aiger_writer, NoCommentSectionWithoutComments) {
  const Network network = NetworkBuilder().copy(3, -1).network;
  EXPECT_EQ(written(false, network, {1}, {3}), "aag 1 1 0 1 0\n2\n3\ni0 1\no0 3\n");
  EXPECT_EQ(written(true, network, {1}, {3}), "aig 1 1 0 1 0\n3\ni0 1\no0 3\n");
}

// 200 inputs; the gate reads inputs 1 and 200, so its second delta is
// 400 - 2 = 398, two bytes of seven bits: 0x8e 0x03.
TEST(aiger_writer, MultiByteDeltas) {
  Numbers inputs;
  for (uint32_t v = 1; v <= 200; ++v) inputs.push_back(v);
  const Network network = NetworkBuilder().and_gate(300, {200, 1}).network;
  const std::string bytes = written(true, network, inputs, {300});
  EXPECT_EQ(bytes.substr(0, 22), "aig 201 200 0 1 1\n402\n");
  EXPECT_EQ(bytes.substr(22, 4), std::string("\x02\x8e\x03i", 4));
  const AigerFile file = read_aiger(bytes);
  ASSERT_EQ(file.ands.size(), 1u);
  EXPECT_EQ(file.ands[0], (std::array<uint32_t, 3>{402, 400, 2}));
}

// Random small networks of every gate kind over few variables, so that
// sharing, duplicates, complements and free variables all occur often.
TEST(aiger_writer, RandomSmallNetworksMatchTheirEvaluation) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const uint32_t input_count = random() % 5;
    Numbers inputs;
    for (uint32_t v = 1; v <= input_count; ++v) inputs.push_back(v);
    // Variables input_count + 1 .. input_count + 2 stay free; gates follow.
    const uint32_t first_gate = input_count + 3;
    const uint32_t gate_count = 1 + random() % 12;
    NetworkBuilder builder;
    auto operand = [&](uint32_t below) {
      const int variable = static_cast<int>(1 + random() % (below - 1));
      return random() % 2 ? -variable : variable;
    };
    for (uint32_t g = 0; g < gate_count; ++g) {
      const uint32_t variable = first_gate + g;
      const uint32_t kind = random() % 3;
      if (kind == 0) {
        Gate gate;
        gate.kind = Gate::AND;
        gate.variable = variable;
        gate.first = static_cast<uint32_t>(builder.network.operands.size());
        gate.count = random() % 6;
        for (uint32_t i = 0; i < gate.count; ++i) builder.network.operands.push_back(Literal(operand(variable)));
        builder.network.gates.push_back(gate);
        builder.note(variable);
      } else if (kind == 1) {
        builder.ite(variable, operand(variable), operand(variable), operand(variable));
      } else {
        builder.copy(variable, operand(variable));
      }
    }
    Numbers outputs;
    const uint32_t output_count = 1 + random() % 4;
    for (uint32_t i = 0; i < output_count; ++i) outputs.push_back(input_count + 1 + random() % (gate_count + 2));
    const AigerFile ascii = read_aiger(written(false, builder.network, inputs, outputs));
    const AigerFile binary = read_aiger(written(true, builder.network, inputs, outputs));
    expect_same_circuit(ascii, binary);
    expect_equivalent(ascii, builder.network, inputs, outputs);
    expect_equivalent(binary, builder.network, inputs, outputs);
  }
}

const Network& small_network() {
  static const Network network = NetworkBuilder().ite(7, 1, 2, -3).network;
  return network;
}

// The network, inputs and outputs come from the checker itself, so a broken
// one is a fault of the program: each invariant the translation relies on is
// an assertion, and the unit tests keep assertions on.
struct FaultCase {
  const char* name;        // what is wrong
  Network network;         // the network handed over
  Numbers inputs;          // its inputs
  Numbers outputs;         // its outputs
  const char* assertion;   // the text of the assertion that stops the program
};

Network with_gate(Network network, Gate gate) {
  network.gates.push_back(gate);
  return network;
}

TEST(aiger_writer_death, BrokenNetworksAreProgramFaults) {
  if (!ZEL_LIBRARY_ASSERTS) GTEST_SKIP() << "the library is built without assertions";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Network ok = NetworkBuilder().and_gate(5, {1, 2}).network;
  Gate beyond_operands;
  beyond_operands.variable = 4;
  beyond_operands.first = 1;
  beyond_operands.count = 2;
  Gate unknown_kind;
  unknown_kind.kind = static_cast<Gate::Kind>(7);
  unknown_kind.variable = 4;
  const std::vector<FaultCase> cases = {
      {"input_twice", ok, {1, 2, 1}, {5}, "an input listed twice"},
      {"input_zero", ok, {0}, {5}, "input variable 0"},
      {"output_zero", ok, {1, 2}, {0}, "output variable 0"},
      {"input_defined_by_gate", ok, {1, 5}, {5}, "an input defined by a gate"},
      {"defined_twice", NetworkBuilder().and_gate(5, {1}).copy(5, 2).network, {1, 2}, {5},
       "a variable defined by two gates"},
      {"read_before_gate", NetworkBuilder().copy(4, 5).and_gate(5, {1}).network, {1}, {4},
       "an operand read before its gate"},
      {"reads_itself", NetworkBuilder().and_gate(5, {1, -5}).network, {1}, {5},
       "an operand read before its gate"},
      {"ite_with_two_operands", NetworkBuilder().gate(Gate::ITE, 5, {1, 2}).network, {1, 2}, {5},
       "an if-then-else gate needs 3 operands"},
      {"copy_with_two_operands", NetworkBuilder().gate(Gate::COPY, 5, {1, 2}).network, {1, 2}, {5},
       "a copy gate needs 1 operand"},
      {"operands_beyond_list", with_gate(ok, beyond_operands), {1, 2}, {5},
       "a gate's operands beyond the operand list"},
      {"unknown_kind", with_gate(ok, unknown_kind), {1, 2}, {5}, "a gate of unknown kind"},
      {"gate_variable_out_of_range", [] { Network n = NetworkBuilder().and_gate(5, {1}).network; n.variables = 5; return n; }(),
       {1}, {5}, "a gate variable out of range"},
      {"operand_out_of_range", [] { Network n = NetworkBuilder().and_gate(5, {9}).network; n.variables = 6; return n; }(),
       {1}, {5}, "a gate operand out of range"},
      {"operand_zero", NetworkBuilder().copy(5, 0).network, {1}, {5}, "a gate operand out of range"},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_DEATH(build_skolem_circuit(c.network, c.inputs, c.outputs), c.assertion);
  }
}

// The model graph's variant: an input must be an input node of the graph.
TEST(aiger_writer_death, GraphInputDefinedByAGate) {
  if (!ZEL_LIBRARY_ASSERTS) GTEST_SKIP() << "the library is built without assertions";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const ModelGraph graph = build_model_graph(small_network(), 8);  // variable 7 is a gate
  EXPECT_DEATH(build_skolem_circuit(graph.aig, graph.literal_of, {1, 7}, {7}),
               "an input defined by a gate");
}

// Inputs and outputs beyond the network's variables: the inputs are still
// inputs, an output that is no input is false.
TEST(aiger_writer, VariablesBeyondTheNetwork) {
  const Network network = NetworkBuilder().and_gate(3, {1, -2}).network;  // variables = 4
  const FunctionCircuit circuit = build_skolem_circuit(network, {1, 2, 10}, {3, 12, 11, 10});
  EXPECT_EQ(circuit.input_count(), 3u);
  EXPECT_EQ(circuit.and_count(), 1u);
  EXPECT_EQ(circuit.outputs, (Numbers{8, 0, 0, 6}));
  EXPECT_EQ(circuit.ands, (Numbers{5, 2}));
}

// ---- write_aiger_file -------------------------------------------------------

TEST(aiger_file, FormFollowsTheNameAndReplacesAnExistingFile) {
  const std::string directory = scratch_directory();
  const Numbers inputs = {1, 2, 3}, outputs = {7};
  const std::vector<std::string> comments = {"zel"};
  struct {
    const char* name;  // file name
    bool binary;       // expected form
  } cases[] = {{"model.aig", true}, {"model.aag", false}, {"model.txt", false}, {"aig", false}};
  std::vector<std::string> names;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = directory + "/" + c.name;
    put_file(path, "old content");
    write_aiger_file(path, {}, small_network(), inputs, outputs, comments);
    EXPECT_EQ(file_content(path), written(c.binary, small_network(), inputs, outputs, comments));
    names.push_back(c.name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(directory_entries(directory), names);
}


// ---- a large network ---------------------------------------------------------

// A million random gates over 16 inputs, reading mostly recent variables so
// the circuit is deep. No two operands of a gate name one variable, and copies
// read any earlier variable rather than a recent one: otherwise x AND NOT x
// arises through copies, the constant spreads, and little is left to write.
// every tenth gate variable is an output. Both forms are read back, compared,
// and simulated on a few random assignments. Prints the time and size as
// information only.
TEST(aiger_writer, MillionGates) {
  constexpr uint32_t inputs_count = 16, gate_count = 1000000;
  std::mt19937 random(7);
  Numbers inputs;
  for (uint32_t v = 1; v <= inputs_count; ++v) inputs.push_back(v);
  const uint32_t first_gate = inputs_count + 1;
  Network network;
  network.variables = first_gate + gate_count;
  network.gates.reserve(gate_count);
  network.operands.reserve(3 * static_cast<size_t>(gate_count));
  auto operand = [&](uint32_t variable, bool is_copy) {
    if (is_copy || variable - first_gate < 64 || random() % 8 == 0) return 1 + random() % (variable - 1);
    return variable - 1 - random() % 64;  // one of the last 64 gates
  };
  for (uint32_t g = 0; g < gate_count; ++g) {
    Gate gate;
    gate.variable = first_gate + g;
    gate.first = static_cast<uint32_t>(network.operands.size());
    const uint32_t kind = random() % 8;
    gate.kind = kind < 5 ? Gate::AND : kind < 7 ? Gate::ITE : Gate::COPY;
    gate.count = gate.kind == Gate::AND ? 2 + random() % 3 : gate.kind == Gate::ITE ? 3 : 1;
    while (network.operands.size() < gate.first + gate.count) {
      const uint32_t variable = operand(gate.variable, gate.kind == Gate::COPY);
      bool taken = false;
      for (size_t i = gate.first; i < network.operands.size(); ++i) taken |= network.operands[i].variable() == variable;
      if (!taken) network.operands.push_back(Literal(variable, random() % 2));
    }
    network.gates.push_back(gate);
  }
  Numbers outputs;
  for (uint32_t v = first_gate; v < network.variables; v += 10) outputs.push_back(v);

  const auto start = std::chrono::steady_clock::now();
  const std::string binary_bytes = written(true, network, inputs, outputs, {"large"});
  const auto middle = std::chrono::steady_clock::now();
  const std::string ascii_bytes = written(false, network, inputs, outputs, {"large"});
  const auto end = std::chrono::steady_clock::now();
  std::cout << "[ info ] 1000000 gates: binary " << binary_bytes.size() << " bytes in "
            << std::chrono::duration<double>(middle - start).count() << " s, ASCII " << ascii_bytes.size()
            << " bytes in " << std::chrono::duration<double>(end - middle).count() << " s\n";

  const AigerFile binary = read_aiger(binary_bytes);
  const AigerFile ascii = read_aiger(ascii_bytes);
  expect_same_circuit(ascii, binary);
  std::cout << "[ info ] " << binary.and_count << " AND gates, " << binary.output_count << " outputs\n";
  EXPECT_GT(binary.and_count, 1000000u);
  EXPECT_EQ(binary.output_count, outputs.size());
  for (int round = 0; round < 4; ++round) {
    std::vector<bool> values;
    for (uint32_t i = 0; i < inputs_count; ++i) values.push_back(random() % 2);
    EXPECT_EQ(simulate_aiger(binary, values), evaluate_network(network, inputs, outputs, values));
  }
}

}  // namespace
