// The QRP checker: checks a Q-resolution trace as QBF solvers write it
// (read by QrpReader) against the QBF file, in one pass. Every step is
// checked, clause steps and cube steps alike, whichever the result line
// claims: a step without antecedents is an input clause (a clause of the
// QBF file) or an initial cube (it implies the matrix), or both when an
// input clause implies the matrix (the step using it tells); a step with
// antecedents resolves them in the listed order, each resolution followed
// by reduction, through the rules of formula/rules with Rule::CLAUSE or
// Rule::CUBE. `r UNSAT` stands when some step derived the empty clause,
// `r SAT` when some step derived the empty cube.
#ifndef ZEL_PROOF_QRP_CHECKER_HPP
#define ZEL_PROOF_QRP_CHECKER_HPP

#include <sys/time.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "formula/indexed_constraint.hpp"
#include "formula/working_clause.hpp"
#include "formula/qcnf.hpp"
#include "formula/strategy.hpp"
#include "proof/matrix_implication.hpp"
#include "read/qrp_reader.hpp"
#include "store/clause_map.hpp"
#include "store/packed_store.hpp"
#include "store/pod_vector.hpp"

// Work counts of a QRP run, for --stats.
struct QrpStatistics {
  uint64_t input_clauses = 0;  // steps repeating a clause of the QBF file
  uint64_t initial_cubes = 0;  // steps without antecedents that imply the matrix
  uint64_t cubes_solved = 0;   // initial cubes MiniSat had to decide
  uint64_t clause_steps = 0;   // steps resolving or reducing clauses
  uint64_t cube_steps = 0;     // steps resolving or reducing cubes
  uint64_t outside_proof = 0;  // steps the empty constraint of the verdict does not rest on
  uint64_t skipped = 0;        // steps read but not checked (nothing checked rests on them)
  uint64_t stored = 0;         // constraints held: the QBF file's and those derived
  uint64_t literals = 0;       // their literals
  bool proof_found = false;    // the result line's empty constraint was derived
  double proof_seconds = 0;    // reading and checking the steps

  uint64_t steps() const { return input_clauses + initial_cubes + clause_steps + cube_steps; }
};

class QrpChecker {
 public:
  struct Options {
    bool debug = false;  // --d: a line for the prefix and the result
    // Every step checked as it is read; otherwise the steps are read first
    // and only those the result line's empty constraint rests on are
    // checked (check_backward).
    bool forward = false;
    // The literals resolutions on the working clauses may pass over in a
    // run beyond 1024 for each number of the trace's steps.
    uint64_t work_base = uint64_t{1} << 32;
  };

  // Checks traces over `formula`, which holds the QBF file (and nothing
  // more) and outlives the checker.
  QrpChecker(QCNF& formula, Options options);
  ~QrpChecker();
  // holder_ points into the checker itself.
  QrpChecker(const QrpChecker&) = delete;
  QrpChecker& operator=(const QrpChecker&) = delete;

  // Reads the rest of the trace (the header was read) and checks every
  // entry; true when the step the result line needs was derived. Throws
  // Exception at the first fault.
  bool check(QrpReader& reader);

  // Where a fault is reported: the start of the block or step being
  // checked, or where the reader stands when it is checking none.
  std::string where(const QrpReader& reader) const;

  QrpStatistics statistics() const;

  // Called every few thousand steps with the number of steps so far.
  void set_progress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }

  // The entries, one at a time (used by check; open to tests). Blocks come
  // first; finish_prefix ends them.
  void check_block(const QrpEntry& block);
  void check_step(const QrpEntry& step) { check_step(step, kSearchInput); }
  bool conclude(bool satisfiable);

  // The core of a proved trace (check returned true): the steps the empty
  // constraint rests on, written to `out` with `header`'s numbers and the
  // trace's blocks. A clause proof whose steps zel's format can express
  // (resolutions of two clauses without long-distance pairs, and
  // reductions that fold into the resolution after them or into the
  // conclusion) is written in zel's format; otherwise, and always when
  // `binary`, as a QRP trace of those steps and the input clauses they use,
  // numbered densely. Returns the number of the trace's steps in the core.
  uint64_t write_core(std::ostream& out, const QrpHeader& header, bool binary);

  // The reductions of a proved trace's core (check returned true), replayed
  // in trace order (qrp_functions.cpp): clause steps for Herbrand functions
  // of a refutation, cube steps for Skolem functions of an `r SAT` proof,
  // after the strategy's rule. Throws Exception naming the first core step
  // that resolves with a long-distance pair.
  void extract_strategy(Strategy& strategy);
  // The rule of the proved trace's empty constraint: CUBE for `r SAT`.
  Rule proved_rule() const;

 private:
  static constexpr uint32_t kNoPosition = ~0u;  // no store position
  // Bits of kinds_: the constraint is a cube (else a clause); the step's
  // resolvent holds a
  // long-distance pair (a literal and its complement).
  static constexpr uint8_t kCube = 1, kLongDistance = 2;
  static Rule rule_of(uint8_t kind) { return (kind & kCube) ? Rule::CUBE : Rule::CLAUSE; }
  static uint8_t kind_of(Rule rule) { return rule == Rule::CUBE ? kCube : 0; }

  std::vector<uint8_t> core_positions(uint64_t& in_core) const;
  bool replays(uint32_t position, const std::vector<Literal>& literals);
  void read_constraint(uint32_t position, std::vector<Literal>& literals);
  bool write_zel_core(std::ostream& out, const std::vector<uint8_t>& used);
  void write_qrp_core(std::ostream& out, const QrpHeader& header, bool binary,
                      const std::vector<uint8_t>& used);

  // `input`: the input clause the step repeats, found when it was read
  // (kNoPosition: none), or kSearchInput to look for it here.
  static constexpr uint32_t kSearchInput = kNoPosition - 2;
  void check_step(const QrpEntry& step, uint32_t input);
  void check_input_or_initial(const QrpEntry& step, uint32_t input);
  unsigned collect_distinct(const std::vector<Literal>& literals);
  uint32_t match_input(const std::vector<Literal>& set);
  // Backward checking (qrp_backward.cpp).
  void read_step(const QrpEntry& step);
  bool check_backward(bool satisfiable);
  void check_ancestry(uint32_t candidate, std::vector<uint8_t>& state,
                      std::vector<uint32_t>& marked, std::vector<uint32_t>& stack);
  InputPosition read_position(uint32_t ordinal) const;
  uint32_t repeated_input(uint32_t ordinal) const;
  bool matches_input_clause(const std::vector<Literal>& set, uint32_t position);
  uint32_t find_input_clause(const std::vector<Literal>& set);
  void distinct_input_literals(uint32_t position, std::vector<Literal>& distinct);
  void check_derived(const QrpEntry& step);
  // What derive returns: the working clause holding the derived
  // constraint, whether it is known to be pair-free, and whether a
  // long-distance pair was allowed on the way.
  struct Derivation {
    WorkingClause* result = nullptr;
    bool pair_free = false;
    bool long_distance = false;
  };
  // `allow_indexed` false: every resolution on the working clauses, for
  // the literal order of a refusal's message.
  Derivation derive(const QrpEntry& step, Rule rule, bool allow_indexed = true);
  void charge_work(uint64_t literals);
  [[noreturn]] void refuse_mixed_kinds(const QrpEntry& step);
  bool read_inputs_as_cubes();
  uint32_t cube_reading(uint32_t position);
  void distinct_literals(const QrpEntry& step);
  WorkingClause* load();
  bool listed_match(const std::vector<Literal>& listed, const WorkingClause& derived);
  void refuse_listed(const QrpEntry& step, Rule rule, const WorkingClause& derived);
  uint32_t append(const std::vector<Literal>& literals, Rule rule, bool derived);
  [[noreturn]] void refuse(const std::string& message) const;
  void check_new_index(uint32_t index, const ClauseMap& known) const;
  [[noreturn]] void refuse_undefined(uint32_t antecedent) const;
  std::string step_text() const;  // "Step I: "

  QCNF& formula_;                // the QBF file's prefix and matrix; derived constraints appended
  const Options options_;        // --d
  const uint32_t input_clauses_; // clauses of the QBF file: store positions 0..n-1
  ClauseMap step_map_;           // step index -> store position
  PackedStore derived_;          // positions n on: derived constraints and initial cubes
  std::vector<uint8_t> kinds_;   // store position -> kCube, kLongDistance (input clauses: 0)
  uint32_t empty_[2] = {kNoPosition, kNoPosition};  // per Rule: store position of the first empty one
  uint32_t& empty_of(Rule rule) { return empty_[rule == Rule::CUBE]; }
  uint32_t next_input_ = 0;      // store position of the clause the next input step should repeat
  // Input clauses by an order-free hash of their literal set, built when an
  // input step does not repeat the clause due next.
  std::unordered_multimap<uint64_t, uint32_t> input_index_;
  bool indexed_ = false;
  // Input clause position -> store position of the initial cube with its
  // literals (kNoPosition: they do not imply the matrix; kUntested: not
  // asked yet); empty until a step first needs a cube reading.
  static constexpr uint32_t kUntested = kNoPosition - 1;
  std::vector<uint32_t> cube_readings_;

  bool in_entry_ = false;        // a block or step is being checked
  InputPosition entry_position_;   // where it starts
  uint32_t step_index_ = 0;      // its index
  std::vector<uint8_t> seen_;    // variable -> quantified in the trace's prefix
  unsigned last_block_level_ = 0;  // QBF level of the trace's last block
  bool any_block_ = false;       // a block was read
  std::vector<QrpEntry> blocks_;  // the trace's blocks as read (quantifier, variables), for --core
  uint32_t root_ = kNoPosition;  // store position of the verdict's empty constraint
  // Store position and step index of each step whose resolvent holds a
  // long-distance pair, in trace order.
  std::vector<std::pair<uint32_t, uint32_t>> long_distance_steps_;

  MatrixImplication implication_;  // the initial-cube test
  QrpStatistics statistics_;       // work counts
  timeval start_{};                // when check began
  bool checking_ = false;          // check is running
  std::function<void(uint64_t)> progress_;  // the progress display, if any

  // Scratch kept from step to step so that its capacity stays.
  std::vector<uint8_t> marks_;        // literal code -> mark, all 0 between uses
  std::vector<Literal> listed_;       // the step's literals, duplicates dropped
  WorkingClause listed_reduced_;            // the same, reduced
  WorkingClause running_, result_;          // the chain's constraint and the next one
  uint32_t held_ = kNoPosition;       // store position whose constraint holder_ holds, if any
  WorkingClause* holder_ = &running_; // running_ or result_: the last derived constraint
  bool held_pair_free_ = false;       // it holds distinct literals and no complementary pair
  PodVector<Literal> widened_;        // input clauses read from the formula's store
  std::vector<std::vector<Literal>> loaded_;  // the antecedents' literals, one vector each
  std::vector<ClauseView> views_;     // views of loaded_
  std::vector<uint32_t> antecedent_positions_;  // the step's antecedents as store positions

  // Resolution work: a step switches to chain_ when its passes over the
  // running constraint exceed kIndexedSwitch times its numbers and its
  // antecedents' literals; the literals passed over on the working clauses
  // in a run may not exceed the options' work_base + kWorkPerNumber per
  // number read.
  static constexpr uint64_t kIndexedSwitch = 8;
  static constexpr uint64_t kWorkPerNumber = 1024;
  IndexedConstraint chain_;         // the chain's constraint once a step switched
  uint64_t numbers_read_ = 0;       // numbers of the steps read so far
  uint64_t work_ = 0;               // literals passed over by resolutions on working clauses

  // The steps as read, for backward checking, by ordinal (their place in
  // the trace, from 0).
  struct ReadSteps {
    PackedStore steps{0};              // listed literals and antecedents (ordinals)
    ClauseMap ordinals;                // step index -> ordinal
    PodVector<uint32_t> indices;       // ordinal -> step index
    PodVector<uint64_t> positions;     // ordinal -> where it starts: offset, or line and column
    // The steps that repeat an input clause, in trace order, with its position.
    struct Repeat {
      uint32_t ordinal, input;
    };
    PodVector<Repeat> repeats;
    PodVector<uint8_t> kinds;          // ordinal -> the kMayBe... and kNo... bits below
    bool binary = false;               // positions are byte offsets
  };
  // kinds bits: may be a clause, may be a cube; lists no existential
  // literal (reduces to the empty clause), no universal one (empty cube).
  static constexpr uint8_t kMayBeClause = 1, kMayBeCube = 2, kNoExistential = 4,
                           kNoUniversal = 8;
  ReadSteps read_;
  // The first fault met among the steps checked backwards, reported when
  // no empty constraint is derived.
  struct Fault {
    bool met = false;
    std::string message;
    InputPosition position;
  };
  Fault first_fault_;
};

#endif
