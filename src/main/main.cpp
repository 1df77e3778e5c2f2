// zel: checks a certificate of a quantified Boolean formula in QDIMACS
// form: a refutation or a model in zel's format, a QRP trace (ASCII or
// binary) as QBF solvers write it, or an AIGER circuit of Skolem or
// Herbrand functions.
//
// Exit status: 0 help, version, no certificate or too many file names; 10
// certificate validated; 20 certificate erroneous; 30 any reading, checking
// or writing error, and an output option given twice.
//
// This file parses the options and runs one check (Run: the inputs, the
// certificate's reader and checker, the outputs), then maps the verdict to
// the exit status. Every error reaches this file as an Exception and is
// reported here, nowhere else.

#include <minisat/mtl/XAlloc.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "main/run.hpp"
#include "write/output_file.hpp"

namespace {

[[noreturn]] void usage() {
  std::cout << "Usage: zel [options] [qbf-filename] <certificate-filename>" << std::endl;
  std::cout << "available options:" << std::endl;
  std::cout << "   --h, -h                show help" << std::endl;
  std::cout << "   --d                    turn on debug info" << std::endl;
  std::cout << "   --ignore               ignore resolutions without antecedents" << std::endl;
  std::cout << "   --v                    show version information" << std::endl;
  std::cout << "   --stats                write statistics to standard error after the verdict"
            << std::endl;
  std::cout << "   --forward              check every step of a QRP trace, not only those its"
            << std::endl;
  std::cout << "                          result rests on" << std::endl;
  std::cout << "   --single-thread        read and check on one thread (a proof in a file is"
            << std::endl;
  std::cout << "                          otherwise read ahead on a second one)" << std::endl;
  std::cout << "   --skolem FILE          write the Skolem functions of a validated model or"
            << std::endl;
  std::cout << "                          QRP cube proof as an AIGER circuit to FILE" << std::endl;
  std::cout << "   --herbrand FILE        write the Herbrand functions of a validated refutation"
            << std::endl;
  std::cout << "                          as an AIGER circuit to FILE" << std::endl;
  std::cout << "   --core FILE            write the steps a validated proof depends on to FILE"
            << std::endl;
  std::exit(0);
}

[[noreturn]] void show_version() {
  std::cout << "2.0 (compiled " << __DATE__ << ")" << std::endl;
  std::exit(0);
}

// The file name an output option sets; nullptr for any other argument.
std::string* output_option(Arguments& arguments, const std::string& argument) {
  if (argument == "--skolem") return &arguments.skolem_file;
  if (argument == "--herbrand") return &arguments.herbrand_file;
  if (argument == "--core") return &arguments.core_file;
  return nullptr;
}

Arguments parse(int argc, char** argv) {
  Arguments arguments;
  std::string first_file, second_file;
  std::set<std::string> given;  // the output options met so far
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--h" || argument == "-h") {
      usage();
    } else if (argument == "--v") {
      show_version();
    } else if (argument == "--d") {
      arguments.debug = true;
    } else if (argument == "--ignore") {
      arguments.ignore = true;
    } else if (argument == "--stats") {
      arguments.statistics = true;
    } else if (argument == "--forward") {
      arguments.forward = true;
    } else if (argument == "--single-thread") {
      arguments.single_thread = true;
    } else if (std::string* file = output_option(arguments, argument)) {
      if (i + 1 == argc) usage();
      // Keeping one of two files silently would leave the other unwritten.
      if (!given.insert(argument).second) {
        std::cout << "Error: " << message::option_given_twice(argument) << std::endl;
        std::exit(30);
      }
      *file = argv[++i];
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
  if (second_file.empty()) {
    arguments.certificate_file = first_file;
  } else {
    arguments.qbf_file = first_file;
    arguments.certificate_file = second_file;
  }
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments arguments = parse(argc, argv);
  if (arguments.certificate_file == "-" && arguments.qbf_file == "-") {
    std::cout << "Error: Standard input can be read only once." << std::endl;
    return 30;
  }
  // An output that could not be written, would replace an input or the
  // other output, is refused before any checking.
  try {
    std::vector<RunFile> taken = arguments.input_files();
    const size_t inputs = taken.size();
    for (const RunFile& output : arguments.output_files()) {
      // Two outputs in one file would leave only the one written last.
      for (size_t i = inputs; i < taken.size(); ++i)
        if (taken[i].name == output.name)
          throw Exception(message::output_is_other_file(output.name, taken[i].role));
      check_output_file(output.name, taken);
      taken.push_back(output);
    }
  } catch (const Exception& error) {
    std::cout << "Error: " << error.message << std::endl;
    return 30;
  }
  Run run(arguments);
  if (isatty(STDERR_FILENO)) run.show_progress();
  int status;
  try {
    const bool validated = run.check();
    std::cout << (validated ? "Certificate validated correctly." : "Certificate erroneous.")
              << std::endl;
    status = validated ? 10 : 20;
  } catch (const Exception& error) {
    run.erase_progress();
    if (error.position == Exception::NO_POSITION)
      std::cout << "Error: " << error.message << std::endl;
    else
      std::cout << "Error at " << run.where() << ": " << error.message << std::endl;
    status = 30;
  } catch (const std::bad_alloc&) {
    // Derived clauses may outgrow the lines that define them (a merged step
    // can be far longer than its line); running out of memory is reported
    // like any other failure instead of aborting.
    run.erase_progress();
    std::cout << "Error at " << run.where() << ": Out of memory." << std::endl;
    status = 30;
  } catch (const Minisat::OutOfMemoryException&) {
    run.erase_progress();
    std::cout << "Error at " << run.where() << ": Out of memory." << std::endl;
    status = 30;
  }
  if (arguments.statistics) run.write_statistics(std::cerr);
  return status;
}
