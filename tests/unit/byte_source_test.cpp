// Unit tests of ByteSource: samples are compressed by Debian's command-line
// tools (gzip, bzip2, xz, zstd) in a scratch directory, then read back through
// a named file, through a pipe standing in for standard input, and through
// memory, and compared byte for byte. Truncated, corrupted and padded files
// must throw the decompress message naming the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/exception.hpp"
#include "read/byte_source.hpp"
#include "support.hpp"

namespace {

using zeltest::message_of;
using zeltest::StdinPipe;

using Format = ByteSource::Format;

// A scratch directory removed with everything in it when the test ends.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = ::testing::TempDir() + "zel_byte_source_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = mkdtemp(buffer.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = made;
  }
  ~ScratchDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;  // absolute path of the directory
};

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void run(const std::string& command) {
  int status = std::system(command.c_str());
  if (status != 0) throw std::runtime_error("command failed: " + command);
}

// The command line that compresses standard input to standard output.
struct Compressor {
  Format format;        // what ByteSource must detect
  const char* command;  // reads stdin, writes stdout
};
const std::vector<Compressor> kCompressors = {
    {Format::GZIP, "gzip -c -n"},
    {Format::BZIP2, "bzip2 -c"},
    {Format::XZ, "xz -c"},
    {Format::ZSTD, "zstd -q -c"},
};
// Plain input as well, for the tables that cover every format.
const std::vector<Compressor> kAllFormats = {
    {Format::PLAIN, "cat"},
    {Format::GZIP, "gzip -c -n"},
    {Format::BZIP2, "bzip2 -c"},
    {Format::XZ, "xz -c"},
    {Format::ZSTD, "zstd -q -c"},
};

std::string format_label(Format format) { return ByteSource::format_name(format); }

// Compresses `content` with the tool and returns the compressed bytes.
std::string compress(const ScratchDir& dir, const Compressor& tool, const std::string& content) {
  std::string raw = dir.file("raw");
  std::string packed = dir.file("packed");
  write_file(raw, content);
  run(std::string(tool.command) + " < '" + raw + "' > '" + packed + "'");
  return read_file(packed);
}

// Text that looks like a certificate, followed by random binary bytes (which
// hold every byte value, magic numbers included).
std::string sample(size_t text_bytes, size_t binary_bytes, unsigned seed) {
  std::mt19937 random(seed);
  std::string result;
  result.reserve(text_bytes + binary_bytes + 32);
  while (result.size() < text_bytes) {
    int count = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
      int value = static_cast<int>(random() % 2000) + 1;
      if (random() % 2) result += '-';
      result += std::to_string(value);
      result += ' ';
    }
    result += "0\n";
  }
  for (size_t i = 0; i < binary_bytes; ++i) result += static_cast<char>(random() & 0xff);
  return result;
}

// Reads everything with reads of `capacity` bytes.
std::string read_all(ByteSource& source, size_t capacity = 1 << 16) {
  std::string result;
  std::vector<char> buffer(capacity);
  for (;;) {
    size_t got = source.read(buffer.data(), buffer.size());
    if (got == 0) break;
    EXPECT_LE(got, capacity);
    result.append(buffer.data(), got);
  }
  return result;
}

// Reads until the source throws; returns what it delivered and the message.
std::pair<std::string, std::string> read_until_error(ByteSource& source) {
  std::string delivered;
  std::vector<char> buffer(1 << 16);
  try {
    for (;;) {
      size_t got = source.read(buffer.data(), buffer.size());
      if (got == 0) return {delivered, "<no exception>"};
      delivered.append(buffer.data(), got);
    }
  } catch (const Exception& error) {
    return {delivered, error.message};
  }
}



std::string decompress_message(const std::string& name, const std::string& detail) {
  return "Could not decompress file '" + name + "': " + detail + ".";
}

// ---------------------------------------------------------------------------

TEST(ByteSourceRoundTrip, EveryFormatThroughFileStdinAndMemory) {
  ScratchDir dir;
  const std::string original = sample(150000, 50000, 1);
  for (const Compressor& tool : kAllFormats) {
    SCOPED_TRACE(format_label(tool.format));
    const std::string packed = compress(dir, tool, original);
    const std::string path = dir.file("input");
    write_file(path, packed);

    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.format(), tool.format);
    EXPECT_EQ(file.name(), path);
    EXPECT_EQ(file.file_size(), static_cast<int64_t>(packed.size()));
    EXPECT_EQ(read_all(file), original);
    EXPECT_EQ(file.bytes_in(), packed.size());
    EXPECT_EQ(file.bytes_out(), original.size());
    EXPECT_EQ(file.read(nullptr, 0), 0u);

    {
      StdinPipe pipe(path);
      ByteSource in;
      ASSERT_TRUE(in.open("-"));
      EXPECT_EQ(in.format(), tool.format);
      EXPECT_EQ(in.name(), "-");
      EXPECT_EQ(in.file_size(), -1);
      EXPECT_EQ(read_all(in), original);
      EXPECT_EQ(in.bytes_in(), packed.size());
      EXPECT_EQ(in.bytes_out(), original.size());
    }

    ByteSource memory;
    memory.open_memory(packed.data(), packed.size(), "memory");
    EXPECT_EQ(memory.format(), tool.format);
    EXPECT_EQ(memory.name(), "memory");
    EXPECT_EQ(memory.file_size(), static_cast<int64_t>(packed.size()));
    EXPECT_EQ(read_all(memory), original);
    EXPECT_EQ(memory.bytes_in(), packed.size());
    EXPECT_EQ(memory.bytes_out(), original.size());
  }
}

TEST(ByteSourceRoundTrip, ConcatenatedMembersReadAsOneStream) {
  ScratchDir dir;
  const std::string first = sample(30000, 1000, 2);
  const std::string second = sample(20000, 3000, 3);
  const std::string third = "p cnf 1 1\n1 0\n";
  for (const Compressor& tool : kCompressors) {
    SCOPED_TRACE(format_label(tool.format));
    // An empty member in the middle as well.
    const std::string packed = compress(dir, tool, first) + compress(dir, tool, "") +
                               compress(dir, tool, second) + compress(dir, tool, third);
    const std::string path = dir.file("concatenated");
    write_file(path, packed);
    const std::string expected = first + second + third;

    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.format(), tool.format);
    EXPECT_EQ(read_all(file, 4096), expected);
    EXPECT_EQ(file.bytes_in(), packed.size());
    EXPECT_EQ(file.bytes_out(), expected.size());

    {
      StdinPipe pipe(path);
      ByteSource in;
      ASSERT_TRUE(in.open("-"));
      EXPECT_EQ(read_all(in, 1000), expected);
    }

    ByteSource memory;
    memory.open_memory(packed.data(), packed.size(), "memory");
    EXPECT_EQ(read_all(memory, 777), expected);
    EXPECT_EQ(memory.bytes_in(), packed.size());
  }
}

// Running out of input inside a member is never a clean end, wherever the
// cut falls: right after the magic number, in the middle, one byte short.
TEST(ByteSourceErrors, TruncatedInputThrowsUnexpectedEnd) {
  ScratchDir dir;
  const std::string original = sample(80000, 20000, 4);
  struct Cut {
    const char* label;  // where the file is cut
    size_t keep_magic;  // keep this many bytes (0: use `from_end`)
    size_t from_end;    // drop this many bytes from the end
    bool half;          // keep the first half
  };
  const std::vector<Cut> cuts = {
      {"magic only", 1, 0, false},
      {"half", 0, 0, true},
      {"last byte missing", 0, 1, false},
  };
  const std::vector<std::pair<Format, size_t>> magic_sizes = {
      {Format::GZIP, 2}, {Format::BZIP2, 3}, {Format::XZ, 6}, {Format::ZSTD, 4}};
  for (const Compressor& tool : kCompressors) {
    const std::string packed = compress(dir, tool, original);
    size_t magic = 0;
    for (const auto& entry : magic_sizes)
      if (entry.first == tool.format) magic = entry.second;
    for (const Cut& cut : cuts) {
      SCOPED_TRACE(format_label(tool.format) + ", " + cut.label);
      size_t keep = cut.keep_magic ? magic : cut.half ? packed.size() / 2 : packed.size() - cut.from_end;
      const std::string truncated = packed.substr(0, keep);
      const std::string path = dir.file("truncated");
      write_file(path, truncated);

      ByteSource file;
      ASSERT_TRUE(file.open(path));
      EXPECT_EQ(file.format(), tool.format);
      auto result = read_until_error(file);
      EXPECT_EQ(result.second, decompress_message(path, "unexpected end of data"));
      // Cut one byte short, all content may come out, but never the end.
      EXPECT_LE(result.first.size(), original.size());
      EXPECT_EQ(result.first, original.substr(0, result.first.size()));
      // It keeps failing: a caller that reads on never sees an end.
      char byte;
      EXPECT_EQ(message_of([&] { file.read(&byte, 1); }),
                decompress_message(path, "unexpected end of data"));

      {
        StdinPipe pipe(path);
        ByteSource in;
        ASSERT_TRUE(in.open("-"));
        EXPECT_EQ(read_until_error(in).second, decompress_message("-", "unexpected end of data"));
      }

      ByteSource memory;
      memory.open_memory(truncated.data(), truncated.size(), "cut.cert");
      EXPECT_EQ(read_until_error(memory).second,
                decompress_message("cut.cert", "unexpected end of data"));
    }
  }
}

// Damage at a known place gives a known library message.
TEST(ByteSourceErrors, CorruptedInputThrowsWithTheLibraryMessage) {
  ScratchDir dir;
  const std::string original = sample(60000, 5000, 5);
  struct Damage {
    Format format;
    const char* label;    // what is damaged
    long offset;          // byte to change; negative counts from the end
    char value_xor;       // flipped bits (0: append `tail` instead)
    std::string tail;     // bytes appended after the compressed data
    const char* detail;   // expected text after the file name
  };
  const std::vector<Damage> damages = {
      {Format::GZIP, "compression method", 2, 0x01, "", "unknown compression method"},
      {Format::GZIP, "CRC-32 in the trailer", -8, 0x01, "", "incorrect data check"},
      {Format::GZIP, "length in the trailer", -4, 0x01, "", "incorrect length check"},
      {Format::GZIP, "garbage after the member", 0, 0, "garbage", "incorrect header check"},
      {Format::GZIP, "garbage after zero padding", 0, 0, std::string(4, '\0') + "garbage", "incorrect header check"},
      {Format::BZIP2, "block size digit", 3, 0x7f, "", "not bzip2 data"},
      {Format::BZIP2, "block magic", 4, 0x01, "", "data integrity error"},
      {Format::BZIP2, "garbage after the stream", 0, 0, "garbage", "not bzip2 data"},
      {Format::XZ, "stream header CRC", 8, 0x01, "", "compressed data is corrupt"},
      {Format::XZ, "stream footer magic", -1, 0x01, "", "compressed data is corrupt"},
      // Too short for a stream header: xz says "Unexpected end of input" too.
      {Format::XZ, "short garbage after the stream", 0, 0, "garbage", "unexpected end of data"},
      {Format::XZ, "garbage after the stream", 0, 0, "garbage garbage garbage", "compressed data is corrupt"},
      {Format::XZ, "padding not a multiple of 4", 0, 0, std::string(3, '\0'), "compressed data is corrupt"},
      {Format::ZSTD, "content checksum", -1, 0x01, "", "Restored data doesn't match checksum"},
      {Format::ZSTD, "garbage after the frame", 0, 0, "garbage", "Unknown frame descriptor"},
  };
  for (const Damage& damage : damages) {
    SCOPED_TRACE(format_label(damage.format) + ", " + damage.label);
    const Compressor* tool = nullptr;
    for (const Compressor& candidate : kCompressors)
      if (candidate.format == damage.format) tool = &candidate;
    std::string packed = compress(dir, *tool, original);
    if (damage.value_xor != 0) {
      size_t at = damage.offset >= 0 ? size_t(damage.offset) : packed.size() - size_t(-damage.offset);
      packed[at] = static_cast<char>(packed[at] ^ damage.value_xor);
    } else {
      packed += damage.tail;
    }
    const std::string path = dir.file("damaged");
    write_file(path, packed);

    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(read_until_error(file).second, decompress_message(path, damage.detail));
    ByteSource memory;
    memory.open_memory(packed.data(), packed.size(), "damaged.cert");
    EXPECT_EQ(read_until_error(memory).second, decompress_message("damaged.cert", damage.detail));
  }
}

// Padding that zcat and xzcat accept silently: zero bytes after gzip members,
// xz stream padding (zero bytes in multiples of four).
TEST(ByteSourceRoundTrip, PaddingAfterMembersIsAccepted) {
  ScratchDir dir;
  const std::string original = sample(20000, 0, 12);
  struct Padded {
    Format format;
    std::string padding;  // bytes after the last member
  };
  const std::vector<Padded> cases = {
      {Format::GZIP, std::string(1, '\0')},
      {Format::GZIP, std::string(700000, '\0')},  // across input buffer refills
      {Format::XZ, std::string(4, '\0')},
      {Format::XZ, std::string(4096, '\0')},
  };
  for (const Padded& padded : cases) {
    SCOPED_TRACE(format_label(padded.format) + " + " + std::to_string(padded.padding.size()));
    const Compressor* tool = nullptr;
    for (const Compressor& candidate : kCompressors)
      if (candidate.format == padded.format) tool = &candidate;
    const std::string packed = compress(dir, *tool, original) + padded.padding;
    const std::string path = dir.file("padded");
    write_file(path, packed);
    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(read_all(file), original);
    EXPECT_EQ(file.bytes_in(), packed.size());
    ByteSource memory;
    memory.open_memory(packed.data(), packed.size(), "memory");
    EXPECT_EQ(read_all(memory), original);
  }
  // Zero padding between gzip members is skipped as well.
  const std::string two = compress(dir, kCompressors[0], "first\n") + std::string(10, '\0') +
                          compress(dir, kCompressors[0], "second\n");
  ByteSource memory;
  memory.open_memory(two.data(), two.size(), "memory");
  EXPECT_EQ(read_all(memory), "first\nsecond\n");
}

// Damage in the middle of the data: the library's wording depends on what
// the flipped bits hit, but it must throw the decompress message, and what
// was delivered before must not be the whole content.
TEST(ByteSourceErrors, CorruptedMiddleThrowsDecompressMessage) {
  ScratchDir dir;
  const std::string original = sample(200000, 0, 6);
  for (const Compressor& tool : kCompressors) {
    SCOPED_TRACE(format_label(tool.format));
    std::string packed = compress(dir, tool, original);
    for (size_t at = packed.size() / 3; at < packed.size() / 3 + 4; ++at)
      packed[at] = static_cast<char>(packed[at] ^ 0x55);
    const std::string path = dir.file("damaged");
    write_file(path, packed);

    ByteSource file;
    ASSERT_TRUE(file.open(path));
    auto result = read_until_error(file);
    const std::string prefix = "Could not decompress file '" + path + "': ";
    EXPECT_EQ(result.second.substr(0, prefix.size()), prefix) << result.second;
    EXPECT_GT(result.second.size(), prefix.size() + 1);
    EXPECT_EQ(result.second.back(), '.');
    EXPECT_NE(result.first, original);
  }
}

// Random damage (flipped bytes, cuts) must either leave the content intact
// (bytes no check covers, such as gzip's time stamp), turn the input plain
// (the magic number was hit), or throw the decompress message: never a clean
// end with different content, never another failure.
TEST(ByteSourceErrors, RandomDamageIsDetected) {
  ScratchDir dir;
  const std::string original = sample(6000, 500, 13);
  std::mt19937 random(14);
  for (const Compressor& tool : kCompressors) {
    SCOPED_TRACE(format_label(tool.format));
    const std::string packed = compress(dir, tool, original);
    int intact = 0, detected = 0, plain = 0;
    for (int trial = 0; trial < 300; ++trial) {
      std::string damaged = packed;
      if (trial % 4 == 3) {
        damaged.resize(random() % damaged.size());
      } else {
        for (int flips = 1 + trial % 3; flips > 0; --flips) {
          size_t at = random() % damaged.size();
          damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
        }
      }
      ByteSource source;
      source.open_memory(damaged.data(), damaged.size(), "damaged");
      auto result = read_until_error(source);
      if (source.format() == Format::PLAIN) {
        // The magic number itself was hit: the bytes are delivered as they are.
        EXPECT_TRUE(result.first == damaged) << "trial " << trial;
        ++plain;
      } else if (result.second == "<no exception>") {
        EXPECT_TRUE(result.first == original) << "trial " << trial;
        ++intact;
      } else {
        const std::string prefix = "Could not decompress file 'damaged': ";
        EXPECT_EQ(result.second.substr(0, prefix.size()), prefix) << result.second;
        ++detected;
      }
    }
    EXPECT_EQ(intact + detected + plain, 300);
    EXPECT_GT(detected, 200);
  }
}

TEST(ByteSourceErrors, PlainReadErrorNamesTheFile) {
  // Reading /proc/self/mem at offset 0 fails with EIO: the first read, which
  // looks for the magic number, already throws.
  ByteSource source;
  EXPECT_EQ(message_of([&] { source.open("/proc/self/mem"); }),
            "Could not read file '/proc/self/mem': Input/output error.");
}

TEST(ByteSourceOpen, MissingFileAndDirectoryGiveFalse) {
  ScratchDir dir;
  struct Case {
    std::string name;  // what is opened
    int error;         // errno after the refusal
  };
  const std::vector<Case> cases = {
      {dir.file("missing.cert"), ENOENT},
      {dir.path(), EISDIR},
      {"", ENOENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteSource source;
    errno = 0;
    EXPECT_FALSE(source.open(c.name));
    EXPECT_EQ(errno, c.error);
    char byte;
    EXPECT_EQ(source.read(&byte, 1), 0u);
    EXPECT_EQ(source.bytes_in(), 0u);
  }
}

// Empty input and inputs shorter than the longest magic number, some of them
// a prefix of one, are plain and delivered intact.
TEST(ByteSourceOpen, EmptyAndShortInputsArePlain) {
  ScratchDir dir;
  const std::vector<std::string> contents = {
      "", "p", "\x1f", "BZ", "\xfd\x37\x7a\x58\x5a", "\x28\xb5\x2f", "p cnf 0 0\n"};
  for (const std::string& content : contents) {
    SCOPED_TRACE(testing::PrintToString(content));
    const std::string path = dir.file("short");
    write_file(path, content);

    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.format(), Format::PLAIN);
    EXPECT_EQ(file.file_size(), static_cast<int64_t>(content.size()));
    EXPECT_EQ(read_all(file), content);
    EXPECT_EQ(file.bytes_in(), content.size());
    EXPECT_EQ(file.bytes_out(), content.size());
    char byte;
    EXPECT_EQ(file.read(&byte, 1), 0u);

    {
      StdinPipe pipe(path);
      ByteSource in;
      ASSERT_TRUE(in.open("-"));
      EXPECT_EQ(in.format(), Format::PLAIN);
      EXPECT_EQ(read_all(in, 1), content);
    }

    ByteSource memory;
    memory.open_memory(content.data(), content.size(), "memory");
    EXPECT_EQ(memory.format(), Format::PLAIN);
    EXPECT_EQ(read_all(memory), content);
  }
  ByteSource null_memory;
  null_memory.open_memory(nullptr, 0, "nothing");
  char byte;
  EXPECT_EQ(null_memory.read(&byte, 1), 0u);
}

// bytes_in counts input consumed, bytes_out bytes delivered, as reading goes.
TEST(ByteSourceCounts, PlainCountsFollowEachRead) {
  ScratchDir dir;
  const std::string content = sample(5000, 0, 7);
  const std::string path = dir.file("plain");
  write_file(path, content);
  ByteSource source;
  ASSERT_TRUE(source.open(path));
  EXPECT_EQ(source.bytes_in(), 0u);
  EXPECT_EQ(source.bytes_out(), 0u);
  std::vector<char> buffer(1000);
  size_t total = 0;
  while (total < 3000) {
    size_t got = source.read(buffer.data(), buffer.size());
    ASSERT_GT(got, 0u);
    EXPECT_EQ(std::string(buffer.data(), got), content.substr(total, got));
    total += got;
    EXPECT_EQ(source.bytes_in(), total);
    EXPECT_EQ(source.bytes_out(), total);
  }
}

TEST(ByteSourceCounts, CompressedCountsGrowToBothSizes) {
  ScratchDir dir;
  const std::string original = sample(3 << 19, 0, 8);
  for (const Compressor& tool : kCompressors) {
    SCOPED_TRACE(format_label(tool.format));
    const std::string packed = compress(dir, tool, original);
    const std::string path = dir.file("packed.in");
    write_file(path, packed);
    ByteSource source;
    ASSERT_TRUE(source.open(path));
    std::vector<char> buffer(1 << 16);
    uint64_t delivered = 0, last_in = 0;
    for (;;) {
      size_t got = source.read(buffer.data(), buffer.size());
      if (got == 0) break;
      delivered += got;
      EXPECT_EQ(source.bytes_out(), delivered);
      EXPECT_GE(source.bytes_in(), last_in);
      EXPECT_LE(source.bytes_in(), packed.size());
      last_in = source.bytes_in();
    }
    EXPECT_EQ(source.bytes_in(), packed.size());
    EXPECT_EQ(source.bytes_out(), original.size());
  }
}

// 4 MiB, read with capacities from 1 byte to 3 MiB in random order, so
// that reads end everywhere relative to the library's and our buffers.
TEST(ByteSourceLarge, RandomReadCapacitiesAcrossBufferBoundaries) {
  ScratchDir dir;
  const std::string original = sample(7 << 19, 1 << 19, 9);  // 4 MiB
  std::mt19937 random(10);
  const std::vector<size_t> capacities = {1, 3, 4095, 4096, 65537, 1 << 18, 1 << 20, 3 << 20};
  std::vector<char> buffer(3 << 20);
  for (const Compressor& tool : kAllFormats) {
    SCOPED_TRACE(format_label(tool.format));
    const std::string packed = compress(dir, tool, original);
    const std::string path = dir.file("large.in");
    write_file(path, packed);
    for (int via_pipe = 0; via_pipe < 2; ++via_pipe) {
      SCOPED_TRACE(via_pipe ? "pipe" : "file");
      std::unique_ptr<StdinPipe> pipe;
      if (via_pipe) pipe.reset(new StdinPipe(path));
      ByteSource source;
      ASSERT_TRUE(source.open(via_pipe ? "-" : path));
      std::string result;
      for (;;) {
        // Mostly large reads, with runs of tiny ones mixed in.
        size_t capacity = capacities[random() % capacities.size()];
        if (capacity < 4096) capacity += random() % 100;
        size_t got = source.read(buffer.data(), capacity);
        ASSERT_LE(got, capacity);
        if (got == 0) break;
        result.append(buffer.data(), got);
      }
      EXPECT_EQ(result.size(), original.size());
      EXPECT_TRUE(result == original);
      EXPECT_EQ(source.bytes_in(), packed.size());
    }
  }
}

// A small file that expands to 512 MiB is streamed: the process never holds
// the expansion (its peak memory grows by far less than the output).
TEST(ByteSourceLarge, DecompressionBombStreams) {
  ScratchDir dir;
  const std::string path = dir.file("bomb.zst");
  run("head -c 536870912 /dev/zero | zstd -q -c > '" + path + "'");
  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  ByteSource source;
  ASSERT_TRUE(source.open(path));
  EXPECT_EQ(source.format(), Format::ZSTD);
  std::vector<char> buffer(1 << 20);
  uint64_t total = 0;
  bool all_zero = true;
  for (size_t got; (got = source.read(buffer.data(), buffer.size())) > 0;) {
    total += got;
    for (size_t i = 0; i < got; i += 4096) all_zero = all_zero && buffer[i] == 0;
  }
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(total, uint64_t(1) << 29);
  EXPECT_TRUE(all_zero);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024);  // kilobytes
}

TEST(ByteSourceMove, MovedSourceGoesOnWhereItStopped) {
  ScratchDir dir;
  const std::string original = sample(100000, 0, 11);
  const std::string path = dir.file("moved.gz");
  write_file(path, compress(dir, kCompressors[0], original));
  ByteSource first;
  ASSERT_TRUE(first.open(path));
  std::vector<char> buffer(1000);
  size_t got = first.read(buffer.data(), buffer.size());
  ASSERT_GT(got, 0u);
  std::string result(buffer.data(), got);

  ByteSource second(std::move(first));
  EXPECT_EQ(second.format(), Format::GZIP);
  EXPECT_EQ(second.bytes_out(), got);
  EXPECT_EQ(first.bytes_out(), 0u);
  EXPECT_EQ(first.read(buffer.data(), buffer.size()), 0u);

  // Assignment closes what the target had open.
  ByteSource third;
  const std::string other = dir.file("other");
  write_file(other, "other");
  ASSERT_TRUE(third.open(other));
  third = std::move(second);
  EXPECT_EQ(third.name(), path);
  result += read_all(third);
  EXPECT_EQ(result, original);
  EXPECT_EQ(third.bytes_out(), original.size());
}

// verify_rest after a partial read: the damaged end of a compressed input
// is found although the caller read only the start; an intact input ends
// cleanly with every byte counted; a plain input is left where it stands.
TEST(ByteSourceVerifyRest, FindsTheDamagedEndAfterAPartialRead) {
  ScratchDir dir;
  const std::string original = sample(200000, 0, 15);
  struct End {
    Format format;
    const char* label;      // what happens to the end of the file
    size_t cut;             // bytes dropped from the end
    std::string tail;       // bytes appended
    const char* detail;     // expected text after the file name; nullptr: intact
  };
  const std::vector<End> ends = {
      {Format::GZIP, "intact", 0, "", nullptr},
      {Format::GZIP, "without its trailer", 8, "", "unexpected end of data"},
      {Format::GZIP, "garbage after the member", 0, "garbage", "incorrect header check"},
      {Format::BZIP2, "intact", 0, "", nullptr},
      {Format::BZIP2, "cut near the end", 4, "", "unexpected end of data"},
      {Format::BZIP2, "garbage after the stream", 0, "garbage", "not bzip2 data"},
      {Format::XZ, "intact", 0, "", nullptr},
      {Format::XZ, "cut near the end", 4, "", "unexpected end of data"},
      {Format::XZ, "garbage after the stream", 0, "garbage garbage garbage", "compressed data is corrupt"},
      {Format::ZSTD, "intact", 0, "", nullptr},
      {Format::ZSTD, "cut near the end", 4, "", "unexpected end of data"},
      {Format::ZSTD, "garbage after the frame", 0, "garbage", "Unknown frame descriptor"},
  };
  for (const End& end : ends) {
    SCOPED_TRACE(format_label(end.format) + ", " + end.label);
    const Compressor* tool = nullptr;
    for (const Compressor& candidate : kCompressors)
      if (candidate.format == end.format) tool = &candidate;
    std::string packed = compress(dir, *tool, original);
    packed = packed.substr(0, packed.size() - end.cut) + end.tail;
    const std::string path = dir.file("partial");
    write_file(path, packed);
    for (int via = 0; via < 3; ++via) {
      SCOPED_TRACE(via == 0 ? "file" : via == 1 ? "pipe" : "memory");
      std::unique_ptr<StdinPipe> pipe;
      if (via == 1) pipe.reset(new StdinPipe(path));
      ByteSource source;
      const std::string name = via == 0 ? path : via == 1 ? "-" : "partial.cert";
      if (via == 2)
        source.open_memory(packed.data(), packed.size(), name);
      else
        ASSERT_TRUE(source.open(name));
      char start[100];
      ASSERT_GT(source.read(start, sizeof start), 0u);
      if (end.detail == nullptr) {
        source.verify_rest();
        EXPECT_EQ(source.bytes_in(), packed.size());
        EXPECT_EQ(source.bytes_out(), original.size());
        EXPECT_EQ(source.read(start, sizeof start), 0u);
        source.verify_rest();  // at the end already: nothing more happens
      } else {
        const std::string expected = decompress_message(name, end.detail);
        EXPECT_EQ(message_of([&] { source.verify_rest(); }), expected);
        EXPECT_EQ(message_of([&] { source.verify_rest(); }), expected);
        EXPECT_EQ(message_of([&] { source.read(start, sizeof start); }), expected);
      }
    }
  }

  // Plain input: the rest, junk included, is not read.
  const std::string plain = "QBCertificate\nCONCLUDE INVALID 1\n\x1f\x8bjunk";
  const std::string path = dir.file("plain");
  write_file(path, plain);
  ByteSource file;
  ASSERT_TRUE(file.open(path));
  char start[14];
  size_t got = 0;
  while (got < sizeof start) {
    const size_t step = file.read(start + got, sizeof start - got);
    ASSERT_GT(step, 0u);
    got += step;
  }
  file.verify_rest();
  EXPECT_EQ(file.bytes_in(), sizeof start);
  EXPECT_EQ(file.bytes_out(), sizeof start);
  EXPECT_EQ(read_all(file), plain.substr(sizeof start));
}

// zstd skippable frames: magic 0x184D2A50 to 0x184D2A5F, a little-endian
// size, that many bytes of anything. pzstd starts every file with one.
std::string skippable_frame(uint8_t low_nibble, const std::string& payload) {
  std::string frame = {static_cast<char>(0x50 | low_nibble), '\x2a', '\x4d', '\x18'};
  for (int shift = 0; shift < 32; shift += 8)
    frame += static_cast<char>((payload.size() >> shift) & 0xff);
  return frame + payload;
}

TEST(ByteSourceRoundTrip, ZstdSkippableFramesAreSkippedWhereverTheyStand) {
  ScratchDir dir;
  const std::string first = sample(30000, 0, 16);
  const std::string second = sample(10000, 0, 17);
  const std::string one = compress(dir, kCompressors[3], first);
  const std::string two = compress(dir, kCompressors[3], second);
  struct Case {
    const char* label;
    std::string packed;
    std::string expected;  // content; "" with `detail` set: the error
    const char* detail;    // nullptr: read cleanly
  };
  const std::string binary("\x28\xb5\x2f\xfd\x1f\x8b\0\xff", 8);
  const std::vector<Case> cases = {
      {"leading, lowest magic", skippable_frame(0x0, binary) + one, first, nullptr},
      {"leading, highest magic", skippable_frame(0xF, "") + one, first, nullptr},
      {"in the middle", one + skippable_frame(0x7, binary) + two, first + second, nullptr},
      {"at the end", one + skippable_frame(0x3, "pzstd") + two + skippable_frame(0x4, ""),
       first + second, nullptr},
      {"only a skippable frame", skippable_frame(0x0, binary), "", nullptr},
      {"leading frame cut short", skippable_frame(0x0, binary).substr(0, 10), "",
       "unexpected end of data"},
      {"middle frame cut short", one + skippable_frame(0x1, binary).substr(0, 6), "",
       "unexpected end of data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir.file("skippable.zst");
    write_file(path, c.packed);
    ByteSource file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.format(), Format::ZSTD);
    ByteSource memory;
    memory.open_memory(c.packed.data(), c.packed.size(), "memory");
    EXPECT_EQ(memory.format(), Format::ZSTD);
    if (c.detail == nullptr) {
      EXPECT_EQ(read_all(file, 1000), c.expected);
      EXPECT_EQ(file.bytes_in(), c.packed.size());
      EXPECT_EQ(read_all(memory), c.expected);
      StdinPipe pipe(path);
      ByteSource in;
      ASSERT_TRUE(in.open("-"));
      EXPECT_EQ(in.format(), Format::ZSTD);
      EXPECT_EQ(read_all(in), c.expected);
    } else {
      EXPECT_EQ(read_until_error(file).second, decompress_message(path, c.detail));
      EXPECT_EQ(read_until_error(memory).second, decompress_message("memory", c.detail));
    }
  }
  // Next to the skippable range, the same layout is plain.
  for (const std::string& head : {std::string("\x60\x2a\x4d\x18", 4), std::string("\x4f\x2a\x4d\x18", 4),
                                 std::string("\x50\x2a\x4d\x19", 4)}) {
    ByteSource memory;
    memory.open_memory(head.data(), head.size(), "memory");
    EXPECT_EQ(memory.format(), Format::PLAIN);
  }
}

// Reopening the same object starts afresh, whatever it read before.
TEST(ByteSourceOpen, ReopenAfterErrorStartsAfresh) {
  ScratchDir dir;
  const std::string broken = dir.file("broken.gz");
  write_file(broken, "\x1f\x8b");
  const std::string plain = dir.file("plain");
  write_file(plain, "p cnf 1 1\n");
  ByteSource source;
  ASSERT_TRUE(source.open(broken));
  EXPECT_EQ(read_until_error(source).second, decompress_message(broken, "unexpected end of data"));
  ASSERT_TRUE(source.open(plain));
  EXPECT_EQ(source.format(), Format::PLAIN);
  EXPECT_EQ(read_all(source), "p cnf 1 1\n");
  EXPECT_EQ(source.bytes_in(), 10u);
}

// Not a test: a throughput measurement, run by hand with
//   ZEL_BYTE_SOURCE_BENCH=file1:file2 byte_source_test
//       --gtest_also_run_disabled_tests --gtest_filter='*Benchmark*'
// It prints the seconds and MB/s of reading each file through ByteSource
// with 1 MiB reads into a page-aligned buffer (MB of decompressed output).
TEST(ByteSourceBenchmark, DISABLED_ReadFiles) {
  const char* list = std::getenv("ZEL_BYTE_SOURCE_BENCH");
  ASSERT_NE(list, nullptr) << "set ZEL_BYTE_SOURCE_BENCH to a colon-separated list of files";
  std::stringstream names(list);
  const size_t capacity = 1 << 20;
  std::vector<char> storage(capacity + 4096);
  char* buffer = storage.data() + (4096 - reinterpret_cast<uintptr_t>(storage.data()) % 4096) % 4096;
  for (std::string name; std::getline(names, name, ':');) {
    ByteSource source;
    ASSERT_TRUE(source.open(name)) << name;
    auto start = std::chrono::steady_clock::now();
    while (source.read(buffer, capacity) > 0) {
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << name << " (" << ByteSource::format_name(source.format()) << "): " << source.bytes_in()
              << " bytes in, " << source.bytes_out() << " bytes out, " << seconds << " s, "
              << source.bytes_out() / seconds / 1e6 << " MB/s\n";
  }
}

}  // namespace
