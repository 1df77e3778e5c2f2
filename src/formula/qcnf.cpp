// Placing variables in the quantifier prefix.

#include "formula/qcnf.hpp"

#include <cassert>

#include "core/limits.hpp"
#include "core/messages.hpp"

Refusal QCNF::within_limit(unsigned variable) const {
  if (variable <= kMaxVariable) return Refusal();
  return Refusal{message::variable_limit(variable)};
}

void QCNF::grow_tables(unsigned variable) {
  if (quantifiers.size() <= variable) quantifiers.resize(static_cast<size_t>(variable) + 1);
  if (levels.size() <= variable) levels.resize(static_cast<size_t>(variable) + 1, 0);
}

Refusal QCNF::new_variable(unsigned variable, Quantifier::Type type, bool outermost) {
  assert(type != Quantifier::UNDEFINED && variable != 0);
  if (outermost && type == Quantifier::UNIVERSAL)
    return Refusal{"New outermost variables may not be universal."};
  if (is_defined(variable)) return Refusal{"Variable redefined"};
  if (Refusal refusal = within_limit(variable)) return refusal;
  grow_tables(variable);
  quantifiers[variable] = Quantifier{type};

  unsigned level;
  if (outermost || blocks.empty()) {
    if (type == Quantifier::UNIVERSAL) {
      level = 1;
      if (blocks.size() < 2) blocks.resize(2);
      blocks[1].front.push_back(variable);
    } else {
      level = 0;
      if (blocks.empty()) blocks.resize(1);
      blocks[0].front.push_back(variable);
    }
  } else {
    const Block& innermost = blocks.back();
    assert(innermost.size() != 0);
    const uint32_t last = innermost.back.empty() ? innermost.front.front() : innermost.back.back();
    if (type == quantifier_of_level(levels[last])) {
      level = levels[last];
    } else {
      level = levels[last] + 1;
      blocks.emplace_back();
    }
    blocks.back().back.push_back(variable);
  }
  levels[variable] = level;
  assert(quantifier_of_level(level) == type);
  if (max_variable < variable) max_variable = variable;
  return Refusal();
}

Refusal QCNF::new_variable_after(unsigned variable, Quantifier::Type type, unsigned after) {
  assert(type != Quantifier::UNDEFINED);
  if (!is_defined(after)) return Refusal{message::depends_on_undefined(after)};
  if (is_defined(variable)) return Refusal{"Variable redefinition"};
  if (Refusal refusal = within_limit(variable)) return refusal;
  unsigned level = levels[after];
  // A block's quantifier is its level's.
  assert(blocks[level].size() != 0);
  if (quantifier_of_level(level) != type) {
    ++level;
    if (blocks.size() <= level) blocks.emplace_back();
  }
  blocks[level].back.push_back(variable);
  grow_tables(variable);
  levels[variable] = level;
  quantifiers[variable] = Quantifier{type};
  assert(quantifier_of_level(level) == type);
  if (max_variable < variable) max_variable = variable;
  return Refusal();
}

size_t QCNF::quantified_variables() const {
  size_t total = 0;
  for (const Block& block : blocks) total += block.size();
  return total;
}

bool QCNF::prefix_invariants() const {
  if (levels.size() < quantifiers.size()) return false;
  size_t defined = 0;
  for (unsigned variable = 0; variable < quantifiers.size(); ++variable) {
    if (!is_defined(variable)) continue;
    ++defined;
    const unsigned level = levels[variable];
    if (level >= blocks.size() || quantifier_of_level(level) != quantifiers[variable].type)
      return false;
  }
  bool placed = true;
  for (size_t level = 0; level < blocks.size(); ++level) {
    if (level > 0 && blocks[level].size() == 0) return false;
    blocks[level].for_each([&](uint32_t variable) {
      placed = placed && is_defined(variable) && levels[variable] == level;
    });
  }
  // Each defined variable stands in its block, and the blocks hold no more
  // entries than there are defined variables: so each stands there once.
  return placed && quantified_variables() == defined;
}
