// The QDIMACS reader: comments, the problem line, quantifier lines and
// clauses, read as white-space-separated tokens.

#include "read/qdimacs_reader.hpp"

#include <cassert>
#include <sstream>
#include <string>

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "read/numbers.hpp"

namespace {

bool is_trailer_mark(const std::string& token) { return !token.empty() && token[0] == '%'; }

// SATLIB files close with a "%" line and a "0" line. The mark just read ends
// the formula only when nothing but "0" tokens and comment lines follow it
// to the end of the file; otherwise it would hide the clauses after it.
bool only_trailer_follows(Tokenizer& tokens) {
  for (;;) {
    const std::string& token = tokens.next_qdimacs_token();
    if (tokens.failed()) return true;
    if (token == "c")
      tokens.skip_line();
    else if (token != "0")
      return false;
  }
}

}  // namespace

void read_qdimacs(Tokenizer& tokens, QCNF& formula) {
  unsigned& max_variable = formula.max_variable;
  const std::string* token = &tokens.next_qdimacs_token();
  while (*token == "c" && !tokens.failed()) {
    tokens.skip_line();
    token = &tokens.next_qdimacs_token();
  }
  if (*token != "p") {
    throw Exception("QBF File does not start with a p line.");
  }
  if (tokens.next_qdimacs_token() != "cnf") {
    throw Exception("QBF File does not have a cnf argument.");
  }

  // Counts and quantified variables are whole decimal numbers: "1x" or a
  // missing number is refused instead of read as its leading digits.
  uint32_t count;
  if (!whole_unsigned32(tokens.next_qdimacs_token(), count)) {
    throw Exception("QBF File: Number of variables is bogus.");
  }
  max_variable = count;
  if (!whole_unsigned32(tokens.next_qdimacs_token(), count)) {
    throw Exception("QBF File: Number of clauses is bogus.");
  }
  const uint64_t announced_clauses = count;
  formula.clauses.reserve(announced_clauses < kMaxClauseReservation ? announced_clauses
                                                                    : kMaxClauseReservation);

  // Quantifier lines. Consecutive lines of one quantifier merge into one
  // block through innermost placement.
  for (;;) {
    token = &tokens.next_qdimacs_token();
    if (*token != "e" && *token != "a") break;
    const Quantifier::Type type = *token == "e" ? Quantifier::EXISTENTIAL : Quantifier::UNIVERSAL;
    for (;;) {
      token = &tokens.next_qdimacs_token();
      uint32_t variable;
      if (!whole_unsigned32(*token, variable)) {
        throw Exception("QBF File: Invalid quantification sequence.");
      }
      if (variable == 0) break;
      if (variable > kMaxVariable) {
        throw Exception(message::quantified_variable_limit(*token));
      }
      if (formula.is_defined(variable)) {
        throw Exception(message::quantified_twice(variable));
      }
      const Refusal placed = formula.new_variable(variable, type, false);
      assert(!placed);  // tested above: fresh and within the limit
      (void)placed;
    }
  }

  // Clauses, until the announced count is reached or the input ends. Fewer
  // clauses than announced are accepted (real files overstate the count),
  // but every clause the file holds is checked: a last clause without its
  // terminating 0, or a clause beyond the announced count, is refused
  // rather than dropped. A token starting with "%" at a clause boundary ends
  // the formula when only the trailer follows it; otherwise it is a token
  // that is not a number, as anywhere in a clause.
  WorkingClause clause;
  bool inside_clause = false;
  for (;;) {
    if (tokens.failed()) {
      if (!inside_clause) return;
      throw Exception("QBF File: Last clause lacks its terminating 0.");
    }
    if (!inside_clause && formula.clauses.size() >= announced_clauses) break;
    if (!inside_clause && is_trailer_mark(*token)) {
      if (only_trailer_follows(tokens)) return;
      throw Exception("QBF File: Bogus clause.");
    }
    int32_t number;
    if (!whole_signed32(*token, number)) {
      throw Exception("QBF File: Bogus clause.");
    }
    if (number != 0) {
      const Literal literal(number);
      const unsigned variable = literal.variable();
      if (variable > kMaxVariable) {
        throw Exception(message::clause_variable_limit(variable));
      }
      clause.insert(literal);
      inside_clause = true;
      if (max_variable < variable) max_variable = variable;
      if (!formula.is_defined(variable)) {
        const Refusal placed = formula.new_variable(variable, Quantifier::EXISTENTIAL, true);
        assert(!placed);  // tested above: fresh and within the limit
        (void)placed;
      }
    } else {
      formula.clauses.push(clause.literals);
      clause.clear();
      inside_clause = false;
    }
    token = &tokens.next_qdimacs_token();
  }

  // The announced clauses are read: only comment lines and the trailer may
  // follow; a mark with anything else after it starts one clause too many.
  for (; !tokens.failed(); token = &tokens.next_qdimacs_token()) {
    if (*token == "c") {
      tokens.skip_line();
    } else if (is_trailer_mark(*token) && only_trailer_follows(tokens)) {
      return;
    } else if (!token->empty()) {
      throw Exception("QBF File: More clauses than announced.");
    }
  }
  return;
}
