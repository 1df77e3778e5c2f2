// The QRP checker: checks a Q-resolution trace as QBF solvers write it
// (read by QrpReader) against the QBF file, in one pass or two
// (qrp_two_pass.cpp). Each step checked is checked alike, clause steps and
// cube steps, whichever the result line claims: a step without
// antecedents is an input clause (a clause of the QBF file) or an initial
// cube (it implies the matrix), or both when an input clause implies the
// matrix (the step using it tells); a step with antecedents resolves them
// in the listed order, each resolution followed by reduction, through the
// rules of formula/rules with Rule::CLAUSE or Rule::CUBE. `r UNSAT` stands
// when some step derived the empty clause, `r SAT` when some step derived
// the empty cube.
#ifndef ZEL_PROOF_QRP_CHECKER_HPP
#define ZEL_PROOF_QRP_CHECKER_HPP

#include <sys/time.h>

#include <cassert>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/pod_vector.hpp"
#include "formula/qcnf.hpp"
#include "formula/working_clause.hpp"
#include "proof/matrix_implication.hpp"
#include "proof/qrp_derivation.hpp"
#include "proof/qrp_record.hpp"
#include "read/qrp_reader.hpp"
#include "store/antecedent_log.hpp"
#include "store/clause_map.hpp"
#include "store/packed_store.hpp"
#include "store/position_table.hpp"

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
    // Otherwise, read the trace twice (check for the first pass,
    // check_marked for the second): the first keeps only each step's
    // antecedents and marks what the result line's empty constraint rests
    // on, the second checks the marked steps and holds each constraint only
    // until its last use. Only for a trace that can be read again, and only
    // when nothing needs the record afterwards (it keeps no antecedents).
    bool two_pass = false;
    // Count the steps the verdict rests on, for the statistics ("steps
    // outside the proof"); with two passes a walk over every step's
    // antecedents after the second, so only when they are written.
    bool count_proof = true;
    // The literals resolutions on the working clauses may pass over in a
    // run beyond 1024 for each number of the trace's steps.
    uint64_t work_base = uint64_t{1} << 32;
    // One pass, backwards: when not empty, only the steps whose bit is set
    // here (by ordinal; steps beyond its end too) keep their literals and
    // antecedents, the others are read and judged as ever but never
    // checked. For the one-pass reading after two passes, which can check
    // only candidates_ancestry() of the first. A kept step that lists one
    // not kept, or a candidate not kept, shows that the trace is not the
    // one read first: refused with message::qrp_trace_changed(trace_name).
    std::vector<uint64_t> kept_steps;
    std::string trace_name;
  };

  // Checks traces over `formula`, which holds the QBF file (and nothing
  // more) and outlives the checker.
  QrpChecker(const QCNF& formula, Options options);
  ~QrpChecker();
  // One checker per trace: it is neither copied nor moved.
  QrpChecker(const QrpChecker&) = delete;
  QrpChecker& operator=(const QrpChecker&) = delete;

  // Reads the rest of the trace (the header was read) and checks every
  // entry; true when the step the result line needs was derived. Throws
  // Exception at the first fault. With two passes, this is the first pass:
  // when second_pass_due() afterwards, its result means nothing yet.
  bool check(QrpReader& reader);

  // After the first of two passes: the steps to check are marked and
  // check_marked must read the trace again (else the verdict stands).
  bool second_pass_due() const { return second_.due; }
  // The steps the second pass reads, for QrpReader::read_only_at.
  const PodVector<uint8_t>& second_pass_offsets() const { return second_.offsets; }
  // After the first of two passes: every step a one-pass check of the
  // trace may check (the candidates for the result line's empty constraint,
  // certain or not, and their ancestry), a bit per ordinal.
  std::vector<uint64_t> candidates_ancestry() const;
  // The second pass: `reader` reads the trace again from its start (the
  // header was read), only the marked steps (read_only_at). PROVED: the marked steps were checked and the
  // result line's empty constraint derived, the verdict stands once the
  // rest of the input is found the same as in the first pass. CHANGED: the
  // steps read differ from the first pass's. FAULT: some step failed or no
  // empty constraint was derived; a one-pass check tells which fault is
  // reported. Throws what the reader throws.
  enum class SecondPass { PROVED, CHANGED, FAULT };
  SecondPass check_marked(QrpReader& reader);

  // Where a fault is reported: the start of the block or step being
  // checked, or where the reader stands when it is checking none.
  std::string where(const QrpReader& reader) const;

  QrpStatistics statistics() const;

  // Called every few thousand steps with the number of steps so far.
  void set_progress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }

  // The entries, one at a time (used by check; open to tests). Blocks come
  // first; finish_prefix ends them.
  void check_block(const QrpEntry& block);
  void check_step(const QrpEntry& step) { check_step(step, true, kNoPosition); }
  bool conclude(bool satisfiable);

  // What the check established: the stored constraints with their kinds
  // and antecedents, and the verdict's empty constraint (qrp_record.hpp).
  const QrpRecord& record() const { return record_; }

 private:
  // Work counts: the numbers of the steps read and the literals passed
  // over by resolutions on the working clauses. A run may pass over the
  // options' work_base + kWorkPerNumber literals per number read: the
  // long-distance and faulty steps that the indexed constraint does not
  // take could otherwise keep the checker busy for hours on a trace of a
  // few megabytes.
  static constexpr uint64_t kWorkPerNumber = 1024;
  struct Work {
    uint64_t numbers_read = 0;  // numbers of the steps read so far
    uint64_t used = 0;          // literals passed over by resolutions on working clauses
  };
  uint64_t work_bound() const;
  void charge_work(uint64_t literals);

  // The block or step being checked, for where() and the messages.
  struct Entry {
    bool active = false;      // a block or step is being checked
    InputPosition position;   // where it starts
    uint32_t step_index = 0;  // its index (steps)
  };

  // The trace's prefix as far as read.
  struct Prefix {
    std::vector<uint8_t> seen;      // variable -> quantified in the trace's prefix
    unsigned last_block_level = 0;  // QBF level of the trace's last block
    bool any_block = false;         // a block was read
  };

  // The steps that repeat input clauses, and the cube readings of input
  // clauses.
  struct InputClauses {
    uint32_t next = 0;  // store position of the clause the next input step should repeat
    // Input clauses by an order-free hash of their literal set, built when
    // an input step does not repeat the clause due next.
    std::unordered_multimap<uint64_t, uint32_t> by_hash;
    bool hashed = false;  // by_hash is built
    // Input clause position -> the store position of the initial cube with
    // its literals (kNoPosition: they do not imply the matrix), once
    // tested; empty until a step first needs a cube reading.
    struct CubeReading {
      bool tested;
      uint32_t position;
    };
    std::vector<CubeReading> cube_readings;
  };

  // Scratch of one step, kept from step to step so that its capacity stays.
  struct StepScratch {
    std::vector<Literal> listed;           // the step's literals, duplicates dropped
    WorkingClause listed_reduced;          // the same, reduced
    PodVector<Literal> widened;            // input clauses read from the formula's store
    std::vector<std::vector<Literal>> loaded;  // antecedents 1.. of the step, one vector each
    std::vector<ClauseView> views;         // the step's antecedents for derive_qrp_step
    std::vector<uint32_t> antecedents;     // the step's antecedents as store positions
  };

  // Step index -> store position of the steps checked: every one in a
  // ClauseMap, or with two passes those whose constraints may still be
  // used, in a table that follows their number.
  class StepPositions {
   public:
    explicit StepPositions(bool live_only) : live_only_(live_only) {
      if (!live_only) all_.resize(1);
    }
    uint32_t operator[](uint32_t index) const { return live_only_ ? live_[index] : all_[index]; }
    bool defined(uint32_t index) const { return (*this)[index] != kNoPosition; }
    void set(uint32_t index, uint32_t position) {
      if (live_only_)
        live_.set(index, position);
      else
        all_.set(index, position);
    }
    // With two passes: the step's constraint is used no more.
    void erase(uint32_t index) {
      assert(live_only_);
      live_.erase(index);
    }

   private:
    const bool live_only_;  // two passes: live_, else all_
    ClauseMap all_;         // every step checked
    PositionTable live_;    // the steps checked whose constraints may still be used
  };

  // Step index -> ordinal. Solvers number their steps one after the other,
  // so the map is an offset until a step breaks the run; a ClauseMap then.
  class StepOrdinals {
   public:
    uint32_t operator[](uint32_t index) const {
      if (!consecutive_) return map_[index];
      return index >= offset_ && index - offset_ < count_ ? index - offset_ : kNoPosition;
    }
    uint32_t size() const { return count_; }
    // Maps a new index (not mapped yet, within the limit) to the next ordinal.
    void add(uint32_t index);

   private:
    uint32_t count_ = 0;       // ordinals given
    uint32_t offset_ = 0;      // while consecutive: index of ordinal 0
    bool consecutive_ = true;  // the indices so far are offset_, offset_ + 1, ...
    ClauseMap map_;            // once not consecutive: index -> ordinal
  };

  // The steps as read, for backward checking, by ordinal (their place in
  // the trace, from 0), and the first fault met among those checked.
  struct Backward {
    PackedStore steps{0};              // listed literals and antecedents (ordinals); one pass
    AntecedentLog log;                 // antecedents and offsets only; two passes
    uint64_t last_offset = 0;          // two passes: byte offset of the last step read
    StepOrdinals ordinals;             // step index -> ordinal
    PodVector<uint32_t> indices;       // slot -> step index
    PodVector<uint64_t> positions;     // slot -> where it starts: offset, or line and column
    // With Options::kept_steps (`kept`), only the kept steps have lists
    // (in `steps`, their antecedents as slots), an index and a position, at
    // their rank among the kept ones; without, a step's slot is its ordinal.
    const std::vector<uint64_t>* kept = nullptr;
    PodVector<uint32_t> kept_ordinals;  // slot -> ordinal, with `kept`
    std::vector<uint32_t> kept_before;  // 64 ordinals a word: kept steps before; then all kept
    bool keeps(uint32_t ordinal) const {
      return !kept || ordinal / 64 >= kept->size() || (((*kept)[ordinal / 64] >> (ordinal % 64)) & 1u);
    }
    uint32_t slot(uint32_t ordinal) const {
      if (!kept) return ordinal;
      const size_t word = ordinal / 64;
      if (word >= kept->size())
        return kept_before.back() + (ordinal - static_cast<uint32_t>(64 * kept->size()));
      const uint64_t below = (uint64_t{1} << (ordinal % 64)) - 1;
      return kept_before[word] + static_cast<uint32_t>(__builtin_popcountll((*kept)[word] & below));
    }
    // The steps that repeat an input clause, in trace order, with its position.
    struct Repeat {
      uint32_t ordinal, input;
    };
    PodVector<Repeat> repeats;
    PodVector<uint8_t> kinds;          // ordinal -> the kMayBe... and kNo... bits below
    // variable -> the kNo... bit a literal of it clears (kNoUniversal for a
    // universal, kNoExistential for an existential), kUndefinedVariable
    // for a variable the QBF file does not define
    std::vector<uint8_t> literal_bits;
    bool binary = false;               // positions are byte offsets
    // The first fault met among the steps checked backwards, reported when
    // no empty constraint is derived.
    struct Fault {
      bool met = false;
      std::string message;
      InputPosition position;
    };
    Fault first_fault;

    InputPosition read_position(uint32_t ordinal) const;
    // Calls visit(antecedent ordinal) for each antecedent of the kept step
    // at `ordinal`, in the listed order.
    template <typename Visit>
    void for_each_antecedent(uint32_t ordinal, Visit visit) const {
      steps.for_each_antecedent(slot(ordinal), [&](uint32_t antecedent) {
        visit(kept ? kept_ordinals[antecedent] : antecedent);
      });
    }
    uint32_t repeated_input(uint32_t ordinal) const;
  };
  // kinds bits: may be a clause, may be a cube; lists no existential
  // literal (reduces to the empty clause), no universal one (empty cube).
  static constexpr uint8_t kMayBeClause = 1, kMayBeCube = 2, kNoExistential = 4,
                           kNoUniversal = 8;
  // With two passes: the step is to be checked; it was stored as a cube;
  // the verdict's empty constraint rests on it (while counting).
  static constexpr uint8_t kMarked = 16, kCheckedCube = 32, kReached = 64;
  // Lists no literal.
  static constexpr uint8_t kNoLiterals = 128;
  // In Backward::literal_bits only.
  static constexpr uint8_t kUndefinedVariable = 1;

  // What the second of two passes needs from the first.
  struct SecondPassState {
    bool due = false;           // the candidates' ancestry is marked
    bool satisfiable = false;   // the result line: `r SAT`
    uint32_t last = 0;          // ordinal of the last step marked, the last one read again
    PodVector<uint8_t> offsets; // the marked steps' byte offsets, as gaps (read_only_at)
    uint32_t root_ordinal[2] = {kNoPosition, kNoPosition};  // per Rule: step that stored empty_of
  };

  // `search_input`: look for the input clause the step repeats; else
  // `input` is the one found when it was read (kNoPosition: none).
  void check_step(const QrpEntry& step, bool search_input, uint32_t input);
  void check_input_or_initial(const QrpEntry& step, bool search_input, uint32_t input);
  unsigned collect_distinct(const std::vector<Literal>& literals);
  uint32_t match_input(const std::vector<Literal>& set);
  // Backward checking (qrp_backward.cpp).
  void read_step(const QrpEntry& step);
  bool check_backward(bool satisfiable);
  void check_ancestry(uint32_t candidate, std::vector<uint8_t>& state,
                      std::vector<uint32_t>& marked, std::vector<uint32_t>& stack);
  bool matches_input_clause(const std::vector<Literal>& set, uint32_t position);
  uint32_t find_input_clause(const std::vector<Literal>& set);
  void distinct_input_literals(uint32_t position, std::vector<Literal>& distinct);
  void check_derived(const QrpEntry& step);
  // `allow_indexed` false: every resolution on the working clauses, for
  // the literal order of a refusal's message.
  QrpDerivation derive(const QrpEntry& step, Rule rule, bool allow_indexed = true);
  void load_antecedents();
  [[noreturn]] void refuse_mixed_kinds(const QrpEntry& step);
  bool read_inputs_as_cubes();
  uint32_t cube_reading(uint32_t position);
  void distinct_literals(const QrpEntry& step);
  bool listed_match(const std::vector<Literal>& listed, const WorkingClause& derived);
  void refuse_listed(const QrpEntry& step, Rule rule, const WorkingClause& derived);
  uint32_t store(const std::vector<Literal>& literals, uint8_t kind, bool with_antecedents);
  [[noreturn]] void refuse(const std::string& message) const;
  void check_new_index(uint32_t index, bool used) const;
  // Two passes (qrp_two_pass.cpp).
  bool mark_ancestry(bool satisfiable);
  uint32_t mark_candidates(bool satisfiable);
  bool same_as_read(const QrpEntry& step, uint32_t ordinal,
                    const AntecedentLog::Record& record) const;
  void after_marked_step(const QrpEntry& step, uint32_t ordinal,
                         const AntecedentLog::Record& record);
  uint64_t proof_steps_two_pass();
  [[noreturn]] void refuse_undefined(uint32_t antecedent) const;
  [[noreturn]] void refuse_changed_trace() const;
  std::string step_text() const;  // "Step I: "

  const QCNF& formula_;            // the QBF file's prefix and matrix
  const Options options_;          // --d, --forward, the work base
  QrpRecord record_;               // the stored constraints, the verdict's root
  StepPositions step_map_;         // step index -> store position
  InputClauses inputs_;            // input steps and cube readings
  Prefix prefix_;                  // the trace's blocks so far
  Entry entry_;                    // the block or step being checked
  MatrixImplication implication_;  // the initial-cube test
  QrpStatistics statistics_;       // work counts
  timeval start_{};                // when check began
  bool checking_ = false;          // check is running
  std::function<void(uint64_t)> progress_;  // the progress display, if any
  Work work_;                      // resolution work against its bound
  QrpWorkspace workspace_;         // derive_qrp_step's scratch; its marks serve every step
  StepScratch scratch_;            // the current step's literals and antecedents
  Backward backward_;              // the steps read and kept for backward checking
  SecondPassState second_;         // two passes: the marked ancestry and the verdict's root
};

#endif
