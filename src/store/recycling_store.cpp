// Storing, reading and releasing in the recycling store
// (recycling_store.hpp).

#include "store/recycling_store.hpp"

#include <cassert>

#include "core/exception.hpp"

unsigned RecyclingStore::size_class(uint64_t words) {
  return words <= 1 ? 0 : 64 - static_cast<unsigned>(__builtin_clzll(words - 1));
}

uint32_t RecyclingStore::push(const Literal* literals, size_t count) {
  if (!free_ready_) {
    for (uint32_t& first : free_) first = kReleased;
    free_ready_ = true;
  }
  const unsigned size_class = RecyclingStore::size_class(uint64_t{count} + 1);
  assert(size_class < kClasses);
  uint32_t offset = free_[size_class];
  if (offset != kReleased) {
    free_[size_class] = arena_[offset];
  } else {
    const uint64_t words = uint64_t{1} << size_class;
    // Offsets are 32-bit words: the live constraints may take 16 GB.
    if (arena_.size() + words >= kReleased)
      throw Exception("The constraints held while checking the trace exceed 2^32 words.");
    offset = static_cast<uint32_t>(arena_.size());
    arena_.resize(arena_.size() + words);
  }
  arena_[offset] = static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) arena_[offset + 1 + i] = literals[i].code;
  literals_ += count;
  blocks_.push_back(offset);
  return end_position() - 1;
}

bool RecyclingStore::held(uint32_t position) const {
  return position >= first_position_ && position < end_position() &&
         blocks_[position - first_position_] != kReleased;
}

void RecyclingStore::read_literals(uint32_t position, std::vector<Literal>& out) const {
  assert(held(position));
  const uint32_t offset = blocks_[position - first_position_];
  const uint32_t count = arena_[offset];
  out.resize(count);
  for (uint32_t i = 0; i < count; ++i) out[i].code = arena_[offset + 1 + i];
}

void RecyclingStore::release(uint32_t position) {
  assert(held(position));
  uint32_t& offset = blocks_[position - first_position_];
  const unsigned size_class = RecyclingStore::size_class(uint64_t{arena_[offset]} + 1);
  arena_[offset] = free_[size_class];
  free_[size_class] = offset;
  offset = kReleased;
}
