// The diagrams of a cone, built gate by gate in node order (which is
// topological); a gate's diagram is released once its last reader in the
// cone is built, so what stays alive is the frontier, not the whole cone.
// ConeDiagrams counts the readers over the joint cone of a run of clauses
// instead, so that the frontier left by one clause serves the next.

#include "model/cone_bdd.hpp"

#include <bdd.h>

#include <algorithm>
#include <cassert>
#include <memory>
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

// The shared store. Invariants: has[node] exactly when diagram[node] holds
// the node's function (inputs: their variable); a kept AND node has
// readers[node] > 0; every AND node of the joint cone with a diagram had
// its operands' diagrams when it was built, and a node whose readers are
// all built or released has none. So a walk down from a clause's nodes
// stops at kept diagrams and never reaches a node whose diagram is gone.
struct ConeDiagrams::Store {
  Store(const Aig& graph, uint32_t limit) : aig(graph), node_limit(limit) {}
  ~Store() {
    diagram.clear();  // before the session ends
    session.reset();
  }

  // Marks a new walk (NodeStamps of clause_decider.cpp, in small).
  uint32_t next_epoch() {
    if (++epoch == 0) {
      std::fill(stamp.begin(), stamp.end(), 0);
      epoch = 1;
    }
    return epoch;
  }
  // Every kept diagram dropped, the session ended: bdd_falsifiable decides
  // from now on.
  void stop_sharing() {
    diagram.clear();
    has.clear();
    session.reset();
    shared = false;
  }
  // The AND nodes of the clause's cone without a diagram into `gates`
  // (walk order); false as soon as there are more than `limit`.
  bool collect_missing(const uint32_t* literals, uint32_t count, uint32_t limit);

  const Aig& aig;                         // the graph; not owned
  const uint32_t node_limit;              // BuDDy's node bound
  std::unique_ptr<BddSession> session;    // started by the first shared build
  std::vector<bdd> diagram;               // node -> function while has[node]
  std::vector<uint8_t> has;               // node -> diagram kept
  std::vector<uint32_t> readers;          // node -> readers not yet built or released
  std::vector<uint32_t> level;            // input node -> diagram variable (node order)
  uint32_t inputs = 0;                    // inputs of the joint cone: diagram variables
  std::vector<uint32_t> stamp;            // node -> epoch of the last walk that met it
  uint32_t epoch = 0;                     // the current walk's epoch
  std::vector<uint32_t> stack;            // a walk's nodes still to visit
  std::vector<uint32_t> gates;            // collect_missing's AND nodes
  std::vector<uint8_t> value;             // diagram variable -> falsifying value
  bool shared = true;                     // the store still serves all clauses
  uint64_t built = 0;                     // AND diagrams built by shared calls
};

bool ConeDiagrams::Store::collect_missing(const uint32_t* literals, uint32_t count,
                                          uint32_t limit) {
  const uint32_t mark = next_epoch();
  gates.clear();
  stack.clear();
  for (uint32_t k = 0; k < count; ++k) stack.push_back(literals[k] >> 1);
  while (!stack.empty()) {
    const uint32_t node = stack.back();
    stack.pop_back();
    if (stamp[node] == mark || (shared && has[node]) || !aig.is_and(node)) continue;
    stamp[node] = mark;
    gates.push_back(node);
    if (gates.size() > limit) return false;
    stack.push_back(aig.left(node) >> 1);
    stack.push_back(aig.right(node) >> 1);
  }
  return true;
}

ConeDiagrams::ConeDiagrams(const Aig& aig, const std::vector<uint32_t>& clause_literals,
                           uint32_t node_limit)
    : store_(new Store(aig, std::min<uint32_t>(node_limit, 0x7fffffffu))) {
  Store& s = *store_;
  const uint32_t nodes = aig.nodes();
  s.readers.assign(nodes, 0);
  s.stamp.assign(nodes, 0);
  s.has.assign(nodes, 0);
  // The joint cone, each AND node once, counted as a reader of its operands.
  const uint32_t mark = s.next_epoch();
  for (const uint32_t literal : clause_literals) {
    assert(literal > Aig::kTrueLiteral);
    ++s.readers[literal >> 1];
    if (s.stamp[literal >> 1] == mark) continue;
    s.stamp[literal >> 1] = mark;
    s.stack.push_back(literal >> 1);
  }
  while (!s.stack.empty()) {
    const uint32_t node = s.stack.back();
    s.stack.pop_back();
    if (!aig.is_and(node)) continue;
    for (const uint32_t operand : {aig.left(node) >> 1, aig.right(node) >> 1}) {
      ++s.readers[operand];
      if (s.stamp[operand] == mark) continue;
      s.stamp[operand] = mark;
      s.stack.push_back(operand);
    }
  }
  s.level.assign(nodes, 0);
  for (uint32_t node = 1; node < nodes; ++node)
    if (aig.is_input(node) && s.stamp[node] == mark) s.level[node] = s.inputs++;
}

ConeDiagrams::~ConeDiagrams() = default;

bool ConeDiagrams::sharing() const { return store_->shared; }

uint64_t ConeDiagrams::built_gates() const { return store_->built; }

uint32_t ConeDiagrams::missing_gates(const uint32_t* literals, uint32_t count, uint32_t limit) {
  Store& s = *store_;
  if (!s.collect_missing(literals, count, limit)) return limit + 1;
  return static_cast<uint32_t>(s.gates.size());
}

void ConeDiagrams::release(const uint32_t* literals, uint32_t count) {
  Store& s = *store_;
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t node = literals[k] >> 1;
    assert(s.readers[node] > 0 && "released twice, or not given to the constructor");
    if (--s.readers[node] == 0 && s.shared && s.has[node] &&
        s.aig.is_and(node)) {
      s.has[node] = 0;
      s.diagram[node] = bddfalse;
    }
  }
}

BddAnswer ConeDiagrams::falsifiable(const uint32_t* literals, uint32_t count,
                                    std::vector<uint32_t>* falsifying) {
  Store& s = *store_;
  if (falsifying) falsifying->clear();
  if (!s.shared)
    return bdd_falsifiable(s.aig, literals, count, s.node_limit, falsifying);
  s.collect_missing(literals, count, ~0u);
  if (!s.session) {
    s.session.reset(new BddSession(s.inputs, s.gates.size(), s.node_limit));
    s.diagram.resize(s.aig.nodes());
  }
  // Room for a clause that does not fit beside the kept diagrams may be
  // found without them.
  auto give_up_sharing = [&]() {
    s.stop_sharing();
    return bdd_falsifiable(s.aig, literals, count, s.node_limit, falsifying);
  };
  if (bdd_failed) return give_up_sharing();
  auto operand = [&](uint32_t literal) {
    const uint32_t node = literal >> 1;
    if (!s.has[node]) {
      assert(s.aig.is_input(node));
      s.diagram[node] = bdd_ithvar(static_cast<int>(s.level[node]));
      s.has[node] = 1;
    }
    return (literal & 1u) ? !s.diagram[node] : s.diagram[node];
  };
  auto read = [&](uint32_t node) {
    assert(s.readers[node] > 0);
    if (--s.readers[node] == 0 && s.aig.is_and(node)) {
      s.has[node] = 0;
      s.diagram[node] = bddfalse;
    }
  };
  std::sort(s.gates.begin(), s.gates.end());  // node order is topological
  for (const uint32_t node : s.gates) {
    assert(!s.has[node]);
    {
      const bdd left = operand(s.aig.left(node));
      const bdd right = operand(s.aig.right(node));
      s.diagram[node] = left & right;
    }
    if (bdd_failed) return give_up_sharing();
    s.has[node] = 1;
    ++s.built;
    read(s.aig.left(node) >> 1);
    read(s.aig.right(node) >> 1);
  }
  BddAnswer answer = BddAnswer::kGaveUp;
  {
    bdd falsified = bddtrue;  // every literal of the clause false
    for (uint32_t k = 0; k < count && !bdd_failed; ++k) falsified &= !operand(literals[k]);
    if (bdd_failed) return give_up_sharing();
    answer = falsified == bddfalse ? BddAnswer::kNever : BddAnswer::kFalsifiable;
    if (answer == BddAnswer::kFalsifiable && falsifying) {
      // As in bdd_falsifiable: satone's cube, the inputs it leaves out
      // false, is the least falsifying assignment in variable order, which
      // is node order.
      s.value.assign(s.inputs, 0);
      for (bdd cube = bdd_satone(falsified); !bdd_failed && cube != bddtrue;) {
        assert(cube != bddfalse);
        const bool high = bdd_low(cube) == bddfalse;
        s.value[static_cast<uint32_t>(bdd_var(cube))] = high;
        cube = high ? bdd_high(cube) : bdd_low(cube);
      }
      if (!bdd_failed) {
        // A literal per input of the cone, ascending.
        const uint32_t mark = s.next_epoch();
        for (uint32_t k = 0; k < count; ++k) s.stack.push_back(literals[k] >> 1);
        while (!s.stack.empty()) {
          const uint32_t node = s.stack.back();
          s.stack.pop_back();
          if (s.stamp[node] == mark) continue;
          s.stamp[node] = mark;
          if (s.aig.is_input(node)) {
            falsifying->push_back(2 * node + (s.value[s.level[node]] ? 0u : 1u));
          } else if (s.aig.is_and(node)) {
            s.stack.push_back(s.aig.left(node) >> 1);
            s.stack.push_back(s.aig.right(node) >> 1);
          }
        }
        std::sort(falsifying->begin(), falsifying->end());
      }
    }
  }
  // The store had no room for the assignment: bdd_falsifiable leaves it
  // empty then too, but may find the room without the kept diagrams.
  if (bdd_failed) return give_up_sharing();
  return answer;
}
