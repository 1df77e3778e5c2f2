// zel: checks a certificate (a Q-resolution refutation or a model) of a
// quantified Boolean formula in QDIMACS form.
//
// Exit status: 0 help, version or argument error; 10 certificate validated;
// 20 certificate erroneous; 30 any reading or checking error.
//
// This file parses the options, opens the inputs, runs one check (formula,
// proof, conclusion, model) and maps the verdict to the exit status. It is
// the only place that catches.

#include <minisat/mtl/XAlloc.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "formula/qcnf.hpp"
#include "main/progress.hpp"
#include "main/statistics.hpp"
#include "model/model_checker.hpp"
#include "proof/proof_checker.hpp"
#include "read/byte_source.hpp"
#include "read/certificate_reader.hpp"
#include "read/qdimacs_reader.hpp"
#include "read/tokenizer.hpp"

namespace {

[[noreturn]] void usage() {
  std::cout << "Usage: zel [options] [qbf-filename] <certificate-filename>" << std::endl;
  std::cout << "available options:" << std::endl;
  std::cout << "   --h, -h                show help" << std::endl;
  std::cout << "   --d                    turn on debug info" << std::endl;
  std::cout << "   --ignore               ignore resolutions without antecedents" << std::endl;
  std::cout << "   --v                    show version information" << std::endl;
  std::cout << "   --stats                write statistics to standard error after the verdict"
            << std::endl;
  std::cout << "   --skolem FILE          write a validated model as an AIGER circuit to FILE"
            << std::endl;
  std::exit(0);
}

[[noreturn]] void show_version() {
  std::cout << "2.0 (compiled " << __DATE__ << ")" << std::endl;
  std::exit(0);
}

struct Arguments {
  std::string qbf_file;          // empty: the certificate alone
  std::string certificate_file;  // "-": standard input
  std::string skolem_file;       // --skolem FILE; empty: none
  bool debug = false;            // --d
  bool ignore = false;           // --ignore
  bool statistics = false;       // --stats
};

Arguments parse(int argc, char** argv) {
  Arguments arguments;
  std::string first_file, second_file;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--h" || argument == "-h") {
      usage();
    } else if (argument == "--v") {
      show_version();
    } else if (argument == "--d") {
      arguments.debug = true;
    } else if (argument == "--ignore") {
      arguments.ignore = true;
    } else if (argument == "--stats") {
      arguments.statistics = true;
    } else if (argument == "--skolem") {
      if (i + 1 == argc) usage();
      arguments.skolem_file = argv[++i];
    } else if (first_file.empty()) {
      first_file = argument;
    } else if (second_file.empty()) {
      second_file = argument;
    } else {
      usage();
    }
  }
  if (first_file.empty()) {
    std::cout << "Error: No certificate filename given." << std::endl;
    usage();
  }
  if (second_file.empty()) {
    arguments.certificate_file = first_file;
  } else {
    arguments.qbf_file = first_file;
    arguments.certificate_file = second_file;
  }
  return arguments;
}

double seconds_since(const timeval& start) {
  timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<double>(now.tv_sec - start.tv_sec) +
         static_cast<double>(now.tv_usec - start.tv_usec) / 1e6;
}

// One run: everything the check needs, and what the error report needs to
// name the position in the certificate.
class Run {
 public:
  explicit Run(const Arguments& arguments) : arguments_(arguments) {
    gettimeofday(&start_, nullptr);
  }

  // True when the certificate proves its claim; throws Exception on errors.
  bool check() {
    ByteSource& certificate_source = certificate_source_;
    if (!certificate_source.open(arguments_.certificate_file))
      throw Exception("Cannot open file: '" + arguments_.certificate_file + "'.");
    reader_.reset(new CertificateReader(certificate_source));
    reader_->read_header(arguments_.certificate_file);

    timeval phase;
    gettimeofday(&phase, nullptr);
    std::vector<uint32_t> qbf_prefix;
    if (!arguments_.qbf_file.empty()) {
      ByteSource& qbf_source = formula_source_;
      if (!qbf_source.open(arguments_.qbf_file))
        throw Exception("Couldn't open file " + arguments_.qbf_file);
      Tokenizer tokens(qbf_source, Tokenizer::Separators::QDIMACS, "QBF File: ");
      if (!read_qdimacs(tokens, formula_)) throw Exception(formula_.error);
      for (const Block& block : formula_.blocks)
        block.for_each([&](uint32_t variable) { qbf_prefix.push_back(variable); });
    }
    const uint32_t input_max_variable = formula_.max_variable;
    statistics_.formula_seconds = seconds_since(phase);

    if (arguments_.debug) {
      std::cout << formula_.quantified_variables() << " quantifiers and "
                << formula_.clauses.size() << " clauses loaded." << std::endl;
      std::cout << "Applying resolution and extension steps ..." << std::endl;
    }

    ProofChecker::Options proof_options;
    proof_options.debug = arguments_.debug;
    proof_options.ignore = arguments_.ignore;
    ProofChecker proof(formula_, proof_options);
    if (progress_) proof.set_progress([this](uint64_t entries) { progress_->update(entries); });
    bool refuted = false;
    const ProofChecker::Claim claim = proof.check(*reader_, refuted);
    statistics_.proof = proof.statistics();
    if (progress_) progress_->erase();
    if (claim == ProofChecker::Claim::INVALID) return refuted;

    ModelChecker::Options model_options;
    model_options.debug = arguments_.debug;
    model_options.start = start_;
    ModelChecker model(formula_, proof.input_clauses(), input_max_variable, std::move(qbf_prefix),
                       model_options);
    const bool validated = model.check(*reader_);
    statistics_.model = model.statistics();
    statistics_.has_model = true;
    if (validated && !arguments_.skolem_file.empty())
      model.write_skolem(arguments_.skolem_file,
                         {"Skolem functions written by zel",
                          "formula: " + arguments_.qbf_file,
                          "certificate: " + arguments_.certificate_file});
    return validated;
  }

  void show_progress() { progress_.reset(new Progress(certificate_source_, start_)); }
  void erase_progress() {
    if (progress_) progress_->erase();
  }

  // Where a failure is reported: the certificate's next byte (line 1,
  // column 1 before it is read).
  uint32_t line() const { return reader_ ? reader_->line() : 1; }
  uint32_t column() const { return reader_ ? reader_->column() : 1; }

  void write_statistics(std::ostream& out) {
    statistics_.clauses = formula_.clauses.size();
    statistics_.literals = formula_.clauses.literals();
    statistics_.total_seconds = seconds_since(start_);
    statistics_.write(out, arguments_.qbf_file, formula_source_, arguments_.certificate_file,
                      certificate_source_);
  }

 private:
  const Arguments& arguments_;
  timeval start_{};                          // when the run began
  ByteSource certificate_source_;            // the certificate's bytes
  ByteSource formula_source_;                // the QBF file's bytes
  QCNF formula_;                             // the formula, growing with the proof
  std::unique_ptr<CertificateReader> reader_;  // the certificate, once open
  std::unique_ptr<Progress> progress_;       // the progress line, when shown
  RunStatistics statistics_;                 // what --stats reports
};

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = parse(argc, argv);
  if (arguments.certificate_file == "-" && arguments.qbf_file == "-") {
    std::cout << "Error: Standard input can be read only once." << std::endl;
    return 30;
  }
  Run run(arguments);
  if (isatty(STDERR_FILENO)) run.show_progress();
  int status;
  try {
    const bool validated = run.check();
    std::cout << (validated ? "Certificate validated correctly." : "Certificate erroneous.")
              << std::endl;
    status = validated ? 10 : 20;
  } catch (const Exception& error) {
    run.erase_progress();
    std::cout << "Error at line " << run.line() << ", column " << run.column() << ": "
              << error.message << std::endl;
    status = 30;
  } catch (const std::bad_alloc&) {
    // Derived clauses may outgrow the lines that define them (a merged step
    // can be far longer than its line); running out of memory is reported
    // like any other failure instead of aborting.
    run.erase_progress();
    std::cout << "Error at line " << run.line() << ", column " << run.column()
              << ": Out of memory." << std::endl;
    status = 30;
  } catch (const Minisat::OutOfMemoryException&) {
    run.erase_progress();
    std::cout << "Error at line " << run.line() << ", column " << run.column()
              << ": Out of memory." << std::endl;
    status = 30;
  }
  if (arguments.statistics) run.write_statistics(std::cerr);
  return status;
}
