// The messages that carry a variable part, each built in one place, so that
// every throw is one line and one message has one wording. Messages without
// a variable part stand as literals where they are thrown.
#ifndef ZEL_CORE_MESSAGES_HPP
#define ZEL_CORE_MESSAGES_HPP

#include <cstdint>
#include <string>

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
std::string cannot_write(const std::string& path, const std::string& reason);

}  // namespace message

#endif
