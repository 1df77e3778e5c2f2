// Wall-clock time for the phase timings of --d and --stats.
#ifndef ZEL_CORE_CLOCK_HPP
#define ZEL_CORE_CLOCK_HPP

#include <sys/time.h>

// Seconds from `start` to now.
inline double seconds_since(const timeval& start) {
  timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<double>(now.tv_sec - start.tv_sec) +
         static_cast<double>(now.tv_usec - start.tv_usec) / 1e6;
}

#endif
