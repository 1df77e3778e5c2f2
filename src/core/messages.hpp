// The messages that carry a variable part (numbers, names, tokens, places
// in an input), each built in one place, so that every throw is one
// statement and one message has one wording; the tests pin the wording
// byte for byte. Messages without a variable part stand as literals where
// they are thrown. Builders added later are grouped by the part of the
// program that throws them, one commented section each.
#ifndef ZEL_CORE_MESSAGES_HPP
#define ZEL_CORE_MESSAGES_HPP

#include <cstdint>
#include <string>
#include <vector>

namespace message {

// "Variable V exceeds the largest supported variable number 33554431."
std::string variable_limit(uint64_t variable);
// The QDIMACS reader's two wordings of the same limit, for a quantified
// variable (as its token reads) and for one in a clause.
std::string quantified_variable_limit(const std::string& token);
std::string clause_variable_limit(uint64_t variable);
std::string quantified_twice(uint32_t variable);
std::string clause_number_limit(uint32_t number);
std::string clause_redefined(uint32_t number);
std::string clause_not_defined(uint32_t number);
std::string clause_too_long(uint64_t literals);
std::string depends_on_undefined(uint32_t variable);
std::string not_fresh(int64_t literal);
std::string number_conversion_failed(const std::string& token);
std::string missing_header(const std::string& file_name);
std::string unknown_claim(const std::string& claim);
std::string tautological_resolvent(const std::string& clause);
// A QRP trace's refusals. A step's start with "Step I: ", the rest
// without it; `cube`: the step's constraints are cubes.
// "cube" or "clause".
const char* kind_name(bool cube);
std::string qrp_step(uint32_t index);
std::string qrp_prefix_not_in_formula(uint32_t variable);
std::string qrp_quantified_twice(uint32_t variable);
std::string qrp_prefix_quantifier(uint32_t variable, bool universal_in_trace);
std::string qrp_prefix_inner_block(uint32_t variable);
std::string qrp_prefix_shared_block(uint32_t variable, uint32_t first);
std::string qrp_index_used_twice(uint32_t index);
// A trace read twice whose second reading differs from the first.
std::string qrp_trace_changed(const std::string& path);
std::string qrp_index_limit(uint32_t index, uint32_t largest);
std::string qrp_antecedent_undefined(uint32_t antecedent);
std::string qrp_variable_not_in_formula(uint32_t variable);
std::string qrp_antecedents_of_both_kinds(uint32_t first, bool first_is_cube, uint32_t other);
std::string qrp_no_single_clash(uint32_t antecedent, bool several, bool cube);
std::string qrp_refused_pair(uint32_t antecedent, uint32_t pivot, uint32_t variable, bool cube);
std::string qrp_listed_differ(const std::string& listed, bool reduced, bool cube,
                              const std::string& derived);
// A QRP trace whose resolutions outgrow its size.
std::string qrp_work_bound(uint64_t bound);
std::string cannot_write(const std::string& path, const std::string& reason);
// "Cannot open file: 'NAME'." (a missing file, a directory, no permission).
std::string cannot_open(const std::string& path);
// "Option --core given twice."
std::string option_given_twice(const std::string& option);
// The model's refusals.
std::string needs_no_model(uint32_t variable);
std::string model_undefined(uint32_t variable, int32_t function);
std::string model_reads_deeper_universal(uint32_t variable, uint32_t level, uint32_t universal,
                                         uint32_t universal_level);
std::string herbrand_reads_deeper_existential(uint32_t universal, uint32_t level,
                                              uint32_t existential, uint32_t existential_level);
// An AIGER certificate's refusals; `port` is "Input" or "Output".
std::string aiger_variable_not_in_formula(const char* port, uint32_t index, uint32_t literal,
                                          uint32_t variable);
std::string aiger_outputs_of_both_kinds(uint32_t first, const char* first_quantifier,
                                        uint32_t first_variable, uint32_t output,
                                        const char* quantifier, uint32_t variable);
std::string aiger_input_of_wrong_kind(uint32_t index, uint32_t literal, const char* quantifier,
                                      uint32_t variable, const char* functions,
                                      const char* expected_quantifier);
std::string aiger_output_undefined(uint32_t index, uint32_t literal);
std::string aiger_fresh_variables(uint32_t gates, bool constant, uint32_t max_variable,
                                  uint64_t last_fresh);

// The zel format's proof checker.
// Steps still waiting at the conclusion, newest first: step i defines
// clause numbers[i] and names antecedents [ends[i - 1], ends[i]) of
// `antecedents` (from 0 for the first); `undefined` marks those that are
// not defined (each then followed by "*").
std::string unsettled_steps(const std::vector<uint32_t>& numbers,
                            const std::vector<uint32_t>& ends,
                            const std::vector<uint32_t>& antecedents,
                            const std::vector<uint8_t>& undefined);
// Extensions still waiting at the conclusion: their variables and the
// lines of their definitions.
std::string unsettled_extensions(const std::vector<uint32_t>& variables,
                                 const std::vector<uint32_t>& lines);
// A refutation whose core holds a clause taken on trust (--ignore).
std::string trusted_clause_in_core(uint32_t number);
// The last line of a cut listing of placements: "(listing cut after N
// lines)" or "... bytes)".
std::string listing_cut(uint64_t count, const char* unit);

// The QRP checker.
// Functions of a proof whose core holds a long-distance step (step index
// `step`): Herbrand functions for a refutation, else Skolem functions.
std::string qrp_functions_long_distance(bool herbrand, uint32_t step);

// Reading.
// "Could not read file 'NAME': REASON." and "Could not decompress file
// 'NAME': DETAIL." (corrupt, truncated or followed by junk).
std::string read_failed(const std::string& name, const char* reason);
std::string decompress_failed(const std::string& name, const std::string& detail);
// "Token too long: 'START...' (more than N bytes).", after `context`
// ("QBF File: " for formulas); `start` is the token's first bytes as shown.
std::string token_too_long(const char* context, const std::string& start);
// A QRP trace's form. `found` is a token as shown (Tokenizer::printable).
std::string qrp_header_expected(const std::string& found);
// "WHAT cut off by the end of the file."
std::string cut_off(const std::string& what);
// "Step 7 cut off ..." with an index, "Quantifier block cut off ..." without.
std::string qrp_cut_off(const char* within, uint32_t index);
std::string qrp_negative_variable(int32_t variable);
std::string qrp_result_expected(const std::string& found);
std::string qrp_unknown_result(const std::string& found);
std::string qrp_after_result(const std::string& found);
// An AIGER file's form. `place` is aiger_place's text, `found` a field as
// shown ("the end of the line", or the bytes in quotes).
// "AIGER header", "Input 3 of 5", "AND gate 2 of 7 (literal 12)", "Symbol o4".
std::string aiger_place(const char* section, uint64_t number, uint64_t count, uint32_t literal,
                        char symbol_kind);
// What was found where a field was due, when it is bytes: "'BYTES'".
std::string aiger_found_bytes(const std::string& shown);
// "PLACE: TEXT" for a refusal whose text is fixed.
std::string aiger_at(const std::string& place, const char* text);
std::string aiger_expected(const std::string& place, const char* field, const std::string& found);
std::string aiger_header_expected(const std::string& found);
std::string aiger_header_variable_limit(const std::string& place, uint32_t variables);
std::string aiger_header_latches(const std::string& place, uint32_t latches);
std::string aiger_header_too_few_variables(const std::string& place, uint32_t variables,
                                           uint64_t defined);
std::string aiger_header_binary_variables(const std::string& place, uint32_t variables,
                                          uint64_t defined);
// `field` "B", "C", "J" or "F" and what it counts.
std::string aiger_header_property(const std::string& place, const char* field, uint32_t count,
                                  const char* properties);
std::string aiger_literal_limit(const std::string& place, uint32_t literal, uint32_t largest);
std::string aiger_literal_not_variable(const std::string& place, uint32_t literal);
std::string aiger_defined_twice(const std::string& place, uint32_t variable, bool by_input);
// A gate, by its literal, whose operand is refused after all gates were read.
std::string aiger_gate_reads_undefined(uint32_t gate_literal, uint32_t variable);
std::string aiger_gate_on_cycle(uint32_t gate_literal, uint32_t variable);
std::string aiger_first_delta(const std::string& place, uint32_t delta);
std::string aiger_second_delta(const std::string& place, uint32_t delta, uint32_t rhs0);
// `kind` 'i', 'o' or 'l'; `count` the inputs, outputs or latches there are.
std::string aiger_symbol_index(const std::string& place, uint64_t count, char kind);
std::string aiger_symbol_too_long(const std::string& place, size_t longest);
std::string aiger_symbol_line_expected(const std::string& found);
// `port` "Input" or "Output"; `shown` the name as shown.
std::string aiger_name_not_variable(const char* port, uint32_t index, const std::string& shown);
std::string aiger_output_without_variable(uint64_t index, uint32_t literal);
std::string aiger_shared_variable(bool first_is_output, uint64_t first, bool other_is_output,
                                  uint64_t other, uint32_t variable);

// The model and AIGER certificates.
// A graph or circuit past its bound: `most` nodes or variables.
std::string model_graph_limit(uint32_t most);
std::string aiger_circuit_limit(uint32_t most);
std::string functions_read_unquantified(uint32_t variable);

// Writing.
// "Cannot write file: 'PATH' (it is ROLE)." for an output naming another
// file of the run ("the QBF file", "the --core file").
std::string output_is_other_file(const std::string& path, const std::string& role);

}  // namespace message

#endif
