// An AIGER circuit as a certificate of a formula: which functions it holds
// (Skolem functions of the existential variables, or Herbrand functions of
// the universal ones), told by the variables its outputs name, and the
// translation of Skolem functions into the model checker's terms. Herbrand
// functions are checked by herbrand_check.
#ifndef ZEL_MODEL_AIGER_CERTIFICATE_HPP
#define ZEL_MODEL_AIGER_CERTIFICATE_HPP

#include <cstdint>
#include <utility>
#include <vector>

#include "formula/qcnf.hpp"
#include "model/aiger_writer.hpp"
#include "read/aiger_reader.hpp"

enum class AigerFunctions {
  SKOLEM,    // outputs existential (or none), inputs universal: the formula is true
  HERBRAND,  // outputs universal, inputs existential: the formula is false
};

// "Skolem", "Herbrand".
const char* aiger_functions_name(AigerFunctions functions);

// The kind of the functions: every output (but `result`) names an
// existential variable of `formula` (free variables are outermost
// existentials): Skolem; every one a universal: Herbrand; no output at
// all: Skolem. Throws Exception for an output naming a variable the
// formula does not have, for outputs of both kinds, and for an input not
// in the formula or not of the kind the functions read (universal for
// Skolem, existential for Herbrand).
AigerFunctions classify_aiger_certificate(const QCNF& formula, const AigerCircuit& circuit,
                                          const AigerVariables& variables);

// What defines each AIGER variable of a circuit: node i < inputs is input i,
// node inputs + g is AND gate g; variable 0 (the constants) is kConstant,
// a variable nothing defines is kNoGate.
class AigerNodes {
 public:
  static constexpr uint32_t kConstant = 0xFFFFFFFEu;
  static constexpr uint32_t kNoGate = 0xFFFFFFFFu;

  // Memory: a table of one word per AIGER variable up to M when the
  // variables in use are dense (M at most four times I + A), else two words
  // per input and gate, searched by binary search: a header announcing a
  // large M over a few gates claims no table.
  explicit AigerNodes(const AigerCircuit& circuit);

  // The node of a literal's variable.
  uint32_t node(uint32_t literal) const;
  uint32_t inputs() const { return inputs_; }
  uint32_t size() const { return size_; }

 private:
  uint32_t inputs_ = 0;            // I
  uint32_t size_ = 0;              // I + A
  std::vector<uint32_t> node_of_;  // dense: AIGER variable -> node, kConstant or kNoGate; else empty
  std::vector<std::pair<uint32_t, uint32_t>> sparse_;  // else: (AIGER variable, node), ascending
};

// Skolem functions into the model checker's terms: each AND gate (in the
// circuit's topological order) becomes an AND extension of two operands
// over a fresh variable numbered after the formula's largest, applied to
// `formula` (which places it in the prefix and records the definition);
// the constants are literals of one more fresh variable, defined as the
// empty AND (true), first. Inputs stand for their formula variables. The
// defining clauses the extensions append are dropped again (the formula
// keeps its first `input_clauses`): the model stages read the definitions.
// Returns the model pairs (existential variable, literal of its function),
// one per output but `result`. Throws Exception when the fresh variables
// would pass the variable limit, and for an output that reads a variable no
// input or gate defines.
std::vector<std::pair<uint32_t, int32_t>> apply_skolem_circuit(QCNF& formula,
                                                               uint32_t input_clauses,
                                                               const AigerCircuit& circuit,
                                                               const AigerVariables& variables);

// Validated Herbrand functions of a certificate re-expressed as zel writes
// Herbrand functions (--herbrand): inputs the existential variables of
// `prefix` (the QBF file's, in prefix order), outputs its universal ones in
// the same order, a universal without a function constant false (as the
// check takes it). The certificate's gates go through structural hashing
// in their topological order; only gates an output reads are kept.
// `variables` maps the inputs to existentials of `formula`
// (classify_aiger_certificate said Herbrand). Throws Exception only when
// the circuit would pass the AIGER limit.
FunctionCircuit herbrand_certificate_circuit(const QCNF& formula, const std::vector<uint32_t>& prefix,
                                           const AigerCircuit& circuit,
                                           const AigerVariables& variables);

#endif
