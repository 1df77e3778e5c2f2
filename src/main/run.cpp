// One run of the checker, from the inputs to the verdict.

#include "main/run.hpp"

#include <cassert>
#include <iostream>
#include <utility>
#include <vector>

#include "core/clock.hpp"
#include "core/exception.hpp"
#include "core/messages.hpp"
#include "model/aiger_certificate.hpp"
#include "model/herbrand_check.hpp"
#include "model/model_checker.hpp"
#include "model/strategy_circuit.hpp"
#include "proof/proof_checker.hpp"
#include "proof/qrp_outputs.hpp"
#include "proof/refutation.hpp"
#include "read/certificate_kind.hpp"
#include "read/input_position.hpp"
#include "read/qdimacs_reader.hpp"
#include "read/tokenizer.hpp"
#include "write/output_file.hpp"

namespace {

// Runs `action` when the scope ends, by a return or by an error, so that
// --stats reports what a run did before it failed.
template <typename Action>
class AtExit {
 public:
  explicit AtExit(Action action) : action_(action) {}
  AtExit(const AtExit&) = delete;
  AtExit& operator=(const AtExit&) = delete;
  ~AtExit() { action_(); }

 private:
  Action action_;
};

const char* const kNoCoreOfModel =
    "A model has no proof steps to write with --core (it takes refutations and QRP traces).";
const char* const kNoCoreOfAiger =
    "An AIGER certificate has no proof steps to write with --core (it takes refutations and "
    "QRP traces).";

}  // namespace

Run::Run(Arguments arguments) : arguments_(std::move(arguments)) { gettimeofday(&start_, nullptr); }

void Run::use_memory(const char* formula, size_t formula_size, const char* certificate,
                     size_t certificate_size) {
  formula_source_.open_memory(formula, formula_size, arguments_.qbf_file);
  certificate_source_.open_memory(certificate, certificate_size, arguments_.certificate_file);
  certificate_memory_ = certificate;
  certificate_memory_size_ = certificate_size;
  in_memory_ = true;
}

void Run::show_progress() { progress_.reset(new Progress(certificate_source_, start_)); }

void Run::erase_progress() {
  if (progress_) progress_->erase();
}

void Run::write_statistics(std::ostream& out) {
  if (formula_.clauses.size() > statistics_.clauses) {
    statistics_.clauses = formula_.clauses.size();
    statistics_.literals = formula_.clauses.literals();
  }
  statistics_.total_seconds = seconds_since(start_);
  statistics_.write(out, arguments_.qbf_file, formula_source_, arguments_.certificate_file,
                    certificate_source_);
}

bool Run::check() {
  if (!in_memory_ && !certificate_source_.open(arguments_.certificate_file))
    throw Exception(message::cannot_open(arguments_.certificate_file), Exception::NO_POSITION);
  // The kind is told by the first bytes, which stay in the tokenizer for
  // the reader of that kind: a pipe works as a file.
  Tokenizer tokens(certificate_source_, Tokenizer::Separators::CERTIFICATE);
  const CertificateKind kind = detect_certificate_kind(tokens);
  statistics_.certificate_kind = certificate_kind_name(kind);
  // The checker of each kind: a new format is its reader and checker, its
  // detection in read/certificate_kind and one row here.
  static const struct {
    CertificateKind kind;
    bool (Run::*check)(Tokenizer&&);
  } kFormats[] = {
      {CertificateKind::ZEL, &Run::check_zel},
      {CertificateKind::UNKNOWN, &Run::check_zel},  // its header check refuses it
      {CertificateKind::QRP_ASCII, &Run::check_qrp},
      {CertificateKind::QRP_BINARY, &Run::check_qrp},
      {CertificateKind::AIGER_ASCII, &Run::check_aiger},
      {CertificateKind::AIGER_BINARY, &Run::check_aiger},
  };
  for (const auto& format : kFormats)
    if (format.kind == kind) return (this->*format.check)(std::move(tokens));
  assert(false && "every kind has a checker");
  return false;
}

// A refutation or a model in zel's format.
bool Run::check_zel(Tokenizer&& tokens) {
  zel_reader_.reset(new CertificateReader(std::move(tokens)));
  zel_reader_->read_header(arguments_.certificate_file);
  if (!arguments_.herbrand_file.empty() && arguments_.qbf_file.empty())
    throw Exception("Herbrand functions are written over the QBF file's variables: give the "
                    "QBF file before the certificate.");

  std::vector<uint32_t> qbf_prefix;
  if (!arguments_.qbf_file.empty()) read_formula(qbf_prefix);
  const uint32_t input_max_variable = formula_.max_variable;

  if (arguments_.debug) {
    std::cout << formula_.quantified_variables() << " quantifiers and "
              << formula_.clauses.size() << " clauses loaded." << std::endl;
    std::cout << "Applying resolution and extension steps ..." << std::endl;
  }

  ProofChecker::Options proof_options;
  proof_options.debug = arguments_.debug;
  proof_options.ignore = arguments_.ignore;
  proof_options.record = !arguments_.core_file.empty() || !arguments_.herbrand_file.empty();
  ProofChecker proof(formula_, proof_options);
  const AtExit proof_counts([&] { statistics_.proof = proof.statistics(); });
  // The clause lines are read ahead while they are checked, unless asked
  // not to or the certificate comes from a pipe, whose reads may wait for
  // ever (the reading thread is joined at the end). The formula was read
  // first: its faults are reported where the certificate's reading stood.
  if (!arguments_.single_thread && certificate_source_.file_size() >= 0) zel_reader_->read_ahead();
  const AtExit stop_reading([&] { zel_reader_->stop_reading_ahead(); });
  if (progress_) proof.set_progress([this](uint64_t entries) { progress_->update(entries); });
  const ProofChecker::Conclusion conclusion = proof.check(*zel_reader_);
  if (progress_) progress_->erase();
  // Nothing after the claim is read, but a compressed certificate must be
  // whole: the rest is decompressed and checked before any verdict.
  if (conclusion != ProofChecker::Conclusion::MODEL) {
    certificate_source_.verify_rest();
    if (conclusion != ProofChecker::Conclusion::REFUTED) return false;
    // The functions are built before anything is written: a proof they
    // cannot be built from leaves every file alone.
    FunctionCircuit functions;
    if (!arguments_.herbrand_file.empty())
      functions = build_functions(qbf_prefix, "Herbrand", [&](Strategy& strategy) {
        extract_herbrand_strategy(proof.record(), formula_, strategy);
      }, Rule::CLAUSE);
    if (!arguments_.core_file.empty())
      write_core([&](std::ostream& out, uint64_t& steps) {
        return ::write_core(out, proof.record(), formula_, steps);
      });
    if (!arguments_.herbrand_file.empty())
      write_functions(arguments_.herbrand_file, statistics_.function_kind, functions);
    return true;
  }
  if (!arguments_.core_file.empty()) throw Exception(kNoCoreOfModel);

  // The model stages read the QBF file's clauses and the definitions, not
  // the clauses the certificate derived or defined: their memory goes back
  // before the model test needs its own.
  statistics_.clauses = formula_.clauses.size();
  statistics_.literals = formula_.clauses.literals();
  formula_.clauses.truncate(proof.input_clauses());

  ModelChecker model(formula_, proof.input_clauses(), input_max_variable, std::move(qbf_prefix),
                     model_options());
  statistics_.has_model = true;
  const AtExit model_counts([&] { statistics_.model = model.statistics(); });
  model.read_model(*zel_reader_);
  // Before the model test, which may take long: a damaged file fails fast.
  certificate_source_.verify_rest();
  return check_model(model);
}

ModelChecker::Options Run::model_options() {
  ModelChecker::Options options;
  options.debug = arguments_.debug;
  options.start = start_;
  if (progress_)
    options.testing = [this](uint32_t position, uint32_t clauses) {
      progress_->update_model_test(position, clauses);
    };
  // The model test reads the graph, not the definitions it was built from
  // (millions of records for a solver's model): their memory goes back
  // before the test's solver and diagrams need theirs.
  options.graph_built = [this] { formula_.definitions = Definitions(); };
  return options;
}

// The model test, and with --skolem the circuit of a validated model.
bool Run::check_model(ModelChecker& model) {
  const bool validated = model.check();
  if (validated && !arguments_.skolem_file.empty())
    model.write_skolem(arguments_.skolem_file, arguments_.input_files(),
                       {"Skolem functions written by zel",
                        "formula: " + arguments_.qbf_file,
                        "certificate: " + arguments_.certificate_file});
  return validated;
}

// The QBF file into formula_, and its prefix in order into `qbf_prefix`.
void Run::read_formula(std::vector<uint32_t>& qbf_prefix) {
  timeval phase;
  gettimeofday(&phase, nullptr);
  const AtExit formula_time([&] { statistics_.formula_seconds = seconds_since(phase); });
  if (!in_memory_ && !formula_source_.open(arguments_.qbf_file))
    throw Exception(message::cannot_open(arguments_.qbf_file), Exception::NO_POSITION);
  Tokenizer tokens(formula_source_, Tokenizer::Separators::QDIMACS, "QBF File: ");
  read_qdimacs(tokens, formula_);
  // A compressed formula must be whole, whatever the reader needed of it:
  // a damaged end gives no verdict.
  formula_source_.verify_rest();
  for (const Block& block : formula_.blocks)
    block.for_each([&](uint32_t variable) { qbf_prefix.push_back(variable); });
}

// A QRP trace: its steps are checked against the QBF file, which it needs
// (input clauses and initial cubes are judged by the matrix).
bool Run::check_qrp(Tokenizer&& tokens) {
  qrp_reader_.reset(new QrpReader(std::move(tokens)));
  if (arguments_.qbf_file.empty())
    throw Exception("A QRP trace is checked against its formula: give the QBF file before "
                    "the trace.");
  const QrpHeader header = qrp_reader_->read_header();
  // The steps are read ahead while the formula is read and the steps are
  // checked, unless asked not to or the trace comes from a pipe, whose
  // reads may wait for ever (the reading thread is joined at the end).
  if (!arguments_.single_thread && certificate_source_.file_size() >= 0) qrp_reader_->read_ahead();
  const AtExit stop_reading([&] { qrp_reader_->stop_reading_ahead(); });
  std::vector<uint32_t> qbf_prefix;
  read_formula(qbf_prefix);
  if (arguments_.debug)
    std::cout << formula_.quantified_variables() << " quantifiers and "
              << formula_.clauses.size() << " clauses loaded." << std::endl
              << "Checking the steps of the QRP trace ..." << std::endl;

  QrpChecker::Options options;
  options.debug = arguments_.debug;
  options.forward = arguments_.forward;
  // Two passes keep memory a fraction of the trace; the outputs replay the
  // proof from the record, which then keeps every checked constraint.
  options.two_pass = !arguments_.forward && arguments_.core_file.empty() &&
                     arguments_.skolem_file.empty() && arguments_.herbrand_file.empty() &&
                     can_read_certificate_again();
  options.count_proof = arguments_.statistics;
  qrp_checker_.reset(new QrpChecker(formula_, options));
  statistics_.has_qrp = true;
  statistics_.qrp_readings = 1;
  const AtExit counts([&] {
    statistics_.qrp = qrp_checker_->statistics();
    statistics_.proof.proof_seconds = statistics_.qrp.proof_seconds;
    statistics_.clauses = statistics_.qrp.stored;
    statistics_.literals = statistics_.qrp.literals;
  });
  if (progress_) qrp_checker_->set_progress([this](uint64_t steps) { progress_->update(steps); });
  bool proved = qrp_checker_->check(*qrp_reader_);
  if (progress_) progress_->erase();
  // The reader read to the end; a compressed trace's checksums and trailer
  // are checked before the verdict.
  certificate_source_.verify_rest();
  if (qrp_checker_->second_pass_due()) proved = check_qrp_again(header);
  if (!proved) return false;
  // A refutation has Herbrand functions, a cube proof Skolem functions.
  const QrpRecord& record = qrp_checker_->record();
  const Rule rule = record.proved_rule();
  const std::string& functions_file =
      rule == Rule::CLAUSE ? arguments_.herbrand_file : arguments_.skolem_file;
  FunctionCircuit functions;
  if (!functions_file.empty())
    functions = build_functions(qbf_prefix, rule == Rule::CLAUSE ? "Herbrand" : "Skolem",
                                [&](Strategy& strategy) {
                                  extract_qrp_strategy(record, formula_, strategy);
                                }, rule);
  if (!arguments_.core_file.empty()) {
    const std::string& name = arguments_.core_file;
    const bool binary = name.size() >= 5 && name.compare(name.size() - 5, 5, ".bqrp") == 0;
    write_core([&](std::ostream& out, uint64_t& steps) {
      const QrpStatistics counts = qrp_checker_->statistics();
      steps = counts.steps() + counts.skipped;  // the trace's steps, checked or not
      return write_qrp_core(out, record, formula_, header, binary);
    });
  }
  if (!functions_file.empty()) write_functions(functions_file, statistics_.function_kind, functions);
  return true;
}

// A trace read from a regular file or from memory can be read twice; a pipe
// or standard input cannot.
bool Run::can_read_certificate_again() const {
  if (in_memory_) return true;
  return arguments_.certificate_file != "-" && certificate_source_.file_size() >= 0;
}

// Stops the reader, opens the certificate again and reads its header,
// which must be `header`; a reading that differs is compared with the
// first (`size` bytes hashed to `hash`) and refused. With `offsets`, only
// the steps there are read (QrpReader::read_only_at).
void Run::read_qrp_again(const QrpHeader& header, uint64_t size, uint64_t hash,
                         const PodVector<uint8_t>* offsets) {
  qrp_reader_->stop_reading_ahead();
  qrp_reader_.reset();
  if (in_memory_)
    certificate_source_.open_memory(certificate_memory_, certificate_memory_size_,
                                    arguments_.certificate_file);
  else if (!certificate_source_.open(arguments_.certificate_file))
    throw Exception(message::qrp_trace_changed(arguments_.certificate_file),
                    Exception::NO_POSITION);
  qrp_reader_.reset(
      new QrpReader(Tokenizer(certificate_source_, Tokenizer::Separators::CERTIFICATE)));
  ++statistics_.qrp_readings;
  try {
    const QrpHeader& again = qrp_reader_->read_header();
    if (again.binary != header.binary || again.variables != header.variables ||
        again.clauses != header.clauses)
      compare_with_first_reading(size, hash);
  } catch (const Exception&) {
    compare_with_first_reading(size, hash);
    throw;
  }
  if (offsets) qrp_reader_->read_only_at(offsets->data(), offsets->data() + offsets->size());
  if (!arguments_.single_thread) qrp_reader_->read_ahead();
}

// The trace's second pass, after the first read it whole (`header` is its
// header). The verdict stands only when this reading's bytes are those of
// the first, compared once the rest is read. A step that fails, or a
// candidate that is not the empty constraint, hands the trace to the
// one-pass check, which tries the other candidates and reports the fault
// it always has; a third reading, on faulty traces only.
bool Run::check_qrp_again(const QrpHeader& header) {
  // The reader has read to the end after the result line; whatever it may
  // not have taken is read here, so that the hash covers the whole input.
  qrp_reader_->stop_reading_ahead();
  certificate_source_.read_to_end();
  const uint64_t size = certificate_source_.bytes_out();
  const uint64_t hash = certificate_source_.content_hash();
  read_qrp_again(header, size, hash, &qrp_checker_->second_pass_offsets());
  QrpChecker::SecondPass outcome;
  try {
    outcome = qrp_checker_->check_marked(*qrp_reader_);
  } catch (const Exception&) {
    // A refusal of the reader, which read these bytes whole the first
    // time: a changed file, or a failing disk, which the one-pass reading
    // then meets at its true position.
    outcome = QrpChecker::SecondPass::FAULT;
  }
  if (progress_) progress_->erase();
  compare_with_first_reading(size, hash);
  if (outcome == QrpChecker::SecondPass::CHANGED)
    throw Exception(message::qrp_trace_changed(arguments_.certificate_file),
                    Exception::NO_POSITION);
  if (outcome == QrpChecker::SecondPass::PROVED) return true;

  // The one-pass check keeps the lists of the steps it may check only.
  QrpChecker::Options options;
  options.debug = arguments_.debug;
  options.kept_steps = qrp_checker_->candidates_ancestry();
  options.trace_name = arguments_.certificate_file;
  read_qrp_again(header, size, hash, nullptr);
  qrp_checker_.reset(new QrpChecker(formula_, options));
  const bool proved = qrp_checker_->check(*qrp_reader_);
  if (progress_) progress_->erase();
  certificate_source_.verify_rest();
  if (proved) compare_with_first_reading(size, hash);
  return proved;
}

// Reads the rest of the certificate and refuses it when its bytes are not
// those the first pass read.
void Run::compare_with_first_reading(uint64_t size, uint64_t hash) {
  qrp_reader_->stop_reading_ahead();
  certificate_source_.read_to_end();
  if (certificate_source_.bytes_out() != size || certificate_source_.content_hash() != hash)
    throw Exception(message::qrp_trace_changed(arguments_.certificate_file),
                    Exception::NO_POSITION);
}

// An AIGER circuit of Skolem or Herbrand functions, checked against the QBF
// file, which it needs (the outputs name its variables).
bool Run::check_aiger(Tokenizer&& tokens) {
  aiger_reader_.reset(new AigerReader(std::move(tokens)));
  if (!arguments_.core_file.empty()) throw Exception(kNoCoreOfAiger);
  if (arguments_.qbf_file.empty())
    throw Exception("An AIGER certificate is checked against its formula: give the QBF file "
                    "before the certificate.");
  std::vector<uint32_t> qbf_prefix;
  read_formula(qbf_prefix);
  AigerCircuit circuit;
  aiger_reader_->read(circuit);
  // The reader stops before the comment section: a compressed circuit must
  // still be whole.
  certificate_source_.verify_rest();
  statistics_.has_aiger = true;
  statistics_.aiger_gates = circuit.and_count();
  const AigerVariables variables = map_aiger_variables(circuit);
  const AigerFunctions functions = classify_aiger_certificate(formula_, circuit, variables);
  statistics_.aiger_function_kind = aiger_functions_name(functions);
  const uint32_t input_clauses = formula_.clauses.size();
  if (arguments_.debug)
    std::cout << formula_.quantified_variables() << " quantifiers and " << input_clauses
              << " clauses loaded." << std::endl
              << aiger_functions_name(functions) << " functions of " << circuit.and_count()
              << " AND gates." << std::endl;

  if (functions == AigerFunctions::HERBRAND) {
    check_herbrand_dependencies(formula_, circuit, variables);
    statistics_.has_herbrand = true;
    if (!check_herbrand(formula_, input_clauses, circuit, variables, statistics_.herbrand))
      return false;
    // --herbrand writes the validated functions again, over the QBF file's
    // variables as for a refutation's functions; --skolem has nothing to
    // write for functions that prove the formula false.
    if (!arguments_.herbrand_file.empty())
      write_functions(arguments_.herbrand_file, "Herbrand",
                      herbrand_certificate_circuit(formula_, qbf_prefix, circuit, variables));
    return true;
  }
  const uint32_t input_max_variable = formula_.max_variable;
  std::vector<std::pair<uint32_t, int32_t>> pairs =
      apply_skolem_circuit(formula_, input_clauses, circuit, variables);
  circuit = AigerCircuit();  // the definitions hold the gates now
  ModelChecker model(formula_, input_clauses, input_max_variable, std::move(qbf_prefix),
                     model_options());
  statistics_.has_model = true;
  const AtExit model_counts([&] { statistics_.model = model.statistics(); });
  model.set_model(std::move(pairs));
  return check_model(model);
}

// The core of a validated proof, through the one writer of files; `produce`
// writes it and returns the steps written, setting the steps checked.
void Run::write_core(const std::function<uint64_t(std::ostream&, uint64_t&)>& produce) {
  timeval phase;
  gettimeofday(&phase, nullptr);
  write_output_file(arguments_.core_file, arguments_.input_files(), [&](std::ostream& out) {
    statistics_.core_steps = produce(out, statistics_.core_of);
  });
  statistics_.has_core = true;
  statistics_.core_seconds = seconds_since(phase);
}

// A validated proof's functions: its reductions (`extract` hands them to the
// strategy) as one circuit over the QBF file's prefix.
FunctionCircuit Run::build_functions(const std::vector<uint32_t>& qbf_prefix, const char* kind,
                                   const std::function<void(Strategy&)>& extract, Rule rule) {
  timeval phase;
  gettimeofday(&phase, nullptr);
  Strategy strategy(rule);
  extract(strategy);
  FunctionCircuit circuit = build_strategy_circuit(strategy, qbf_prefix, formula_.levels);
  statistics_.function_kind = kind;
  statistics_.function_rules = strategy.entries().size();
  statistics_.function_gates = circuit.and_count();
  statistics_.function_seconds = seconds_since(phase);
  return circuit;
}

void Run::write_functions(const std::string& path, const char* kind,
                          const FunctionCircuit& circuit) {
  timeval phase;
  gettimeofday(&phase, nullptr);
  write_aiger_file(path, arguments_.input_files(), circuit,
                   {std::string(kind) + " functions written by zel",
                    "formula: " + arguments_.qbf_file,
                    "certificate: " + arguments_.certificate_file});
  statistics_.function_seconds += seconds_since(phase);
}

std::string Run::where() const {
  if (aiger_reader_) return aiger_reader_->where();
  if (qrp_reader_) return qrp_checker_ ? qrp_checker_->where(*qrp_reader_) : qrp_reader_->where();
  return describe_position(InputPosition{line(), column(), 0}, false);
}
