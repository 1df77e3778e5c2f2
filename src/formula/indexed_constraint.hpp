// A constraint (clause or cube) held so that resolving it with another one
// and reducing the result cost the other one's size, not its own: its
// literals are marked by code, linked in one list per level, and the levels
// that hold literals are kept in a bit set per quantifier, so the deepest
// literal of each quantifier is known at once. A chain of resolutions on a
// long constraint (a QRP step of many antecedents) is then linear in the
// literals of the antecedents. Which literals resolution and reduction keep
// is decided by the rules of rules.hpp; the literals come out as a set, in
// no particular order.
#ifndef ZEL_FORMULA_INDEXED_CONSTRAINT_HPP
#define ZEL_FORMULA_INDEXED_CONSTRAINT_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"
#include "formula/rules.hpp"
#include "store/clause_store.hpp"

// A set of levels with the deepest member and the deepest member below a
// level in time logarithmic to the base 64 in the number of levels: a bit
// a level, and above it a bit a word of the layer below.
class LevelSet {
 public:
  static constexpr unsigned kNone = ~0u;
  // Room for levels 0..levels-1, all absent.
  void reset(unsigned levels);
  void insert(unsigned level);
  void erase(unsigned level);
  // The deepest member below `level` (every member when `level` is past the
  // end), kNone when there is none.
  unsigned deepest_below(unsigned level) const;

 private:
  std::vector<std::vector<uint64_t>> layers_;  // layers_[0]: a bit a level
};

class IndexedConstraint {
 public:
  // Sizes the tables for literal codes below `codes` and the levels of
  // `levels`; the constraint is empty.
  void reset(size_t codes, const std::vector<unsigned>& levels);
  // Whether reset has sized the tables.
  bool sized() const { return !slot_.empty(); }

  // Makes the constraint the set of `literals` (duplicates dropped). False,
  // with the constraint empty, when they hold a literal and its complement.
  bool load(ClauseView literals, const std::vector<unsigned>& levels);

  // Resolution of the constraint with `second` by `rule`, followed by
  // reduction, when the two meet in exactly one complementary pair, on a
  // variable of the pivot quantifier, and `second` holds no pair of its
  // own: returns that variable, and the constraint is the reduced
  // resolvent (as resolve_single_clash gives it, as a set). Otherwise 0,
  // with the constraint unchanged. `marks` (one byte per literal code, all
  // 0) is left all 0. Costs the size of `second` and of what reduction
  // removes.
  unsigned resolve(Rule rule, ClauseView second, const std::vector<unsigned>& levels,
                   std::vector<uint8_t>& marks);

  // Removes what reduction by `rule` removes.
  void reduce(Rule rule, const std::vector<unsigned>& levels);

  uint32_t size() const { return static_cast<uint32_t>(literals_.size()); }
  // Moves the literals out to `out` (replacing its contents); the
  // constraint is empty after.
  void take(std::vector<Literal>& out, const std::vector<unsigned>& levels);

 private:
  static constexpr uint32_t kNone = ~0u;
  bool contains(uint32_t code) const { return slot_[code] != kNone; }
  void insert(Literal literal, const std::vector<unsigned>& levels);
  void erase(uint32_t code, const std::vector<unsigned>& levels);
  void clear(const std::vector<unsigned>& levels);

  std::vector<Literal> literals_;  // the literals, unordered
  std::vector<uint32_t> slot_;     // code -> index in literals_, kNone when absent
  std::vector<uint32_t> next_, previous_;  // code -> neighbours in its level's list
  std::vector<uint32_t> first_;    // level -> first code of its list, kNone when empty
  LevelSet present_[2];            // by parity: the levels (halved) holding literals
};

#endif
