// The validation driver: header, formula, clause numbering, and the loop
// that dispatches each certificate entry on its first token.

#include <sys/stat.h>

#include <iostream>

#include "../formula/numbers.hpp"
#include "core/exception.hpp"
#include "zel.hpp"

namespace {

// A directory opens as a stream on Linux and then fails every read; it is
// no file to check, so it is refused like a file that cannot be opened.
bool open_regular(std::ifstream& stream, const std::string& name) {
  struct stat status;
  if (stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return false;
  stream.open(name);
  return stream.is_open();
}

}  // namespace

bool ZEL::validate(const std::string& qbf_file, const std::string& certificate_file) {
  gettimeofday(&start_time, nullptr);

  std::ifstream certificate;
  if (!open_regular(certificate, certificate_file)) throw Exception("Cannot open file: '" + certificate_file + "'.");
  if (read_token(certificate) != "QBCertificate")
    throw Exception("Missing header in file: '" + certificate_file + "'.");

  if (!qbf_file.empty()) {
    std::ifstream qbf;
    if (!open_regular(qbf, qbf_file)) throw Exception("Couldn't open file " + qbf_file);
    if (!formula.read_qdimacs(qbf)) throw Exception(formula.error);
  }

  // The QBF file's clauses are certificate clauses 1 to n; 0 is never defined.
  const size_t input_clauses = formula.clauses.size();
  clause_map.resize(input_clauses + 1);
  for (size_t number = 1; number <= input_clauses; ++number)
    clause_map.set(static_cast<uint32_t>(number), static_cast<uint32_t>(number));
  last_input_clause = static_cast<uint32_t>(input_clauses - 1);
  input_max_variable = formula.max_variable;

  if (debug) {
    std::cout << formula.quantified_variables() << " quantifiers and " << formula.clauses.size()
              << " clauses loaded." << std::endl;
    std::cout << "Applying resolution and extension steps ..." << std::endl;
  }

  for (;;) {
    if (input.failed()) throw Exception("Certificate incomplete.");
    const std::string first = read_token(certificate);
    if (first == "C" || first == "c") {
      // A comment runs to the next line feed; a carriage return alone does
      // not end it. At the end of the file right after the token nothing is
      // consumed; reading past the last byte fails the stream.
      if (input.peek() != InputBuffer::END) {
        int c;
        do c = read_character(certificate);
        while (c != '\n' && c != InputBuffer::END);
      }
    } else if (first == "R" || first == "r") {
      read_resolution_line(certificate);
    } else if (first == "E" || first == "e") {
      read_extension_line(certificate);
    } else if (first == "CONCLUDE" || first == "conclude") {
      return read_conclusion_line(certificate);
    } else {
      const Conversion number = convert_unsigned32(first.data(), first.size());
      if (number.range_error || first.empty() || number.consumed != first.size())
        throw Exception("Number conversion failed (" + first + ").");
      read_trace_line(static_cast<unsigned>(number.value), certificate);
    }
  }
}
