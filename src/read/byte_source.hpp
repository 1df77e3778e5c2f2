// The bottom of the reader: delivers the bytes of one input (a named file,
// standard input or a block of memory), decompressing gzip, bzip2, xz and
// zstd on the fly. The format is told by the first bytes, never by the name,
// so a compressed certificate piped into standard input is read as well.
// Plain files go through read(2) straight into the caller's buffer; the
// decompressors stream through one fixed input buffer, so memory stays
// bounded whatever the input expands to.
#ifndef ZEL_READ_BYTE_SOURCE_HPP
#define ZEL_READ_BYTE_SOURCE_HPP

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/content_hash.hpp"

class ByteSource {
 public:
  enum class Format { PLAIN, GZIP, BZIP2, XZ, ZSTD };

  // The longest magic number (xz's six bytes): this many bytes are read
  // ahead to tell the format.
  static constexpr size_t kMagicBytes = 6;
  // Compressed bytes taken from a descriptor per read(2) call.
  static constexpr size_t kInputBufferSize = 1 << 18;
  // Decompressed bytes taken per step by verify_rest.
  static constexpr size_t kScratchSize = 1 << 16;
  // Most memory the xz decoder may allocate. Files made with xz's presets
  // need at most 65 MiB; a stream that asks for more is refused instead of
  // letting its header claim gigabytes. zstd keeps its library default
  // (windows up to 128 MiB), bzip2 and gzip need a few MiB at most.
  static constexpr uint64_t kXzMemoryLimit = uint64_t(1) << 30;

  ByteSource();
  ~ByteSource();
  ByteSource(ByteSource&& other) noexcept;
  ByteSource& operator=(ByteSource&& other) noexcept;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  // Opens a named file; "-" means standard input (which is read but never
  // closed). Returns false when the file cannot be opened or is a directory;
  // the caller words that message (errno tells why). Reads the first bytes
  // to tell the format, so on a pipe this waits for them. Throws Exception
  // when that first read fails. Never seeks, and takes the size only of a
  // regular file. Whatever was open before is closed first.
  bool open(const std::string& name);
  // Reads from `size` bytes at `data`. Nothing is copied: the bytes must stay
  // valid and unchanged until this source is closed, reopened or destroyed.
  void open_memory(const char* data, size_t size, const std::string& name);
  // Releases the descriptor and the decompressor; the source reads nothing
  // afterwards (read returns 0).
  void close();

  // Puts up to `capacity` bytes of the decompressed content into `buffer` and
  // returns how many; 0 only at the end of the input (or when capacity is 0).
  // Plain files are read(2) straight into `buffer`: give it about 1 MiB and
  // align it to a page (4096 bytes), which makes the kernel's copy about five
  // times faster than into a misaligned buffer (measured: 0.04 s against
  // 0.2 s for 500 MB from the page cache).
  // Throws Exception "Could not read file 'NAME': <reason>." when reading
  // fails and "Could not decompress file 'NAME': <detail>." when the
  // compressed data is corrupt, truncated or followed by anything but another
  // member of the same format (or padding: zero bytes after gzip, xz stream
  // padding). Once it has thrown, it throws the same again.
  size_t read(char* buffer, size_t capacity);

  // The caller needs no more bytes. A compressed input is decompressed to
  // its end into a scratch buffer and dropped, so that a fault after the
  // bytes read (a checksum, a missing trailer, a truncated last member,
  // anything after it that is not another member) is found: throws as read
  // does. Memory stays bounded, time is linear in the rest; read returns 0
  // afterwards. A plain input is left alone: nothing after the bytes read is
  // looked at, so junk there is never an error.
  void verify_rest();
  // Reads and drops the rest of the input, plain or compressed, so that
  // content_hash() covers all of it; throws as read does.
  void read_to_end();

  Format format() const { return format_; }
  const std::string& name() const { return name_; }
  // Input bytes consumed so far (the compressed size once all is read).
  uint64_t bytes_in() const;
  // bytes_in() as of the end of the last read: safe to ask from another
  // thread than the one reading (the progress display, while a reader
  // thread reads ahead).
  uint64_t bytes_in_published() const { return published_in_.load(std::memory_order_relaxed); }
  // Bytes delivered by read so far (the decompressed size once all is read).
  uint64_t bytes_out() const { return bytes_out_; }
  // A hash of the bytes read delivered so far (content_hash.hpp): two
  // readings of an input that deliver the same count and hash read the
  // same content.
  uint64_t content_hash() const { return content_hash_.value(); }
  // Size in bytes of a regular file or of memory input; -1 when unknown
  // (a pipe, a terminal, standard input that is not a regular file).
  int64_t file_size() const { return file_size_; }

  // "plain", "gzip", "bzip2", "xz" or "zstd".
  static const char* format_name(Format format);

 private:
  struct Decoder;  // the decompressor state, defined in byte_source.cpp

  bool refill_input();
  size_t read_plain(char* buffer, size_t capacity);
  size_t read_compressed(char* buffer, size_t capacity);
  size_t read_descriptor(char* buffer, size_t capacity);
  void skip_gzip_padding();
  void start_decoder(const char* input, size_t input_size);
  [[noreturn]] void fail(const std::string& message);
  [[noreturn]] void fail_read(int error_number);
  [[noreturn]] void fail_decompress(const std::string& detail);

  std::string name_;                   // as given to open; "-" for standard input
  Format format_ = Format::PLAIN;      // told by the first bytes
  int fd_ = -1;                        // descriptor read from; -1 for memory or closed
  bool owns_fd_ = false;               // fd_ is ours to close (not standard input)
  bool input_ended_ = true;            // the input has no more bytes to give
  const char* memory_ = nullptr;       // memory input; not owned, see open_memory
  size_t memory_size_ = 0;             // bytes at memory_
  size_t memory_position_ = 0;         // plain memory input: next byte to deliver
  char head_[kMagicBytes] = {};        // plain descriptor input: bytes read ahead
  size_t head_size_ = 0;               // bytes held in head_
  size_t head_position_ = 0;           // next byte of head_ to deliver
  uint64_t bytes_read_ = 0;            // bytes read(2) returned (or the memory size)
  uint64_t bytes_out_ = 0;             // bytes delivered by read
  int64_t file_size_ = -1;             // see file_size()
  std::atomic<uint64_t> published_in_{0};  // see bytes_in_published()
  ContentHash content_hash_;           // of the bytes read delivered
  std::string error_;                  // message of the last throw, thrown again after it
  std::unique_ptr<Decoder> decoder_;   // compressed input only; on the heap because
                                       // zlib and bzip2 state points back at its stream
};

#endif
