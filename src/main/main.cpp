// zel: checks a certificate (a Q-resolution refutation or a model) of a
// quantified Boolean formula in QDIMACS form.
//
// Exit status: 0 help, version or argument error; 10 certificate validated;
// 20 certificate erroneous; 30 any reading or checking error.

#include <minisat/mtl/XAlloc.h>

#include <cstdlib>
#include <new>
#include <iostream>
#include <string>

#include "core/exception.hpp"
#include "../validator/zel.hpp"

namespace {

[[noreturn]] void usage() {
  std::cout << "Usage: zel [options] [qbf-filename] <certificate-filename>" << std::endl;
  std::cout << "available options:" << std::endl;
  std::cout << "   --h, -h                show help" << std::endl;
  std::cout << "   --d                    turn on debug info" << std::endl;
  std::cout << "   --ignore               ignore resolutions without antecedents" << std::endl;
  std::cout << "   --v                    show version information" << std::endl;
  std::exit(0);
}

[[noreturn]] void show_version() {
  std::cout << "2.0 (compiled " << __DATE__ << ")" << std::endl;
  std::exit(0);
}

void report(const ZEL& zel, const std::string& message) {
  std::cout << "Error at line " << zel.line << ", column " << zel.column << ": " << message
            << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
  ZEL zel;
  std::string first_file, second_file;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--h" || argument == "-h") {
      usage();
    } else if (argument == "--v") {
      show_version();
    } else if (argument == "--d") {
      zel.debug = true;
    } else if (argument == "--ignore") {
      zel.ignore = true;
    } else if (first_file.empty()) {
      first_file = argument;
    } else if (second_file.empty()) {
      second_file = argument;
    } else {
      usage();
    }
  }
  if (first_file.empty()) {
    std::cout << "Error: No certificate filename given." << std::endl;
    usage();
  }

  try {
    const bool validated = second_file.empty() ? zel.validate("", first_file)
                                               : zel.validate(first_file, second_file);
    std::cout << (validated ? "Certificate validated correctly." : "Certificate erroneous.")
              << std::endl;
    return validated ? 10 : 20;
  } catch (const Exception& error) {
    report(zel, error.message);
    return 30;
  } catch (const std::bad_alloc&) {
    // Derived clauses may outgrow the lines that define them (a merged step
    // can be far longer than its line); running out of memory is reported
    // like any other failure instead of aborting.
    report(zel, "Out of memory.");
    return 30;
  } catch (const Minisat::OutOfMemoryException&) {
    report(zel, "Out of memory.");
    return 30;
  }
}
