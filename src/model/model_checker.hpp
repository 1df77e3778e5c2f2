// The model checker: takes a model, read from a VALID conclusion or given
// as the pairs of an AIGER certificate's Skolem functions, and decides
// whether it proves the formula true. Three stages: every model variable
// must be existential; the model functions and the extension definitions
// they read must be free of cycles, and no function may read a universal
// quantified inside its variable; finally every clause of the QBF file must
// hold for every value of the free variables (the model test).
//
// The stages work on compact variable numbers: the quantified variables in
// ascending order get ids 1, 2, ..., so that memory follows the variables in
// use, not the largest number named.
#ifndef ZEL_MODEL_MODEL_CHECKER_HPP
#define ZEL_MODEL_MODEL_CHECKER_HPP

#include <sys/time.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "formula/qcnf.hpp"
#include "model/aig.hpp"
#include "model/network.hpp"
#include "read/certificate_reader.hpp"
#include "write/output_file.hpp"

// Work counts of a model check, for --stats.
struct ModelStatistics {
  uint64_t model_entries = 0;   // model pairs read
  uint64_t gates = 0;           // gates of the network (definitions and model entries)
  uint64_t graph_gates = 0;     // distinct two-input AND gates they hash to
  uint64_t clauses_tested = 0;  // input clauses decided
  uint64_t clauses_solved = 0;  // of those, decided by MiniSat (the rest by simulation
                                // and enumeration)
  uint64_t gates_encoded = 0;   // two-input AND gates whose clauses reached MiniSat
  uint64_t diagram_clauses = 0;     // decided by decision diagrams: proved never false
  uint64_t diagram_counterexamples = 0;  // or shown falsifiable, MiniSat confirming
  uint64_t diagrams_first = 0;      // of those, decided before MiniSat's search
  uint64_t diagram_gates = 0;       // AND diagrams the shared store built
  double solver_seconds = 0;        // of test_seconds: MiniSat's searches
  double diagram_seconds = 0;       // of test_seconds: the decision diagrams
  double test_seconds = 0;      // time of the model test
};

class ModelChecker {
 public:
  struct Options {
    bool debug = false;      // --d: progress lines and timings on standard output
    timeval start{};         // when the run began, for the debug timings
    // Told as the test of clause `position` (0-based) of `clauses` starts,
    // and with position == clauses once the test has ended; may be empty.
    std::function<void(uint32_t position, uint32_t clauses)> testing;
    // Told once the graph is built, before the clauses are tested: from then
    // on the checker reads the formula's clauses and prefix only, not its
    // definitions, whose memory the owner may give back. May be empty.
    std::function<void()> graph_built;
  };

  // `input_clauses`: the QBF file's clauses (store positions 0 to n - 1);
  // `input_max_variable`: the formula's largest variable after reading the
  // QBF file (a model names no variable beyond it); `qbf_prefix`: the
  // variables the QBF file defined, in prefix order.
  ModelChecker(const QCNF& formula, uint32_t input_clauses, uint32_t input_max_variable,
               std::vector<uint32_t> qbf_prefix, Options options);

  // Reads the model pairs from `reader`, up to the end of the certificate.
  // A later pair for the same variable replaces an earlier.
  void read_model(CertificateReader& reader);
  // Or the pairs (variable, literal of its function) from elsewhere (an
  // AIGER certificate): each variable one the QBF file defines, each
  // literal naming a defined variable. A later pair for the same variable
  // replaces an earlier.
  void set_model(std::vector<std::pair<uint32_t, int32_t>> pairs);
  // After read_model or set_model: runs the three stages; true when the model proves the
  // formula, false after printing a counterexample.
  bool check();

  // After check returned true: writes the model as an AIGER circuit to
  // `path`, never over one of `run_inputs` (see aiger_writer.hpp).
  void write_skolem(const std::string& path, const std::vector<RunFile>& run_inputs,
                    const std::vector<std::string>& comments) const;

  const ModelStatistics& statistics() const { return statistics_; }

 private:
  // The compact variable numbers: id 0 stands for variable 0, which never
  // exists (as in the formula's own numbering), ids 1, 2, ... for the
  // quantified variables in ascending order.
  struct VariableIds {
    std::vector<uint32_t> variable_of;  // id -> variable
    std::vector<uint32_t> id_of;        // variable -> id when the numbers are dense; else empty
    // The id of a quantified variable.
    uint32_t id(uint32_t variable) const;
    uint32_t size() const { return static_cast<uint32_t>(variable_of.size()); }
  };

  static VariableIds number_variables(const QCNF& formula);
  void check_quantification() const;
  void check_dependencies() const;
  ModelGraph build_graph();
  bool test_clauses();

  const QCNF& formula_;              // the formula with every applied definition
  const uint32_t input_clauses_;     // clauses of the QBF file
  const uint32_t input_max_variable_;  // largest variable of the QBF file
  const std::vector<uint32_t> qbf_prefix_;  // the QBF file's variables in prefix order
  const Options options_;
  std::vector<std::pair<uint32_t, int32_t>> model_;  // variable -> model literal, ascending
  VariableIds ids_;                    // set by check
  ModelGraph graph_;                   // the network's hashed graph over ids; set by check
  ModelStatistics statistics_;         // work counts
};

#endif
