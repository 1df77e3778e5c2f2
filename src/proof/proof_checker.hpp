// The proof checker: checks the proof entries of a certificate (numbered
// clause lines in chain and merge mode, resolution lines, extension
// definitions) as the reader yields them, holds back those that refer to
// what is not defined yet, settles them at the conclusion and decides a
// refutation claim. A model claim is left to the model checker.
//
// Its member functions live by topic: entries and steps in
// proof_checker.cpp, the backward ordering in ordering.cpp, delayed entries
// in delayed.cpp.
#ifndef ZEL_PROOF_PROOF_CHECKER_HPP
#define ZEL_PROOF_PROOF_CHECKER_HPP

#include <sys/time.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/literal.hpp"
#include "formula/working_clause.hpp"
#include "formula/extension.hpp"
#include "formula/qcnf.hpp"
#include "formula/strategy.hpp"
#include "proof/chain_search.hpp"
#include "read/certificate_reader.hpp"
#include "store/clause_map.hpp"

// Work counts of a run, for --stats.
struct ProofStatistics {
  uint64_t chain_steps = 0;          // numbered lines with a supplied resolvent
  uint64_t merge_steps = 0;          // numbered lines with "*"
  uint64_t resolution_lines = 0;     // R lines
  uint64_t and_extensions = 0;       // AND definitions applied
  uint64_t ite_extensions = 0;       // if-then-else definitions applied
  uint64_t delayed_steps = 0;      // steps delayed while reading
  uint64_t delayed_extensions = 0; // extensions delayed while reading
  uint64_t settled_steps = 0;        // delayed steps applied at the conclusion
  uint64_t settled_extensions = 0;   // delayed extensions applied at the conclusion
  uint64_t chain_searches = 0;       // sound-chain searches run
  uint64_t chain_search_work = 0;    // literals they touched
  double proof_seconds = 0;          // entries up to the conclusion
  double conclusion_seconds = 0;     // settling delayed entries and the claim
};

class ProofChecker {
 public:
  // How the certificate ends: a refutation claim whose clause reduces to
  // the empty clause or not, or a model claim (the reader then stands at
  // the model).
  enum class Conclusion { REFUTED, NOT_REFUTED, MODEL };

  struct Options {
    bool debug = false;   // --d: progress lines on standard output
    bool ignore = false;  // --ignore: accept steps without antecedents
    bool record_core = false;  // --core: keep each step's antecedents for write_core
    bool record_functions = false;  // --herbrand: also keep each chain as resolved
  };

  // Checks proofs over `formula`, whose clauses so far (the QBF file's) are
  // certificate clauses 1 to n.
  ProofChecker(QCNF& formula, Options options);
  ~ProofChecker();

  // Checks every entry up to the conclusion, settles what was delayed and
  // reads the claim.
  Conclusion check(CertificateReader& reader);

  // Number of the QBF file's clauses (positions 0 to n - 1 of the store).
  uint32_t input_clauses() const { return input_clauses_; }
  // After a refutation (record_core set): writes the steps the refuting
  // clause rests on, with the extension definitions applied, to `out` as
  // a zel certificate (core.cpp). Returns the number of steps written;
  // `steps` is set to the number of steps checked.
  uint64_t write_core(std::ostream& out, uint64_t& steps) const;

  // After a refutation (record_functions set): the reductions of the steps
  // the refuting clause rests on, replayed in store order, and the
  // conclusion's (functions.cpp). Throws Exception when such a step was
  // taken without antecedents (--ignore).
  void extract_strategy(Strategy& strategy);

  // The counts so far; during a phase (the proof, the conclusion) its time
  // so far, so that a run ended by an error still reports what it did.
  ProofStatistics statistics() const;

  // Called every few thousand entries with the number of entries so far.
  void set_progress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }

  // The entries, one at a time (used by check; open to tests).
  void check_step(StepEntry& step);
  void check_resolution_line(uint32_t first, uint32_t second, uint32_t pivot);
  // Checks an extension definition whose fresh variable was read and found
  // fresh; applies it or holds it back.
  void check_extension(const Definition& definition, const std::vector<Literal>& operands);
  // Settles delayed entries (the start of the conclusion).
  void settle_delayed();

  // A chain-mode step's antecedents in the order of resolution, as the
  // backward ordering found them.
  struct OrderedChain {
    std::vector<uint32_t> numbers;    // certificate clause numbers, in chain order
    std::vector<ClauseView> clauses;  // their clauses: valid until the next load or store
    std::vector<unsigned> pivots;     // pivots[i] resolves with clauses[i + 1]
  };
  // The backward ordering of a step's antecedents (all defined) from its
  // supplied resolvent (check_chain's first stage; open to tests).
  OrderedChain order_antecedents(const WorkingClause& resolvent,
                                 const std::vector<uint32_t>& antecedents);

  // A copy of the clause stored under a certificate clause number (which is
  // defined).
  std::vector<Literal> clause(uint32_t number) const;
  bool defined(uint32_t number) const { return clause_map_.defined(number); }

 private:
  struct Scratch;  // work storage of ordering, merge and comparison (scratch.hpp)
  struct DelayedStep {
    uint32_t number;             // certificate clause number it defines
    bool resolvent_omitted;      // "*" given
    uint32_t literals_begin;     // its supplied literals in delayed_literals_
    uint32_t literals_end;
    uint32_t antecedents_begin;  // its antecedents in delayed_antecedents_
    uint32_t antecedents_end;
    bool settled;                // applied at the conclusion
  };

  void read_step_entry(CertificateReader& reader, uint32_t number);
  void apply_step(StepEntry& step);
  void read_extension_entry(CertificateReader& reader);
  bool conclude(CertificateReader& reader);
  void check_fresh(const Literal& literal) const;
  void store(uint32_t number, const std::vector<Literal>& literals);
  void check_merge(StepEntry& step);
  void merge_union(const std::vector<ClauseView>& antecedents);
  void check_chain(StepEntry& step);
  bool merge_refutes(const WorkingClause& merged);
  bool sound_chain_exists(const std::vector<uint32_t>& chain_at, const WorkingClause& resolvent);
  void ensure_marks(const std::vector<ClauseView>& clauses, ClauseView extra);
  bool replays(uint32_t position, const std::vector<Literal>& literals);
  void load_clauses(const std::vector<uint32_t>& numbers, std::vector<ClauseView>& views);
  void load_positions(const std::vector<uint32_t>& positions, std::vector<ClauseView>& views);
  bool try_extension(const Definition& definition, const Literal* operands);
  void record_step(const StepEntry& step, const std::vector<uint32_t>& antecedents);
  std::vector<uint8_t> core_used(uint32_t root) const;
  void settle_steps();
  void report_unsettled_steps() const;
  void settle_extensions();
  void report_unsettled_extensions() const;

  QCNF& formula_;               // the formula checked; grows with every clause and definition
  const Options options_;       // --d and --ignore
  uint32_t input_clauses_ = 0;  // clauses of the QBF file
  ClauseMap clause_map_;        // certificate clause number -> store position
  ProofStatistics statistics_;  // work counts
  enum class Phase { READY, PROOF, CONCLUSION, DONE };
  Phase phase_ = Phase::READY;  // where check stands
  timeval phase_start_{};       // when the current phase began
  std::function<void(uint64_t)> progress_;  // the progress display, if any

  // Entries delayed until the conclusion.
  std::vector<DelayedStep> delayed_steps_;      // in reading order
  std::vector<Literal> delayed_literals_;        // their supplied resolvents
  std::vector<uint32_t> delayed_antecedents_;    // their antecedent lists
  Definitions delayed_extensions_;               // in reading order
  std::vector<uint8_t> settled_extensions_;   // delayed extension -> applied at the conclusion

  // With record_core: each applied numbered step (a record) in order of
  // application, which is store order, and the extensions between them.
  std::vector<uint32_t> core_positions_;    // record -> store position of its clause
  std::vector<uint32_t> core_antecedents_;  // all records' antecedents, as store positions
  std::vector<uint32_t> core_begins_ = {0}; // record -> first antecedent; one more at the end
  std::vector<uint8_t> core_merged_;        // record -> written with "*"
  // Records and applied extensions in order of application: a record index,
  // or kExtensionEvent | the definition's index in formula_.definitions.
  std::vector<uint32_t> core_events_;
  static constexpr uint32_t kExtensionEvent = 0x80000000u;
  uint32_t refuting_number_ = 0;            // the clause number of CONCLUDE INVALID
  // With record_functions: each record's chain as check_chain resolved it
  // (a sound one), antecedents as store positions in resolution order, and
  // the pivot each resolves on (0 for the first); merge steps and trusted
  // ones have none.
  std::vector<uint32_t> chain_positions_;
  std::vector<unsigned> chain_pivots_;
  std::vector<uint32_t> chain_begins_ = {0};  // record -> first chain position; one more at the end

  // Scratch kept from entry to entry so that its capacity stays.
  StepEntry step_;                       // the numbered line being read
  Definition definition_;                // the extension being read
  std::vector<Literal> operands_;        // its operands
  WorkingClause running_, resolvent_;          // work clauses the chain alternates between
  std::unique_ptr<Scratch> scratch_;     // marks and lists of ordering and merge
  ChainSearch chain_search_;             // the fallback search for sound chains
};

#endif
