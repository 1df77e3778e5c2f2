// What a checked QRP trace yields besides its verdict, read from the
// checker's record and the formula alone: the core of the proof
// (qrp_core.cpp) and the reductions its functions are built from
// (qrp_functions.cpp). Both derive steps again through derive_qrp_step.
#ifndef ZEL_PROOF_QRP_OUTPUTS_HPP
#define ZEL_PROOF_QRP_OUTPUTS_HPP

#include <cstdint>
#include <ostream>

#include "formula/qcnf.hpp"
#include "formula/strategy.hpp"
#include "proof/qrp_record.hpp"
#include "read/qrp_reader.hpp"

// The core of a proved record (a root): the steps the empty constraint
// rests on, written to `out` with `header`'s numbers and the trace's
// blocks. A clause proof whose steps zel's format can express (resolutions
// of two clauses without long-distance pairs, and reductions that fold into
// the resolution after them or into the conclusion) is written in zel's
// format; otherwise, and always when `binary`, as a QRP trace of those
// steps and the input clauses they use, numbered densely. Returns the
// number of the trace's steps in the core.
uint64_t write_qrp_core(std::ostream& out, const QrpRecord& record, const QCNF& formula,
                        const QrpHeader& header, bool binary);

// The reductions of a proved record's core, replayed in trace order: clause
// steps for Herbrand functions of a refutation, cube steps for Skolem
// functions of an `r SAT` proof, after the strategy's rule (the record's
// proved rule). Throws Exception naming the first core step that resolves
// with a long-distance pair.
void extract_qrp_strategy(const QrpRecord& record, const QCNF& formula, Strategy& strategy);

#endif
