// Buffered byte reader over an input stream. Certificates and formulas reach
// gigabytes, so bytes are taken from a large buffer of our own, refilled by
// one read call at a time, instead of one stream operation per character.
#ifndef ZEL_FORMULA_INPUT_BUFFER_HPP
#define ZEL_FORMULA_INPUT_BUFFER_HPP

#include <cstddef>
#include <istream>
#include <vector>

class InputBuffer {
 public:
  static constexpr int END = -1;  // returned by peek and get at the end of input

  // Binds the reader to `in`'s stream buffer, dropping whatever was buffered.
  void attach(std::istream& in);
  bool attached_to(const std::istream& in) const { return stream_ == &in; }

  // The next byte (0..255) without consuming it, or END.
  int peek() {
    if (position_ == end_ && !refill()) return END;
    return static_cast<unsigned char>(buffer_[position_]);
  }
  // Consumes one byte. At the end of input this marks the reader failed, as
  // reading past the last character fails a stream.
  int get() {
    if (position_ == end_ && !refill()) {
      fail();
      return END;
    }
    return static_cast<unsigned char>(buffer_[position_++]);
  }
  // The bytes available without a refill, for loops that scan runs of bytes.
  const char* data() const { return buffer_.data() + position_; }
  size_t available() const { return end_ - position_; }
  void skip(size_t bytes) { position_ += bytes; }
  // Refills an exhausted buffer; false at the end of input.
  bool fill() { return position_ < end_ || refill(); }

  // A read past the end (or a read error) happened.
  bool failed() const { return failed_; }

 private:
  bool refill();
  void fail();

  static constexpr size_t kBufferSize = 1 << 20;

  std::istream* stream_ = nullptr;  // the stream read from; not owned
  std::vector<char> buffer_;        // kBufferSize bytes once attached
  size_t position_ = 0;             // next unread byte in buffer_
  size_t end_ = 0;                  // bytes of buffer_ that hold input
  bool exhausted_ = false;          // the stream delivered its last byte
  bool failed_ = false;             // a read went past the end
};

#endif
