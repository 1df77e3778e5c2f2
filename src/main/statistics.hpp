// What --stats reports on standard error after the verdict: the inputs,
// the work of each checker, the time of each phase, throughput and peak
// memory.
#ifndef ZEL_MAIN_STATISTICS_HPP
#define ZEL_MAIN_STATISTICS_HPP

#include <cstdint>
#include <ostream>
#include <string>

#include "model/herbrand_check.hpp"
#include "model/model_checker.hpp"
#include "proof/proof_checker.hpp"
#include "proof/qrp_checker.hpp"
#include "read/byte_source.hpp"

struct RunStatistics {
  ProofStatistics proof;        // the proof checker's counts and phase times
  ModelStatistics model;        // the model checker's, when a model was read
  bool has_model = false;       // a model was read
  QrpStatistics qrp;            // the QRP checker's, when a QRP trace was read
  bool has_qrp = false;         // a QRP trace was read
  unsigned qrp_readings = 0;    // times the trace was read (two passes, a third after a fault)
  bool has_aiger = false;       // an AIGER circuit was read
  const char* aiger_function_kind = "";  // "Skolem" or "Herbrand", once told
  uint64_t aiger_gates = 0;     // its AND gates
  HerbrandStatistics herbrand;  // the Herbrand check's, when one ran
  bool has_herbrand = false;    // a Herbrand check ran
  const char* certificate_kind = "unknown";  // as detected (certificate_kind_name)
  uint64_t clauses = 0;         // clauses stored at the end
  uint64_t literals = 0;        // literals stored at the end
  double formula_seconds = 0;   // reading the QBF file
  double total_seconds = 0;     // the whole run
  bool has_core = false;        // --core wrote a core
  uint64_t core_steps = 0;      // steps in it
  uint64_t core_of = 0;         // steps checked
  double core_seconds = 0;      // finding and writing it
  const char* function_kind = nullptr;  // "Herbrand" or "Skolem" when a proof's functions
                                        // were written
  uint64_t function_rules = 0;  // reductions they were built from
  uint64_t function_gates = 0;  // AND gates of the circuit
  double function_seconds = 0;  // extracting, building and writing them

  void write(std::ostream& out, const std::string& formula_name, const ByteSource& formula,
             const std::string& certificate_name, const ByteSource& certificate) const;
};

#endif
