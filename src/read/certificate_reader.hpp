// The certificate reader: the entries of a certificate in zel's format (a
// refutation or a model), one at a time, for the checkers to pull. An entry
// is recognised by its first token (a clause number, "R", "E", "CONCLUDE";
// comments are skipped); its fields are then read by the call for that kind
// of entry, so that a checker can refuse an entry at the field where it
// goes wrong, as the certificate is read. The reader checks only what needs
// no formula: the form of each field, number ranges and the variable limit.
#ifndef ZEL_READ_CERTIFICATE_READER_HPP
#define ZEL_READ_CERTIFICATE_READER_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/literal.hpp"
#include "formula/working_clause.hpp"
#include "formula/extension.hpp"
#include "read/input_position.hpp"
#include "read/tokenizer.hpp"

// A numbered clause line: `number lits... 0 antecedents... 0`, or
// `number * antecedents... 0` (resolvent left to the checker).
struct StepEntry {
  bool resolvent_omitted = false;     // "*" given: merge the antecedents
  uint32_t number = 0;                // certificate clause number defined
  WorkingClause resolvent;                  // supplied literals, duplicates dropped; empty with "*"
  std::vector<uint32_t> antecedents;  // certificate clause numbers, in reading order
};

class CertificateReader {
 public:
  enum class Entry { STEP, RESOLUTION, EXTENSION, CONCLUSION };

  explicit CertificateReader(ByteSource& source);
  // Goes on where `tokens` stands: the tokenizer that told the certificate
  // kind (which consumed nothing) is handed over with its buffer.
  explicit CertificateReader(Tokenizer&& tokens);
  ~CertificateReader();  // stops reading ahead
  CertificateReader(const CertificateReader&) = delete;
  CertificateReader& operator=(const CertificateReader&) = delete;

  // Position of the next byte, for messages: where the caller stands, also
  // while the reading thread is ahead.
  uint32_t line() const;
  uint32_t column() const;

  // After read_header: the clause lines are read on a thread of their own,
  // blocks of them ahead of the caller, so that reading and checking
  // overlap. The first entry of another kind ends it: next() hands the
  // tokenizer back to the caller with that entry, and every read after it
  // is the caller's again. Entries, refusals and positions stay exactly
  // those of reading in turn: a refusal is thrown by the call that would
  // have met it (next(), or read_step for the fields of a clause line).
  // Only for an input whose reads cannot wait for ever (a regular file,
  // memory); stopping joins the thread. While it reads ahead, only the
  // thread touches the byte source, except through bytes_in_published().
  void read_ahead();
  // Ends reading ahead (the entries not taken are dropped); no entry may be
  // read afterwards unless the caller took the hand-over. Without reading
  // ahead, nothing happens.
  void stop_reading_ahead();

  // The first token must be "QBCertificate"; else "Missing header in file: 'NAME'.".
  void read_header(const std::string& file_name);

  // Reads up to the first token of the next entry; for a step, its clause
  // number. Throws "Certificate incomplete." when the input ended inside a
  // comment, and "Number conversion failed (T)." for any other token.
  Entry next(uint32_t& step_number);

  // The three numbers of an `R i j p` line.
  void read_resolution(uint32_t& first, uint32_t& second, uint32_t& pivot);

  // The rest of a numbered clause line. The "*" must stand on the line of
  // the number. A literal naming a variable beyond the supported limit is
  // refused where it is read.
  void read_step(StepEntry& step);

  // The fresh variable of an `E` line, then its type and operands: `A`
  // literals ending in 0, or `I` and three literals. `definition.line` is the
  // line of the type token.
  Literal read_extension_variable() { return tokens_.read_literal(); }
  void read_extension(Definition& definition, std::vector<Literal>& operands);

  // The conclusion's claim word (empty at the end of input), the clause
  // number of an INVALID claim, and the pairs of a VALID one.
  const std::string& read_claim() { return tokens_.token(); }
  uint32_t read_clause_number() { return tokens_.read_unsigned(); }
  bool model_ended() { return tokens_.peek() == Tokenizer::END; }
  uint32_t read_model_variable() { return tokens_.read_unsigned(); }
  // The model literal, and the white space after it (tabs included).
  int32_t read_model_literal() {
    const int32_t literal = tokens_.read_signed();
    tokens_.skip_white_space();
    return literal;
  }

 private:
  struct Ahead;  // the reading thread and the blocks it fills (certificate_reader.cpp)

  // next and read_step from the tokenizer (the reading thread's side while
  // reading ahead).
  Entry next_here(uint32_t& step_number);
  void read_step_here(StepEntry& step);

  Tokenizer tokens_;                  // the certificate's bytes
  std::unique_ptr<Ahead> ahead_;      // while reading ahead
  // Reading ahead was stopped (not handed over): the tokenizer stands
  // further on, and messages give where the caller stood then.
  bool stopped_ = false;
  InputPosition stopped_position_;
  std::vector<uint8_t> in_resolvent_;  // literal code -> in the resolvent being read (all 0
                                       // between steps); grown to the codes read
};

#endif
