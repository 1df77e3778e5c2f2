// Extension definitions: a fresh variable defined as the AND of some
// literals, or as an if-then-else of three literals. One record per
// definition, operands in one flat array: the proof checker holds back the
// definitions whose operands are not yet defined, the formula keeps the
// applied ones, and the model checker turns them into gates.
#ifndef ZEL_FORMULA_EXTENSION_HPP
#define ZEL_FORMULA_EXTENSION_HPP

#include <cstdint>
#include <vector>

#include "core/literal.hpp"

struct Definition {
  enum Kind : uint8_t {
    AND,  // conjunction of `count` operands (repeats stay; none: constant true)
    ITE,  // three operands: condition, then, else
  };
  Kind kind = AND;
  uint32_t variable = 0;  // the fresh variable defined
  uint32_t line = 0;      // certificate line of the type token, for reports
  uint32_t first = 0;     // index of its first operand in the owner's operand array
  uint32_t count = 0;     // number of operands
};

// A list of definitions and their operands.
struct Definitions {
  std::vector<Definition> records;  // in order of entry
  std::vector<Literal> operands;    // the records' operands, record after record

  const Literal* operands_of(const Definition& definition) const {
    return operands.data() + definition.first;
  }
  // Appends a record; `definition.first` is set here.
  void add(Definition definition, const Literal* literals) {
    definition.first = static_cast<uint32_t>(operands.size());
    operands.insert(operands.end(), literals, literals + definition.count);
    records.push_back(definition);
  }
  size_t size() const { return records.size(); }
};

#endif
