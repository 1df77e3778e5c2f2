// The QDIMACS reader: loads a formula file into an empty formula.
#ifndef ZEL_READ_QDIMACS_READER_HPP
#define ZEL_READ_QDIMACS_READER_HPP

#include "formula/qcnf.hpp"
#include "read/tokenizer.hpp"

// Reads the whole file from `tokens` (which separates tokens by any white
// space) into `formula`. Throws Exception when the file is refused, as the
// tokenizer does, with the tokenizer standing where the fault is. Fewer
// clauses than announced are accepted; every clause the file holds is read.
void read_qdimacs(Tokenizer& tokens, QCNF& formula);

#endif
