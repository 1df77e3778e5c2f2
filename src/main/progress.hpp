// The progress line of a long run: when standard error is a terminal and
// the run has lasted two seconds, one line on standard error, redrawn at most
// four times a second. While a proof or QRP trace is read: bytes of the
// certificate read (with the percentage when its size is known), steps
// checked, MB/s.
// During the model test: the clauses decided, their total and the clause
// being decided. Erased before the verdict; standard output never sees it.
#ifndef ZEL_MAIN_PROGRESS_HPP
#define ZEL_MAIN_PROGRESS_HPP

#include <sys/time.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "read/byte_source.hpp"

class Progress {
 public:
  Progress(const ByteSource& source, timeval start) : source_(source), start_(start) {}
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Called every few thousand entries with the count so far.
  void update(uint64_t entries);
  // The model test decides clause `position` (0-based) of `clauses`; the
  // ones before are decided. position == clauses: the test has ended, the
  // line is erased.
  void update_model_test(uint32_t position, uint32_t clauses);
  // Clears the line if one was drawn.
  void erase();

 private:
  void draw_model_test();
  void stop_drawer();

  const ByteSource& source_;  // the certificate being read; not owned
  const timeval start_;       // when the run began
  double last_drawn_ = 0;     // seconds since start_ of the last redraw
  bool drawn_ = false;        // a line stands on the terminal

  // One clause of the model test may keep MiniSat busy for minutes without
  // a chance to redraw, so during the test a thread of its own redraws the
  // line from these counts. The counts are the only data it shares with
  // the checking thread; drawn_ is its own until it is joined.
  std::atomic<uint32_t> model_position_{0};  // clause being decided, 0-based
  std::atomic<uint32_t> model_clauses_{0};   // clauses tested in all
  std::thread drawer_;                       // redraws during the model test; joinable then
  std::mutex drawer_mutex_;                  // guards stop_drawing_
  std::condition_variable drawer_wake_;      // wakes the drawer to stop
  bool stop_drawing_ = false;                // the drawer is to end
};

#endif
