// The model test: which input clause, if any, can some assignment of the
// free variables falsify? The network is acyclic, so every assignment of its
// free variables fixes every other variable, and a clause can be falsified
// exactly when some assignment of the free variables in its cone of
// influence makes all its literals false. The test works on the network's
// structurally hashed and-inverter graph (aig.hpp), whose inputs are the
// free variables: it evaluates the graph, 64 assignments per machine word,
// and falls back to MiniSat for clauses whose cones are too large to
// enumerate, and for every clause once the enumeration work of the run has
// reached its bound.
#ifndef ZEL_MODEL_CLAUSE_DECIDER_HPP
#define ZEL_MODEL_CLAUSE_DECIDER_HPP

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "model/aig.hpp"
#include "model/network.hpp"
#include "store/clause_store.hpp"

namespace Minisat {
class Solver;
}

class ClauseDecider {
 public:
  // How the test spent its effort; for measurements and the unit tests.
  struct Statistics {
    uint32_t simulation_rounds = 0;     // rounds of random simulation run
    bool whole_network = false;         // all free variables enumerated at once
    uint32_t enumerated_clauses = 0;    // clauses decided by enumerating their cone (alone
                                        // or with an earlier clause whose cone holds theirs)
    uint32_t enumerations = 0;          // cone enumerations run for them
    uint32_t solved_clauses = 0;        // clauses decided by MiniSat
    uint32_t diagram_clauses = 0;       // clauses MiniSat left within its budget that
                                        // decision diagrams proved never false
    uint32_t diagram_counterexamples = 0;  // clauses MiniSat left within its budget that
                                           // decision diagrams showed falsifiable, with
                                           // MiniSat confirming their assignment
    uint32_t encoded_gates = 0;         // gates whose defining clauses reached MiniSat
  };

  // Bounds of the enumeration work, counted in code words read (about a
  // billion a second): a cone above `cone_budget` goes to MiniSat, and once
  // the work of the run (the whole network at once, or every cone walked
  // and enumerated) would pass `run_budget`, so does every clause left.
  // MiniSat first gets `conflict_budget` conflicts and `propagation_budget`
  // propagations for a clause; past either, decision diagrams of at most
  // `diagram_nodes` nodes decide the clause (cone_bdd.hpp): a clause they
  // prove never false is done, one they show falsifiable is given to
  // MiniSat with their falsifying assignment of its inputs assumed, so that
  // propagation alone confirms it; when they give up, MiniSat goes on
  // without a bound. Only counts end a phase, never time, so a run's result
  // does not depend on the machine's speed.
  struct Limits {
    uint64_t cone_budget = uint64_t{1} << 28;  // about a quarter second
    uint64_t run_budget = uint64_t{1} << 32;   // a few seconds
    uint64_t conflict_budget = 20000;          // most clauses need a handful
    // About a second on a cone of 180,000 gates: on the 2QBF solver model of
    // the benchmark, 5 M sends too many clauses to the diagrams, 50 M spends
    // long on clauses they decide sooner (104 s at 10 M, 108 s at 15 M,
    // 123 s at 50 M, 138 s at 5 M).
    uint64_t propagation_budget = 10000000;
    uint32_t diagram_nodes = uint32_t{1} << 23;  // 160 MB, and BuDDy's caches
  };

  // Told, in order, that the tests of clauses `first` to `end` - 1
  // (0-based positions) start: those before end - 1 are decided, end - 1 is
  // being decided. Clauses decided together (by the simulation or the
  // whole-network enumeration) are told once they are decided. Every clause
  // up to the result of first_falsifiable is told exactly once, no other.
  using Observer = std::function<void(uint32_t first, uint32_t end)>;

  // `graph` and `clauses` must outlive the test. The clauses tested are
  // positions 0 to input_clauses - 1 of `clauses`; graph.literal_of covers
  // every variable they name.
  ClauseDecider(const ModelGraph& graph, const ClauseStore& clauses, uint32_t input_clauses,
            Limits limits);
  // The same on the graph of `network` (build_model_graph), built here; the
  // clauses' variables may lie beyond network.variables (then they are free).
  ClauseDecider(const Network& network, const ClauseStore& clauses, uint32_t input_clauses,
            Limits limits);
  ClauseDecider(const Network& network, const ClauseStore& clauses, uint32_t input_clauses);
  ~ClauseDecider();
  ClauseDecider(const ClauseDecider&) = delete;
  ClauseDecider& operator=(const ClauseDecider&) = delete;

  // 0-based position of the first input clause that some assignment of the
  // free variables falsifies; input_clauses when every clause holds.
  uint32_t first_falsifiable();

  void set_observer(Observer observer) { observer_ = std::move(observer); }

  // After first_falsifiable found a counterexample: the value of a variable
  // under one assignment that falsifies that clause (free variables outside
  // the clause's cone are 0; defined variables take their computed value).
  bool value(uint32_t variable) const;

  const Statistics& statistics() const { return statistics_; }

 private:
  // A compiled piece of the graph over compact slots: slots 0 to
  // free_variables.size() - 1 hold its inputs in ascending node order (which
  // is variable order), the following slots its AND nodes in topological
  // order. `code` holds per AND node its two operands as slot × 2 + sign.
  // Clauses are compiled the same way (literal count, then literal codes); a
  // clause that always holds is the count kHolds alone.
  struct Program {
    std::vector<uint32_t> free_variables;  // free slot -> input node, ascending
    uint32_t gates = 0;                    // AND slots following the free ones
    std::vector<uint32_t> code;            // AND nodes: two operand slot codes each
    std::vector<uint32_t> clause_code;     // clauses: count, literal slot codes
    std::vector<uint32_t> positions;       // clause position of each compiled clause
    uint32_t slots() const { return static_cast<uint32_t>(free_variables.size()) + gates; }
  };

  void initialise();
  const uint32_t* literals_of(uint32_t position) const {
    return clause_literals_.data() + clause_begin_[position];
  }
  uint32_t size_of(uint32_t position) const {
    return clause_begin_[position + 1] - clause_begin_[position];
  }
  void compile(const std::vector<uint32_t>& gate_nodes, Program& program);
  void compile_clauses(const uint32_t* positions, uint32_t count, Program& program);
  void relevant_program(uint32_t end, Program& program);
  bool collect_cone(uint32_t position, uint32_t limit, uint64_t budget, uint64_t& work);
  bool walk(uint32_t epoch, uint32_t free_limit, uint64_t budget, uint64_t& size);
  void gather_sharing(uint32_t position, uint32_t end, const std::vector<uint8_t>& decided,
                      uint64_t budget, uint64_t& work);
  uint32_t decide_by_cones(uint32_t bound, bool& canonical);
  void evaluate(const Program& program, uint32_t words);
  uint32_t first_falsified_lane(const Program& program, uint32_t limit, uint32_t words,
                                uint64_t& lane);
  uint32_t simulate(Program& program, uint32_t bound);
  uint32_t enumerate(const Program& program, uint32_t limit);
  bool enumerate_cone(uint32_t position);
  void report_until(uint32_t end);
  uint64_t program_cost(const Program& program) const;
  bool solve_clause(uint32_t position);
  int solve_within(uint32_t position, uint64_t conflicts, uint64_t propagations,
                   const std::vector<uint32_t>& fixed = {});
  void compute_values();
  uint32_t chunk_words(const Program& program) const;
  uint32_t stamp_next();
  void push_clause_nodes(uint32_t position, uint32_t epoch);

  std::unique_ptr<ModelGraph> owned_graph_;  // the graph when built here from a network
  const ModelGraph* graph_ = nullptr;  // the graph, read only (owned_graph_ or the caller's)
  const Aig* aig_ = nullptr;           // graph_->aig
  const ClauseStore& clauses_;    // the clauses, read only
  uint32_t input_clauses_ = 0;    // clauses tested: positions below this
  const Limits limits_;           // enumeration bounds
  uint64_t budget_left_ = 0;      // enumeration work the run may still spend
  Observer observer_;             // told of each clause's test; may be empty
  uint32_t reported_ = 0;         // clauses the observer was told of: positions below this
  uint32_t nodes_ = 0;            // per-node arrays have this size
  std::vector<uint32_t> clause_begin_;     // position -> first of its literals; input_clauses + 1
  std::vector<uint32_t> clause_literals_;  // the clauses' graph literals, sorted, no constant
  std::vector<uint8_t> clause_holds_;      // position -> a literal is true or two are complementary
  std::vector<uint32_t> stamp_;    // node -> epoch of its last visit by a traversal
  uint32_t epoch_ = 0;             // current traversal's stamp
  std::vector<uint32_t> slot_;     // node -> slot in the program being compiled
  std::vector<uint64_t> support_;  // node -> inputs (bits) it depends on; empty when the
                                   // clauses' joint cone has more than 64 inputs
  std::vector<uint64_t> values_;   // slot × words + word -> 64 assignments' values
  std::vector<uint32_t> stack_;    // traversal stack, reused
  std::vector<uint32_t> cone_gates_;  // AND nodes of the last cone collected
  std::vector<uint32_t> cone_free_;   // input nodes of the last cone collected
  uint64_t cone_words_ = 0;           // code words of the last cone collected, with its clause
  std::vector<uint32_t> members_;     // positions of the clauses enumerated together, ascending
  Program program_;                   // the program of the current phase, reused
  std::vector<uint8_t> witness_;      // node -> value in the counterexample; empty if none
  bool have_witness_ = false;         // witness_ holds the inputs of a falsifying assignment
  std::unique_ptr<Minisat::Solver> solver_;  // created when the first clause needs it
  std::vector<int> solver_variable_;         // node -> solver variable; -1 none yet
  Statistics statistics_;                    // effort counters
};

#endif
