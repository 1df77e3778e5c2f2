// The indexed constraint: resolution and reduction in the other
// constraint's size.

#include "formula/indexed_constraint.hpp"

#include <algorithm>
#include <cassert>

namespace {

unsigned highest_bit(uint64_t word) { return 63u - static_cast<unsigned>(__builtin_clzll(word)); }

}  // namespace

void LevelSet::reset(unsigned levels) {
  layers_.clear();
  size_t bits = std::max(levels, 1u);
  do {
    const size_t words = (bits + 63) / 64;
    layers_.emplace_back(words, 0);
    bits = words;
  } while (bits > 1);
}

void LevelSet::insert(unsigned level) {
  size_t index = level;
  for (std::vector<uint64_t>& layer : layers_) {
    layer[index >> 6] |= uint64_t{1} << (index & 63);
    index >>= 6;
  }
}

void LevelSet::erase(unsigned level) {
  size_t index = level;
  for (std::vector<uint64_t>& layer : layers_) {
    uint64_t& word = layer[index >> 6];
    word &= ~(uint64_t{1} << (index & 63));
    if (word != 0) return;
    index >>= 6;
  }
}

unsigned LevelSet::deepest_below(unsigned level) const {
  // Up the layers until a word holds a member below the position, then
  // down the highest bits.
  size_t position = level;
  for (size_t layer = 0; layer < layers_.size(); ++layer) {
    const std::vector<uint64_t>& words = layers_[layer];
    size_t word = position >> 6;
    uint64_t below;
    if (word < words.size()) {
      below = words[word] & ((uint64_t{1} << (position & 63)) - 1);
    } else {  // past the end: every member of the last word is below
      word = words.size() - 1;
      below = words[word];
    }
    if (below != 0) {
      size_t found = word * 64 + highest_bit(below);
      for (size_t down = layer; down-- > 0;)
        found = found * 64 + highest_bit(layers_[down][found]);
      return static_cast<unsigned>(found);
    }
    position = word;
  }
  return kNone;
}

void IndexedConstraint::reset(size_t codes, const std::vector<unsigned>& levels) {
  const unsigned deepest = levels.empty() ? 0 : *std::max_element(levels.begin(), levels.end());
  literals_.clear();
  slot_.assign(codes, kNone);
  next_.assign(codes, kNone);
  previous_.assign(codes, kNone);
  first_.assign(size_t{deepest} + 1, kNone);
  for (LevelSet& present : present_) present.reset(deepest / 2 + 1);
}

void IndexedConstraint::insert(Literal literal, const std::vector<unsigned>& levels) {
  const uint32_t code = literal.code;
  assert(code < slot_.size() && !contains(code));
  slot_[code] = static_cast<uint32_t>(literals_.size());
  literals_.push_back(literal);
  const unsigned level = levels[literal.variable()];
  const uint32_t first = first_[level];
  next_[code] = first;
  previous_[code] = kNone;
  if (first != kNone)
    previous_[first] = code;
  else
    present_[level & 1u].insert(level >> 1);
  first_[level] = code;
}

void IndexedConstraint::erase(uint32_t code, const std::vector<unsigned>& levels) {
  assert(contains(code));
  const uint32_t slot = slot_[code];
  const Literal last = literals_.back();
  literals_[slot] = last;
  slot_[last.code] = slot;
  literals_.pop_back();
  slot_[code] = kNone;
  const unsigned level = levels[code >> 1];
  const uint32_t before = previous_[code], after = next_[code];
  if (before != kNone)
    next_[before] = after;
  else
    first_[level] = after;
  if (after != kNone) previous_[after] = before;
  if (first_[level] == kNone) present_[level & 1u].erase(level >> 1);
}

void IndexedConstraint::clear(const std::vector<unsigned>& levels) {
  for (const Literal& literal : literals_) {
    slot_[literal.code] = kNone;
    const unsigned level = levels[literal.variable()];
    if (first_[level] != kNone) {
      first_[level] = kNone;
      present_[level & 1u].erase(level >> 1);
    }
  }
  literals_.clear();
}

bool IndexedConstraint::load(ClauseView literals, const std::vector<unsigned>& levels) {
  assert(literals_.empty());
  for (const Literal& literal : literals) {
    if (contains(literal.code)) continue;
    if (contains(literal.code ^ 1u)) {
      clear(levels);
      return false;
    }
    insert(literal, levels);
  }
  return true;
}

unsigned IndexedConstraint::resolve(Rule rule, ClauseView second,
                                    const std::vector<unsigned>& levels,
                                    std::vector<uint8_t>& marks) {
  assert(marks_clear(second, marks));
  uint32_t pivot_code = kNone;  // the pivot's literal in `second`
  bool plain = true;            // no pair but the one clash
  for (const Literal& literal : second) {
    if (marks[literal.code]) continue;  // a second copy
    plain &= marks[literal.code ^ 1u] == 0;
    marks[literal.code] = 1;
    if (!contains(literal.code ^ 1u)) continue;
    if (pivot_code == kNone && is_pivot_level(rule, levels[literal.variable()]))
      pivot_code = literal.code;
    else
      plain = false;
  }
  clear_marks(second.literals, second.size, marks.data());
  if (!plain || pivot_code == kNone) return 0;
  erase(pivot_code ^ 1u, levels);
  for (const Literal& literal : second)
    if (literal.code != pivot_code && !contains(literal.code)) insert(literal, levels);
  reduce(rule, levels);
  return pivot_code >> 1;
}

// Every literal of the reduced quantifier deeper than each of the other
// quantifier goes: whole levels, deepest first, until the deepest left is
// above the bound.
void IndexedConstraint::reduce(Rule rule, const std::vector<unsigned>& levels) {
  const unsigned reduced = reduced_parity(rule), kept = reduced ^ 1u;
  const unsigned deepest_kept = present_[kept].deepest_below(LevelSet::kNone);
  const unsigned bound = deepest_kept == LevelSet::kNone ? 0 : 2 * deepest_kept + kept + 1;
  for (;;) {
    const unsigned half = present_[reduced].deepest_below(LevelSet::kNone);
    if (half == LevelSet::kNone) break;
    const unsigned level = 2 * half + reduced;
    if (!is_removed(rule, bound, level)) break;
    while (first_[level] != kNone) erase(first_[level], levels);
  }
}

void IndexedConstraint::take(std::vector<Literal>& out, const std::vector<unsigned>& levels) {
  out.assign(literals_.begin(), literals_.end());
  clear(levels);
}
