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

}  // namespace message
