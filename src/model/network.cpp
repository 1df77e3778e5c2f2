// The network's invariants, asserted.

#include "model/network.hpp"

#include <cassert>

void assert_network(const Network& network, std::vector<uint8_t>& marks) {
#ifndef NDEBUG
  const uint32_t variables = network.variables;
  assert(marks.size() == variables);
  for (const Gate& gate : network.gates) {
    assert(gate.variable != 0 && gate.variable < variables && "a gate variable out of range");
    assert(gate.first <= network.operands.size() &&
           gate.count <= network.operands.size() - gate.first &&
           "a gate's operands beyond the operand list");
    assert((gate.kind == Gate::AND || gate.kind == Gate::ITE || gate.kind == Gate::COPY) &&
           "a gate of unknown kind");
    assert((gate.kind != Gate::ITE || gate.count == 3) && "an if-then-else gate needs 3 operands");
    assert((gate.kind != Gate::COPY || gate.count == 1) && "a copy gate needs 1 operand");
    const Literal* operands = network.operands_of(gate);
    for (uint32_t i = 0; i < gate.count; ++i) {
      const uint32_t variable = operands[i].variable();
      assert(variable != 0 && variable < variables && "a gate operand out of range");
      marks[variable] |= kNetworkRead;
    }
    uint8_t& own = marks[gate.variable];
    assert(!(own & kNetworkDefined) && "a variable defined by two gates");
    assert(!(own & kNetworkRead) && "an operand read before its gate");
    assert(!(own & kNetworkInput) && "an input defined by a gate");
    own |= kNetworkDefined;
  }
#else
  (void)network;
  (void)marks;
#endif
}

void assert_network(const Network& network) {
#ifndef NDEBUG
  std::vector<uint8_t> marks(network.variables, 0);
  assert_network(network, marks);
#else
  (void)network;
#endif
}
