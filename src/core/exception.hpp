// The one error type of the program. Every reading or checking failure is
// thrown as an Exception carrying its complete message and caught only in
// main, which reports it with the certificate position (or none, see
// Position) and exit status 30.
#ifndef ZEL_CORE_EXCEPTION_HPP
#define ZEL_CORE_EXCEPTION_HPP

#include <string>

class Exception {
 public:
  // Where main reports the error: at the certificate's position, or with
  // none, for a fault that is about no place in the input (a file that
  // cannot be opened).
  enum Position { AT_POSITION, NO_POSITION };

  explicit Exception(const char* text, Position where = AT_POSITION)
      : message(text), position(where) {}
  explicit Exception(const std::string& text, Position where = AT_POSITION)
      : message(text), position(where) {}

  std::string message;  // printed verbatim after "Error at line L, column C: " or "Error: "
  Position position;
};

#endif
