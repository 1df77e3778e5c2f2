// The model test: which input clause, if any, can some assignment of the
// free variables falsify? The network is acyclic, so every assignment of its
// free variables fixes every other variable, and a clause can be falsified
// exactly when some assignment of the free variables in its cone of
// influence makes all its literals false. The test therefore evaluates the
// circuit, 64 assignments per machine word, and falls back to MiniSat for
// clauses whose cones are too large to enumerate, and for every clause once
// the enumeration work of the run has reached its bound.
#ifndef ZEL_MODEL_MODEL_TEST_HPP
#define ZEL_MODEL_MODEL_TEST_HPP

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "model/network.hpp"
#include "store/clause_store.hpp"

namespace Minisat {
class Solver;
}

class ModelTest {
 public:
  // How the test spent its effort; for measurements and the unit tests.
  struct Statistics {
    uint32_t simulation_rounds = 0;     // rounds of random simulation run
    bool whole_network = false;         // all free variables enumerated at once
    uint32_t enumerated_clauses = 0;    // clauses decided by enumerating their cone (alone
                                        // or with an earlier clause whose cone holds theirs)
    uint32_t enumerations = 0;          // cone enumerations run for them
    uint32_t solved_clauses = 0;        // clauses decided by MiniSat
    uint32_t encoded_gates = 0;         // gates whose defining clauses reached MiniSat
  };

  // Bounds of the enumeration work, counted in code words read (about a
  // billion a second): a cone above `cone_budget` goes to MiniSat, and once
  // the work of the run (the whole network at once, or every cone walked
  // and enumerated) would pass `run_budget`, so does every clause left.
  struct Limits {
    uint64_t cone_budget = uint64_t{1} << 28;  // about a quarter second
    uint64_t run_budget = uint64_t{1} << 32;   // a few seconds
  };

  // Told, in order, that the tests of clauses `first` to `end` - 1
  // (0-based positions) start: those before end - 1 are decided, end - 1 is
  // being decided. Clauses decided together (by the simulation or the
  // whole-network enumeration) are told once they are decided. Every clause
  // up to the result of first_falsifiable is told exactly once, no other.
  using Observer = std::function<void(uint32_t first, uint32_t end)>;

  // Both arguments must outlive the test. The clauses tested are positions
  // 0 to input_clauses - 1 of `clauses`; their variables may lie beyond
  // network.variables (then they are free).
  ModelTest(const Network& network, const ClauseStore& clauses, uint32_t input_clauses,
            Limits limits);
  ModelTest(const Network& network, const ClauseStore& clauses, uint32_t input_clauses);
  ~ModelTest();
  ModelTest(const ModelTest&) = delete;
  ModelTest& operator=(const ModelTest&) = delete;

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
  // A compiled piece of the network over compact slots: slots 0 to
  // free_variables.size() - 1 hold the free variables in ascending order,
  // the following slots the gates in topological order. `code` holds per
  // gate its kind, its operand count, then each operand as slot × 2 + sign.
  // Clauses are compiled the same way (literal count, then literal codes).
  struct Program {
    std::vector<uint32_t> free_variables;  // free slot -> variable, ascending
    uint32_t gates = 0;                    // gate slots following the free ones
    std::vector<uint32_t> code;            // gates: kind, count, operand slot codes
    std::vector<uint32_t> clause_code;     // clauses: count, literal slot codes
    std::vector<uint32_t> positions;       // clause position of each compiled clause
    uint32_t slots() const { return static_cast<uint32_t>(free_variables.size()) + gates; }
  };

  void compile(const std::vector<uint32_t>& gate_indices, Program& program);
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
  void compute_values();
  uint32_t chunk_words(const Program& program) const;
  uint32_t stamp_next();

  const Network& network_;        // the gates, read only
  std::vector<ClauseView> clauses_;  // the input clauses, read from the store
  PodVector<Literal> widened_;       // the narrow ones among them, widened
  uint32_t input_clauses_ = 0;    // clauses tested: positions below this
  const Limits limits_;           // enumeration bounds
  uint64_t budget_left_ = 0;      // enumeration work the run may still spend
  Observer observer_;             // told of each clause's test; may be empty
  uint32_t reported_ = 0;         // clauses the observer was told of: positions below this
  uint32_t variables_ = 0;        // per-variable arrays have this size
  std::vector<uint32_t> gate_of_;  // variable -> index of its gate; NO_GATE if free
  std::vector<uint32_t> stamp_;    // variable -> epoch of its last visit by a traversal
  uint32_t epoch_ = 0;             // current traversal's stamp
  std::vector<uint32_t> slot_;     // variable -> slot in the program being compiled
  std::vector<uint64_t> support_;  // variable -> free variables (bits) it depends on; empty
                                   // when the network has more than 64 relevant free variables
  std::vector<uint64_t> values_;   // slot × words + word -> 64 assignments' values
  std::vector<uint32_t> stack_;    // traversal stack, reused
  std::vector<uint32_t> cone_gates_;  // gate indices of the last cone collected
  std::vector<uint32_t> cone_free_;   // free variables of the last cone collected
  uint64_t cone_words_ = 0;           // code words of the last cone collected, with its clause
  std::vector<uint32_t> members_;     // positions of the clauses enumerated together, ascending
  Program program_;                   // the program of the current phase, reused
  std::vector<uint8_t> witness_;      // variable -> value in the counterexample; empty if none
  bool have_witness_ = false;         // witness_ holds the free variables of a falsifying assignment
  std::unique_ptr<Minisat::Solver> solver_;  // created when the first clause needs it
  std::vector<int> solver_variable_;         // variable -> solver variable; -1 none yet
  std::vector<uint8_t> encoded_;             // variable -> its gate's clauses are in the solver
  Statistics statistics_;                    // effort counters
};

#endif
