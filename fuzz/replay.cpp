// Runs the fuzz target once on each file named on the command line, as
// libFuzzer replays an input, but built without libFuzzer: the test suites
// (also the one under AddressSanitizer and UndefinedBehaviorSanitizer) run
// the inputs the fuzzer reported (tests/fuzz-findings) this way. A fault
// aborts inside the target; an unreadable file is an error of its own.

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << argv[i] << std::endl;
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::cerr << "replayed " << argv[i] << std::endl;
  }
  return 0;
}
