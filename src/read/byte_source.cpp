// Reading, format detection and the four decompressors of ByteSource.
//
// Each decompressor is driven through the same loop (read_compressed): feed
// the input buffer, step the library once, refill when it asks for more.
// Members follow one another (gzip members, bzip2 streams, xz streams, zstd
// frames, zstd skippable frames carrying no content) and are read as one
// stream, as zcat and its kin do. The input must end exactly at the end of a
// member: running out inside one is "unexpected end of data", so a truncated
// file never passes for a complete one. verify_rest reads a compressed input
// to that end when the caller needs no more of it.
// Anything else after a member is an error too, where bzcat and zcat warn and
// drop it: a damaged second member would otherwise lose its data silently.
// Only padding passes: zero bytes after gzip members (as gzip allows) and
// xz stream padding (liblzma checks it).
#include "read/byte_source.hpp"

#include <bzlib.h>
#include <fcntl.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "core/exception.hpp"
#include "core/messages.hpp"

namespace {

const char* const kTruncated = "unexpected end of data";
const size_t kPageSize = 4096;  // alignment of the input buffer

ByteSource::Format detect_format(const char* head, size_t size) {
  auto starts_with = [&](const char* magic, size_t magic_size) {
    return size >= magic_size && std::memcmp(head, magic, magic_size) == 0;
  };
  if (starts_with("\x1f\x8b", 2)) return ByteSource::Format::GZIP;
  if (starts_with("BZh", 3)) return ByteSource::Format::BZIP2;
  if (starts_with("\xfd\x37\x7a\x58\x5a\x00", 6)) return ByteSource::Format::XZ;
  if (starts_with("\x28\xb5\x2f\xfd", 4)) return ByteSource::Format::ZSTD;
  // A zstd stream may open with a skippable frame (magic numbers 0x184D2A50
  // to 0x184D2A5F, little-endian), as pzstd starts every file. libzstd skips
  // such frames wherever they stand.
  if (size >= 4 && (static_cast<unsigned char>(head[0]) & 0xF0) == 0x50 &&
      std::memcmp(head + 1, "\x2a\x4d\x18", 3) == 0)
    return ByteSource::Format::ZSTD;
  return ByteSource::Format::PLAIN;
}

const char* bzip2_detail(int code) {
  switch (code) {
    case BZ_DATA_ERROR: return "data integrity error";
    case BZ_DATA_ERROR_MAGIC: return "not bzip2 data";
    case BZ_MEM_ERROR: return "out of memory";
    case BZ_UNEXPECTED_EOF: return kTruncated;
    default: return "internal error";
  }
}

const char* xz_detail(lzma_ret code) {
  switch (code) {
    case LZMA_DATA_ERROR: return "compressed data is corrupt";
    case LZMA_FORMAT_ERROR: return "file format not recognized";
    case LZMA_OPTIONS_ERROR: return "unsupported compression options";
    case LZMA_MEM_ERROR: return "out of memory";
    case LZMA_MEMLIMIT_ERROR: return "needs more than 1 GiB of memory";
    case LZMA_BUF_ERROR: return kTruncated;
    default: return "internal error";
  }
}

}  // namespace

// The library state of the one decompressor in use and the compressed input
// it reads. Lives on the heap: zlib and bzip2 keep a pointer back to their
// stream structure, so that structure must never move.
struct ByteSource::Decoder {
  explicit Decoder(Format kind) : format(kind) {}
  ~Decoder() { end_library(); }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Starts (or restarts, for the next member) the library state. Returns an
  // error detail, or nullptr on success.
  const char* begin_library();
  void end_library();

  Format format;                        // which of the states below is in use
  z_stream gzip{};                      // zlib inflate state (GZIP)
  bz_stream bzip2{};                    // libbz2 state (BZIP2)
  lzma_stream xz = LZMA_STREAM_INIT;    // liblzma state (XZ)
  ZSTD_DCtx* zstd = nullptr;            // libzstd state (ZSTD); owned
  bool library_ready = false;           // the state above is initialised
  std::vector<char> storage;            // descriptor input only: holds `input`
  char* input = nullptr;                // kInputBufferSize bytes in storage, page-aligned
  const char* next = nullptr;           // next unconsumed input byte (in `input` or memory)
  size_t available = 0;                 // unconsumed input bytes at `next`
  bool member_complete = false;         // the last step ended a member with all of it delivered
  bool xz_finished = false;             // the last liblzma step was told no input follows
};

const char* ByteSource::Decoder::begin_library() {
  end_library();
  switch (format) {
    case Format::GZIP:
      gzip = z_stream{};
      // 16 + 15: gzip wrapper only, 32 KiB window; inflate checks the
      // trailer's CRC-32 and length.
      if (inflateInit2(&gzip, 16 + MAX_WBITS) != Z_OK) return "out of memory";
      break;
    case Format::BZIP2:
      bzip2 = bz_stream{};
      if (BZ2_bzDecompressInit(&bzip2, 0, 0) != BZ_OK) return "out of memory";
      break;
    case Format::XZ: {
      xz = LZMA_STREAM_INIT;
      // LZMA_CONCATENATED reads stream after stream (and stream padding)
      // until LZMA_FINISH; each stream's integrity check is verified.
      lzma_ret code = lzma_stream_decoder(&xz, kXzMemoryLimit, LZMA_CONCATENATED);
      if (code != LZMA_OK) return xz_detail(code);
      break;
    }
    case Format::ZSTD:
      // One context reads frame after frame by itself.
      zstd = ZSTD_createDCtx();
      if (zstd == nullptr) return "out of memory";
      break;
    case Format::PLAIN:
      assert(false);
      break;
  }
  library_ready = true;
  return nullptr;
}

void ByteSource::Decoder::end_library() {
  if (!library_ready) return;
  switch (format) {
    case Format::GZIP: inflateEnd(&gzip); break;
    case Format::BZIP2: BZ2_bzDecompressEnd(&bzip2); break;
    case Format::XZ: lzma_end(&xz); break;
    case Format::ZSTD: ZSTD_freeDCtx(zstd); zstd = nullptr; break;
    case Format::PLAIN: break;
  }
  library_ready = false;
}

ByteSource::ByteSource() = default;

ByteSource::~ByteSource() { close(); }

ByteSource::ByteSource(ByteSource&& other) noexcept { *this = std::move(other); }

ByteSource& ByteSource::operator=(ByteSource&& other) noexcept {
  if (this == &other) return *this;
  close();
  name_ = std::move(other.name_);
  format_ = other.format_;
  fd_ = other.fd_;
  owns_fd_ = other.owns_fd_;
  input_ended_ = other.input_ended_;
  memory_ = other.memory_;
  memory_size_ = other.memory_size_;
  memory_position_ = other.memory_position_;
  std::memcpy(head_, other.head_, sizeof head_);
  head_size_ = other.head_size_;
  head_position_ = other.head_position_;
  bytes_read_ = other.bytes_read_;
  bytes_out_ = other.bytes_out_;
  content_hash_ = other.content_hash_;
  file_size_ = other.file_size_;
  published_in_.store(other.published_in_.load(std::memory_order_relaxed),
                      std::memory_order_relaxed);
  error_ = std::move(other.error_);
  decoder_ = std::move(other.decoder_);
  // Leave `other` closed; it must not close the descriptor it gave away.
  other.fd_ = -1;
  other.owns_fd_ = false;
  other.close();
  return *this;
}

void ByteSource::close() {
  if (fd_ >= 0 && owns_fd_) ::close(fd_);
  fd_ = -1;
  owns_fd_ = false;
  decoder_.reset();
  format_ = Format::PLAIN;
  input_ended_ = true;
  memory_ = nullptr;
  memory_size_ = memory_position_ = 0;
  head_size_ = head_position_ = 0;
  bytes_read_ = bytes_out_ = 0;
  content_hash_.reset();
  published_in_.store(0, std::memory_order_relaxed);
  file_size_ = -1;
  error_.clear();
}

bool ByteSource::open(const std::string& name) {
  close();
  int fd = 0;
  if (name != "-") {
    do fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
  }
  struct stat info;
  int refusal = 0;
  if (fstat(fd, &info) != 0)
    refusal = errno;
  else if (S_ISDIR(info.st_mode))
    refusal = EISDIR;
  if (refusal != 0) {
    if (name != "-") ::close(fd);
    errno = refusal;
    return false;
  }
  name_ = name;
  fd_ = fd;
  owns_fd_ = name != "-";
  input_ended_ = false;
  // Only a regular file has a size worth showing; a pipe's st_size means nothing.
  if (S_ISREG(info.st_mode)) {
    file_size_ = info.st_size;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  // Read ahead the magic number. A pipe may hand it over in pieces, so read
  // until it is whole or the input ends.
  while (head_size_ < kMagicBytes && !input_ended_)
    head_size_ += read_descriptor(head_ + head_size_, kMagicBytes - head_size_);
  format_ = detect_format(head_, head_size_);
  if (format_ != Format::PLAIN) {
    decoder_.reset(new Decoder(format_));
    // read(2) copies several times faster into a page-aligned buffer.
    decoder_->storage.resize(kInputBufferSize + kPageSize);
    char* start = decoder_->storage.data();
    decoder_->input = start + (kPageSize - reinterpret_cast<uintptr_t>(start) % kPageSize) % kPageSize;
    std::memcpy(decoder_->input, head_, head_size_);
    start_decoder(decoder_->input, head_size_);
    head_size_ = 0;
  }
  return true;
}

void ByteSource::open_memory(const char* data, size_t size, const std::string& name) {
  close();
  name_ = name;
  memory_ = data;
  memory_size_ = size;
  bytes_read_ = size;
  file_size_ = static_cast<int64_t>(size);
  format_ = detect_format(data, std::min(size, kMagicBytes));
  if (format_ != Format::PLAIN) {
    // The decompressor reads the memory in place; nothing is copied.
    decoder_.reset(new Decoder(format_));
    start_decoder(data, size);
  }
}

void ByteSource::start_decoder(const char* input, size_t input_size) {
  decoder_->next = input;
  decoder_->available = input_size;
  if (const char* detail = decoder_->begin_library()) fail_decompress(detail);
}

uint64_t ByteSource::bytes_in() const {
  if (decoder_) return bytes_read_ - decoder_->available;
  if (memory_) return memory_position_;
  return bytes_read_ - (head_size_ - head_position_);
}

const char* ByteSource::format_name(Format format) {
  switch (format) {
    case Format::PLAIN: return "plain";
    case Format::GZIP: return "gzip";
    case Format::BZIP2: return "bzip2";
    case Format::XZ: return "xz";
    case Format::ZSTD: return "zstd";
  }
  return "plain";
}

void ByteSource::fail(const std::string& message) {
  error_ = message;
  throw Exception(error_);
}

void ByteSource::fail_read(int error_number) {
  fail(message::read_failed(name_, std::strerror(error_number)));
}

void ByteSource::fail_decompress(const std::string& detail) {
  fail(message::decompress_failed(name_, detail));
}

// One read(2) into `buffer`, retried when a signal interrupts it. Marks the
// input ended when it returns 0 and never reads again after that, so a
// terminal is not asked twice for its end.
size_t ByteSource::read_descriptor(char* buffer, size_t capacity) {
  if (input_ended_) return 0;
  ssize_t got;
  do got = ::read(fd_, buffer, capacity);
  while (got < 0 && errno == EINTR);
  if (got < 0) fail_read(errno);
  if (got == 0) input_ended_ = true;
  bytes_read_ += static_cast<uint64_t>(got);
  return static_cast<size_t>(got);
}

size_t ByteSource::read(char* buffer, size_t capacity) {
  if (!error_.empty()) throw Exception(error_);
  if (capacity == 0) return 0;
  size_t delivered = decoder_ ? read_compressed(buffer, capacity) : read_plain(buffer, capacity);
  bytes_out_ += delivered;
  content_hash_.add(buffer, delivered);
  published_in_.store(bytes_in(), std::memory_order_relaxed);
  return delivered;
}

void ByteSource::verify_rest() {
  if (!decoder_) return;
  read_to_end();
}

void ByteSource::read_to_end() {
  std::vector<char> scratch(kScratchSize);
  while (read(scratch.data(), scratch.size()) > 0) {
  }
}

size_t ByteSource::read_plain(char* buffer, size_t capacity) {
  if (memory_) {
    size_t count = std::min(capacity, memory_size_ - memory_position_);
    std::memcpy(buffer, memory_ + memory_position_, count);
    memory_position_ += count;
    return count;
  }
  if (head_position_ < head_size_) {
    size_t count = std::min(capacity, head_size_ - head_position_);
    std::memcpy(buffer, head_ + head_position_, count);
    head_position_ += count;
    return count;
  }
  if (fd_ < 0) return 0;
  return read_descriptor(buffer, capacity);
}

// Refills the decoder's input buffer from the descriptor. False at the end.
bool ByteSource::refill_input() {
  if (fd_ < 0 || input_ended_) {
    input_ended_ = true;
    return false;
  }
  Decoder& decoder = *decoder_;
  decoder.next = decoder.input;
  decoder.available = read_descriptor(decoder.input, kInputBufferSize);
  return decoder.available > 0;
}

// Zero bytes after a gzip member are padding (tape blocks), which gzip
// ignores as well. Pre: a member just ended. Post: the next input byte, if
// any, is not zero; it must begin the next member.
void ByteSource::skip_gzip_padding() {
  Decoder& decoder = *decoder_;
  for (;;) {
    while (decoder.available > 0 && *decoder.next == 0) {
      ++decoder.next;
      --decoder.available;
    }
    if (decoder.available > 0 || !refill_input()) return;
  }
}

// Pre: decoder_ set and its library state ready. Post: returns the count of
// bytes put into `buffer`, 0 only once all input is consumed and the last
// member ended exactly there; throws on corrupt or truncated data.
//
// Every pass of the loop either delivers bytes, consumes input, refills the
// input or ends (returns or throws): the input is finite, so the loop is too.
size_t ByteSource::read_compressed(char* buffer, size_t capacity) {
  Decoder& decoder = *decoder_;
  for (;;) {
    if (decoder.member_complete) {
      if (format_ == Format::GZIP) skip_gzip_padding();
      if (decoder.available == 0) {
        if (!refill_input()) return 0;  // clean end: the input ends with a member
      }
      // More input after a member: it must be the next member. zlib and
      // bzip2 start over; liblzma and libzstd go on by themselves.
      decoder.member_complete = false;
      if (format_ == Format::GZIP) {
        inflateReset(&decoder.gzip);
      } else if (format_ == Format::BZIP2) {
        if (const char* detail = decoder.begin_library()) fail_decompress(detail);
      }
    }

    size_t input_before = decoder.available;
    size_t produced = 0;
    switch (format_) {
      case Format::GZIP: {
        z_stream& stream = decoder.gzip;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(decoder.next));
        stream.avail_in = static_cast<uInt>(std::min<size_t>(decoder.available, UINT_MAX));
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = static_cast<uInt>(std::min<size_t>(capacity, UINT_MAX));
        uInt in_offered = stream.avail_in, out_offered = stream.avail_out;
        int code = inflate(&stream, Z_NO_FLUSH);
        decoder.next += in_offered - stream.avail_in;
        decoder.available -= in_offered - stream.avail_in;
        produced = out_offered - stream.avail_out;
        if (code == Z_STREAM_END) {
          decoder.member_complete = true;
        } else if (code != Z_OK && code != Z_BUF_ERROR) {
          fail_decompress(code == Z_MEM_ERROR ? "out of memory"
                          : stream.msg        ? stream.msg
                                              : "corrupt data");
        }
        break;
      }
      case Format::BZIP2: {
        bz_stream& stream = decoder.bzip2;
        stream.next_in = const_cast<char*>(decoder.next);
        stream.avail_in = static_cast<unsigned>(std::min<size_t>(decoder.available, UINT_MAX));
        stream.next_out = buffer;
        stream.avail_out = static_cast<unsigned>(std::min<size_t>(capacity, UINT_MAX));
        unsigned in_offered = stream.avail_in, out_offered = stream.avail_out;
        int code = BZ2_bzDecompress(&stream);
        decoder.next += in_offered - stream.avail_in;
        decoder.available -= in_offered - stream.avail_in;
        produced = out_offered - stream.avail_out;
        if (code == BZ_STREAM_END) {
          decoder.member_complete = true;
        } else if (code != BZ_OK) {
          fail_decompress(bzip2_detail(code));
        }
        break;
      }
      case Format::XZ: {
        lzma_stream& stream = decoder.xz;
        stream.next_in = reinterpret_cast<const uint8_t*>(decoder.next);
        stream.avail_in = decoder.available;
        stream.next_out = reinterpret_cast<uint8_t*>(buffer);
        stream.avail_out = capacity;
        // LZMA_FINISH tells liblzma that no input follows what it is given,
        // which is when it checks that the last stream is complete.
        decoder.xz_finished = input_ended_;
        lzma_ret code = lzma_code(&stream, input_ended_ ? LZMA_FINISH : LZMA_RUN);
        decoder.next += decoder.available - stream.avail_in;
        decoder.available = stream.avail_in;
        produced = capacity - stream.avail_out;
        if (code == LZMA_STREAM_END) {
          decoder.member_complete = true;
        } else if (code != LZMA_OK) {
          fail_decompress(xz_detail(code));
        }
        break;
      }
      case Format::ZSTD: {
        ZSTD_inBuffer in{decoder.next, decoder.available, 0};
        ZSTD_outBuffer out{buffer, capacity, 0};
        size_t code = ZSTD_decompressStream(decoder.zstd, &out, &in);
        if (ZSTD_isError(code)) fail_decompress(ZSTD_getErrorName(code));
        decoder.next += in.pos;
        decoder.available -= in.pos;
        produced = out.pos;
        // 0: a frame is decoded and flushed completely.
        decoder.member_complete = code == 0;
        break;
      }
      case Format::PLAIN:
        assert(false);
        return 0;
    }

    if (produced > 0) return produced;
    if (decoder.member_complete || decoder.available < input_before) continue;
    // No progress: the library needs more input than it has.
    if (decoder.available > 0) fail_decompress("decoder made no progress");
    if (!refill_input()) {
      // liblzma learns of the end only through LZMA_FINISH: give it that step.
      if (format_ == Format::XZ && !decoder.xz_finished) continue;
      fail_decompress(kTruncated);
    }
  }
}
