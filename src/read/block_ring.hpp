// The hand-over of reading ahead: a reading thread fills blocks of entries
// and the caller empties them in turn, through a ring of a few blocks, so
// that memory stays small however far the input goes and a block costs no
// allocation once its arrays have grown. What a block holds and how the
// thread fills it is the reader's business (qrp_reader.cpp,
// certificate_reader.cpp); the ring only passes blocks between the two
// threads and stops the reading one.
#ifndef ZEL_READ_BLOCK_RING_HPP
#define ZEL_READ_BLOCK_RING_HPP

#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "core/literal.hpp"
#include "core/pod_vector.hpp"
#include "read/input_position.hpp"

// A block of entries read ahead: each entry's fixed fields as a record, its
// numbers in one array. A refusal the thread met ends the block and is
// thrown again, with where the reader stood, when the caller gets to it.
template <typename Record>
struct EntryBlock {
  static constexpr size_t kNumbers = size_t{1} << 13;  // a block ends beyond this many numbers
  static constexpr size_t kRecords = size_t{1} << 9;   // or this many entries

  std::vector<Record> records;
  PodVector<uint32_t> numbers;
  std::exception_ptr refusal;      // thrown after the records, when set
  InputPosition refusal_position;  // where the reader stood then
  bool last = false;               // the thread fills no block after this one

  void clear() {
    records.clear();
    numbers.clear();
    refusal = nullptr;
  }
  bool has_room() const { return numbers.size() < kNumbers && records.size() < kRecords; }
};

// A literal is its code: the lists of literals go into a block's numbers
// and back in one copy each.
static_assert(sizeof(Literal) == sizeof(uint32_t), "a literal is its code");
inline void append_codes(const std::vector<Literal>& literals, PodVector<uint32_t>& numbers) {
  const size_t before = numbers.size();
  numbers.resize(before + literals.size());
  if (!literals.empty())
    std::memcpy(numbers.data() + before, literals.data(), literals.size() * sizeof(uint32_t));
}
inline void copy_literals(const uint32_t* codes, size_t count, std::vector<Literal>& literals) {
  literals.resize(count);
  if (count != 0) std::memcpy(static_cast<void*>(literals.data()), codes, count * sizeof(uint32_t));
}

template <typename Block>
class BlockRing {
 public:
  static constexpr size_t kBlocks = 4;

  BlockRing() = default;
  ~BlockRing() { stop(); }
  BlockRing(const BlockRing&) = delete;
  BlockRing& operator=(const BlockRing&) = delete;

  // Runs `fill` on the reading thread; it takes blocks with room() and
  // hands them over with publish().
  template <typename Fill>
  void start(Fill fill) {
    assert(!thread_.joinable());
    thread_ = std::thread(fill);
  }

  // The reading thread's loop: each block, once there is room for it, is
  // cleared and filled one entry at a time by `read(block)` until it is full
  // or `read` made it the last, then handed over; the loop ends after the
  // last block or when the caller stops the ring.
  template <typename Read>
  void fill(Read read) {
    for (;;) {
      Block* const block = room();
      if (!block) return;
      block->clear();
      while (!block->last && block->has_room()) read(*block);
      const bool last = block->last;
      publish();
      if (last) return;
    }
  }

  // The reading thread's side: the next block to fill, once the caller left
  // room for it; nullptr when the caller stopped the ring. The block is the
  // thread's alone until it is published.
  Block* room() {
    std::unique_lock<std::mutex> lock(mutex_);
    emptied_.wait(lock, [&] { return stop_ || count_ < kBlocks; });
    if (stop_) return nullptr;
    return &ring_[(head_ + count_) % kBlocks];
  }
  // The block room() gave is filled: the caller may take it.
  void publish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    filled_.notify_one();
  }

  // The caller's side: the oldest block published, once there is one. It
  // stays the caller's until release().
  const Block& take() {
    std::unique_lock<std::mutex> lock(mutex_);
    filled_.wait(lock, [&] { return count_ > 0; });
    return ring_[head_];
  }
  // The block take() gave is done with: the thread may fill it again.
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      assert(count_ > 0);
      head_ = (head_ + 1) % kBlocks;
      --count_;
    }
    emptied_.notify_one();
  }

  // No more blocks wanted: the thread ends at its next room() (or when it
  // finished filling) and is joined. Harmless when stopped already.
  void stop() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    emptied_.notify_all();
    thread_.join();
  }
  bool running() const { return thread_.joinable(); }

 private:
  std::vector<Block> ring_ = std::vector<Block>(kBlocks);
  std::mutex mutex_;
  std::condition_variable filled_, emptied_;
  size_t head_ = 0, count_ = 0;  // guarded by mutex_: the oldest filled block, blocks filled
  bool stop_ = false;            // guarded by mutex_: the caller wants no more
  std::thread thread_;
};

#endif
