// The functions of a proof's strategy (formula/strategy.hpp) as an AIGER
// circuit: Herbrand functions of a refutation, Skolem functions of a cube
// proof, in the conventions of the Skolem circuits of models.
#ifndef ZEL_MODEL_STRATEGY_CIRCUIT_HPP
#define ZEL_MODEL_STRATEGY_CIRCUIT_HPP

#include <cstdint>
#include <vector>

#include "formula/strategy.hpp"
#include "model/aiger_writer.hpp"

// The circuit of `strategy` over the QBF file's variables `prefix` (in
// prefix order; `levels` is the formula's level table). Inputs are the
// variables of the pivot quantifier (existential ones for a refutation,
// universal ones for a cube proof), outputs those of the reduced quantifier,
// each in prefix order. Each output is its rules' decision list in proof
// order, false by default, built bottom-up in the hashed graph: a rule
// giving true is (condition OR rest), one giving false (NOT condition AND
// rest); a condition is the AND of its literals, negated for clauses. Every
// literal of a condition is a variable of `prefix` on a level before the
// rule's variable; otherwise Exception (a proof whose steps name variables
// the QBF file does not quantify, which --ignore lets through).
FunctionCircuit build_strategy_circuit(const Strategy& strategy, const std::vector<uint32_t>& prefix,
                                     const std::vector<unsigned>& levels);

#endif
