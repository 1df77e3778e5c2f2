// The QDIMACS reader: comments, the problem line, quantifier lines and
// clauses, read as whitespace-separated tokens through our own buffer.

#include <sstream>
#include <string>

#include "input_buffer.hpp"
#include "numbers.hpp"
#include "qcnf.hpp"

namespace {

inline bool qdimacs_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Token source of the reader. A read that finds no token fails the input,
// which is how the clause section notices the end of the file.
class QdimacsTokens {
 public:
  explicit QdimacsTokens(std::istream& in) { input_.attach(in); }

  // Skips white space and reads one token into `token`; an empty token and
  // the failed state at the end of input.
  const std::string& next() {
    token_.clear();
    int c;
    while ((c = input_.peek()) != InputBuffer::END && qdimacs_space(c)) input_.skip(1);
    if (c == InputBuffer::END) {
      input_.get();  // fails the input, as reading a token at the end does
      return token_;
    }
    for (;;) {
      const char* begin = input_.data();
      const size_t available = input_.available();
      size_t length = 0;
      while (length < available && !qdimacs_space(static_cast<unsigned char>(begin[length])))
        ++length;
      token_.append(begin, length);
      input_.skip(length);
      if (length < available || !input_.fill()) break;
    }
    return token_;
  }

  // Skips the rest of a comment line, its newline included.
  void skip_line() {
    int c;
    do c = input_.get();
    while (c != InputBuffer::END && c != '\n');
  }

  bool failed() const { return input_.failed(); }

 private:
  InputBuffer input_;
  std::string token_;
};

}  // namespace

bool QCNF::read_qdimacs(std::istream& in) {
  if (in.fail()) {
    error = "QBF File not open.";
    return false;
  }
  QdimacsTokens tokens(in);

  const std::string* token = &tokens.next();
  while (*token == "c" && !tokens.failed()) {
    tokens.skip_line();
    token = &tokens.next();
  }
  if (*token != "p") {
    error = "QBF File does not start with a p line.";
    return false;
  }
  if (tokens.next() != "cnf") {
    error = "QBF File does not have a cnf argument.";
    return false;
  }

  // Counts and quantified variables are whole decimal numbers: "1x" or a
  // missing number is refused instead of read as its leading digits.
  auto whole_number = [](const std::string& text, Conversion& number) {
    number = convert_unsigned32(text.data(), text.size());
    return !number.range_error && !text.empty() && number.consumed == text.size();
  };
  Conversion count;
  if (!whole_number(tokens.next(), count)) {
    error = "QBF File: Number of variables is bogus.";
    return false;
  }
  max_variable = static_cast<unsigned>(count.value);
  if (!whole_number(tokens.next(), count)) {
    error = "QBF File: Number of clauses is bogus.";
    return false;
  }
  const uint64_t announced_clauses = static_cast<uint64_t>(count.value);
  clauses.reserve(announced_clauses < kMaxClauseReservation ? announced_clauses
                                                            : kMaxClauseReservation);

  // Quantifier lines. Consecutive lines of one quantifier merge into one
  // block through innermost placement.
  for (;;) {
    token = &tokens.next();
    if (*token != "e" && *token != "a") break;
    const Quantifier::Type type = *token == "e" ? Quantifier::EXISTENTIAL : Quantifier::UNIVERSAL;
    for (;;) {
      token = &tokens.next();
      Conversion number;
      if (!whole_number(*token, number)) {
        error = "QBF File: Invalid quantification sequence.";
        return false;
      }
      if (number.value == 0) break;
      const unsigned variable = static_cast<unsigned>(number.value);
      if (variable > kMaxVariable) {
        std::ostringstream text;
        text << "QBF File: Quantified variable " << *token
             << " exceeds the largest supported variable number " << kMaxVariable << ".";
        error = text.str();
        return false;
      }
      if (is_defined(variable)) {
        std::ostringstream text;
        text << "QBF File: Variable " << variable << " is quantified twice.";
        error = text.str();
        return false;
      }
      new_variable(variable, type, false);
    }
  }

  // Clauses, until the announced count is reached or the input ends. Fewer
  // clauses than announced are accepted (real files overstate the count),
  // but every clause the file holds is checked: a last clause without its
  // terminating 0, or a clause beyond the announced count, is refused
  // rather than dropped. A token starting with "%" at a clause boundary ends
  // the formula (SATLIB files close with "%" and "0").
  DClause clause;
  bool inside_clause = false;
  for (;;) {
    if (tokens.failed()) {
      if (!inside_clause) return true;
      error = "QBF File: Last clause lacks its terminating 0.";
      return false;
    }
    if (!inside_clause && !token->empty() && (*token)[0] == '%') return true;
    if (!inside_clause && clauses.size() >= announced_clauses) break;
    const Conversion number = convert_signed32(token->data(), token->size());
    if (number.range_error || token->empty() || number.consumed != token->size()) {
      error = "QBF File: Bogus clause.";
      return false;
    }
    if (number.value != 0) {
      const Literal literal(static_cast<int>(number.value));
      const unsigned variable = literal.variable();
      if (variable > kMaxVariable) {
        std::ostringstream text;
        text << "QBF File: Variable " << variable << " in a clause exceeds the largest supported "
             << "variable number " << kMaxVariable << ".";
        error = text.str();
        return false;
      }
      clause.insert(literal);
      inside_clause = true;
      if (max_variable < variable) max_variable = variable;
      if (variables.size() <= variable) variables.resize(static_cast<size_t>(variable) + 1);
      if (!is_defined(variable)) new_variable(variable, Quantifier::EXISTENTIAL, true);
    } else {
      clauses.push_back(std::move(clause));
      clause.clear();
      inside_clause = false;
    }
    token = &tokens.next();
  }

  // The announced clauses are read: only comment lines and a "%" trailer
  // may follow.
  for (; !tokens.failed(); token = &tokens.next()) {
    if (*token == "c") {
      tokens.skip_line();
    } else if (!token->empty() && (*token)[0] == '%') {
      return true;
    } else if (!token->empty()) {
      error = "QBF File: More clauses than announced.";
      return false;
    }
  }
  return true;
}
