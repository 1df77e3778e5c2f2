// Functions as AIGER circuits (the format of the hardware model checking
// competition, ASCII "aag" or binary "aig"). The Skolem functions of a
// validated model: its gate network or graph is translated into an
// and-inverter graph over the universal variables, reduced to what the
// existential outputs read. Every circuit zel writes (also a proof's
// strategy and a Herbrand certificate's functions) is written here, with a
// symbol table naming every input and output by its variable.
#ifndef ZEL_MODEL_AIGER_WRITER_HPP
#define ZEL_MODEL_AIGER_WRITER_HPP

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/aig.hpp"
#include "model/network.hpp"
#include "write/output_file.hpp"

// An and-inverter graph in AIGER numbering: literal = 2 × variable + sign,
// literal 0 is false and 1 is true, variables 1..I are the inputs and
// variable I + 1 + i is defined by AND gate i. There are no latches. Gates
// stand in topological order with rhs0 >= rhs1 and both below the gate's own
// literal (what the binary format's delta encoding needs); no two gates have
// the same operand pair and every gate is read by an output, directly or not.
struct FunctionCircuit {
  std::vector<uint32_t> input_variables;   // formula variable of input i (literal 2 × (i + 1))
  std::vector<uint32_t> output_variables;  // formula variable of output i
  std::vector<uint32_t> outputs;           // AIGER literal of output i
  std::vector<uint32_t> ands;              // gate i's operands at 2i (rhs0) and 2i + 1 (rhs1)

  uint32_t input_count() const { return static_cast<uint32_t>(input_variables.size()); }
  uint32_t and_count() const { return static_cast<uint32_t>(ands.size() / 2); }
  // The largest AIGER variable (M in the header).
  uint32_t max_variable() const { return input_count() + and_count(); }
};

// Largest AIGER variable a circuit may use: its literal 2M + 1 must fit the
// 32-bit words the circuit is stored in.
constexpr uint32_t kAigerMaxVariable = 0x7fffffffu;

// Translates `network` into a circuit. `inputs` are the universal variables
// and `outputs` the existential ones, each in prefix order. Circuit rules:
//  - an AND gate of n operands is a balanced tree of two-input ANDs over its
//    operands (sorted, duplicates dropped; n = 0 is true, n = 1 the operand);
//    ITE x = c ? t : e is (c AND t) OR (NOT c AND e); COPY x = its literal;
//  - a variable that is neither an input nor defined by a gate is false, so an
//    output without a gate is constant false;
//  - only gates an output reads are translated; equal two-input ANDs are made
//    once, and x AND 0 = 0, x AND 1 = x, x AND x = x, x AND NOT x = 0.
// The graph is built by Aig (structural hashing, aig.hpp). Memory: five
// bytes per network variable plus about four words per AND gate; no
// recursion, no allocation per gate.
// The network, inputs and outputs are the checker's own: their invariants
// (network.hpp; inputs distinct, not defined by a gate; no variable 0) are
// asserted. Throws Exception only when the circuit would exceed
// kAigerMaxVariable.
FunctionCircuit build_skolem_circuit(const Network& network, const std::vector<uint32_t>& inputs,
                                   const std::vector<uint32_t>& outputs);

// The circuit of a model graph (see aig.hpp): literal_of[v] is the graph
// literal of variable v; `inputs` must be graph inputs, every other graph
// input is false, a variable beyond literal_of is false (asserted: an input
// is a graph input). The graph's nodes
// that the outputs reach are copied in their order through structural
// hashing again, so only where a false input reaches does a node fold.
FunctionCircuit build_skolem_circuit(const Aig& graph, const std::vector<uint32_t>& literal_of,
                                   const std::vector<uint32_t>& inputs,
                                   const std::vector<uint32_t>& outputs);

// The gates of a graph whose nodes 1 to I are the circuit's inputs, in
// order, and whose other nodes are AND nodes: copied as they are, then
// those no output reads are dropped and the rest renumbered densely.
// `circuit` holds its inputs and outputs (graph literals) already.
void take_gates(const Aig& graph, FunctionCircuit& circuit);

// Writes the circuit to `out`, binary when `binary`, ASCII otherwise: header,
// inputs (ASCII only), outputs, gates, symbol table ("i0 3", "o0 7": the
// variable numbers in decimal), then "c" and one line per comment when there
// are comments. The bytes depend only on the arguments. The caller checks the
// state of `out` afterwards.
void write_aiger(std::ostream& out, bool binary, const FunctionCircuit& circuit,
                 const std::vector<std::string>& comments);

// build_skolem_circuit, then write_aiger.
void write_aiger(std::ostream& out, bool binary, const Network& network,
                 const std::vector<uint32_t>& inputs, const std::vector<uint32_t>& outputs,
                 const std::vector<std::string>& comments);

// Writes the circuit to `path` through write_output_file (which never
// touches `run_inputs` and replaces a regular file atomically): binary when
// the name ends in ".aig", ASCII otherwise. Throws Exception naming `path`
// on any failure, leaving an existing `path` as it was.
void write_aiger_file(const std::string& path, const std::vector<RunFile>& run_inputs,
                      const Network& network, const std::vector<uint32_t>& inputs,
                      const std::vector<uint32_t>& outputs, const std::vector<std::string>& comments);
// The same for a circuit already built.
void write_aiger_file(const std::string& path, const std::vector<RunFile>& run_inputs,
                      const FunctionCircuit& circuit, const std::vector<std::string>& comments);

#endif
