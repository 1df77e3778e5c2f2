// A QRP trace checked in memory against a QBF file, for the unit tests of
// the QRP checker and its record: the verdict or the located refusal, the
// counts, and a look at the record the check left.
#ifndef ZEL_TESTS_UNIT_QRP_SUPPORT_HPP
#define ZEL_TESTS_UNIT_QRP_SUPPORT_HPP

#include <functional>
#include <string>

#include "proof/qrp_checker.hpp"
#include "read/qdimacs_reader.hpp"
#include "support.hpp"

namespace zeltest {

struct QrpOutcome {
  std::string text;          // "validated", "erroneous" or "WHERE: MESSAGE"
  QrpStatistics statistics;  // the checker's counts at the end
};

// Checks `trace` against `qdimacs`; `inspect`, when given, sees the
// checker's record and the formula before they go.
inline QrpOutcome check_qrp_trace(
    const std::string& qdimacs, const std::string& trace, QrpChecker::Options options,
    const std::function<void(const QrpRecord&, const QCNF&)>& inspect = nullptr) {
  QCNF formula;
  MemoryTokens formula_tokens(qdimacs, Tokenizer::Separators::QDIMACS, "QBF File: ");
  read_qdimacs(formula_tokens.tokens(), formula);
  ByteSource source;
  source.open_memory(trace.data(), trace.size(), "trace");
  QrpReader reader(source);
  QrpChecker checker(formula, options);
  QrpOutcome outcome;
  try {
    reader.read_header();
    outcome.text = checker.check(reader) ? "validated" : "erroneous";
  } catch (const Exception& error) {
    outcome.text = checker.where(reader) + ": " + error.message;
  }
  outcome.statistics = checker.statistics();
  if (inspect) inspect(checker.record(), formula);
  return outcome;
}

}  // namespace zeltest

#endif
