// Numbers and words onto an output stream without the stream's formatting
// (locale, facets, one virtual call per number): bytes are collected in a
// block and written with one call per block. Used by writers of large text
// files (cores of proofs), where formatting would otherwise cost more than
// the check that preceded it.
#ifndef ZEL_WRITE_TEXT_WRITER_HPP
#define ZEL_WRITE_TEXT_WRITER_HPP

#include <cstdint>
#include <cstring>
#include <ostream>

class TextWriter {
 public:
  explicit TextWriter(std::ostream& out) : out_(out) {}
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;
  ~TextWriter() { flush(); }

  void put(char c) {
    if (size_ == sizeof block_) flush();
    block_[size_++] = c;
  }
  void text(const char* text) {
    for (; *text; ++text) put(*text);
  }
  void number(int64_t value) {
    if (sizeof block_ - size_ < 24) flush();
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : value;
    if (value < 0) block_[size_++] = '-';
    char digits[20];
    size_t count = 0;
    do {
      digits[count++] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) block_[size_++] = digits[--count];
  }
  // A blank, then the number.
  void field(int64_t value) {
    put(' ');
    number(value);
  }
  // Each literal as a field, then " 0": a clause in DIMACS form.
  template <typename Literals>
  void literals(const Literals& clause) {
    for (const auto& literal : clause) field(literal.to_dimacs());
    text(" 0");
  }
  void flush() {
    out_.write(block_, static_cast<std::streamsize>(size_));
    size_ = 0;
  }

 private:
  std::ostream& out_;
  size_t size_ = 0;      // bytes collected in block_
  char block_[1 << 15];  // bytes not yet handed to out_
};

// The last line of a refutation in zel's format, which the cores of both
// proof formats end with: the conclusion naming the refuting clause.
inline void write_refutation_conclusion(TextWriter& text, uint32_t refuting_number) {
  text.text("CONCLUDE INVALID ");
  text.number(refuting_number);
  text.put('\n');
}

#endif
