// Appending to the antecedent log and walking it (antecedent_log.hpp).

#include "store/antecedent_log.hpp"

#include <cstring>

// The record is written into room for its longest form, then the arena is
// cut to what it took: one size test per record.
void AntecedentLog::push(const uint32_t* ordinals, size_t count, uint64_t gap) {
  const uint32_t ordinal = size_;
  const size_t start = arena_.size();
  if (ordinal % kChunk == 0) starts_.push_back(Start{start, entries_});
  arena_.resize(start + (count + 2) * kLongestVarint);
  uint8_t* at = put_varint(arena_.data() + start, count);
  for (size_t i = 0; i < count; ++i) {
    assert(ordinals[i] < ordinal);
    at = put_varint(at, ordinal - ordinals[i]);
  }
  at = put_varint(at, gap);
  arena_.resize(static_cast<size_t>(at - arena_.data()));
  entries_ += count;
  ++size_;
}

AntecedentLog::Record AntecedentLog::record(uint32_t ordinal) const {
  assert(ordinal < size_);
  const uint32_t first = ordinal / kChunk * kChunk;
  Record at{first, arena_.data() + starts_[first / kChunk].offset, starts_[first / kChunk].entry};
  while (at.ordinal < ordinal) at = following(at);
  return at;
}

AntecedentLog::Record AntecedentLog::following(const Record& record) {
  const uint8_t* at = record.at;
  const uint64_t count = next(at);
  for (uint64_t i = 0; i <= count; ++i)  // the antecedents and the gap
    while (*at++ >= 0x80) {
    }
  return Record{record.ordinal + 1, at, record.entry + count};
}

void AntecedentLog::clear_last_uses() {
  last_use_.resize(static_cast<size_t>(entries_ / 64 + 1));
  std::memset(last_use_.data(), 0, last_use_.size() * sizeof(uint64_t));
}
