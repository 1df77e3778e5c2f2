// SAT sweeping: the reduced graph is built node by node in topological
// order. Each new node's values under a fixed set of random input patterns
// (its signature) are computed from its operands'; nodes with equal
// signatures up to complement fall into one class, whose first node is its
// representative (the constant node represents the all-false class). A new
// node whose class exists is proven equal to the representative (two
// solver calls under assumptions, each with a small conflict budget) and,
// when proven, replaced by it; the equivalence also goes into the solver as
// two binary clauses. A refuted or undecided candidate stays a node of its
// own. Merging only what the solver proved keeps every reduced literal the
// same function as the graph literal it stands for.

#include "model/sweeper.hpp"

#include <minisat/core/Solver.h>

#include <algorithm>
#include <cassert>

#include "core/hash.hpp"

using Minisat::lbool;  // l_True expands to it

namespace {

constexpr uint32_t NONE = ~0u;
// Words of random patterns per node: 1024 assignments.
constexpr uint32_t WORDS = 16;
// Conflicts a proof of one equivalence may take before it is given up.
constexpr int PROOF_CONFLICTS = 200;
// Proofs tried before their success rate is judged, and the rate below
// which no more are tried: one in MIN_SUCCESS proven.
constexpr uint64_t PROOF_TRIAL = 1000;
constexpr uint64_t MIN_SUCCESS = 10;

// The three clauses of x = a AND b (Tseitin's encoding; every clause the
// model test gives MiniSat comes from here or is an equivalence proven).
void add_and_clauses(Minisat::Solver& solver, Minisat::Lit x, Minisat::Lit a, Minisat::Lit b) {
  solver.addClause(~x, a);
  solver.addClause(~x, b);
  solver.addClause(x, ~a, ~b);
}

}  // namespace

Sweeper::Sweeper(const Aig& graph)
    : graph_(graph),
      reduced_of_(graph.nodes(), NONE),
      signature_(WORDS, 0),
      class_table_(1024, 0),
      solver_(new Minisat::Solver) {
  // Basic minimisation of learnt clauses, not MiniSat's recursive one: in
  // the deep implication chains of large graphs the recursive search
  // forgets its failures and revisits them, and took minutes per conflict
  // on a solver's certificate of 1.5 M nodes, where basic minimisation
  // decides most clauses in milliseconds.
  solver_->ccmin_mode = 1;
  reduced_of_[0] = Aig::FALSE_LITERAL;
  representative(0);  // the constant represents the all-false signatures
}

Sweeper::~Sweeper() = default;

// The normalised signature's hash: complemented when its first bit is set,
// so that a node and its complement share a class.
uint64_t Sweeper::signature_hash(uint32_t node) const {
  const uint64_t* words = signature_.data() + size_t{node} * WORDS;
  const uint64_t flip = uint64_t{0} - (words[0] & 1u);
  uint64_t key = 0;
  for (uint32_t w = 0; w < WORDS; ++w) key = mix(key ^ (words[w] ^ flip));
  return key;
}

bool Sweeper::same_class(uint32_t a, uint32_t b) const {
  const uint64_t* x = signature_.data() + size_t{a} * WORDS;
  const uint64_t* y = signature_.data() + size_t{b} * WORDS;
  const uint64_t flip = (uint64_t{0} - (x[0] & 1u)) ^ (uint64_t{0} - (y[0] & 1u));
  for (uint32_t w = 0; w < WORDS; ++w)
    if (x[w] != (y[w] ^ flip)) return false;
  return true;
}

// The representative of `node`'s class; `node` itself when it opens a new
// class (it is then entered).
uint32_t Sweeper::representative(uint32_t node) {
  const uint64_t key = signature_hash(node);
  size_t mask = class_table_.size() - 1;
  size_t slot = static_cast<size_t>(key) & mask;
  while (const uint64_t entry = class_table_[slot]) {
    const uint32_t other = static_cast<uint32_t>(entry) - 1;
    if ((entry >> 32) == (key >> 32) && same_class(node, other)) return other;
    slot = (slot + 1) & mask;
  }
  class_table_[slot] = (key & ~uint64_t{0xffffffffu}) | (node + 1u);
  if (2 * ++class_entries_ > class_table_.size()) {
    std::vector<uint64_t> old(2 * class_table_.size(), 0);
    old.swap(class_table_);
    mask = class_table_.size() - 1;
    for (const uint64_t entry : old) {
      if (!entry) continue;
      const uint32_t member = static_cast<uint32_t>(entry) - 1;
      size_t at = static_cast<size_t>(signature_hash(member)) & mask;
      while (class_table_[at]) at = (at + 1) & mask;
      class_table_[at] = entry;
    }
  }
  return node;
}

// Values of a new reduced node under the patterns: random words for an
// input, its operands' AND otherwise.
void Sweeper::simulate(uint32_t node) {
  signature_.resize(size_t{reduced_.nodes()} * WORDS);
  uint64_t* out = signature_.data() + size_t{node} * WORDS;
  if (reduced_.is_input(node)) {
    for (uint32_t w = 0; w < WORDS; ++w) out[w] = next_random(random_state_);
    return;
  }
  const uint32_t a = reduced_.left(node), b = reduced_.right(node);
  const uint64_t* x = signature_.data() + size_t{a >> 1} * WORDS;
  const uint64_t* y = signature_.data() + size_t{b >> 1} * WORDS;
  const uint64_t fa = uint64_t{0} - (a & 1u), fb = uint64_t{0} - (b & 1u);
  for (uint32_t w = 0; w < WORDS; ++w) out[w] = (x[w] ^ fa) & (y[w] ^ fb);
}

// The solver literal of a reduced literal; gives every node of its cone
// not yet in the solver a variable and each new AND node its clauses.
Minisat::Lit Sweeper::encode(uint32_t literal) {
  Minisat::Solver& solver = *solver_;
  if (solver_variable_.size() < reduced_.nodes()) solver_variable_.resize(reduced_.nodes(), -1);
  stack_.assign(1, literal >> 1);
  encoded_.clear();
  while (!stack_.empty()) {
    const uint32_t node = stack_.back();
    stack_.pop_back();
    if (solver_variable_[node] >= 0) continue;
    // Only inputs are decided: an assignment of them fixes every node by
    // propagation, so a satisfying assignment (a refuted equivalence, a
    // counterexample) costs a few decisions, not one per node.
    solver_variable_[node] = solver.newVar(l_Undef, reduced_.is_input(node));
    if (node == 0) solver.addClause(Minisat::mkLit(solver_variable_[0], true));
    if (!reduced_.is_and(node)) continue;
    encoded_.push_back(node);
    stack_.push_back(reduced_.left(node) >> 1);
    stack_.push_back(reduced_.right(node) >> 1);
  }
  auto to_solver = [&](uint32_t l) { return Minisat::mkLit(solver_variable_[l >> 1], l & 1u); };
  for (const uint32_t node : encoded_)
    add_and_clauses(solver, to_solver(2 * node), to_solver(reduced_.left(node)),
                    to_solver(reduced_.right(node)));
  return to_solver(literal);
}

// True when the solver proves reduced literals a and b equal within the
// budget; the equivalence is then added as two clauses.
bool Sweeper::proven_equal(uint32_t a, uint32_t b) {
  ++statistics_.proofs;
  const Minisat::Lit x = encode(a), y = encode(b);
  Minisat::Solver& solver = *solver_;
  for (int direction = 0; direction < 2; ++direction) {
    Minisat::vec<Minisat::Lit> assumptions;
    assumptions.push(direction == 0 ? x : ~x);
    assumptions.push(direction == 0 ? ~y : y);
    solver.setConfBudget(PROOF_CONFLICTS);
    const lbool result = solver.solveLimited(assumptions);
    solver.budgetOff();
    if (result == l_True) {
      ++statistics_.disproved;
      keep_counterexample();
      return false;
    }
    if (result != l_False) {
      ++statistics_.undecided;
      return false;
    }
  }
  solver.addClause(~x, y);
  solver.addClause(x, ~y);
  return true;
}

// Whether candidates are still put to the solver: after the first
// PROOF_TRIAL proofs, only while at least one in MIN_SUCCESS is proven. On
// graphs whose nodes differ only on rare assignments nearly every candidate
// is refuted, each refutation costing a propagation over the whole encoded
// graph; there the sweep becomes a plain copy.
bool Sweeper::worth_proving() const {
  return statistics_.proofs < PROOF_TRIAL ||
         statistics_.merged_nodes * MIN_SUCCESS >= statistics_.proofs;
}

// A refuted equivalence leaves an assignment that tells the two nodes
// apart: its input values are kept, 64 to a word, and every 64 refutations
// the signatures learn them (refine), so that nodes the patterns wrongly
// grouped are not put to the solver again and again.
void Sweeper::keep_counterexample() {
  counterexamples_.resize(reduced_.nodes(), 0);
  for (uint32_t node = 1; node < reduced_.nodes(); ++node)
    if (reduced_.is_input(node) && node < solver_variable_.size() && solver_variable_[node] >= 0 &&
        solver_->modelValue(solver_variable_[node]) == l_True)
      counterexamples_[node] |= uint64_t{1} << kept_;
  if (++kept_ == 64) refine();
}

// Replaces one signature word of every reduced node by its values under the
// kept assignments, then regroups the nodes not merged into classes (the
// earliest node of a class represents it).
void Sweeper::refine() {
  counterexamples_.resize(reduced_.nodes(), 0);
  const uint32_t w = next_word_;
  next_word_ = (next_word_ + 1) % WORDS;
  for (uint32_t node = 1; node < reduced_.nodes(); ++node) {
    uint64_t& out = signature_[size_t{node} * WORDS + w];
    if (reduced_.is_input(node)) {
      out = counterexamples_[node];
      continue;
    }
    const uint32_t a = reduced_.left(node), b = reduced_.right(node);
    out = (signature_[size_t{a >> 1} * WORDS + w] ^ (uint64_t{0} - (a & 1u))) &
          (signature_[size_t{b >> 1} * WORDS + w] ^ (uint64_t{0} - (b & 1u)));
  }
  std::fill(counterexamples_.begin(), counterexamples_.end(), 0);
  kept_ = 0;
  std::fill(class_table_.begin(), class_table_.end(), 0);
  class_entries_ = 0;
  merged_.resize(reduced_.nodes(), 0);
  for (uint32_t node = 0; node < reduced_.nodes(); ++node)
    if (!merged_[node]) representative(node);
}

// The reduced literal of graph node `node`, whose operands are reduced.
uint32_t Sweeper::reduce(uint32_t node) {
  if (graph_.is_input(node)) {
    const uint32_t literal = reduced_.add_input(node);
    simulate(literal >> 1);
    representative(literal >> 1);
    return literal;
  }
  const uint32_t a = graph_.left(node), b = graph_.right(node);
  const uint32_t nodes = reduced_.nodes();
  const uint32_t literal =
      reduced_.make_and(reduced_of_[a >> 1] ^ (a & 1u), reduced_of_[b >> 1] ^ (b & 1u));
  if (reduced_.nodes() == nodes) return literal;  // folded, or an existing node
  const uint32_t fresh = literal >> 1;
  simulate(fresh);
  const uint32_t equal = representative(fresh);
  if (equal == fresh || !worth_proving()) return literal;
  const uint32_t phase =
      (signature_[size_t{fresh} * WORDS] ^ signature_[size_t{equal} * WORDS]) & 1u;
  const uint32_t target = 2 * equal + phase;
  if (!proven_equal(literal, target)) return literal;
  ++statistics_.merged_nodes;
  merged_.resize(reduced_.nodes(), 0);
  merged_[fresh] = 1;
  return target;
}

uint32_t Sweeper::sweep(uint32_t literal) {
  const uint32_t root = literal >> 1;
  if (reduced_of_[root] == NONE) {
    // The cone's nodes not yet reduced, then reduced in ascending (so
    // topological) order.
    order_.clear();
    stack_.assign(1, root);
    reduced_of_[root] = NONE - 1;
    while (!stack_.empty()) {
      const uint32_t node = stack_.back();
      stack_.pop_back();
      order_.push_back(node);
      if (!graph_.is_and(node)) continue;
      for (const uint32_t operand : {graph_.left(node) >> 1, graph_.right(node) >> 1}) {
        if (reduced_of_[operand] != NONE) continue;
        reduced_of_[operand] = NONE - 1;  // queued
        stack_.push_back(operand);
      }
    }
    std::sort(order_.begin(), order_.end());
    for (const uint32_t node : order_) {
      reduced_of_[node] = reduce(node);
      if (graph_.is_and(node)) ++statistics_.swept_nodes;
    }
  }
  return reduced_of_[root] ^ (literal & 1u);
}

bool Sweeper::falsifiable(const uint32_t* literals, uint32_t count) {
  std::vector<uint32_t> reduced;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t literal = sweep(literals[i]);
    if (literal == Aig::TRUE_LITERAL) return false;
    if (literal != Aig::FALSE_LITERAL) reduced.push_back(literal);
  }
  Minisat::vec<Minisat::Lit> assumptions;
  for (const uint32_t literal : reduced) assumptions.push(~encode(literal));
  if (!solver_->solve(assumptions)) return false;
  input_values_.assign(reduced_.nodes(), 0);
  for (uint32_t node = 1; node < reduced_.nodes(); ++node)
    if (reduced_.is_input(node) && node < solver_variable_.size() && solver_variable_[node] >= 0)
      input_values_[node] = solver_->modelValue(solver_variable_[node]) == l_True;
  return true;
}

bool Sweeper::input_value(uint32_t node) const {
  if (node >= reduced_of_.size() || reduced_of_[node] >= NONE - 1) return false;
  const uint32_t literal = reduced_of_[node];
  return (literal >> 1) < input_values_.size() && input_values_[literal >> 1];
}
