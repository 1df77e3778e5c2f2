// Placing variables in the quantifier prefix.

#include "formula/qcnf.hpp"

#include <sstream>

std::string variable_limit_message(uint64_t variable) {
  std::ostringstream text;
  text << "Variable " << variable << " exceeds the largest supported variable number "
       << kMaxVariable << ".";
  return text.str();
}

bool QCNF::within_limit(unsigned variable) {
  if (variable <= kMaxVariable) return true;
  error = variable_limit_message(variable);
  return false;
}

void QCNF::grow_tables(unsigned variable) {
  if (variables.size() <= variable) variables.resize(static_cast<size_t>(variable) + 1);
  if (levels.size() <= variable) levels.resize(static_cast<size_t>(variable) + 1, 0);
}

bool QCNF::new_variable(unsigned variable, Quantifier::Type type, bool outermost) {
  if (outermost && type == Quantifier::UNIVERSAL) {
    error = "New outermost variables may not be universal.";
    return false;
  }
  if (is_defined(variable)) {
    error = "Variable redefined";
    return false;
  }
  if (!within_limit(variable)) return false;
  grow_tables(variable);
  variables[variable] = Quantifier{type};

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
    const uint32_t last = innermost.back.empty() ? innermost.front.front() : innermost.back.back();
    if (type == variables[last].type) {
      level = levels[last];
    } else {
      level = levels[last] + 1;
      blocks.emplace_back();
    }
    blocks.back().back.push_back(variable);
  }
  levels[variable] = level;
  if (max_variable < variable) max_variable = variable;
  return true;
}

bool QCNF::new_variable_after(unsigned variable, Quantifier::Type type, unsigned after) {
  if (!is_defined(after)) {
    std::ostringstream text;
    text << "Definition depends on undefined variable #" << after;
    error = text.str();
    return false;
  }
  if (is_defined(variable)) {
    error = "Variable redefinition";
    return false;
  }
  if (!within_limit(variable)) return false;
  unsigned level = levels[after];
  // The block's type is that of any of its variables; an empty block 0
  // (universal first) is never the block of a defined variable.
  const Block& block = blocks[level];
  const uint32_t member = block.front.empty() ? block.back.front() : block.front.back();
  if (variables[member].type != type) {
    ++level;
    if (blocks.size() <= level) blocks.emplace_back();
  }
  blocks[level].back.push_back(variable);
  grow_tables(variable);
  levels[variable] = level;
  variables[variable] = Quantifier{type};
  if (max_variable < variable) max_variable = variable;
  return true;
}

size_t QCNF::quantified_variables() const {
  size_t total = 0;
  for (const Block& block : blocks) total += block.size();
  return total;
}
