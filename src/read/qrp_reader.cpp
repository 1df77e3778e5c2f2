// Reading the entries of a QRP trace, ASCII or binary.

#include "read/qrp_reader.hpp"

#include <cassert>
#include <exception>
#include <utility>

#include "core/exception.hpp"
#include "core/limits.hpp"
#include "core/messages.hpp"
#include "core/varint.hpp"
#include "read/block_ring.hpp"
#include "read/numbers.hpp"

namespace {

// The most bytes of a refused token a message shows.
constexpr size_t kShownBytes = 32;

bool is_digit(int c) { return c >= '0' && c <= '9'; }

[[noreturn]] void conversion_failed(const std::string& text) {
  throw Exception(message::number_conversion_failed(Tokenizer::printable(text, kShownBytes)));
}

[[noreturn]] void missing_result() { throw Exception("Missing result line."); }

// Literals and quantified variables name at most kMaxVariable, the limit
// of the formula's per-variable tables.
void check_variable(uint32_t variable) {
  if (variable > kMaxVariable) throw Exception(message::variable_limit(variable));
}

// Appends a step's numbers to an array: written in place, into room made
// a few hundred numbers at a time (the array's new room is not
// initialised), so that a number costs one store.
class Appender {
 public:
  explicit Appender(PodVector<uint32_t>& numbers) : numbers_(numbers), used_(numbers.size()) {}
  void add(uint32_t number) {
    if (used_ == numbers_.size()) numbers_.resize(used_ + kRoom);
    numbers_.data()[used_++] = number;
  }
  // Everything added is in the array, and nothing else: its size counts it.
  void flush() { numbers_.resize(used_); }

 private:
  static constexpr size_t kRoom = 256;
  PodVector<uint32_t>& numbers_;
  size_t used_;
};

}  // namespace

QrpReader::QrpReader(Tokenizer&& tokens) : tokens_(std::move(tokens)) {
  tokens_.use_separators(Tokenizer::Separators::QDIMACS);
}

QrpReader::QrpReader(ByteSource& source) : tokens_(source, Tokenizer::Separators::QDIMACS) {}

std::string QrpReader::where(const InputPosition& position) const {
  return describe_position(position, header_.binary);
}

const QrpHeader& QrpReader::read_header() {
  const std::string* token = &tokens_.token();
  while (*token == "c") {
    tokens_.skip_line();
    token = &tokens_.token();
  }
  const auto refuse = [](const std::string& found) {
    throw Exception(message::qrp_header_expected(Tokenizer::printable(found, kShownBytes)));
  };
  if (*token != "p") refuse(*token);
  token = &tokens_.token();
  if (*token == "bqrp")
    header_.binary = true;
  else if (*token != "qrp")
    refuse(*token);
  header_.variables = read_count(false);
  header_.clauses = read_count(header_.binary);
  if (header_.binary) {
    // The ASCII preamble ends with one 0 byte; the binary part follows it.
    while (tokens_.peek() == ' ' || tokens_.peek() == '\t') tokens_.get();
    if (tokens_.peek() != 0) throw Exception("Binary QRP header: 'p bqrp V C' must end with a 0 byte.");
    tokens_.get();
  }
  return header_;
}

// V or C of the p line: decimal digits after blanks. Digits are taken one
// by one, not as a token, since the binary header's C is followed by its
// 0 byte and then binary data, which no token rule should swallow.
uint32_t QrpReader::read_count(bool zero_ends) {
  while (tokens_.peek() == ' ' || tokens_.peek() == '\t') tokens_.get();
  std::string digits;  // shown in a message; only its start is kept
  const uint64_t value = tokens_.read_digits(digits, kShownBytes);
  const int next = tokens_.peek();
  const bool ended = next == Tokenizer::END || next == ' ' || next == '\t' || next == '\n' ||
                     next == '\r' || next == '\v' || next == '\f' || (zero_ends && next == 0);
  if (digits.empty() || !ended) conversion_failed(digits + tokens_.token());
  if (value > 0xFFFFFFFFull) conversion_failed(digits);
  return static_cast<uint32_t>(value);
}

void QrpReader::read_only_at(const uint8_t* gaps, const uint8_t* end) {
  assert(!ahead_);
  plan_ = Plan{true, gaps, end, 0};
}

QrpEntry::Kind QrpReader::read_raw(QrpEntry& entry, PodVector<uint32_t>& numbers,
                                   uint32_t& literals) {
  assert(section_ != Section::DONE);
  if (plan_.active) {
    assert(!planned_all());
    plan_.offset += next_varint(plan_.at);
    // An input that ends before is cut off where the entry should be.
    if (!tokens_.skip_to(plan_.offset)) missing_result();
  }
  entry.kind = header_.binary ? next_binary(entry, numbers, literals)
                              : next_ascii(entry, numbers, literals);
  return entry.kind;
}

QrpEntry::Kind QrpReader::read_entry(QrpEntry& entry) {
  numbers_.clear();
  uint32_t literals = 0;
  if (read_raw(entry, numbers_, literals) == QrpEntry::STEP) {
    copy_literals(numbers_.data(), literals, entry.literals);
    entry.antecedents.assign(numbers_.data() + literals, numbers_.data() + numbers_.size());
  }
  return entry.kind;
}

// ---- reading ahead ----------------------------------------------------------

// The thread reads entries with read_raw into a ring of blocks: each
// entry's fixed fields as a record, its numbers (variables, literal codes,
// antecedents) in one array. A refusal ends the last block: the exception
// and where the reader stood are kept and thrown again when the caller has
// taken the entries before it.
struct QrpReader::Ahead {
  struct Record {
    QrpEntry::Kind kind;
    Quantifier::Type quantifier;
    bool satisfiable;
    uint32_t index;
    uint32_t first, second;  // BLOCK: variables; STEP: literals, antecedents
    InputPosition start, end;
  };
  using Block = EntryBlock<Record>;

  BlockRing<Block> ring;

  // The caller's side: the block taken (while not null), the next record
  // and number in it, and where the reader stands for it.
  const Block* held = nullptr;
  size_t record = 0, number = 0;
  InputPosition position;

  void fill(QrpReader& reader);
  QrpEntry::Kind take(QrpEntry& entry);
};

void QrpReader::Ahead::fill(QrpReader& reader) {
  QrpEntry entry;
  ring.fill([&](Block& block) {
    if (reader.planned_all()) {
      block.last = true;
      return;
    }
    Record next{};
    // A step's lists go straight to the block's numbers.
    const size_t before = block.numbers.size();
    uint32_t literals = 0;
    try {
      next.kind = reader.read_raw(entry, block.numbers, literals);
    } catch (...) {
      block.numbers.resize(before);
      block.refusal = std::current_exception();
      block.refusal_position = reader.tokens_.position();
      block.last = true;
      return;
    }
    next.start = entry.position;
    next.end = reader.tokens_.position();
    switch (next.kind) {
      case QrpEntry::BLOCK:
        next.quantifier = entry.quantifier;
        next.first = static_cast<uint32_t>(entry.variables.size());
        block.numbers.append(entry.variables.data(), entry.variables.size());
        break;
      case QrpEntry::STEP:
        next.index = entry.index;
        next.first = literals;
        next.second = static_cast<uint32_t>(block.numbers.size() - before - literals);
        break;
      case QrpEntry::RESULT:
        next.satisfiable = entry.satisfiable;
        block.last = true;
        break;
    }
    block.records.push_back(next);
  });
}

QrpEntry::Kind QrpReader::Ahead::take(QrpEntry& entry) {
  for (;;) {
    if (held) {
      const Block& block = *held;
      if (record < block.records.size()) {
        const Record& next = block.records[record++];
        const uint32_t* numbers = block.numbers.data() + number;
        entry.kind = next.kind;
        entry.position = next.start;
        position = next.end;
        switch (next.kind) {
          case QrpEntry::BLOCK:
            entry.quantifier = next.quantifier;
            entry.variables.assign(numbers, numbers + next.first);
            break;
          case QrpEntry::STEP:
            entry.index = next.index;
            copy_literals(numbers, next.first, entry.literals);
            entry.antecedents.assign(numbers + next.first, numbers + next.first + next.second);
            break;
          case QrpEntry::RESULT:
            entry.satisfiable = next.satisfiable;
            break;
        }
        number += size_t{next.first} + next.second;
        return next.kind;
      }
      if (block.refusal) {
        position = block.refusal_position;
        std::rethrow_exception(block.refusal);
      }
      assert(!block.last && "nothing is taken after the result");
      held = nullptr;
      ring.release();
    }
    held = &ring.take();
    record = number = 0;
  }
}

void QrpReader::read_ahead() {
  assert(!ahead_ && section_ == Section::BLOCKS && "after read_header, once");
  ahead_.reset(new Ahead);
  ahead_->position = tokens_.position();
  ahead_->ring.start([this] { ahead_->fill(*this); });
}

void QrpReader::stop_reading_ahead() {
  if (ahead_) ahead_->ring.stop();
}

QrpReader::~QrpReader() { stop_reading_ahead(); }

QrpEntry::Kind QrpReader::next(QrpEntry& entry) {
  if (!ahead_) return read_entry(entry);
  assert(ahead_->ring.running() && "not after stop_reading_ahead");
  return ahead_->take(entry);
}

InputPosition QrpReader::position() const {
  return ahead_ ? ahead_->position : tokens_.position();
}

// ---- ASCII --------------------------------------------------------------

[[noreturn]] void QrpReader::cut_off(const char* within, uint32_t index) const {
  throw Exception(message::qrp_cut_off(within, index));
}

// An index, an antecedent or the 0 ending a list: digits only (no sign, so
// "-3" is not taken modulo 2^32), at most 4294967295.
uint32_t QrpReader::read_ascii_unsigned(const char* within, uint32_t index) {
  uint32_t value;
  if (tokens_.read_plain_unsigned(value)) return value;
  const std::string& token = tokens_.token();
  if (token.empty()) cut_off(within, index);
  if (!is_digit(token[0]) || !whole_unsigned32(token, value)) conversion_failed(token);
  return value;
}

// A literal or a quantified variable: a signed number, magnitude at most
// 2147483647.
int32_t QrpReader::read_ascii_signed(const char* within, uint32_t index) {
  int32_t value;
  if (tokens_.read_plain_signed(value)) return value;
  const std::string& token = tokens_.token();
  if (token.empty()) cut_off(within, index);
  if (!whole_signed32(token, value)) conversion_failed(token);
  return value;
}

QrpEntry::Kind QrpReader::next_ascii(QrpEntry& entry, PodVector<uint32_t>& numbers,
                                     uint32_t& literals) {
  tokens_.skip_separators();
  entry.position = tokens_.position();
  if (tokens_.read_plain_unsigned(entry.index)) {
    literals = read_ascii_step(entry.index, numbers);
    return QrpEntry::STEP;
  }
  const std::string& word = tokens_.token();
  if (word.empty()) missing_result();
  if (word == "e" || word == "a") {
    if (section_ == Section::STEPS) throw Exception("Quantifier line after the first step.");
    entry.quantifier = word == "e" ? Quantifier::EXISTENTIAL : Quantifier::UNIVERSAL;
    read_ascii_block(entry);
    return QrpEntry::BLOCK;
  }
  if (word == "r") {
    read_result(entry);
    return QrpEntry::RESULT;
  }
  if (!is_digit(word[0]) || !whole_unsigned32(word, entry.index)) conversion_failed(word);
  literals = read_ascii_step(entry.index, numbers);
  return QrpEntry::STEP;
}

void QrpReader::read_ascii_block(QrpEntry& entry) {
  entry.variables.clear();
  for (int32_t variable; (variable = read_ascii_signed("Quantifier block", 0)) != 0;) {
    if (variable < 0)
      throw Exception(message::qrp_negative_variable(variable));
    check_variable(static_cast<uint32_t>(variable));
    entry.variables.push_back(static_cast<uint32_t>(variable));
  }
}

// The plain numbers of a list (one blank apart, short, in the buffer) are
// converted in place by the tokenizer; any other number is read the
// general way, which words every fault, and the plain reading goes on
// after it. Returns how many literal codes were appended.
uint32_t QrpReader::read_ascii_step(uint32_t index, PodVector<uint32_t>& numbers) {
  if (index == 0) throw Exception("Step index 0: indices start at 1.");
  section_ = Section::STEPS;
  const size_t first = numbers.size();
  Appender append(numbers);
  int32_t refused = 0;
  for (;;) {
    const Tokenizer::ListEnd end = tokens_.read_plain_list(
        true,
        [&append](int32_t number) {
          const Literal literal(number);
          if (literal.variable() > kMaxVariable) return false;
          append.add(literal.code);
          return true;
        },
        refused);
    if (end == Tokenizer::ListEnd::ZERO) break;
    if (end == Tokenizer::ListEnd::REFUSED) {
      check_variable(Literal(refused).variable());
      assert(false);  // only a variable above the limit is refused
    }
    const int32_t number = read_ascii_signed("Step", index);
    if (number == 0) break;
    const Literal literal(number);
    check_variable(literal.variable());
    append.add(literal.code);
  }
  append.flush();
  const uint32_t literals = static_cast<uint32_t>(numbers.size() - first);
  for (;;) {
    const Tokenizer::ListEnd end = tokens_.read_plain_list(
        false,
        [&append](int32_t antecedent) {
          append.add(static_cast<uint32_t>(antecedent));
          return true;
        },
        refused);
    if (end == Tokenizer::ListEnd::ZERO) break;
    const uint32_t antecedent = read_ascii_unsigned("Step", index);
    if (antecedent == 0) break;
    append.add(antecedent);
  }
  append.flush();
  return literals;
}

// ---- binary -------------------------------------------------------------

uint32_t QrpReader::read_binary(const char* within, uint32_t index) {
  uint32_t value;
  if (!tokens_.read_varint(value)) cut_off(within, index);
  return value;
}

// A step starts with its index; a 0 there opens a quantifier block (a 0
// followed by `e` or `a`) or ends the steps (the result line follows).
QrpEntry::Kind QrpReader::next_binary(QrpEntry& entry, PodVector<uint32_t>& numbers,
                                      uint32_t& literals) {
  entry.position = tokens_.position();
  if (!tokens_.read_varint(entry.index)) missing_result();
  if (entry.index != 0) {
    literals = read_binary_step(entry.index, numbers);
    return QrpEntry::STEP;
  }
  const int type = tokens_.peek();
  if (type == 'e' || type == 'a') {
    if (section_ == Section::STEPS) throw Exception("Quantifier block after the first step.");
    tokens_.get();
    entry.quantifier = type == 'e' ? Quantifier::EXISTENTIAL : Quantifier::UNIVERSAL;
    read_binary_block(entry);
    return QrpEntry::BLOCK;
  }
  read_result(entry);
  return QrpEntry::RESULT;
}

void QrpReader::read_binary_block(QrpEntry& entry) {
  entry.variables.clear();
  for (uint32_t variable; (variable = read_binary("Quantifier block", 0)) != 0;) {
    check_variable(variable);
    entry.variables.push_back(variable);
  }
}

// The lists of a step are taken whole by the tokenizer, which hands each
// number over here: one range test accepts a literal code (2 to
// 2 kMaxVariable + 1); a refused one is told apart afterwards. Returns how
// many literal codes were appended.
uint32_t QrpReader::read_binary_step(uint32_t index, PodVector<uint32_t>& numbers) {
  section_ = Section::STEPS;
  constexpr uint32_t kLargestCode = 2 * kMaxVariable + 1;
  const size_t first = numbers.size();
  Appender append(numbers);
  uint32_t refused = 0;
  Tokenizer::ListEnd end = tokens_.read_varint_list(
      [&append](uint32_t code) {
        if (code - 2u > kLargestCode - 2u) return false;
        append.add(code);
        return true;
      },
      refused);
  append.flush();
  if (end == Tokenizer::ListEnd::REFUSED) {
    if (refused == 1) throw Exception("Literal code 1 names variable 0.");
    check_variable(refused >> 1);
    assert(false);  // every refused code names variable 0 or one above the limit
  }
  if (end == Tokenizer::ListEnd::END) cut_off("Step", index);
  const uint32_t literals = static_cast<uint32_t>(numbers.size() - first);
  end = tokens_.read_varint_list(
      [&append](uint32_t antecedent) {
        append.add(antecedent);
        return true;
      },
      refused);
  append.flush();
  if (end == Tokenizer::ListEnd::END) cut_off("Step", index);
  return literals;
}

// ---- the end ------------------------------------------------------------

// `r SAT` or `r UNSAT` (ASCII after the 0 of a binary trace too; in an
// ASCII trace the `r` was read by next_ascii), then nothing but white space
// to the end of the input.
void QrpReader::read_result(QrpEntry& entry) {
  if (header_.binary) {
    tokens_.skip_separators();
    entry.position = tokens_.position();
    const std::string& mark = tokens_.token();
    if (mark.empty()) missing_result();
    if (mark != "r")
      throw Exception(message::qrp_result_expected(Tokenizer::printable(mark, kShownBytes)));
  }
  const std::string& word = tokens_.token();
  if (word == "SAT")
    entry.satisfiable = true;
  else if (word == "UNSAT")
    entry.satisfiable = false;
  else
    throw Exception(message::qrp_unknown_result(Tokenizer::printable(word, kShownBytes)));
  section_ = Section::DONE;
  const std::string& rest = tokens_.token();
  if (!rest.empty())
    throw Exception(message::qrp_after_result(Tokenizer::printable(rest, kShownBytes)));
}
