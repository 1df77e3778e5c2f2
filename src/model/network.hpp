// The functions a model defines, as one network of gates over the
// formula's variables: every applied extension definition (AND,
// if-then-else; an AIGER certificate's gates become such definitions) and
// every model entry (the variable takes the value of one literal) is one
// gate. The model checker builds it once the dependency check has shown it
// acyclic and hashes it into the graph (aig.hpp) that the model test and
// the circuit writer read.
#ifndef ZEL_MODEL_NETWORK_HPP
#define ZEL_MODEL_NETWORK_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"

struct Gate {
  enum Kind : uint8_t {
    AND,   // conjunction of `count` operands; no operand: constant true
    ITE,   // three operands: condition, then, else
    COPY,  // one operand: a model entry, the variable equals that literal
  };
  Kind kind = AND;
  uint32_t variable = 0;  // the variable the gate defines; defined by no other gate
  uint32_t first = 0;     // index of its first operand in Network::operands
  uint32_t count = 0;     // number of operands
};

// Invariants: every gate defines a distinct variable below `variables`;
// every operand's variable is below `variables`; the gates stand in
// topological order (a gate comes after the gates of the variables it
// reads). A variable defined by no gate is free: the model test lets it take
// any value (universals, existentials without a model entry).
struct Network {
  uint32_t variables = 0;         // variable numbers in use are below this
  std::vector<Gate> gates;        // topological order
  std::vector<Literal> operands;  // the gates' operands, gate after gate

  const Literal* operands_of(const Gate& gate) const { return operands.data() + gate.first; }
};

// Marks of assert_network, one byte per network variable.
enum NetworkMark : uint8_t {
  kNetworkInput = 1,    // no gate may define the variable
  kNetworkDefined = 2,  // some gate seen so far defines it
  kNetworkRead = 4,     // some gate seen so far reads it (its gate must come earlier)
};

// Asserts the invariants above, in one pass over the gates: the checker
// builds every network itself, so a broken one is a fault of the program.
// `marks` has network.variables entries, kNetworkInput where no gate may
// define the variable; the pass adds the other marks. Does nothing when
// assertions are off.
void assert_network(const Network& network, std::vector<uint8_t>& marks);
// The same without inputs.
void assert_network(const Network& network);

#endif
