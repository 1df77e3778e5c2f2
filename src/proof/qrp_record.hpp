// The record of a checked QRP trace: what the checker established, as plain
// data that the consumers of a proof (the core writer, the function
// extraction) read without the checker. Store positions number the
// constraints: 0..n-1 are the QBF file's clauses (input clauses), n on the
// constraints the checker stored (derived ones and initial cubes), each
// after its antecedents. A consumer derives a step again from this record
// and the formula through derive_qrp_step, the checker's own derivation.
// A record that recycles (the checker's second pass over a trace, when no
// output needs the proof) keeps no antecedents, and each constraint's
// literals only until the checker releases them after their last use.
#ifndef ZEL_PROOF_QRP_RECORD_HPP
#define ZEL_PROOF_QRP_RECORD_HPP

#include <cstdint>
#include <utility>
#include <vector>

#include "formula/rules.hpp"
#include "read/qrp_reader.hpp"
#include "store/packed_store.hpp"
#include "store/recycling_store.hpp"

// No store position (the one "none" of that numbering).
constexpr uint32_t kNoPosition = ~0u;

struct QrpRecord {
  // Bits of `kinds`: the constraint is a cube (else a clause); it was
  // derived from antecedents (else an input clause or an initial cube); the
  // step's resolvent held a long-distance pair (a literal and its
  // complement).
  static constexpr uint8_t kCube = 1, kDerived = 2, kLongDistance = 4;

  explicit QrpRecord(uint32_t input_clauses)
      : input_clauses(input_clauses),
        stored(input_clauses),
        recycled(input_clauses),
        kinds(input_clauses, 0) {}

  uint32_t input_clauses;         // clauses of the QBF file: store positions 0..n-1
  PackedStore stored;             // positions n on: literals and antecedent positions
  bool recycling = false;         // literals go to `recycled` instead, antecedents nowhere
  RecyclingStore recycled;        // positions n on, when recycling: literals until released
  std::vector<uint8_t> kinds;     // store position -> kCube, kDerived, kLongDistance
  // Store position and step index of each step whose resolvent holds a
  // long-distance pair, in trace order.
  std::vector<std::pair<uint32_t, uint32_t>> long_distance_steps;
  std::vector<QrpEntry> blocks;   // the trace's blocks as read (quantifier, variables)
  uint32_t empty[2] = {kNoPosition, kNoPosition};  // per Rule: the first empty constraint
  uint32_t root = kNoPosition;    // the verdict's empty constraint, once proved

  static Rule rule_of(uint8_t kind) { return (kind & kCube) ? Rule::CUBE : Rule::CLAUSE; }
  Rule rule(uint32_t position) const { return rule_of(kinds[position]); }
  bool derived(uint32_t position) const { return (kinds[position] & kDerived) != 0; }
  bool long_distance(uint32_t position) const { return (kinds[position] & kLongDistance) != 0; }
  uint32_t& empty_of(Rule rule) { return empty[rule == Rule::CUBE]; }
  uint32_t empty_of(Rule rule) const { return empty[rule == Rule::CUBE]; }
  // The rule of the verdict's empty constraint: CUBE for `r SAT`.
  Rule proved_rule() const { return rule(root); }

  // Store positions in use (input clauses included), and the literals of
  // the constraints stored beyond the input clauses.
  uint32_t end_position() const {
    return recycling ? recycled.end_position() : stored.end_position();
  }
  uint64_t stored_literals() const { return recycling ? recycled.literals() : stored.literals(); }
  // Replaces `out` by the literals of the stored constraint at `position`
  // (>= input_clauses; held, when recycling).
  void read_literals(uint32_t position, std::vector<Literal>& out) const {
    if (recycling)
      recycled.read_literals(position, out);
    else
      stored.read_literals(position, out);
  }

  // Appends a stored constraint of `kind` with `antecedent_count` antecedent
  // positions (none: an initial cube); returns its store position.
  uint32_t append(const std::vector<Literal>& literals, uint8_t kind, const uint32_t* antecedents,
                  size_t antecedent_count);

  // The positions the root rests on (not when recycling), marked 1 (the vector ends at the
  // root); `in_core` counts them. Empty when no root.
  std::vector<uint8_t> core_positions(uint64_t& in_core) const;
};

#endif
