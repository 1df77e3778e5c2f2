// The model's functions as one and-inverter graph with structural hashing:
// every AND and if-then-else definition becomes two-input AND nodes, equal
// nodes are made once, constants are propagated and the trivial rules fold
// (x AND x = x, x AND NOT x = false). Solvers write highly redundant
// networks (millions of definitions over a fraction as many distinct
// gates); the model test and every circuit zel writes (a model's Skolem
// functions, a proof's strategy, a Herbrand certificate's functions) work
// on this graph only.
#ifndef ZEL_MODEL_AIG_HPP
#define ZEL_MODEL_AIG_HPP

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/network.hpp"

// Literals are AIGER's: 2 × node + sign. Node 0 is the constant, so literal
// 0 is false and 1 is true. A node is the constant, an input (carrying a
// tag of the caller's: a variable id) or the AND of two literals.
//
// Invariants (consistent() checks them all): node 0 is the constant; an AND
// node's operands are literals of earlier nodes, neither constant, the
// first greater than the second and not its complement, so the node order is
// topological; no two AND nodes have the same operands; the hash table holds
// every AND node exactly once, at a slot its probe sequence reaches.
class Aig {
 public:
  static constexpr uint32_t kFalseLiteral = 0;
  static constexpr uint32_t kTrueLiteral = 1;

  Aig();

  // The literal of a new input node carrying `tag`.
  uint32_t add_input(uint32_t tag);
  // The literal of a AND b: a constant or an operand when a rule folds it,
  // the existing node when an equal one exists, else a new node. Operands
  // must be literals of existing nodes. Throws Exception when the graph
  // would pass kMaxNodes.
  uint32_t make_and(uint32_t a, uint32_t b);
  // c ? t : e as (c AND t) OR (NOT c AND e); t when t == e.
  uint32_t make_ite(uint32_t c, uint32_t t, uint32_t e);
  // The conjunction of `literals` (which it reorders): sorted, duplicates
  // dropped, false when it holds false or a complementary pair, true
  // dropped, then a balanced tree of two-input ANDs (neighbours paired level
  // by level, an odd one out moving up); the empty conjunction is true.
  uint32_t make_conjunction(std::vector<uint32_t>& literals);

  // Room for `and_nodes` more AND nodes without growing the table again
  // (a hint: callers that know the graph's size save the rehashing).
  void reserve(size_t and_nodes);

  uint32_t nodes() const { return static_cast<uint32_t>(fanins_.size() / 2); }
  uint32_t and_nodes() const { return and_nodes_; }
  bool is_input(uint32_t node) const { return fanins_[2 * size_t{node}] == kInputMark; }
  bool is_and(uint32_t node) const { return node != 0 && !is_input(node); }
  uint32_t input_tag(uint32_t node) const { return fanins_[2 * size_t{node} + 1]; }
  // An AND node's operands, the greater first.
  uint32_t left(uint32_t node) const { return fanins_[2 * size_t{node}]; }
  uint32_t right(uint32_t node) const { return fanins_[2 * size_t{node} + 1]; }

  // Every invariant above; linear in the graph. For assertions.
  bool consistent() const;

  // Literal codes must fit 32 bits.
  static constexpr uint32_t kMaxNodes = 0x7fffffffu;

 private:
  static constexpr uint32_t kInputMark = ~0u;  // first fanin word of an input node

  void grow();
  void rehash(size_t slots);
  // Throws when one more node would pass kMaxNodes.
  void check_room() const;
  static uint64_t hash(uint32_t a, uint32_t b);

  std::vector<uint32_t> fanins_;  // node × 2, + 1: an AND's operands; an input's mark and tag
  std::vector<uint64_t> table_;   // fingerprint << 32 | AND node per slot, 0 = empty;
                                  // open addressing, linear probing, at most half full
  size_t mask_ = 0;               // table_.size() - 1 (a power of two minus one)
  uint32_t and_nodes_ = 0;        // AND nodes in the graph
};

// The network's functions over a graph: literal_of[variable] is the graph
// literal of every network variable. A variable defined by no gate keeps the
// literal it has on entry (an input, or a constant); the gates are
// translated in order (an AND gate by make_conjunction, an if-then-else by
// make_ite, a copy takes its operand's literal). The caller has checked the
// network's invariants; literal_of has network.variables entries.
void translate_network(const Network& network, std::vector<uint32_t>& literal_of, Aig& aig);
// One gate of it; `conjuncts` is scratch.
void translate_gate(const Network& network, const Gate& gate, std::vector<uint32_t>& literal_of,
                    Aig& aig, std::vector<uint32_t>& conjuncts);

// The graph the model test works on: the network's free variables (those
// no gate defines) are its inputs, made first in ascending variable order
// and tagged with their variable, so that node order among inputs is
// variable order; literal_of[variable] is the literal of every variable.
struct ModelGraph {
  Aig aig;                           // inputs, then the hashed AND nodes
  std::vector<uint32_t> literal_of;  // variable -> graph literal, `variables` entries
};

// The graph of `network` over variables 0 to variables - 1 (at least
// network.variables); variable 0 is the constant false.
ModelGraph build_model_graph(const Network& network, uint32_t variables);

#endif
