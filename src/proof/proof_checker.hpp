// The proof checker: checks the proof entries of a certificate (numbered
// clause lines in chain and merge mode, resolution lines, extension
// definitions) as the reader yields them, holds back those that refer to
// what is not defined yet, settles them at the conclusion and decides a
// refutation claim. A model claim is left to the model checker.
//
// Its member functions live by topic: entries and steps in
// proof_checker.cpp, the backward ordering in ordering.cpp, delayed entries
// in delayed.cpp. What a refutation yields besides its verdict is built
// from the checker's record (refutation.hpp).
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
#include "proof/proof_record.hpp"
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
    bool record = false;  // --core, --herbrand: keep the record of the steps applied
  };

  // Checks proofs over `formula`, whose clauses so far (the QBF file's) are
  // certificate clauses 1 to n.
  ProofChecker(QCNF& formula, Options options);
  ~ProofChecker();

  // Checks every entry up to the conclusion, settles what was delayed and
  // reads the claim.
  Conclusion check(CertificateReader& reader);

  // Number of the QBF file's clauses (positions 0 to n - 1 of the store).
  uint32_t input_clauses() const { return record_.input_clauses; }
  // The steps applied so far (with Options::record; else only the input
  // clauses and the refuting clause are set): what write_core and
  // extract_herbrand_strategy work from.
  const ProofRecord& record() const { return record_; }

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
  // supplied resolvent (check_chain's first stage; open to tests). The chain
  // is the checker's work storage: valid until the next call.
  const OrderedChain& order_antecedents(const WorkingClause& resolvent,
                                        const std::vector<uint32_t>& antecedents);

  // A copy of the clause stored under a certificate clause number (which is
  // defined).
  std::vector<Literal> clause(uint32_t number) const;
  bool defined(uint32_t number) const { return clause_map_.defined(number); }

 private:
  struct Scratch;  // work storage of ordering, merge and comparison (scratch.hpp)
  // Entries delayed until the conclusion, in reading order.
  struct HeldBack {
    struct Step {
      uint32_t number;             // certificate clause number it defines
      bool resolvent_omitted;      // "*" given
      uint32_t literals_begin;     // its supplied literals in `literals`
      uint32_t literals_end;
      uint32_t antecedents_begin;  // its antecedents in `antecedents`
      uint32_t antecedents_end;
      bool settled;                // applied at the conclusion
    };
    std::vector<Step> steps;             // in reading order
    std::vector<Literal> literals;       // their supplied resolvents
    std::vector<uint32_t> antecedents;   // their antecedent lists
    Definitions extensions;              // in reading order
    std::vector<uint8_t> settled_extensions;  // delayed extension -> applied at the conclusion
  };
  // The entry being read, kept from entry to entry so that its capacity stays.
  struct Reading {
    StepEntry step;                  // a numbered line (or a delayed one being applied)
    Definition definition;           // an extension definition
    std::vector<Literal> operands;   // its operands
  };

  void read_step_entry(CertificateReader& reader, uint32_t number);
  void apply_step(StepEntry& step);
  void read_extension_entry(CertificateReader& reader);
  bool conclude(CertificateReader& reader);
  void check_fresh(const Literal& literal) const;
  void store(uint32_t number, ClauseView literals);
  void check_merge(StepEntry& step);
  ProofRecord::Kind check_chain(StepEntry& step);
  bool merge_refutes(ClauseView merged);
  bool sound_chain_exists(const std::vector<uint32_t>& chain_at, const WorkingClause& resolvent);
  void load_clauses(const std::vector<uint32_t>& numbers);
  bool try_extension(const Definition& definition, const Literal* operands);
  void settle_steps();
  void report_unsettled_steps() const;
  void settle_extensions();
  void report_unsettled_extensions() const;

  QCNF& formula_;               // the formula checked; grows with every clause and definition
  const Options options_;       // --d, --ignore, and whether to record
  ClauseMap clause_map_;        // certificate clause number -> store position
  ProofStatistics statistics_;  // work counts
  enum class Phase { READY, PROOF, CONCLUSION, DONE };
  Phase phase_ = Phase::READY;  // where check stands
  timeval phase_start_{};       // when the current phase began
  std::function<void(uint64_t)> progress_;  // the progress display, if any
  HeldBack held_back_;          // entries delayed until the conclusion
  ProofRecord record_;          // the steps applied (with options_.record), the input
                                // clauses and the refuting clause
  Reading reading_;             // the entry being read
  std::unique_ptr<Scratch> scratch_;  // work storage of the checks
};

#endif
