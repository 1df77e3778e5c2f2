// The model checker's stages without a certificate reader: model pairs
// handed over through set_model, then check. Quantification refusals,
// dependency refusals (a cycle, a function reading a universal quantified
// inside its variable), a counterexample and a validated model, each with
// the exact message or output.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "formula/qcnf.hpp"
#include "model/model_checker.hpp"
#include "read/qdimacs_reader.hpp"
#include "support.hpp"

namespace {

using Pairs = std::vector<std::pair<uint32_t, int32_t>>;

// e 1, a 2, e 3 (levels 0, 1, 2); the clauses say 3 = NOT 2 and leave 1 free.
const char* const kFormula =
    "p cnf 3 2\n"
    "e 1 0\n"
    "a 2 0\n"
    "e 3 0\n"
    "3 2 0\n"
    "-3 -2 0\n";

struct Outcome {
  std::string error;   // the Exception's message; empty when check returned
  bool valid = false;  // check's result
  std::string output;  // what check printed
};

Outcome check_model(const Pairs& pairs) {
  zeltest::MemoryTokens input(kFormula, Tokenizer::Separators::QDIMACS, "QBF File: ");
  QCNF formula;
  read_qdimacs(input.tokens(), formula);
  std::vector<uint32_t> prefix;
  for (const Block& block : formula.blocks)
    block.for_each([&](uint32_t variable) { prefix.push_back(variable); });
  ModelChecker model(formula, formula.clauses.size(), formula.max_variable, prefix,
                     ModelChecker::Options());
  model.set_model(pairs);
  Outcome outcome;
  zeltest::CoutCapture capture;
  outcome.error = zeltest::message_of([&] { outcome.valid = model.check(); });
  if (outcome.error == "<no exception>") outcome.error.clear();
  outcome.output = capture.text();
  return outcome;
}

struct StageCase {
  const char* name;     // what the model does
  Pairs pairs;          // the model handed over
  const char* error;    // the exact refusal; empty when check returns
  bool valid;           // check's result when it returns
  const char* output;   // what check prints when it returns
};

TEST(model_checker, StagesThroughSetModel) {
  const std::vector<StageCase> cases = {
      // Quantification: only existential variables take a model.
      {"universal", {{3, -2}, {2, 1}}, "Universal or unquantified variable in model.", false, ""},
      {"unquantified", {{3, -2}, {7, 1}}, "Universal or unquantified variable in model.", false, ""},
      // Dependencies.
      {"reads_deeper_universal", {{3, -2}, {1, 2}},
       "Model function for 1 (on level 0) depends on universal variable with higher "
       "quantification (2 on level 1).",
       false, ""},
      {"reads_deeper_universal_through_a_function", {{3, -2}, {1, -3}},
       "Model function for 1 (on level 0) depends on universal variable with higher "
       "quantification (2 on level 1).",
       false, ""},
      {"cycle", {{1, 3}, {3, 1}}, "The model provided contains cyclic function definitions.",
       false, ""},
      {"self_cycle", {{3, -3}}, "The model provided contains cyclic function definitions.", false,
       ""},
      // The model test.
      {"counterexample", {{3, 2}}, "", false, "\nCounterexample found.\nClause (#1): (3, 2)\n"},
      {"counterexample_reading_an_outer_existential", {{3, 1}}, "", false,
       "\nCounterexample found.\nClause (#1): (3, 2)\n"},
      {"valid", {{3, -2}}, "", true, ""},
      {"later_pair_replaces_earlier", {{3, 2}, {3, -2}}, "", true, ""},
      {"no_model_at_all", {}, "", false, "\nCounterexample found.\nClause (#1): (3, 2)\n"},
  };
  for (const StageCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = check_model(c.pairs);
    EXPECT_EQ(outcome.error, c.error);
    if (*c.error) continue;
    EXPECT_EQ(outcome.valid, c.valid);
    EXPECT_EQ(outcome.output, c.output);
  }
}

}  // namespace
