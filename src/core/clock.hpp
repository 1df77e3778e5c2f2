// Wall-clock time for the phase timings of --d and --stats.
#ifndef ZEL_CORE_CLOCK_HPP
#define ZEL_CORE_CLOCK_HPP

#include <sys/time.h>

#include <cstdint>

inline timeval clock_now() {
  timeval now;
  gettimeofday(&now, nullptr);
  return now;
}

// Seconds from `start` to `end`.
inline double seconds_between(const timeval& start, const timeval& end) {
  return static_cast<double>(end.tv_sec - start.tv_sec) +
         static_cast<double>(end.tv_usec - start.tv_usec) / 1e6;
}

// Seconds from `start` to now.
inline double seconds_since(const timeval& start) { return seconds_between(start, clock_now()); }

// Whole milliseconds from `start` to `end` (the --d timings print these).
inline int64_t milliseconds_between(const timeval& start, const timeval& end) {
  return (end.tv_usec - start.tv_usec) / 1000 + (end.tv_sec - start.tv_sec) * int64_t{1000};
}

#endif
