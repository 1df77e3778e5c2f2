// Growing the clause map between its dense and sparse parts.

#include "store/clause_map.hpp"

#include <cassert>

namespace {
constexpr uint64_t kMinimumDense = 1u << 20;
}

void ClauseMap::resize(uint64_t entries) {
  if (entries > size_) size_ = entries;
  if (entries <= 2 * defined_ + kMinimumDense && dense_.size() < entries) dense_.resize(entries, 0);
}

void ClauseMap::set(uint32_t number, uint32_t position) {
  assert(number <= kLargestClauseNumber && position != kNone);
  const uint32_t stored = position + 1;
  const uint64_t entries = static_cast<uint64_t>(number) + 1;
  if (entries > size_) size_ = entries;
  const uint64_t dense_limit = 2 * (defined_ + 1) + kMinimumDense;
  if (number >= dense_.size() && entries <= dense_limit) {
    // Grown by half again, reserved exactly: the zeros written are touched
    // memory, so the table stays within a third of its use.
    uint64_t grown = static_cast<uint64_t>(dense_.size()) + dense_.size() / 2;
    if (grown < entries) grown = entries;
    if (grown > dense_limit) grown = dense_limit;
    dense_.reserve(grown);
    dense_.resize(grown, 0);
  }
  if (number < dense_.size()) {
    if (dense_[number] == 0) ++defined_;
    dense_[number] = stored;
    if (!sparse_.empty()) {
      if (sparse_.erase(number)) --defined_;
    }
  } else {
    uint32_t& slot = sparse_[number];
    if (slot == 0) ++defined_;
    slot = stored;
  }
  assert((*this)[number] == position && defined_ <= size_);
}
