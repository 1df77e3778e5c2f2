// Reading the entries of a certificate.

#include "read/certificate_reader.hpp"

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "read/numbers.hpp"

void CertificateReader::read_header(const std::string& file_name) {
  if (tokens_.token() != "QBCertificate")
    throw Exception(message::missing_header(file_name));
}

CertificateReader::Entry CertificateReader::next(uint32_t& step_number) {
  for (;;) {
    if (tokens_.failed()) throw Exception("Certificate incomplete.");
    if (tokens_.read_plain_unsigned(step_number)) return Entry::STEP;
    const std::string& first = tokens_.token();
    if (first == "C" || first == "c") {
      // A comment runs to the next line feed; a carriage return alone does
      // not end it. At the end of the file right after the token nothing is
      // consumed; reading past the last byte fails the input.
      if (tokens_.peek() != Tokenizer::END) tokens_.skip_line();
      continue;
    }
    if (first == "R" || first == "r") return Entry::RESOLUTION;
    if (first == "E" || first == "e") return Entry::EXTENSION;
    if (first == "CONCLUDE" || first == "conclude") return Entry::CONCLUSION;
    if (!whole_unsigned32(first, step_number))
      throw Exception(message::number_conversion_failed(first));
    return Entry::STEP;
  }
}

void CertificateReader::read_resolution(uint32_t& first, uint32_t& second, uint32_t& pivot) {
  first = tokens_.read_unsigned();
  second = tokens_.read_unsigned();
  pivot = tokens_.read_unsigned();
}

void CertificateReader::read_step(StepEntry& step) {
  step.resolvent_omitted = false;
  step.resolvent.clear();
  step.antecedents.clear();
  // The "*" must share the line with the clause number: only blanks are
  // skipped here, a line end is not.
  while (tokens_.peek() == ' ') tokens_.get();
  if (tokens_.peek() == '*') {
    if (tokens_.token() != "*") throw Exception("Bogus resolvent.");
    step.resolvent_omitted = true;
  } else {
    // Duplicates are dropped by marks: a literal joins the clause unless
    // its code is marked already. A refused field ends the run, so marks a
    // throw leaves behind are never read again.
    std::vector<Literal>& literals = step.resolvent.literals;
    for (Literal literal; (literal = tokens_.read_literal()).variable() != 0;) {
      if (literal.variable() > kMaxVariable)
        throw Exception(message::variable_limit(literal.variable()));
      if (literal.code >= in_resolvent_.size()) in_resolvent_.resize(size_t{literal.code | 1u} + 1, 0);
      if (in_resolvent_[literal.code]) continue;
      in_resolvent_[literal.code] = 1;
      literals.push_back(literal);
    }
    for (const Literal& literal : literals) in_resolvent_[literal.code] = 0;
  }
  for (uint32_t number; (number = tokens_.read_unsigned()) != 0;) step.antecedents.push_back(number);
}

void CertificateReader::read_extension(Definition& definition, std::vector<Literal>& operands) {
  const std::string& type = tokens_.token();
  operands.clear();
  if (type == "I") {
    definition.kind = Definition::ITE;
    definition.line = tokens_.line();
    for (int i = 0; i < 3; ++i) operands.push_back(tokens_.read_literal());
  } else if (type == "A") {
    definition.kind = Definition::AND;
    definition.line = tokens_.line();
    for (int32_t number; (number = tokens_.read_signed()) != 0;)
      operands.push_back(Literal(number));
  } else {
    throw Exception("Unknown extension type supplied.");
  }
  definition.count = static_cast<uint32_t>(operands.size());
}
