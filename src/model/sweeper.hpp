// SAT sweeping for the model test's solver queries. Solvers' Skolem
// functions hold many nodes that compute the same function (or a constant)
// in structurally different ways, which hashing cannot see; a clause query
// over such a cone can keep MiniSat busy for minutes. The sweeper copies
// the graph, cone by cone, into a reduced graph of its own: random
// simulation proposes a node equal (or complementary) to an earlier one or
// to a constant, an incremental MiniSat with a small conflict budget proves
// it, and a proven node is replaced by its equal. The clause queries then
// run in the same solver over the reduced graph, learnt clauses kept.
#ifndef ZEL_MODEL_SWEEPER_HPP
#define ZEL_MODEL_SWEEPER_HPP

#include <cstdint>
#include <memory>
#include <vector>

#include "model/aig.hpp"

namespace Minisat {
class Solver;
struct Lit;
}

class Sweeper {
 public:
  struct Statistics {
    uint64_t swept_nodes = 0;   // AND nodes of the graph given their reduced literal
    uint64_t merged_nodes = 0;  // of those, proven equal to an earlier node or a constant
    uint64_t proofs = 0;        // equivalence queries put to the solver
    uint64_t disproved = 0;     // of those, refuted by an assignment
    uint64_t undecided = 0;     // of those, given up at the conflict budget
  };

  // `graph` must outlive the sweeper.
  explicit Sweeper(const Aig& graph);
  ~Sweeper();
  Sweeper(const Sweeper&) = delete;
  Sweeper& operator=(const Sweeper&) = delete;

  // True when some assignment of the graph's inputs makes every literal of
  // `literals` (literals of the graph) false; its input values are then
  // kept for input_value. Sweeps the literals' cones first.
  bool falsifiable(const uint32_t* literals, uint32_t count);
  // After falsifiable returned true: the value of an input node of the
  // graph in that assignment (false for inputs outside the cones swept).
  bool input_value(uint32_t node) const;

  const Statistics& statistics() const { return statistics_; }

 private:
  uint32_t sweep(uint32_t literal);
  uint32_t reduce(uint32_t node);
  void simulate(uint32_t node);
  uint64_t signature_hash(uint32_t node) const;
  bool same_class(uint32_t a, uint32_t b) const;
  uint32_t representative(uint32_t node);
  Minisat::Lit encode(uint32_t literal);
  void keep_counterexample();
  void refine();
  bool proven_equal(uint32_t a, uint32_t b);
  bool worth_proving() const;

  const Aig& graph_;                   // the graph queried, read only
  Aig reduced_;                        // the reduced copy
  std::vector<uint32_t> reduced_of_;   // graph node -> reduced literal; NONE if not swept yet
  std::vector<uint64_t> signature_;    // reduced node × WORDS -> its values under the patterns
  std::vector<uint64_t> class_table_;  // per slot: signature hash high half << 32 | reduced
                                       // node + 1, 0 empty; open addressing, at most half full
  size_t class_entries_ = 0;           // occupied slots of class_table_
  std::vector<int> solver_variable_;   // reduced node -> solver variable; -1 none yet
  std::unique_ptr<Minisat::Solver> solver_;  // proves equivalences, answers the queries
  std::vector<uint32_t> stack_;        // traversal stack, reused
  std::vector<uint32_t> order_;        // graph nodes to sweep, reused
  std::vector<uint32_t> encoded_;      // reduced AND nodes given a solver variable, reused
  std::vector<uint8_t> input_values_;  // reduced node -> value in the last falsifying assignment
  uint64_t random_state_ = 0x5EEDull;  // the patterns' generator
  std::vector<uint64_t> counterexamples_;  // reduced input node -> its values in the refuting
                                           // assignments kept since the last refinement (bits)
  uint32_t kept_ = 0;                  // refuting assignments kept: bits used in counterexamples_
  uint32_t next_word_ = 0;             // signature word the next refinement replaces
  std::vector<uint8_t> merged_;        // reduced node -> replaced by an equal one (out of the classes)
  Statistics statistics_;              // effort counters
};

#endif
