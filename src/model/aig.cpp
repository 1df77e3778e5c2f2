// Structural hashing of the and-inverter graph, and the translation of the
// model's gate network into it.

#include "model/aig.hpp"

#include <algorithm>
#include <cassert>
#include <utility>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "core/hash.hpp"

namespace {

constexpr uint32_t kInitialSlots = 1024;  // a power of two

}  // namespace

Aig::Aig() : fanins_{0, 0}, table_(kInitialSlots, 0), mask_(kInitialSlots - 1) {}

// The low bits of the mix choose the slot, the high 32 are the fingerprint:
// most probes that do not match are refused by it without reading the
// node's operands (a cache miss on large graphs).
uint64_t Aig::hash(uint32_t a, uint32_t b) { return mix((uint64_t{a} << 32) | b); }

void Aig::check_room() const {
  if (nodes() >= kMaxNodes)
    throw Exception(message::model_graph_limit(kMaxNodes));
}

uint32_t Aig::add_input(uint32_t tag) {
  check_room();
  const uint32_t node = nodes();
  fanins_.push_back(kInputMark);
  fanins_.push_back(tag);
  return 2 * node;
}

uint32_t Aig::make_and(uint32_t a, uint32_t b) {
  assert((a >> 1) < nodes() && (b >> 1) < nodes() && "an operand of no existing node");
  if (a < b) std::swap(a, b);
  if (b == kFalseLiteral) return kFalseLiteral;
  if (b == kTrueLiteral) return a;
  if (a == b) return a;
  if (a == (b ^ 1u)) return kFalseLiteral;
  const uint64_t key = hash(a, b);
  const uint64_t fingerprint = key & ~uint64_t{0xffffffffu};
  size_t slot = static_cast<size_t>(key) & mask_;
  while (const uint64_t entry = table_[slot]) {
    if ((entry & ~uint64_t{0xffffffffu}) == fingerprint) {
      const uint32_t node = static_cast<uint32_t>(entry);
      if (left(node) == a && right(node) == b) return 2 * node;
    }
    slot = (slot + 1) & mask_;
  }
  check_room();
  const uint32_t node = nodes();
  fanins_.push_back(a);
  fanins_.push_back(b);
  table_[slot] = fingerprint | node;
  if (2 * size_t{++and_nodes_} > table_.size()) grow();
  return 2 * node;
}

void Aig::reserve(size_t and_nodes) {
  const size_t wanted = and_nodes_ + std::min<size_t>(and_nodes, kMaxNodes);
  fanins_.reserve(fanins_.size() + 2 * (wanted - and_nodes_));
  size_t slots = table_.size();
  while (slots < 2 * wanted) slots *= 2;
  if (slots > table_.size()) rehash(slots);
}

// Doubles the table; no allocation per node.
void Aig::grow() { rehash(2 * table_.size()); }

// A table of `slots` slots (a power of two) holding every AND node again.
void Aig::rehash(size_t slots) {
  table_.assign(slots, 0);
  mask_ = table_.size() - 1;
  assert((table_.size() & mask_) == 0 && 2 * size_t{and_nodes_} <= table_.size());
  for (uint32_t node = 1; node < nodes(); ++node) {
    if (!is_and(node)) continue;
    const uint64_t key = hash(left(node), right(node));
    size_t slot = static_cast<size_t>(key) & mask_;
    while (table_[slot]) slot = (slot + 1) & mask_;
    table_[slot] = (key & ~uint64_t{0xffffffffu}) | node;
  }
}

uint32_t Aig::make_ite(uint32_t c, uint32_t t, uint32_t e) {
  if (t == e) return t;
  const uint32_t when_true = make_and(c, t);
  const uint32_t when_false = make_and(c ^ 1u, e);
  return make_and(when_true ^ 1u, when_false ^ 1u) ^ 1u;
}

uint32_t Aig::make_conjunction(std::vector<uint32_t>& literals) {
  // Sorted, a constant false or a complementary pair (adjacent once sorted)
  // is seen at once.
  std::sort(literals.begin(), literals.end());
  literals.erase(std::unique(literals.begin(), literals.end()), literals.end());
  if (!literals.empty() && literals[0] == kFalseLiteral) return kFalseLiteral;
  for (size_t i = 1; i < literals.size(); ++i)
    if (literals[i] == (literals[i - 1] ^ 1u)) return kFalseLiteral;
  if (!literals.empty() && literals[0] == kTrueLiteral) literals.erase(literals.begin());
  size_t level = literals.size();
  while (level > 1) {
    size_t next = 0;
    for (size_t i = 0; i + 1 < level; i += 2) literals[next++] = make_and(literals[i], literals[i + 1]);
    if (level & 1u) literals[next++] = literals[level - 1];
    level = next;
  }
  return level ? literals[0] : kTrueLiteral;
}

bool Aig::consistent() const {
  if (fanins_.size() < 2 || fanins_.size() % 2 != 0 || fanins_[0] != 0 || fanins_[1] != 0)
    return false;
  uint32_t ands = 0;
  for (uint32_t node = 1; node < nodes(); ++node) {
    if (is_input(node)) continue;
    ++ands;
    const uint32_t a = left(node), b = right(node);
    if (b <= kTrueLiteral || a <= b || a == (b ^ 1u) || (a >> 1) >= node) return false;
    // Found by its own probe sequence, which ends at no empty slot before it.
    const uint64_t key = hash(a, b);
    size_t slot = static_cast<size_t>(key) & mask_;
    while (table_[slot] && static_cast<uint32_t>(table_[slot]) != node) {
      const uint32_t other = static_cast<uint32_t>(table_[slot]);
      if (other < nodes() && left(other) == a && right(other) == b) return false;
      slot = (slot + 1) & mask_;
    }
    if (table_[slot] != ((key & ~uint64_t{0xffffffffu}) | node)) return false;
  }
  if (ands != and_nodes_) return false;
  // Every occupied slot names a distinct AND node: with the count above, the
  // table holds each exactly once, so no two nodes share operands.
  uint32_t occupied = 0;
  for (const uint64_t entry : table_) {
    if (!entry) continue;
    ++occupied;
    const uint32_t node = static_cast<uint32_t>(entry);
    if (node == 0 || node >= nodes() || !is_and(node)) return false;
  }
  return occupied == ands;
}

void translate_gate(const Network& network, const Gate& gate, std::vector<uint32_t>& literal_of,
                    Aig& aig, std::vector<uint32_t>& conjuncts) {
  assert(gate.variable < literal_of.size());
  assert((gate.kind != Gate::ITE || gate.count == 3) && (gate.kind != Gate::COPY || gate.count == 1));
  const Literal* operands = network.operands_of(gate);
  auto literal = [&](uint32_t i) {
    assert(operands[i].variable() < literal_of.size());
    return literal_of[operands[i].variable()] ^ (operands[i].code & 1u);
  };
  uint32_t result;
  if (gate.kind == Gate::COPY) {
    result = literal(0);
  } else if (gate.kind == Gate::ITE) {
    result = aig.make_ite(literal(0), literal(1), literal(2));
  } else {
    conjuncts.clear();
    for (uint32_t i = 0; i < gate.count; ++i) conjuncts.push_back(literal(i));
    result = aig.make_conjunction(conjuncts);
  }
  literal_of[gate.variable] = result;
}

void translate_network(const Network& network, std::vector<uint32_t>& literal_of, Aig& aig) {
  std::vector<uint32_t> conjuncts;
  for (const Gate& gate : network.gates) translate_gate(network, gate, literal_of, aig, conjuncts);
}

ModelGraph build_model_graph(const Network& network, uint32_t variables) {
  assert(variables >= network.variables);
  assert_network(network);
  ModelGraph graph;
  std::vector<uint8_t> defined(variables, 0);  // variable -> some gate defines it
  for (const Gate& gate : network.gates) defined[gate.variable] = 1;
  graph.literal_of.assign(variables, Aig::kFalseLiteral);
  for (uint32_t variable = 1; variable < variables; ++variable)
    if (!defined[variable]) graph.literal_of[variable] = graph.aig.add_input(variable);
  defined = std::vector<uint8_t>();
  translate_network(network, graph.literal_of, graph.aig);
  assert(graph.aig.consistent());
  return graph;
}
