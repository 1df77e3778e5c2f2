// Building the messages with a variable part.

#include "core/messages.hpp"

#include "core/limits.hpp"

namespace message {

namespace {

const std::string kLimitText =
    " exceeds the largest supported variable number " + std::to_string(kMaxVariable) + ".";

}  // namespace

std::string variable_limit(uint64_t variable) {
  return "Variable " + std::to_string(variable) + kLimitText;
}

std::string quantified_variable_limit(const std::string& token) {
  return "QBF File: Quantified variable " + token + kLimitText;
}

std::string clause_variable_limit(uint64_t variable) {
  return "QBF File: Variable " + std::to_string(variable) + " in a clause" + kLimitText;
}

std::string quantified_twice(uint32_t variable) {
  return "QBF File: Variable " + std::to_string(variable) + " is quantified twice.";
}

std::string clause_number_limit(uint32_t number) {
  return "Clause number " + std::to_string(number) +
         " exceeds the largest supported clause number " + std::to_string(kLargestClauseNumber) +
         ".";
}

std::string clause_redefined(uint32_t number) {
  return "Redefinition of clause #" + std::to_string(number);
}

std::string clause_not_defined(uint32_t number) {
  return "Clause #" + std::to_string(number) + " is not defined.";
}

std::string clause_too_long(uint64_t literals) {
  return "Clause of " + std::to_string(literals) + " literals is too long to store (at most " +
         std::to_string(kLongestClause) + ").";
}

std::string depends_on_undefined(uint32_t variable) {
  return "Definition depends on undefined variable #" + std::to_string(variable);
}

std::string not_fresh(int64_t literal) { return "Variable is not fresh: " + std::to_string(literal); }

std::string number_conversion_failed(const std::string& token) {
  return "Number conversion failed (" + token + ").";
}

std::string missing_header(const std::string& file_name) {
  return "Missing header in file: '" + file_name + "'.";
}

std::string unknown_claim(const std::string& claim) { return "Unknown claim: " + claim + "."; }

std::string tautological_resolvent(const std::string& clause) {
  return "Tautological resolvent encountered: " + clause;
}

std::string cannot_write(const std::string& path, const std::string& reason) {
  return "Cannot write file: '" + path + "' (" + reason + ").";
}

std::string cannot_open(const std::string& path) { return "Cannot open file: '" + path + "'."; }

std::string option_given_twice(const std::string& option) {
  return "Option " + option + " given twice.";
}

std::string needs_no_model(uint32_t variable) {
  return "Variable " + std::to_string(variable) + " does not need a model.";
}

std::string model_undefined(uint32_t variable, int32_t function) {
  return "Model for " + std::to_string(variable) + " (" + std::to_string(function) +
         ") is undefined.";
}

std::string model_reads_deeper_universal(uint32_t variable, uint32_t level, uint32_t universal,
                                         uint32_t universal_level) {
  return "Model function for " + std::to_string(variable) + " (on level " + std::to_string(level) +
         ") depends on universal variable with higher quantification (" +
         std::to_string(universal) + " on level " + std::to_string(universal_level) + ").";
}

std::string herbrand_reads_deeper_existential(uint32_t universal, uint32_t level,
                                              uint32_t existential, uint32_t existential_level) {
  return "Herbrand function for " + std::to_string(universal) + " (on level " +
         std::to_string(level) + ") depends on existential variable with higher quantification (" +
         std::to_string(existential) + " on level " + std::to_string(existential_level) + ").";
}

std::string aiger_variable_not_in_formula(const char* port, uint32_t index, uint32_t literal,
                                          uint32_t variable) {
  return std::string(port) + " " + std::to_string(index) + " (literal " + std::to_string(literal) +
         ") names variable " + std::to_string(variable) + ", which the QBF file does not have.";
}

std::string aiger_outputs_of_both_kinds(uint32_t first, const char* first_quantifier,
                                        uint32_t first_variable, uint32_t output,
                                        const char* quantifier, uint32_t variable) {
  return "Output " + std::to_string(first) + " names " + first_quantifier + " variable " +
         std::to_string(first_variable) + ", but output " + std::to_string(output) + " names " +
         quantifier + " variable " + std::to_string(variable) +
         ": the outputs are Skolem functions (existential variables) or Herbrand "
         "functions (universal variables), not both.";
}

std::string aiger_input_of_wrong_kind(uint32_t index, uint32_t literal, const char* quantifier,
                                      uint32_t variable, const char* functions,
                                      const char* expected_quantifier) {
  return "Input " + std::to_string(index) + " (literal " + std::to_string(literal) + ") names " +
         quantifier + " variable " + std::to_string(variable) + ", but the inputs of " + functions +
         " functions are " + expected_quantifier + " variables.";
}

std::string aiger_output_undefined(uint32_t index, uint32_t literal) {
  return "Output " + std::to_string(index) + " (literal " + std::to_string(literal) +
         ") reads variable " + std::to_string(literal >> 1) +
         ", which no input or AND gate defines.";
}

std::string aiger_fresh_variables(uint32_t gates, bool constant, uint32_t max_variable,
                                  uint64_t last_fresh) {
  return "The circuit's " + std::to_string(gates) + " AND gates" +
         (constant ? " and its constant" : "") + " need fresh variables after the formula's " +
         std::to_string(max_variable) + ", up to " + std::to_string(last_fresh) +
         ": beyond the largest supported variable number " + std::to_string(kMaxVariable) + ".";
}

const char* kind_name(bool cube) { return cube ? "cube" : "clause"; }

namespace {
// Clauses resolve on existential variables and reduce universal ones;
// cubes the other way round.
const char* pivot_quantifier(bool cube) { return cube ? "universal" : "existential"; }
const char* reduced_quantifier(bool cube) { return cube ? "existential" : "universal"; }
}  // namespace

std::string qrp_step(uint32_t index) { return "Step " + std::to_string(index) + ": "; }

std::string qrp_prefix_not_in_formula(uint32_t variable) {
  return "Prefix differs from the QBF file's: variable " + std::to_string(variable) +
         " is not in the QBF file.";
}

std::string qrp_quantified_twice(uint32_t variable) {
  return "Variable " + std::to_string(variable) + " is quantified twice in the trace.";
}

std::string qrp_prefix_quantifier(uint32_t variable, bool universal_in_trace) {
  return "Prefix differs from the QBF file's: variable " + std::to_string(variable) + " is " +
         (universal_in_trace ? "universal" : "existential") + " in the trace, " +
         (universal_in_trace ? "existential" : "universal") + " in the QBF file.";
}

std::string qrp_prefix_inner_block(uint32_t variable) {
  return "Prefix differs from the QBF file's: variable " + std::to_string(variable) +
         " stands in an inner block of the trace but an outer block of the QBF file.";
}

std::string qrp_prefix_shared_block(uint32_t variable, uint32_t first) {
  return "Prefix differs from the QBF file's: variable " + std::to_string(variable) +
         " shares a block of the trace with variable " + std::to_string(first) +
         " but not a block of the QBF file.";
}

std::string qrp_trace_changed(const std::string& path) {
  return "The trace '" + path +
         "' changed while it was checked: its second reading differs from the first.";
}

std::string qrp_index_used_twice(uint32_t index) {
  return "Step index " + std::to_string(index) + " is used twice.";
}

std::string qrp_index_limit(uint32_t index, uint32_t largest) {
  return "Step index " + std::to_string(index) + " exceeds the largest supported index " +
         std::to_string(largest) + ".";
}

std::string qrp_antecedent_undefined(uint32_t antecedent) {
  return "antecedent " + std::to_string(antecedent) + " is not defined.";
}

std::string qrp_variable_not_in_formula(uint32_t variable) {
  return "variable " + std::to_string(variable) + " is not in the QBF file.";
}

std::string qrp_antecedents_of_both_kinds(uint32_t first, bool first_is_cube, uint32_t other) {
  return "antecedent " + std::to_string(first) + " is a " + kind_name(first_is_cube) +
         ", antecedent " + std::to_string(other) + " a " + kind_name(!first_is_cube) + ".";
}

std::string qrp_no_single_clash(uint32_t antecedent, bool several, bool cube) {
  return "antecedent " + std::to_string(antecedent) +
         (several ? " clashes with the antecedents before it on more than one "
                  : " does not clash with the antecedents before it on an ") +
         pivot_quantifier(cube) + " variable.";
}

std::string qrp_refused_pair(uint32_t antecedent, uint32_t pivot, uint32_t variable, bool cube) {
  const std::string name = std::to_string(variable);
  return "resolving antecedent " + std::to_string(antecedent) + " on variable " +
         std::to_string(pivot) + " leaves " + name + " and -" + name + " (allowed only for a " +
         reduced_quantifier(cube) + " variable on a level greater than the pivot's).";
}

std::string qrp_listed_differ(const std::string& listed, bool reduced, bool cube,
                              const std::string& derived) {
  return "the listed literals " + listed + (reduced ? ", reduced," : "") + " differ from the " +
         kind_name(cube) + " derived " + derived + ".";
}

std::string qrp_work_bound(uint64_t bound) {
  return "the resolutions of the trace so far pass over more than " + std::to_string(bound) +
         " literals (a base and 1024 for each number read): the trace is refused as too costly "
         "to check.";
}

// The zel format's proof checker.

std::string unsettled_steps(const std::vector<uint32_t>& numbers,
                            const std::vector<uint32_t>& ends,
                            const std::vector<uint32_t>& antecedents,
                            const std::vector<uint8_t>& undefined) {
  std::string text = "The following delayed resolutions are missing antecedents at conclusion: \n";
  uint32_t begin = 0;
  for (size_t step = 0; step < numbers.size(); ++step) {
    text += std::to_string(numbers[step]) + ": ";
    for (uint32_t a = begin; a < ends[step]; ++a)
      text += std::to_string(antecedents[a]) + (undefined[a] ? "*" : "") + ", ";
    text += '\n';
    begin = ends[step];
  }
  return text;
}

std::string unsettled_extensions(const std::vector<uint32_t>& variables,
                                 const std::vector<uint32_t>& lines) {
  std::string text =
      "The following extensions were not applied because of missing dependencies at "
      "conclusion:\n";
  for (size_t i = 0; i < variables.size(); ++i)
    text += "E " + std::to_string(variables[i]) + " (line #" + std::to_string(lines[i]) + ")\n";
  return text;
}

std::string trusted_clause_in_core(uint32_t number) {
  return "Cannot build Herbrand functions: clause " + std::to_string(number) +
         " rests on no antecedents (taken on trust with --ignore).";
}

std::string listing_cut(uint64_t count, const char* unit) {
  return "(listing cut after " + std::to_string(count) + " " + unit + ")";
}

// The QRP checker.

std::string qrp_functions_long_distance(bool herbrand, uint32_t step) {
  return std::string("Cannot build ") + (herbrand ? "Herbrand" : "Skolem") + " functions: step " +
         std::to_string(step) + " is a long-distance resolution (its resolvent holds a " +
         (herbrand ? "universal" : "existential") +
         " variable in both signs); functions are built from proofs without long-distance "
         "steps.";
}

// Reading.

std::string read_failed(const std::string& name, const char* reason) {
  return "Could not read file '" + name + "': " + reason + ".";
}

std::string decompress_failed(const std::string& name, const std::string& detail) {
  return "Could not decompress file '" + name + "': " + detail + ".";
}

std::string token_too_long(const char* context, const std::string& start) {
  return std::string(context) + "Token too long: '" + start + "...' (more than " +
         std::to_string(kLongestToken) + " bytes).";
}

std::string qrp_header_expected(const std::string& found) {
  return "QRP header expected ('p qrp V C' or 'p bqrp V C'), found '" + found + "'.";
}

std::string cut_off(const std::string& what) { return what + " cut off by the end of the file."; }

std::string qrp_cut_off(const char* within, uint32_t index) {
  if (index == 0) return cut_off(within);
  return cut_off(std::string(within) + " " + std::to_string(index));
}

std::string qrp_negative_variable(int32_t variable) {
  return "Quantified variable " + std::to_string(variable) + " is negative.";
}

std::string qrp_result_expected(const std::string& found) {
  return "Result line expected after the steps, found '" + found + "'.";
}

std::string qrp_unknown_result(const std::string& found) {
  return "Unknown result: '" + found + "'.";
}

std::string qrp_after_result(const std::string& found) {
  return "Unexpected '" + found + "' after the result line.";
}

std::string aiger_place(const char* section, uint64_t number, uint64_t count, uint32_t literal,
                        char symbol_kind) {
  std::string result = section;
  if (symbol_kind) return result + " " + symbol_kind + std::to_string(number);
  if (number) result += " " + std::to_string(number) + " of " + std::to_string(count);
  if (literal) result += " (literal " + std::to_string(literal) + ")";
  return result;
}

std::string aiger_found_bytes(const std::string& shown) { return "'" + shown + "'"; }

std::string aiger_at(const std::string& place, const char* text) { return place + ": " + text; }

std::string aiger_expected(const std::string& place, const char* field, const std::string& found) {
  return place + ": " + field + " expected, found " + found + ".";
}

std::string aiger_header_expected(const std::string& found) {
  return "AIGER header expected ('aag M I L O A' or 'aig M I L O A'), found '" + found + "'.";
}

std::string aiger_header_variable_limit(const std::string& place, uint32_t variables) {
  return place + ": M = " + std::to_string(variables) + kLimitText;
}

std::string aiger_header_latches(const std::string& place, uint32_t latches) {
  return place + ": L = " + std::to_string(latches) + ", but a certificate has no latches.";
}

std::string aiger_header_too_few_variables(const std::string& place, uint32_t variables,
                                           uint64_t defined) {
  return place + ": M = " + std::to_string(variables) + " is less than I + L + A = " +
         std::to_string(defined) + ".";
}

std::string aiger_header_binary_variables(const std::string& place, uint32_t variables,
                                          uint64_t defined) {
  return place + ": M = " + std::to_string(variables) + " is not I + L + A = " +
         std::to_string(defined) + " (binary AIGER numbers every variable).";
}

std::string aiger_header_property(const std::string& place, const char* field, uint32_t count,
                                  const char* properties) {
  return place + ": " + field + " = " + std::to_string(count) + ", but a certificate has no " +
         properties + ".";
}

std::string aiger_literal_limit(const std::string& place, uint32_t literal, uint32_t largest) {
  return place + ": literal " + std::to_string(literal) + " exceeds 2M + 1 = " +
         std::to_string(largest) + ".";
}

std::string aiger_literal_not_variable(const std::string& place, uint32_t literal) {
  return place + ": literal " + std::to_string(literal) + " must be even and at least 2.";
}

std::string aiger_defined_twice(const std::string& place, uint32_t variable, bool by_input) {
  return place + ": variable " + std::to_string(variable) + " is already defined by " +
         (by_input ? "an input." : "an AND gate.");
}

std::string aiger_gate_reads_undefined(uint32_t gate_literal, uint32_t variable) {
  return "AND gate " + std::to_string(gate_literal) + " reads variable " +
         std::to_string(variable) + ", which no input or AND gate defines.";
}

std::string aiger_gate_on_cycle(uint32_t gate_literal, uint32_t variable) {
  return "AND gate " + std::to_string(gate_literal) + " reads variable " +
         std::to_string(variable) + ", which depends on this gate: the AND gates form a cycle.";
}

std::string aiger_first_delta(const std::string& place, uint32_t delta) {
  return place + ": first delta " + std::to_string(delta) + " exceeds the literal.";
}

std::string aiger_second_delta(const std::string& place, uint32_t delta, uint32_t rhs0) {
  return place + ": second delta " + std::to_string(delta) + " exceeds rhs0 = " +
         std::to_string(rhs0) + ".";
}

std::string aiger_symbol_index(const std::string& place, uint64_t count, char kind) {
  return place + ": index out of range (" + std::to_string(count) +
         (kind == 'i' ? " inputs)." : kind == 'o' ? " outputs)." : " latches).");
}

std::string aiger_symbol_too_long(const std::string& place, size_t longest) {
  return place + ": name longer than " + std::to_string(longest) + " bytes.";
}

std::string aiger_symbol_line_expected(const std::string& found) {
  return "Symbol table or comment line expected, found " + found + ".";
}

std::string aiger_name_not_variable(const char* port, uint32_t index, const std::string& shown) {
  return std::string(port) + " " + std::to_string(index) + " is named '" + shown +
         "', which is not a variable number from 1 to " + std::to_string(kMaxVariable) + ".";
}

std::string aiger_output_without_variable(uint64_t index, uint32_t literal) {
  return "Output " + std::to_string(index) + " (literal " + std::to_string(literal) +
         ") stands for no variable: it has no variable number in the symbol table "
         "and its literal is not a variable without negation.";
}

std::string aiger_shared_variable(bool first_is_output, uint64_t first, bool other_is_output,
                                  uint64_t other, uint32_t variable) {
  return std::string(first_is_output ? "Output " : "Input ") + std::to_string(first) + " and " +
         (other_is_output ? "output " : "input ") + std::to_string(other) +
         " both stand for variable " + std::to_string(variable) + ".";
}

// The model and AIGER certificates.

std::string model_graph_limit(uint32_t most) {
  return "The model's gate graph would need more than " + std::to_string(most) + " nodes.";
}

std::string aiger_circuit_limit(uint32_t most) {
  return "The AIGER circuit would need more than " + std::to_string(most) + " variables.";
}

std::string functions_read_unquantified(uint32_t variable) {
  return "Cannot build functions: the proof names variable " + std::to_string(variable) +
         ", which the QBF file does not quantify.";
}

// Writing.

std::string output_is_other_file(const std::string& path, const std::string& role) {
  return cannot_write(path, "it is " + role);
}

}  // namespace message
