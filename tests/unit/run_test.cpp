// One run of the checker on inputs in memory: the verdict, what it writes
// to standard output, and for an error its message and the certificate
// position main reports it at.
#include "main/run.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.hpp"

namespace {

enum class Verdict { VALIDATED, ERRONEOUS, ERROR };

struct RunCase {
  std::string name;
  std::string formula;      // empty: the certificate alone
  std::string certificate;
  Verdict verdict;
  std::string output;       // standard output of the run
  std::string message;      // the error's message (ERROR)
  uint32_t line, column;    // where it is reported (ERROR)
};

void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class Runs : public ::testing::TestWithParam<RunCase> {};

TEST_P(Runs, VerdictOutputAndPosition) {
  const RunCase& c = GetParam();
  Arguments arguments;
  if (!c.formula.empty()) arguments.qbf_file = "f.qdimacs";
  arguments.certificate_file = "c.cert";
  ::Run run(arguments);
  run.use_memory(c.formula.data(), c.formula.size(), c.certificate.data(), c.certificate.size());
  Verdict verdict = Verdict::ERROR;
  std::string output;
  const std::string message = zeltest::message_of([&] {
    zeltest::CoutCapture out;
    try {
      verdict = run.check() ? Verdict::VALIDATED : Verdict::ERRONEOUS;
    } catch (...) {
      output = out.text();
      throw;
    }
    output = out.text();
  });
  EXPECT_EQ(verdict, c.verdict);
  EXPECT_EQ(output, c.output);
  if (c.verdict == Verdict::ERROR) {
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(run.line(), c.line);
    EXPECT_EQ(run.column(), c.column);
  } else {
    EXPECT_EQ(message, "<no exception>");
  }
}

const char kFalse[] = "p cnf 2 3\ne 1 2 0\n1 0\n-1 2 0\n-2 0\n";
const char kUniversalFirst[] = "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n-1 -2 0\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Run, Runs,
    ::testing::Values(
        RunCase{"Refutation", kFalse, "QBCertificate\n4 0 1 2 3 0\nCONCLUDE INVALID 4\n", Verdict::VALIDATED, "", "", 0, 0},
        RunCase{"RefutationOfAnotherClause", kFalse, "QBCertificate\n4 2 0 1 2 0\nCONCLUDE INVALID 4\n",
                Verdict::ERRONEOUS, "", "", 0, 0},
        // 2 = -1 is a model; 2 = 1 is not.
        RunCase{"Model", kUniversalFirst, "QBCertificate\nE 3 A -1 0\nCONCLUDE VALID 2 3\n", Verdict::VALIDATED, "",
                "", 0, 0},
        RunCase{"ModelWithCounterexample", kUniversalFirst, "QBCertificate\nCONCLUDE VALID 2 1\n",
                Verdict::ERRONEOUS, "\nCounterexample found.\nClause (#1): (1, 2)\n", "", 0, 0},
        RunCase{"CertificateAlone", "", "QBCertificate\n1 1 0 0\n2 -1 0 0\n3 0 1 2 0\nCONCLUDE INVALID 3\n",
                Verdict::ERROR, "", "Resolvent not justified (no antecedents).", 2, 8},
        RunCase{"BogusResolvent", "p cnf 2 2\na 1 0\ne 2 0\n1 2 0\n1 -2 0\n", "QBCertificate\n5 *1 2 0\n",
                Verdict::ERROR, "", "Bogus resolvent.", 2, 5},
        // Freshness is checked before the operands are read.
        RunCase{"NotFreshBeforeOperands", kFalse, "QBCertificate\nE 1 A -7 0\n", Verdict::ERROR, "",
                "Variable is not fresh: 1", 2, 4},
        RunCase{"NotFreshNegated", kFalse, "QBCertificate\nE -2 A 0\n", Verdict::ERROR, "",
                "Variable is not fresh: -2", 2, 5},
        RunCase{"MissingHeader", kFalse, "QBCertificat\n", Verdict::ERROR, "", "Missing header in file: 'c.cert'.",
                1, 13},
        RunCase{"FormulaRefused", "p cnf 2 1\n1 x 0\n", "QBCertificate\n", Verdict::ERROR, "",
                "QBF File: Bogus clause.", 1, 14}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return info.param.name; });
// clang-format on

}  // namespace
