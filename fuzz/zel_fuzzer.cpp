// libFuzzer target: arbitrary bytes as a QDIMACS file and a certificate of
// any kind (zel's format, a QRP trace in either encoding, an AIGER circuit in
// either encoding), through one whole run of the checker, read from memory.
// Whatever the bytes, a run must end with a verdict or an error main would
// report (Exception, std::bad_alloc, Minisat::OutOfMemoryException); a crash,
// a sanitizer report, a leak, a hang or an out-of-memory is a finding.
//
// Input layout: one option byte, then the QDIMACS bytes, the separator line
// "#zel-certificate#" (with its line ends) and the certificate bytes. Without
// the separator all bytes after the option byte are the certificate and no
// QBF file is given. The option byte is not part of either input:
//   bit 0 --d, bit 1 --ignore, bit 2 --stats (written to a string),
//   bit 3 --core, bit 4 --skolem, bit 5 --herbrand,
//   bit 6 binary outputs (a core named *.bqrp, circuits named *.aig).
// The outputs go to a scratch directory of this process (created once under
// $TMPDIR, else /tmp, emptied after every run and removed at exit). What the
// run writes is checked as well: a run that gives no "validated" verdict
// writes nothing, and every core or circuit it writes validates against the
// same formula (a second run, on the written bytes); either fault aborts,
// which libFuzzer reports as a crash.

#include <dirent.h>
#include <minisat/mtl/XAlloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "main/run.hpp"

namespace {

constexpr char kSeparator[] = "\n#zel-certificate#\n";
constexpr size_t kSeparatorSize = sizeof(kSeparator) - 1;

enum OptionBit : uint8_t {
  kDebug = 1,
  kIgnore = 2,
  kStatistics = 4,
  kCore = 8,
  kSkolem = 16,
  kHerbrand = 32,
  kBinaryOutputs = 64,
};

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

// This process's directory for the output files: made once, emptied after
// every run (so each run starts from the same state and a replay behaves
// alike), removed with everything in it when the process exits normally.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/zel-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
      std::perror("zel_fuzzer: cannot create a scratch directory");
      std::abort();
    }
    path_ = pattern;
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory() {
    clear();
    ::rmdir(path_.c_str());
  }

  std::string file(const std::string& name) const { return path_ + "/" + name; }

  // Removes every entry (the outputs and any temporary file of a writer).
  void clear() const {
    DIR* directory = ::opendir(path_.c_str());
    if (!directory) return;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ::unlink(file(name).c_str());
    }
    ::closedir(directory);
  }

 private:
  std::string path_;
};

// First occurrence of the separator in `data`; `size` when there is none.
size_t find_separator(const char* data, size_t size) {
  const void* found = memmem(data, size, kSeparator, kSeparatorSize);
  return found ? static_cast<size_t>(static_cast<const char*>(found) - data) : size;
}

// The whole file at `path` into `bytes`; false when it does not exist.
bool read_file(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "zel_fuzzer: %s\n", what.c_str());
  std::abort();
}

// A second run on what the first wrote to `path` (a core, or Skolem or
// Herbrand functions), against the same formula and with the same --ignore
// (a core keeps the steps taken on trust): it must validate. Running out of
// memory is no fault of the output.
void check_written(const std::string& path, const char* label, const Arguments& first,
                   const char* formula, size_t formula_size) {
  std::string bytes;
  if (!read_file(path, bytes)) return;
  Arguments arguments;
  arguments.qbf_file = first.qbf_file;
  arguments.certificate_file = path;
  arguments.ignore = first.ignore;
  Run run(arguments);
  std::string outcome = "Certificate erroneous.";
  try {
    run.use_memory(formula, formula_size, bytes.data(), bytes.size());
    if (run.check()) return;
  } catch (const Exception& error) {
    outcome = "Error at " + run.where() + ": " + error.message;
  } catch (const std::bad_alloc&) {
    return;
  } catch (const Minisat::OutOfMemoryException&) {
    return;
  }
  fault(std::string(label) + " written for a validated certificate does not validate: " +
        outcome);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static SilentOutput silent;
  static const ScratchDirectory scratch;
  if (size == 0) return 0;
  const uint8_t options = bytes[0];
  const char* data = reinterpret_cast<const char*>(bytes) + 1;
  size -= 1;

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
  arguments.debug = options & kDebug;
  arguments.ignore = options & kIgnore;
  arguments.statistics = options & kStatistics;
  const bool binary = options & kBinaryOutputs;
  if (options & kCore) arguments.core_file = scratch.file(binary ? "core.bqrp" : "core.cert");
  if (options & kSkolem) arguments.skolem_file = scratch.file(binary ? "skolem.aig" : "skolem.aag");
  if (options & kHerbrand)
    arguments.herbrand_file = scratch.file(binary ? "herbrand.aig" : "herbrand.aag");

  bool validated = false;
  {
    Run run(arguments);
    try {
      // Opening compressed memory starts the decompressor, which may already
      // reject the bytes.
      run.use_memory(data, formula_size, certificate, certificate_size);
      validated = run.check();
    } catch (const Exception&) {
    } catch (const std::bad_alloc&) {
    } catch (const Minisat::OutOfMemoryException&) {
    }
    if (arguments.statistics) {
      std::ostringstream statistics;
      run.write_statistics(statistics);
    }
  }

  for (const RunFile& output : arguments.output_files()) {
    struct stat status;
    const bool written = ::stat(output.name.c_str(), &status) == 0;
    if (written && !validated)
      fault(output.role + " was written although the certificate was not validated");
    // The written bytes are a certificate of the same formula; a circuit
    // needs the QBF file to be read against.
    if (written && (output.name == arguments.core_file || !arguments.qbf_file.empty()))
      check_written(output.name, output.role.c_str(), arguments, data, formula_size);
  }
  scratch.clear();
  return 0;
}
