// Work storage of the proof checker, shared by proof_checker.cpp and
// ordering.cpp. Private to the proof checker.
#ifndef ZEL_PROOF_SCRATCH_HPP
#define ZEL_PROOF_SCRATCH_HPP

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <vector>

#include "proof/chain_search.hpp"
#include "proof/derivation.hpp"
#include "proof/proof_checker.hpp"

// A set of antecedent positions with "first member at or after p" in a few
// word operations: one bit per position, and one summary bit per non-empty
// word of 64 positions.
class PositionSet {
 public:
  static constexpr size_t kNone = ~static_cast<size_t>(0);

  void reset(size_t size) {
    words_.assign((size + 63) / 64, 0);
    summary_.assign((words_.size() + 63) / 64, 0);
  }
  void insert(size_t position) {
    words_[position >> 6] |= uint64_t{1} << (position & 63);
    summary_[position >> 12] |= uint64_t{1} << ((position >> 6) & 63);
  }
  void erase(size_t position) {
    uint64_t& word = words_[position >> 6];
    word &= ~(uint64_t{1} << (position & 63));
    if (!word) summary_[position >> 12] &= ~(uint64_t{1} << ((position >> 6) & 63));
  }
  // The smallest member not below `position`, or kNone.
  size_t next(size_t position) const {
    size_t word = position >> 6;
    if (word >= words_.size()) return kNone;
    const uint64_t here = words_[word] & (~uint64_t{0} << (position & 63));
    if (here) return (word << 6) + static_cast<size_t>(__builtin_ctzll(here));
    ++word;
    for (size_t group = word >> 6; group < summary_.size(); ++group) {
      uint64_t bits = summary_[group];
      if (group == word >> 6) bits &= (word & 63) ? (~uint64_t{0} << (word & 63)) : ~uint64_t{0};
      if (!bits) continue;
      const size_t found = (group << 6) + static_cast<size_t>(__builtin_ctzll(bits));
      return (found << 6) + static_cast<size_t>(__builtin_ctzll(words_[found]));
    }
    return kNone;
  }

 private:
  std::vector<uint64_t> words_;    // bit p: position p is a member
  std::vector<uint64_t> summary_;  // bit w: word w is not empty
};

// Each antecedent's open literals, for the ordering (existential literals
// outside the working clause) and the merge check (literals without a
// value): their count and the XOR of their codes, which names the last one
// directly, and the antecedents each literal code is open in.
struct OpenLiterals {
  static constexpr uint32_t kNone = ~0u;  // the occurrence after the last

  std::vector<uint32_t> count;               // position -> open literals
  std::vector<uint32_t> codes;               // position -> XOR of their codes
  std::vector<uint32_t> first_occurrence;    // literal code -> first occurrence, kNone if none
  std::vector<uint32_t> occurrence_heads;    // codes set in `first_occurrence`
  std::vector<uint32_t> next_occurrence;     // occurrence -> next one of the same code
  std::vector<uint32_t> occurrence_position; // occurrence -> antecedent position

  // No open literals at `positions` antecedents.
  void reset(size_t positions) {
    for (uint32_t code : occurrence_heads) first_occurrence[code] = kNone;
    occurrence_heads.clear();
    next_occurrence.clear();
    occurrence_position.clear();
    count.assign(positions, 0);
    codes.assign(positions, 0);
  }
  void add(uint32_t code, uint32_t position) {
    assert(code < first_occurrence.size());
    ++count[position];
    codes[position] ^= code;
    if (first_occurrence[code] == kNone) occurrence_heads.push_back(code);
    next_occurrence.push_back(first_occurrence[code]);
    occurrence_position.push_back(position);
    first_occurrence[code] = static_cast<uint32_t>(next_occurrence.size() - 1);
  }
  // The literal `code` of `occurrence` is open no more; returns its position.
  uint32_t close(uint32_t occurrence, uint32_t code) {
    const uint32_t position = occurrence_position[occurrence];
    assert(count[position] > 0);
    --count[position];
    codes[position] ^= code;
    return position;
  }
};

// Work storage of the backward ordering (ordering.cpp).
struct OrderingWork {
  std::vector<uint8_t> in_working;      // literal code -> in the working clause W
  std::vector<uint32_t> working_codes;  // codes set in `in_working`
  std::vector<uint32_t> numbers;        // position -> certificate clause number, as listed
  std::vector<uint32_t> placed;         // positions in placement order
  PositionSet active;                   // positions whose visit changes something

  void reset_working() {
    for (uint32_t code : working_codes) in_working[code] = 0;
    working_codes.clear();
  }
};

// Work storage of the merge check's unit propagation.
struct PropagationWork {
  std::vector<int8_t> value;           // literal code -> 1 true, -1 false, 0 open
  std::vector<uint32_t> valued_codes;  // codes set in `value`
  std::vector<uint32_t> queue;         // positions that became unit
  std::vector<uint8_t> satisfied;      // position -> has a true literal

  void reset_values() {
    for (uint32_t code : valued_codes) value[code] = 0;
    valued_codes.clear();
  }
};

// Work storage of the checks, kept from entry to entry so that its
// capacity stays. The per-literal arrays are indexed by literal code and
// grown together (cover; extension variables add codes); only what a call
// marks is unmarked, never the whole array. Each array has one meaning and
// one user.
struct ProofChecker::Scratch {
  LoadedClauses loaded;         // the antecedents of the entry at hand, by position
  OpenLiterals open;            // the ordering's and the merge check's open literals
  OrderingWork ordering;        // the backward ordering
  ProofChecker::OrderedChain chain;  // its result, the chain of the step at hand
  PropagationWork propagation;  // the merge check
  DerivationWork derivation;    // the derivations (its marks are lent to the formula's rules)
  std::vector<uint8_t> in_supplied;  // comparison: code -> in the supplied resolvent (all 0
                                     // between steps)
  // check_chain's chain in order, as store positions taken before the step
  // binds its number.
  std::vector<uint32_t> chain_positions;
  ChainSearch chain_search;     // the fallback search for sound chains

  // The marks cover the literal codes of every variable up to `largest`
  // (the formula's largest defined variable, which every clause loaded and
  // every supplied resolvent stays within): memory follows the variables
  // the steps name.
  void cover(uint32_t largest) {
    const size_t size = derivation.cover(Literal(largest, true).code);
    if (ordering.in_working.size() == size) return;
    ordering.in_working.resize(size, 0);
    in_supplied.resize(size, 0);
    open.first_occurrence.resize(size, OpenLiterals::kNone);
    propagation.value.resize(size, 0);
  }
};

#endif
