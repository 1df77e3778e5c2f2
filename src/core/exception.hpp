// The one error type of the program. Every reading or checking failure is
// thrown as an Exception carrying its complete message and caught only in
// main, which reports it with the certificate position and exit status 30.
#ifndef ZEL_CORE_EXCEPTION_HPP
#define ZEL_CORE_EXCEPTION_HPP

#include <string>

class Exception {
 public:
  explicit Exception(const char* text) : message(text) {}
  explicit Exception(const std::string& text) : message(text) {}

  std::string message;  // printed verbatim after "Error at line L, column C: "
};

#endif
