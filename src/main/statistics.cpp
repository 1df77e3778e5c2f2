// Writing the --stats summary.

#include "main/statistics.hpp"

#include <sys/resource.h>

#include <cstdio>

namespace {

void line(std::ostream& out, const char* label, const std::string& value) {
  char text[64];
  std::snprintf(text, sizeof text, "c %-24s ", label);
  out << text << value << '\n';
}

std::string number(uint64_t value) { return std::to_string(value); }

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", value);
  return text;
}

std::string input(const ByteSource& source) {
  std::string text = number(source.bytes_in()) + " bytes";
  if (source.format() != ByteSource::Format::PLAIN)
    text += std::string(" ") + ByteSource::format_name(source.format()) + ", " +
            number(source.bytes_out()) + " bytes decompressed";
  return text;
}

}  // namespace

void RunStatistics::write(std::ostream& out, const std::string& formula_name,
                          const ByteSource& formula, const std::string& certificate_name,
                          const ByteSource& certificate) const {
  out << "c zel statistics\n";
  if (!formula_name.empty()) line(out, "formula", formula_name + ": " + input(formula));
  line(out, "certificate", certificate_name + ": " + input(certificate));
  if (has_qrp) {
    line(out, "certificate kind", certificate_kind);
    line(out, "steps checked", number(qrp.steps()) + " (" + number(qrp.input_clauses) +
                                   " input clauses, " + number(qrp.initial_cubes) +
                                   " initial cubes, " + number(qrp.clause_steps) +
                                   " clause steps, " + number(qrp.cube_steps) + " cube steps)");
    line(out, "steps skipped", number(qrp.skipped));
    line(out, "steps outside the proof", number(qrp.outside_proof));
    line(out, "initial cubes by MiniSat", number(qrp.cubes_solved));
    line(out, "readings of the trace", number(qrp_readings));
  } else if (has_aiger) {
    line(out, "certificate kind", certificate_kind);
    if (*aiger_function_kind) line(out, "functions", aiger_function_kind);
    line(out, "AND gates read", number(aiger_gates));
    if (has_herbrand) line(out, "gates encoded", number(herbrand.gates_encoded));
  } else {
    line(out, "chain steps", number(proof.chain_steps));
    line(out, "merge steps", number(proof.merge_steps));
    line(out, "resolution lines", number(proof.resolution_lines));
    line(out, "AND extensions", number(proof.and_extensions));
    line(out, "ITE extensions", number(proof.ite_extensions));
    line(out, "delayed steps",
         number(proof.delayed_steps) + " (" + number(proof.settled_steps) +
             " settled at the conclusion)");
    line(out, "delayed extensions",
         number(proof.delayed_extensions) + " (" + number(proof.settled_extensions) +
             " settled at the conclusion)");
  }
  line(out, "clauses stored", number(clauses));
  line(out, "literals stored", number(literals));
  if (!has_qrp && !has_aiger)
    line(out, "sound-chain searches", number(proof.chain_searches) + " (" +
                                          number(proof.chain_search_work) + " literals touched)");
  if (has_model) {
    line(out, "model entries", number(model.model_entries));
    line(out, "gates", number(model.gates) + " (" + number(model.graph_gates) +
                           " two-input ANDs after hashing)");
    line(out, "clauses tested", number(model.clauses_tested) + " (" +
                                  number(model.clauses_solved) + " by MiniSat, over " +
                                  number(model.gates_encoded) + " gates)");
    line(out, "clauses by diagrams",
         number(model.diagram_clauses + model.diagram_counterexamples) + " (" +
             number(model.diagram_clauses) + " never false, " +
             number(model.diagram_counterexamples) + " falsifiable; " +
             number(model.diagrams_first) + " before MiniSat; " + number(model.diagram_gates) +
             " shared gate diagrams)");
  }
  line(out, "formula time", seconds(formula_seconds));
  line(out, "proof time", seconds(proof.proof_seconds));
  line(out, "conclusion time", seconds(proof.conclusion_seconds));
  if (has_model) {
    line(out, "model test time", seconds(model.test_seconds));
    line(out, "  MiniSat time", seconds(model.solver_seconds));
    line(out, "  diagram time", seconds(model.diagram_seconds));
  }
  if (has_herbrand) line(out, "Herbrand test time", seconds(herbrand.test_seconds));
  if (has_core) {
    char share[32];
    std::snprintf(share, sizeof share, " (%.1f %%)",
                  core_of ? 100.0 * static_cast<double>(core_steps) / core_of : 0.0);
    line(out, "core steps", number(core_steps) + " of " + number(core_of) + share);
    line(out, "core time", seconds(core_seconds));
  }
  if (function_kind) {
    line(out, "functions", std::string(function_kind) + ", " + number(function_gates) +
                               " AND gates from " + number(function_rules) + " reductions");
    line(out, "functions time", seconds(function_seconds));
  }
  line(out, "total time", seconds(total_seconds));
  const double megabytes = static_cast<double>(formula.bytes_in() + certificate.bytes_in()) / 1e6;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f MB/s", total_seconds > 0 ? megabytes / total_seconds : 0.0);
  line(out, "throughput", rate);
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  char memory[32];
  std::snprintf(memory, sizeof memory, "%.1f MB", static_cast<double>(usage.ru_maxrss) / 1024.0);
  line(out, "peak memory", memory);
  out.flush();
}
