// The progress line of a long run: when standard error is a terminal and
// the run has lasted two seconds, one line on standard error, redrawn at most
// four times a second: bytes of the certificate read (with the percentage
// when its size is known), steps checked, MB/s. Erased before the verdict;
// standard output never sees it.
#ifndef ZEL_MAIN_PROGRESS_HPP
#define ZEL_MAIN_PROGRESS_HPP

#include <sys/time.h>

#include <cstdint>

#include "read/byte_source.hpp"

class Progress {
 public:
  Progress(const ByteSource& source, timeval start) : source_(source), start_(start) {}

  // Called every few thousand entries with the count so far.
  void update(uint64_t entries);
  // Clears the line if one was drawn.
  void erase();

 private:
  const ByteSource& source_;  // the certificate being read; not owned
  const timeval start_;       // when the run began
  double last_drawn_ = 0;     // seconds since start_ of the last redraw
  bool drawn_ = false;        // a line stands on the terminal
};

#endif
