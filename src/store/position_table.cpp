// The open-addressing table of positions (position_table.hpp).

#include "store/position_table.hpp"

#include <cassert>

#include "core/hash.hpp"

size_t PositionTable::home(uint32_t index) const {
  return static_cast<size_t>(mix(index)) & (slots_.size() - 1);
}

uint32_t PositionTable::operator[](uint32_t index) const {
  if (slots_.empty()) return kNone;
  const size_t mask = slots_.size() - 1;
  for (size_t at = home(index);; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.index == index) return slot.position;
    if (slot.index == kNone) return kNone;
  }
}

void PositionTable::set(uint32_t index, uint32_t position) {
  assert(index != kNone && position != kNone);
  if (2 * (used_ + 1) > slots_.size()) grow();
  const size_t mask = slots_.size() - 1;
  for (size_t at = home(index);; at = (at + 1) & mask) {
    Slot& slot = slots_[at];
    if (slot.index == index) {
      slot.position = position;
      return;
    }
    if (slot.index == kNone) {
      slot = Slot{index, position};
      ++used_;
      return;
    }
  }
}

// The entries after the emptied slot, up to the next empty one, move back
// into it when their home does not lie between it and them (cyclically), so
// that every entry stays reachable from its home without tombstones.
void PositionTable::erase(uint32_t index) {
  if (slots_.empty()) return;
  const size_t mask = slots_.size() - 1;
  size_t hole = home(index);
  while (slots_[hole].index != index) {
    if (slots_[hole].index == kNone) return;
    hole = (hole + 1) & mask;
  }
  for (size_t at = (hole + 1) & mask; slots_[at].index != kNone; at = (at + 1) & mask) {
    const size_t wanted = home(slots_[at].index);
    const bool stays = hole <= at ? hole < wanted && wanted <= at : hole < wanted || wanted <= at;
    if (stays) continue;
    slots_[hole] = slots_[at];
    hole = at;
  }
  slots_[hole].index = kNone;
  --used_;
}

void PositionTable::grow() {
  PodVector<Slot> old = std::move(slots_);
  const size_t size = old.empty() ? 1024 : 2 * old.size();
  slots_.resize(size);
  for (Slot& slot : slots_) slot.index = kNone;
  used_ = 0;
  for (const Slot& slot : old)
    if (slot.index != kNone) set(slot.index, slot.position);
}
