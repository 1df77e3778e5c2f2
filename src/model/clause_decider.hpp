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

#include <chrono>
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
class ConeDiagrams;

class ClauseDecider {
 public:
  using Clock = std::chrono::steady_clock;  // times the statistics report, nothing else

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
    uint32_t diagrams_first = 0;        // of diagram_clauses and diagram_counterexamples,
                                        // those decided before MiniSat's search, their
                                        // cones (nearly) in the diagrams kept
    uint64_t diagram_gates = 0;         // AND diagrams built by the shared store
    double solver_seconds = 0;          // in MiniSat's searches (confirmations included)
    double diagram_seconds = 0;         // in the decision diagrams
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
  // without a bound. The diagrams keep what later clauses may read (one
  // store for the run, within the same node bound), and a clause whose cone
  // lacks at most a few thousand diagrams beside those goes to them before
  // MiniSat. Only counts end a phase, never time, so a run's result does
  // not depend on the machine's speed.
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

  // `graph` must outlive the test; `clauses` is read here only. The clauses
  // tested are positions 0 to input_clauses - 1 of `clauses`;
  // graph.literal_of covers every variable they name.
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

  // A program with the storage its compilation and evaluation work in; each
  // phase owns one and reuses it from cone to cone.
  struct Evaluation {
    Program program;               // the cone and clauses compiled last
    std::vector<uint32_t> slot;    // node -> its slot in `program`; sized on first use
    std::vector<uint64_t> values;  // slot × words + word -> 64 assignments' values
  };

  // The input clauses in graph literals: sorted, duplicates and false
  // literals dropped; a clause with a true literal or a complementary pair
  // always holds and keeps no literal.
  struct GraphClauses {
    std::vector<uint32_t> begin;     // position -> first of its literals; input_clauses + 1
    std::vector<uint32_t> literals;  // the clauses' graph literals, clause after clause
    std::vector<uint8_t> holds;      // position -> the clause always holds

    const uint32_t* literals_of(uint32_t position) const {
      return literals.data() + begin[position];
    }
    uint32_t size_of(uint32_t position) const { return begin[position + 1] - begin[position]; }
  };

  // Visit marks of the traversals, shared so that a graph of millions of
  // nodes pays for one array: a node is met by the current traversal when
  // its stamp equals `epoch`. Starting a traversal takes the next epoch;
  // the array is cleared only when the epochs wrap around.
  struct NodeStamps {
    std::vector<uint32_t> stamp;  // node -> epoch of its last visit
    uint32_t epoch = 0;           // the current traversal's epoch
    uint32_t next();
  };

  // The cone of one clause (and of the clauses that join it) as the walks
  // collect it, or the joint cone of a prefix of the clauses. Each step
  // owns its own; the decision by cones reuses one from clause to clause.
  struct Cone {
    std::vector<uint32_t> gates;    // AND nodes; ascending (topological) once complete
    std::vector<uint32_t> free;     // input nodes; ascending once complete
    uint64_t words = 0;             // code words of one pass: gates, clauses, free slots
    std::vector<uint32_t> members;  // positions of the clauses it decides, ascending
    std::vector<uint32_t> stack;    // the walk's nodes still to visit
  };

  struct ConeSolver;  // the incremental solver of step 3 and its encoding (in the .cpp)

  void initialise(const ClauseStore& clauses);
  void compile(const Cone& cone, Evaluation& evaluation) const;
  void compile_clauses(const uint32_t* positions, uint32_t count, Evaluation& evaluation) const;
  void relevant_program(uint32_t end, Cone& cone, Evaluation& evaluation);
  void push_clause_nodes(uint32_t position, uint32_t epoch, std::vector<uint32_t>& stack);
  bool collect_cone(uint32_t position, uint32_t free_limit, uint64_t budget, Cone& cone,
                    uint64_t& work);
  bool walk(uint32_t epoch, uint32_t free_limit, uint64_t budget, Cone& cone, uint64_t& size);
  void gather_sharing(uint32_t position, uint32_t end, const std::vector<uint8_t>& decided,
                      uint64_t budget, Cone& cone, uint64_t& work);
  uint64_t support_of(uint32_t position, const std::vector<uint64_t>& support) const;
  uint32_t decide_by_cones(uint32_t bound, const std::vector<uint64_t>& support, bool& canonical);
  static void evaluate(Evaluation& evaluation, uint32_t words);
  static uint32_t first_falsified_lane(const Evaluation& evaluation, uint32_t limit,
                                       uint32_t words, uint64_t& lane);
  uint32_t simulate(Evaluation& evaluation, uint32_t bound);
  uint32_t enumerate(Evaluation& evaluation, uint32_t limit);
  void report_until(uint32_t end);
  static uint64_t program_cost(const Program& program);
  static uint32_t chunk_words(const Program& program);
  bool solve_clause(uint32_t position, uint32_t end, const std::vector<uint8_t>& decided);
  void start_diagrams(uint32_t position, uint32_t end, const std::vector<uint8_t>& decided);
  int decide_by_diagrams(uint32_t position);
  void release_diagrams(uint32_t end);
  int solve_within(uint32_t position, uint64_t conflicts, uint64_t propagations,
                   const std::vector<uint32_t>& fixed = {});
  void compute_values();

  std::unique_ptr<ModelGraph> owned_graph_;  // the graph when built here from a network
  const ModelGraph* graph_ = nullptr;  // the graph, read only (owned_graph_ or the caller's)
  const Aig* aig_ = nullptr;           // graph_->aig
  const uint32_t input_clauses_;       // clauses tested: positions below this
  const Limits limits_;                // enumeration and solver bounds
  GraphClauses clauses_;               // the tested clauses over the graph, fixed by initialise
  Observer observer_;                  // told of each clause's test; may be empty
  uint32_t reported_ = 0;              // clauses the observer was told of in this run:
                                       // positions below this
  NodeStamps stamps_;                  // visit marks of every traversal
  std::vector<uint8_t> witness_;       // node -> value in the counterexample; empty if none
  std::unique_ptr<ConeSolver> solver_;  // created when the first clause needs it
  std::unique_ptr<ConeDiagrams> diagrams_;  // decide_by_cones' diagram store, made when
                                            // the first clause needs it
  std::vector<uint8_t> diagram_readers_;  // position -> its literals count in diagrams_
  uint32_t released_ = 0;                 // diagram_readers_ below this are released
  Statistics statistics_;               // effort counters
};

#endif
