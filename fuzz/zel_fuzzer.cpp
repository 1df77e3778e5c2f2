// libFuzzer target: arbitrary bytes as a QDIMACS file and a certificate,
// through one whole run of the checker, read from memory (no files). Whatever
// the bytes, a run must end with a verdict or an error main would report
// (Exception, std::bad_alloc, Minisat::OutOfMemoryException); a crash, a
// sanitizer report, a leak, a hang or an out-of-memory is a finding.
//
// Input layout: QDIMACS bytes, the separator line, certificate bytes. Without
// the separator all bytes are the certificate and no QBF file is given.
// The first byte also picks options, so that the fuzzer reaches their paths:
// bit 0 --d, bit 1 --ignore, bit 2 --stats (written to a string). The byte
// stays part of the input as well.
//
// --skolem is not exercised: the run writes the circuit only to a named file
// (through a temporary file renamed over it), and a fuzz target writes no
// files.

#include <minisat/mtl/XAlloc.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "core/exception.hpp"
#include "main/run.hpp"

namespace {

constexpr char kSeparator[] = "\n#zel-certificate#\n";
constexpr size_t kSeparatorSize = sizeof(kSeparator) - 1;

// The checker writes to standard output (resolution lines, listings,
// counterexamples); the fuzzer discards it. A stream buffer that drops every
// byte costs less than writing to /dev/null.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

struct SilentOutput {
  NullBuffer sink;                                // swallows everything
  std::streambuf* saved = std::cout.rdbuf(&sink);  // standard output's own buffer
  ~SilentOutput() { std::cout.rdbuf(saved); }
};

// First occurrence of the separator in `data`; `size` when there is none.
size_t find_separator(const char* data, size_t size) {
  const void* found = memmem(data, size, kSeparator, kSeparatorSize);
  return found ? static_cast<size_t>(static_cast<const char*>(found) - data) : size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static SilentOutput silent;
  const char* data = reinterpret_cast<const char*>(bytes);

  Arguments arguments;
  arguments.certificate_file = "fuzz.cert";
  const char* certificate = data;
  size_t certificate_size = size;
  size_t formula_size = 0;
  const size_t split = find_separator(data, size);
  if (split < size) {
    arguments.qbf_file = "fuzz.qdimacs";
    formula_size = split;
    certificate = data + split + kSeparatorSize;
    certificate_size = size - split - kSeparatorSize;
  }
  const uint8_t flags = size > 0 ? bytes[0] : 0;
  arguments.debug = flags & 1;
  arguments.ignore = flags & 2;
  arguments.statistics = flags & 4;

  Run run(arguments);
  try {
    // Opening compressed memory starts the decompressor, which may already
    // reject the bytes.
    run.use_memory(data, formula_size, certificate, certificate_size);
    run.check();
  } catch (const Exception&) {
  } catch (const std::bad_alloc&) {
  } catch (const Minisat::OutOfMemoryException&) {
  }
  if (arguments.statistics) {
    std::ostringstream statistics;
    run.write_statistics(statistics);
  }
  return 0;
}
