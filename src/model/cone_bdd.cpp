// The diagrams of a cone, built gate by gate in node order (which is
// topological); a gate's diagram is released once its last reader in the
// cone is built, so what stays alive is the frontier, not the whole cone.

#include "model/cone_bdd.hpp"

#include <bdd.h>

#include <algorithm>
#include <cassert>
#include <vector>

namespace {

// BuDDy reports failures (a full node table, memory it cannot get) through
// a callback without a context argument, then goes on with meaningless
// results; the callback raises this flag and every result after it is
// discarded. Only one diagram store exists per process, and calls do not
// overlap, so one flag serves.
bool bdd_failed = false;

void on_bdd_error(int) { bdd_failed = true; }

// Table size the store starts with, per gate of the cone, at least and at
// most (it grows up to the caller's limit; setting up a table costs time
// in its size), and the cache size relative to it.
constexpr uint32_t kNodesPerGate = 16;
constexpr uint32_t kMinInitialNodes = uint32_t{1} << 12;
constexpr uint32_t kMaxInitialNodes = uint32_t{1} << 22;
constexpr int kCacheRatio = 4;

// Sets up BuDDy's store for one call and tears it down on every way out.
// Diagrams (bdd objects) must be gone before it is.
class BddSession {
 public:
  BddSession(uint32_t inputs, uint64_t gates, uint32_t node_limit) {
    bdd_failed = false;
    // The table must start below the bound (BuDDy refuses a bound it has
    // reached already), and neither it nor the cache tiny (BuDDy divides
    // by zero on the smallest sizes).
    if (node_limit < 2 * kMinInitialNodes) {
      bdd_failed = true;
      return;
    }
    const uint32_t initial = static_cast<uint32_t>(std::min<uint64_t>(
        std::min(kMaxInitialNodes, node_limit / 2),
        std::max<uint64_t>(kMinInitialNodes, gates * kNodesPerGate)));
    // BuDDy's own handler ends the process; ours is set before the store
    // exists (a failing set-up reports too) and again after (setting up may
    // install the default).
    bdd_error_hook(on_bdd_error);
    if (bdd_init(static_cast<int>(initial), static_cast<int>(initial / kCacheRatio)) < 0) {
      bdd_failed = true;
      return;
    }
    running_ = true;
    bdd_error_hook(on_bdd_error);
    bdd_gbc_hook(nullptr);  // BuDDy prints every garbage collection by default
    bdd_resize_hook(nullptr);
    bdd_setcacheratio(kCacheRatio);
    bdd_setmaxincrease(static_cast<int>(initial));  // grows by the initial size, not 50,000
    bdd_setmaxnodenum(static_cast<int>(node_limit));
    if (bdd_setvarnum(static_cast<int>(std::max<uint32_t>(inputs, 1))) < 0) bdd_failed = true;
  }
  ~BddSession() {
    if (running_) bdd_done();
    bdd_failed = false;
  }
  BddSession(const BddSession&) = delete;
  BddSession& operator=(const BddSession&) = delete;

 private:
  bool running_ = false;
};

}  // namespace

BddAnswer bdd_falsifiable(const Aig& aig, const uint32_t* literals, uint32_t count,
                          uint32_t node_limit, std::vector<uint32_t>* falsifying) {
  if (falsifying) falsifying->clear();
  // BuDDy counts nodes in an int.
  node_limit = std::min<uint32_t>(node_limit, 0x7fffffffu);
  // The cone: every node reached from the clause, with its readers in the
  // cone counted (a clause literal counts as one reader).
  const uint32_t nodes = aig.nodes();
  std::vector<uint32_t> readers(nodes, 0);
  std::vector<uint32_t> cone;
  std::vector<uint32_t> stack;
  for (uint32_t k = 0; k < count; ++k) {
    assert(literals[k] > Aig::kTrueLiteral);
    stack.push_back(literals[k] >> 1);
  }
  while (!stack.empty()) {
    const uint32_t node = stack.back();
    stack.pop_back();
    if (readers[node]++ > 0) continue;
    cone.push_back(node);
    if (!aig.is_and(node)) continue;
    stack.push_back(aig.left(node) >> 1);
    stack.push_back(aig.right(node) >> 1);
  }
  std::sort(cone.begin(), cone.end());
  // Diagram variable of each input in the cone: inputs in node order.
  std::vector<uint32_t> level(nodes, 0);
  std::vector<uint32_t> input_nodes;  // diagram variable -> input node
  for (const uint32_t node : cone) {
    if (!aig.is_input(node)) continue;
    level[node] = static_cast<uint32_t>(input_nodes.size());
    input_nodes.push_back(node);
  }
  const uint32_t inputs = static_cast<uint32_t>(input_nodes.size());

  BddSession session(inputs, cone.size() - inputs, node_limit);
  if (bdd_failed) return BddAnswer::kGaveUp;
  BddAnswer answer = BddAnswer::kGaveUp;
  {
    std::vector<bdd> diagram(nodes);  // node -> its function while a reader still needs it
    auto operand = [&](uint32_t literal) {
      const uint32_t node = literal >> 1;
      const bdd function = (literal & 1u) ? !diagram[node] : diagram[node];
      if (--readers[node] == 0) diagram[node] = bddfalse;
      return function;
    };
    for (const uint32_t node : cone) {
      if (aig.is_input(node)) {
        diagram[node] = bdd_ithvar(static_cast<int>(level[node]));
      } else {
        const bdd left = operand(aig.left(node));
        const bdd right = operand(aig.right(node));
        diagram[node] = left & right;
      }
      if (bdd_failed) break;
    }
    if (!bdd_failed) {
      bdd falsified = bddtrue;  // every literal of the clause false
      for (uint32_t k = 0; k < count && !bdd_failed; ++k)
        falsified &= !operand(literals[k]);
      if (!bdd_failed)
        answer = falsified == bddfalse ? BddAnswer::kNever : BddAnswer::kFalsifiable;
      if (answer == BddAnswer::kFalsifiable && falsifying) {
        // BuDDy's satone takes the low (false) branch wherever it leads to
        // an assignment, so its cube, with the inputs it leaves out false,
        // is the least falsifying assignment in variable order.
        std::vector<uint8_t> value(inputs, 0);
        for (bdd cube = bdd_satone(falsified); !bdd_failed && cube != bddtrue;) {
          assert(cube != bddfalse);
          const bool high = bdd_low(cube) == bddfalse;
          value[static_cast<uint32_t>(bdd_var(cube))] = high;
          cube = high ? bdd_high(cube) : bdd_low(cube);
        }
        for (uint32_t k = 0; k < inputs && !bdd_failed; ++k)
          falsifying->push_back(2 * input_nodes[k] + (value[k] ? 0u : 1u));
        if (bdd_failed) falsifying->clear();
      }
    }
  }
  return answer;
}
