// The antecedent log: the antecedent lists of a QRP trace's steps and
// where each starts, and nothing else, in one byte arena, for the first of
// two passes over a trace. A step's record is its antecedent count, then
// each antecedent as the distance back from the step's own ordinal (its
// place in the trace, from 0), then the distance of its byte offset from
// the step's before (the first's from 0), as binary numbers of 7 bits a
// byte (low bits first): a QCDCL trace's records take about two bytes per
// antecedent and two per step. Records are found through the start of every kChunk-th one, so the
// log costs well under a byte per step beyond the records; one bit per
// antecedent listed marks the use of an antecedent that is its last.
#ifndef ZEL_STORE_ANTECEDENT_LOG_HPP
#define ZEL_STORE_ANTECEDENT_LOG_HPP

#include <cassert>
#include <cstdint>

#include "core/pod_vector.hpp"
#include "core/varint.hpp"

class AntecedentLog {
 public:
  // Records per chunk start (a power of two).
  static constexpr uint32_t kChunk = 64;

  // A record as read: where its numbers start and which antecedent entry
  // (counting all antecedents listed, in trace order) its first one is.
  struct Record {
    uint32_t ordinal;    // the step's place in the trace, from 0
    const uint8_t* at;   // its antecedent count
    uint64_t entry;      // the entry of its first antecedent
  };

  // Ordinal of the next record appended (the records held).
  uint32_t size() const { return size_; }

  // Appends the record of the next step, which starts `gap` bytes after the
  // step before; every antecedent ordinal is below the step's own.
  void push(const uint32_t* ordinals, size_t count, uint64_t gap);

  // The record of `ordinal` (< size()).
  Record record(uint32_t ordinal) const;
  // The step at `ordinal` lists antecedents.
  bool derived(uint32_t ordinal) const { return *record(ordinal).at != 0; }
  // Calls visit(antecedent ordinal, entry) for each antecedent of `record`,
  // in the listed order; returns their count.
  template <typename Visit>
  static uint64_t for_each_antecedent(const Record& record, Visit visit) {
    const uint8_t* at = record.at;
    const uint64_t count = next(at);
    for (uint64_t i = 0; i < count; ++i)
      visit(static_cast<uint32_t>(record.ordinal - next(at)), record.entry + i);
    return count;
  }
  // Calls visit(record) for the records of ordinals `last` down to 0.
  template <typename Visit>
  void for_each_downwards(uint32_t last, Visit visit) const {
    assert(last < size_);
    Record chunk[kChunk];
    for (uint32_t first = last / kChunk * kChunk;; first -= kChunk) {
      Record at = Record{first, arena_.data() + starts_[first / kChunk].offset,
                         starts_[first / kChunk].entry};
      const uint32_t end = first + kChunk - 1 < last ? first + kChunk - 1 : last;
      for (uint32_t ordinal = first; ordinal <= end; ++ordinal) {
        chunk[ordinal - first] = at;
        at = following(at);
      }
      for (uint32_t ordinal = end + 1; ordinal-- > first;) visit(chunk[ordinal - first]);
      if (first == 0) return;
      last = first - 1;
    }
  }
  // The distance of the step's byte offset from the step's before.
  static uint64_t gap(const Record& record) {
    const uint8_t* at = record.at;
    for (uint64_t count = next(at); count > 0; --count) next(at);
    return next(at);
  }
  // The record after `record` (its ordinal + 1 must be below size()).
  static Record following(const Record& record);

  // The last-use marks, one per antecedent entry.
  void mark_last_use(uint64_t entry) { last_use_[entry / 64] |= uint64_t{1} << (entry % 64); }
  bool last_use(uint64_t entry) const { return (last_use_[entry / 64] >> (entry % 64)) & 1u; }
  // Clears the marks and makes room for one per entry.
  void clear_last_uses();

  uint64_t bytes() const {
    return arena_.capacity() + starts_.capacity() * sizeof(Start) +
           last_use_.capacity() * sizeof(uint64_t);
  }

 private:
  static uint64_t next(const uint8_t*& at) { return next_varint(at); }
  struct Start {
    uint64_t offset;  // the chunk's first record in arena_
    uint64_t entry;   // the entry of its first antecedent
  };

  PodVector<uint8_t> arena_;      // the records, one after the other
  PodVector<Start> starts_;       // ordinal / kChunk -> where its chunk starts
  PodVector<uint64_t> last_use_;  // antecedent entry -> last use, a bit each
  uint32_t size_ = 0;             // records held
  uint64_t entries_ = 0;          // antecedents listed in all records
};

#endif
