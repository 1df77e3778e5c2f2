// Drawing the progress line.

#include "main/progress.hpp"

#include <cstdio>

#include "core/clock.hpp"

namespace {

// Seconds a run must last before the line appears, and between redraws.
constexpr double kQuietSeconds = 2.0;
constexpr double kRedrawSeconds = 0.25;

}  // namespace

void Progress::update(uint64_t entries) {
  const double elapsed = seconds_since(start_);
  if (elapsed < kQuietSeconds || elapsed - last_drawn_ < kRedrawSeconds) return;
  last_drawn_ = elapsed;
  const double megabytes = static_cast<double>(source_.bytes_in()) / 1e6;
  char percentage[32] = "";
  if (source_.file_size() > 0)
    std::snprintf(percentage, sizeof percentage, " (%.0f%%)",
                  100.0 * static_cast<double>(source_.bytes_in()) /
                      static_cast<double>(source_.file_size()));
  std::fprintf(stderr, "\rzel: %.1f MB read%s, %llu entries, %.1f MB/s   ", megabytes, percentage,
               static_cast<unsigned long long>(entries), megabytes / elapsed);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::erase() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%79s\r", "");
  std::fflush(stderr);
  drawn_ = false;
}
