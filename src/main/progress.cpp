// Drawing the progress line.

#include "main/progress.hpp"

#include <chrono>
#include <cstdio>

#include "core/clock.hpp"

namespace {

// Seconds a run must last before the line appears, and between redraws.
constexpr double kQuietSeconds = 2.0;
constexpr double kRedrawSeconds = 0.25;

}  // namespace

Progress::~Progress() { stop_drawer(); }

void Progress::update(uint64_t entries) {
  const double elapsed = seconds_since(start_);
  if (elapsed < kQuietSeconds || elapsed - last_drawn_ < kRedrawSeconds) return;
  last_drawn_ = elapsed;
  const double megabytes = static_cast<double>(source_.bytes_in_published()) / 1e6;
  char percentage[32] = "";
  if (source_.file_size() > 0)
    std::snprintf(percentage, sizeof percentage, " (%.0f%%)",
                  100.0 * static_cast<double>(source_.bytes_in_published()) /
                      static_cast<double>(source_.file_size()));
  std::fprintf(stderr, "\rzel: %.1f MB read%s, %llu entries, %.1f MB/s   ", megabytes, percentage,
               static_cast<unsigned long long>(entries), megabytes / elapsed);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::update_model_test(uint32_t position, uint32_t clauses) {
  if (position >= clauses) {
    erase();
    return;
  }
  model_position_.store(position, std::memory_order_relaxed);
  model_clauses_.store(clauses, std::memory_order_relaxed);
  if (drawer_.joinable()) return;
  stop_drawing_ = false;
  drawer_ = std::thread([this] { draw_model_test(); });
}

// The drawer: from the quiet time on, one line per redraw interval until
// told to stop.
void Progress::draw_model_test() {
  std::unique_lock<std::mutex> lock(drawer_mutex_);
  const auto interval = std::chrono::milliseconds(static_cast<int>(kRedrawSeconds * 1000));
  while (!drawer_wake_.wait_for(lock, interval, [this] { return stop_drawing_; })) {
    if (seconds_since(start_) < kQuietSeconds) continue;
    const uint32_t position = model_position_.load(std::memory_order_relaxed);
    std::fprintf(stderr, "\rzel: model test, %u of %u clauses done, testing clause %u   ",
                 position, model_clauses_.load(std::memory_order_relaxed), position + 1);
    std::fflush(stderr);
    drawn_ = true;
  }
}

void Progress::stop_drawer() {
  if (!drawer_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(drawer_mutex_);
    stop_drawing_ = true;
  }
  drawer_wake_.notify_one();
  drawer_.join();
}

void Progress::erase() {
  stop_drawer();
  if (!drawn_) return;
  std::fprintf(stderr, "\r%79s\r", "");
  std::fflush(stderr);
  drawn_ = false;
}
