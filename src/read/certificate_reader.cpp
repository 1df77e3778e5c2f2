// Reading the entries of a certificate.

#include "read/certificate_reader.hpp"

#include <cassert>
#include <exception>

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "read/block_ring.hpp"
#include "read/numbers.hpp"

// The clause lines read ahead: a block holds records of entries with their
// numbers (literal codes, then antecedents) in one array; a refusal the
// thread met ends its block, and the thread with it, as does the first
// entry of another kind.
struct CertificateReader::Ahead {
  struct Record {
    Entry kind = Entry::STEP;
    uint32_t number = 0;       // STEP: the clause number
    bool omitted = false;      // STEP: "*" instead of the literals
    bool refused = false;      // STEP: the block's refusal came from its fields
    uint32_t literals = 0, antecedents = 0;  // STEP: counts in the block's numbers
    InputPosition after_first, end;  // after the entry's first token; after the entry
  };
  using Block = EntryBlock<Record>;

  BlockRing<Block> ring;

  // The caller's side: the block taken (while not null), the record taken
  // last and the next one, the next number, and where the caller stands.
  const Block* held = nullptr;
  size_t record = 0, number = 0;
  const Record* taken = nullptr;
  size_t taken_numbers = 0;  // where the numbers of `taken` start
  InputPosition position;

  void fill(CertificateReader& reader);
};

void CertificateReader::Ahead::fill(CertificateReader& reader) {
  StepEntry step;
  ring.fill([&](Block& block) {
    Record next;
    try {
      next.kind = reader.next_here(next.number);
    } catch (...) {
      block.refusal = std::current_exception();
      block.refusal_position = reader.tokens_.position();
      block.last = true;
      return;
    }
    next.after_first = reader.tokens_.position();
    if (next.kind != Entry::STEP) {
      // The hand-over: the caller reads on from here.
      next.end = next.after_first;
      block.records.push_back(next);
      block.last = true;
      return;
    }
    try {
      reader.read_step_here(step);
    } catch (...) {
      next.refused = true;
      block.refusal = std::current_exception();
      block.refusal_position = reader.tokens_.position();
      block.records.push_back(next);
      block.last = true;
      return;
    }
    next.end = reader.tokens_.position();
    next.omitted = step.resolvent_omitted;
    next.literals = static_cast<uint32_t>(step.resolvent.literals.size());
    next.antecedents = static_cast<uint32_t>(step.antecedents.size());
    append_codes(step.resolvent.literals, block.numbers);
    block.numbers.append(step.antecedents.data(), step.antecedents.size());
    block.records.push_back(next);
  });
}

CertificateReader::CertificateReader(ByteSource& source)
    : tokens_(source, Tokenizer::Separators::CERTIFICATE) {}

CertificateReader::CertificateReader(Tokenizer&& tokens) : tokens_(std::move(tokens)) {
  tokens_.use_separators(Tokenizer::Separators::CERTIFICATE);
}

CertificateReader::~CertificateReader() { stop_reading_ahead(); }

uint32_t CertificateReader::line() const {
  if (ahead_) return ahead_->position.line;
  return stopped_ ? stopped_position_.line : tokens_.line();
}

uint32_t CertificateReader::column() const {
  if (ahead_) return ahead_->position.column;
  return stopped_ ? stopped_position_.column : tokens_.column();
}

void CertificateReader::read_ahead() {
  assert(!ahead_);
  ahead_.reset(new Ahead);
  ahead_->position = tokens_.position();
  ahead_->ring.start([this] { ahead_->fill(*this); });
}

void CertificateReader::stop_reading_ahead() {
  if (!ahead_) return;
  stopped_ = true;
  stopped_position_ = ahead_->position;
  ahead_->ring.stop();
  ahead_.reset();
}

void CertificateReader::read_header(const std::string& file_name) {
  if (tokens_.token() != "QBCertificate")
    throw Exception(message::missing_header(file_name));
}

CertificateReader::Entry CertificateReader::next(uint32_t& step_number) {
  if (!ahead_) return next_here(step_number);
  Ahead& ahead = *ahead_;
  for (;;) {
    if (ahead.held) {
      const Ahead::Block& block = *ahead.held;
      if (ahead.record < block.records.size()) {
        const Ahead::Record& taken = block.records[ahead.record++];
        ahead.taken = &taken;
        ahead.taken_numbers = ahead.number;
        ahead.number += size_t{taken.literals} + taken.antecedents;
        ahead.position = taken.after_first;
        step_number = taken.number;
        if (taken.kind != Entry::STEP) {
          // The thread stopped after this entry's first token: the
          // tokenizer is the caller's again, standing where the entry goes on.
          const Entry kind = taken.kind;
          ahead.ring.stop();
          ahead_.reset();
          return kind;
        }
        return Entry::STEP;
      }
      if (block.refusal) {
        ahead.position = block.refusal_position;
        std::rethrow_exception(block.refusal);
      }
      assert(!block.last && "nothing is read ahead after the hand-over");
      ahead.held = nullptr;
      ahead.ring.release();
    }
    ahead.held = &ahead.ring.take();
    ahead.record = ahead.number = 0;
  }
}

CertificateReader::Entry CertificateReader::next_here(uint32_t& step_number) {
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
  if (!ahead_) return read_step_here(step);
  Ahead& ahead = *ahead_;
  assert(ahead.held && ahead.taken && ahead.taken->kind == Entry::STEP);
  const Ahead::Record& taken = *ahead.taken;
  const Ahead::Block& block = *ahead.held;
  if (taken.refused) {
    ahead.position = block.refusal_position;
    std::rethrow_exception(block.refusal);
  }
  const uint32_t* numbers = block.numbers.data() + ahead.taken_numbers;
  step.resolvent_omitted = taken.omitted;
  copy_literals(numbers, taken.literals, step.resolvent.overwrite());
  step.antecedents.assign(numbers + taken.literals, numbers + taken.literals + taken.antecedents);
  ahead.position = taken.end;
}

void CertificateReader::read_step_here(StepEntry& step) {
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
