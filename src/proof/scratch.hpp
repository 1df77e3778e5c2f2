// Work storage of the proof checker, shared by proof_checker.cpp and
// ordering.cpp. Private to the proof checker.
#ifndef ZEL_PROOF_SCRATCH_HPP
#define ZEL_PROOF_SCRATCH_HPP

#include <cassert>
#include <cstdint>
#include <vector>

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

// Work storage of the ordering and of the two soundness checks below. The
// per-literal arrays are indexed by literal code and grown lazily (extension
// variables add codes); only what a call marks is unmarked, never the whole
// array. Each mark array has one meaning and one user.
struct ProofChecker::Scratch {
  std::vector<uint8_t> in_working;    // ordering: literal code -> in the working clause W
  std::vector<uint32_t> working_codes;  // codes set in `in_working`
  std::vector<uint8_t> rule_marks;    // lent to the formula's rules (union, tautology,
                                      // removal): all 0 between calls
  std::vector<uint8_t> in_supplied;   // comparison: code -> in the supplied resolvent (all 0
                                      // between steps)
  std::vector<uint32_t> first_occurrence;  // literal code -> first occurrence, kNone if none
  std::vector<uint32_t> occurrence_heads;  // codes set in `first_occurrence`
  std::vector<uint32_t> next_occurrence;   // occurrence -> next one of the same code
  std::vector<uint32_t> occurrence_position;  // occurrence -> antecedent position
  std::vector<uint32_t> open_count;   // position -> existential literals not in W
  std::vector<uint32_t> open_codes;   // position -> XOR of those literals' codes
  std::vector<uint32_t> numbers;      // position -> certificate clause number, as listed
  std::vector<uint32_t> placed;       // positions in placement order
  std::vector<int8_t> value;          // literal code -> 1 true, -1 false, 0 open (merge check)
  std::vector<uint32_t> valued_codes; // codes set in `value`
  std::vector<uint32_t> queue;        // merge check: positions that became unit
  std::vector<uint8_t> satisfied;     // merge check: position has a true literal
  WorkingClause merged;                     // merge mode's clause D
  std::vector<unsigned> merge_pivots; // merge mode's recorded pivot variables
  std::vector<ClauseView> antecedent_clauses;  // position -> stored clause (ordering, merge, search)
  std::vector<uint32_t> positions;             // store positions of the clauses to load
  // A step's antecedents as listed, and check_chain's chain in order, as
  // store positions taken before the step binds its number.
  std::vector<uint32_t> antecedent_positions;
  std::vector<uint32_t> chain_positions;
  PodVector<Literal> widened;                  // the narrow clauses loaded, widened
  PositionSet active;                 // ordering: positions whose visit changes something

  static constexpr uint32_t kNone = ~0u;

  void reset_working() {
    for (uint32_t code : working_codes) in_working[code] = 0;
    working_codes.clear();
  }
  void reset_occurrences() {
    for (uint32_t code : occurrence_heads) first_occurrence[code] = kNone;
    occurrence_heads.clear();
    next_occurrence.clear();
    occurrence_position.clear();
  }
  void reset_values() {
    for (uint32_t code : valued_codes) value[code] = 0;
    valued_codes.clear();
  }
  void add_occurrence(uint32_t code, uint32_t position) {
    assert(code < first_occurrence.size());
    if (first_occurrence[code] == kNone) occurrence_heads.push_back(code);
    next_occurrence.push_back(first_occurrence[code]);
    occurrence_position.push_back(position);
    first_occurrence[code] = static_cast<uint32_t>(next_occurrence.size() - 1);
  }
};

#endif
