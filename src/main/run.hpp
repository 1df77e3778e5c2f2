// One run of the checker: opens the inputs, tells the certificate's kind,
// reads the formula, checks the certificate (a refutation or a model in
// zel's format, a QRP trace, an AIGER circuit of Skolem or Herbrand
// functions), writes the outputs asked for (--core, --skolem, --herbrand)
// and keeps what the error report and --stats need. main wraps it with
// option parsing and the exit status; the fuzz target runs it on inputs in
// memory.
#ifndef ZEL_MAIN_RUN_HPP
#define ZEL_MAIN_RUN_HPP

#include <sys/time.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "formula/qcnf.hpp"
#include "main/progress.hpp"
#include "main/statistics.hpp"
#include "model/aiger_writer.hpp"
#include "model/model_checker.hpp"
#include "proof/qrp_checker.hpp"
#include "read/aiger_reader.hpp"
#include "read/byte_source.hpp"
#include "read/certificate_reader.hpp"
#include "read/qrp_reader.hpp"
#include "read/tokenizer.hpp"
#include "write/output_file.hpp"

struct Arguments {
  std::string qbf_file;          // empty: the certificate alone
  std::string certificate_file;  // "-": standard input
  std::string skolem_file;       // --skolem FILE; empty: none
  std::string core_file;         // --core FILE; empty: none
  std::string herbrand_file;     // --herbrand FILE; empty: none
  bool debug = false;            // --d
  bool ignore = false;           // --ignore
  bool statistics = false;       // --stats
  bool forward = false;          // --forward: every step of a QRP trace checked
  bool single_thread = false;    // --single-thread: no reading ahead on a second thread

  // The files the run reads, which no output may replace.
  std::vector<RunFile> input_files() const {
    std::vector<RunFile> inputs;
    if (!qbf_file.empty()) inputs.push_back({qbf_file, "the QBF file"});
    inputs.push_back({certificate_file, "the certificate"});
    return inputs;
  }
  // The files the run may write, in the order their checks run.
  std::vector<RunFile> output_files() const {
    std::vector<RunFile> outputs;
    if (!skolem_file.empty()) outputs.push_back({skolem_file, "the --skolem file"});
    if (!herbrand_file.empty()) outputs.push_back({herbrand_file, "the --herbrand file"});
    if (!core_file.empty()) outputs.push_back({core_file, "the --core file"});
    return outputs;
  }
};

class Run {
 public:
  explicit Run(Arguments arguments);

  // Reads both inputs from memory instead of the named files (the names
  // are still used in messages). The bytes must outlive the run.
  void use_memory(const char* formula, size_t formula_size, const char* certificate,
                  size_t certificate_size);

  // True when the certificate proves its claim; throws Exception on errors.
  bool check();

  void show_progress();
  void erase_progress();

  // Where a failure is reported: the certificate's next byte (line 1,
  // column 1 before it is read).
  uint32_t line() const { return zel_reader_ ? zel_reader_->line() : 1; }
  uint32_t column() const { return zel_reader_ ? zel_reader_->column() : 1; }
  // The same as messages give it: "line L, column C", or for a binary QRP
  // trace or AIGER circuit "byte offset N"; a QRP step that fails is
  // reported at its start.
  std::string where() const;

  void write_statistics(std::ostream& out);

 private:
  void read_formula(std::vector<uint32_t>& qbf_prefix);
  bool check_zel(Tokenizer&& tokens);
  bool check_qrp(Tokenizer&& tokens);
  bool can_read_certificate_again() const;
  void read_qrp_again(const QrpHeader& header, uint64_t size, uint64_t hash,
                      const PodVector<uint8_t>* offsets);
  bool check_qrp_again(const QrpHeader& header);
  void compare_with_first_reading(uint64_t size, uint64_t hash);
  bool check_aiger(Tokenizer&& tokens);
  ModelChecker::Options model_options();
  bool check_model(ModelChecker& model);
  void write_core(const std::function<uint64_t(std::ostream&, uint64_t&)>& produce);
  FunctionCircuit build_functions(const std::vector<uint32_t>& qbf_prefix, const char* kind,
                                const std::function<void(Strategy&)>& extract, Rule rule);
  // `circuit` to `path`, its comment naming the `kind` of functions.
  void write_functions(const std::string& path, const char* kind, const FunctionCircuit& circuit);

  const Arguments arguments_;                  // the options, owned
  bool in_memory_ = false;                     // the sources were opened on memory
  const char* certificate_memory_ = nullptr;   // in memory: the certificate's bytes, not owned
  size_t certificate_memory_size_ = 0;         // and their count
  timeval start_{};                            // when the run began
  ByteSource certificate_source_;              // the certificate's bytes
  ByteSource formula_source_;                  // the QBF file's bytes
  QCNF formula_;                               // the formula, growing with the proof
  std::unique_ptr<CertificateReader> zel_reader_;  // the certificate, once open (zel's format)
  std::unique_ptr<QrpReader> qrp_reader_;      // the certificate, once open (a QRP trace)
  std::unique_ptr<QrpChecker> qrp_checker_;    // its checker, kept for where() after a fault
  std::unique_ptr<AigerReader> aiger_reader_;  // the certificate, once open (an AIGER circuit)
  std::unique_ptr<Progress> progress_;         // the progress line, when shown
  RunStatistics statistics_;                   // what --stats reports
};

#endif
