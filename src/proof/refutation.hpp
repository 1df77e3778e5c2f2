// What a checked refutation yields besides its verdict, built from the
// proof checker's record and the formula alone: its core as a zel
// certificate (core.cpp) and the reductions its Herbrand functions are
// built from (functions.cpp).
#ifndef ZEL_PROOF_REFUTATION_HPP
#define ZEL_PROOF_REFUTATION_HPP

#include <cstdint>
#include <ostream>
#include <vector>

#include "formula/qcnf.hpp"
#include "formula/strategy.hpp"
#include "proof/proof_record.hpp"

// Marks the store positions up to the refuting clause's that it rests on:
// the refuting clause and, through the recorded antecedents, every clause
// a step it rests on names.
std::vector<uint8_t> core_positions(const ProofRecord& record);

// Writes the steps the refuting clause of `record` (a refutation checked
// with the record kept) rests on, with the extension definitions they
// need, to `out` as a zel certificate. Returns the number of steps
// written; `steps` is set to the number of clause steps recorded.
uint64_t write_core(std::ostream& out, const ProofRecord& record, const QCNF& formula,
                    uint64_t& steps);

// Hands `strategy` (for clauses) the reductions of the steps the refuting
// clause rests on, replayed in store order, and then the conclusion's.
// Throws Exception when such a step was taken on trust (--ignore).
void extract_herbrand_strategy(const ProofRecord& record, const QCNF& formula,
                               Strategy& strategy);

#endif
