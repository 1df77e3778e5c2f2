// libFuzzer target: arbitrary bytes as a QDIMACS file and a certificate,
// through the whole validation. Whatever the bytes, a run must end with a
// verdict or an Exception; a crash, a sanitizer report, a leak, a hang or an
// out-of-memory is a finding.
//
// Input layout: QDIMACS bytes, the separator line, certificate bytes. Without
// the separator all bytes are the certificate and no QBF file is given.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "core/exception.hpp"
#include "validator/zel.hpp"

namespace {

const std::string kSeparator = "\n#zel-certificate#\n";

std::string scratch_path(const char* kind) {
  return "/tmp/zel-fuzz-" + std::to_string(getpid()) + "." + kind;
}

void write_file(const std::string& path, const char* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
}

// The checker writes to standard output (resolution lines, listings); the
// fuzzer discards it.
struct SilentOutput {
  std::ofstream sink{"/dev/null"};
  std::streambuf* saved = std::cout.rdbuf(sink.rdbuf());
  ~SilentOutput() { std::cout.rdbuf(saved); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SilentOutput silent;
  static const std::string qbf_path = scratch_path("qdimacs");
  static const std::string certificate_path = scratch_path("cert");

  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find(kSeparator);
  std::string qbf_name;
  if (split == std::string::npos) {
    write_file(certificate_path, input.data(), input.size());
  } else {
    write_file(qbf_path, input.data(), split);
    const size_t rest = split + kSeparator.size();
    write_file(certificate_path, input.data() + rest, input.size() - rest);
    qbf_name = qbf_path;
  }

  ZEL zel;
  zel.debug = size > 0 && (data[0] & 1);  // let the fuzzer reach the debug paths too
  zel.ignore = size > 0 && (data[0] & 2);
  try {
    zel.validate(qbf_name, certificate_path);
  } catch (const Exception&) {
  }
  return 0;
}
