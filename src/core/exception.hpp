// The one error type of the program. Every reading, checking or writing
// failure is thrown as an Exception carrying its complete message (built in
// core/messages when it has a variable part) up to main, which reports it
// with the certificate position (or none, see Position) and exit status 30.
// Only the QRP checker catches one on the way: to try a step as a cube
// after it failed as a clause, to keep the first fault of the steps it
// checks out of order until it knows which one to report, and, reading a
// trace twice, to hand a fault of the second pass to the one-pass check
// (Run compares the readings before it lets a refusal of the second go).
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
