// Refilling the input buffer from the stream's own buffer.

#include "input_buffer.hpp"

void InputBuffer::attach(std::istream& in) {
  stream_ = &in;
  buffer_.resize(kBufferSize);
  position_ = end_ = 0;
  exhausted_ = false;
  failed_ = !in.good() && !in.eof();
}

bool InputBuffer::refill() {
  if (exhausted_ || !stream_) return false;
  std::streambuf* source = stream_->rdbuf();
  std::streamsize got = 0;
  if (source && stream_->good()) {
    try {
      got = source->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    } catch (...) {
      got = 0;  // a read error ends the input like its end does
    }
  }
  position_ = 0;
  end_ = got > 0 ? static_cast<size_t>(got) : 0;
  if (end_ == 0) {
    exhausted_ = true;
    stream_->setstate(std::ios::eofbit);
    return false;
  }
  return true;
}

void InputBuffer::fail() {
  failed_ = true;
  if (stream_) stream_->setstate(std::ios::failbit);
}
