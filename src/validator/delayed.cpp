// Extension definitions and the steps held back until the conclusion.
//
// Held-back items are applied in passes: a pass visits the store in order and
// applies every item that is ready when visited; passes repeat until one
// applies nothing. That order decides formula positions and which error
// comes first, so it is kept exactly, but without rescanning the store: each
// item counts its inputs that are still undefined, definitions wake the items
// that wait on them, and a heap yields the ready items ahead of the current
// visit in store order, while items that became ready behind it wait for the
// next pass.

#include <functional>
#include <iostream>
#include <queue>
#include <sstream>
#include <unordered_map>

#include "core/exception.hpp"
#include "zel.hpp"

namespace {

// Replays the passes over `size` items numbered in store order. `missing`
// holds each item's count of undefined inputs and `waiting` the items that
// wait on each input (once per occurrence); `apply` applies an item and
// returns the input it newly defined, or 0.
void settle(size_t size, std::vector<uint32_t>& missing,
            std::unordered_map<uint32_t, std::vector<uint32_t>>& waiting,
            const std::function<uint32_t(uint32_t)>& apply) {
  std::priority_queue<uint32_t, std::vector<uint32_t>, std::greater<uint32_t>> ahead;
  std::vector<uint32_t> behind;
  for (uint32_t item = 0; item < size; ++item)
    if (missing[item] == 0) ahead.push(item);
  for (;;) {
    bool applied = false;
    while (!ahead.empty()) {
      const uint32_t item = ahead.top();
      ahead.pop();
      applied = true;
      const uint32_t defined = apply(item);
      if (defined == 0) continue;
      const auto woken = waiting.find(defined);
      if (woken == waiting.end()) continue;
      for (uint32_t other : woken->second)
        if (--missing[other] == 0) {
          if (other > item)
            ahead.push(other);
          else
            behind.push_back(other);
        }
      waiting.erase(woken);
    }
    if (!applied || behind.empty()) return;
    for (uint32_t item : behind) ahead.push(item);
    behind.clear();
  }
}

}  // namespace

// Applies an extension whose operands are all defined and records the
// positions of its defining clauses for the model test.
template <typename Extension>
void ZEL::define_extension(const Extension& extension) {
  const uint32_t first = static_cast<uint32_t>(formula.clauses.size());
  formula.apply_extension(extension);
  definition_clauses.emplace_back(first, static_cast<uint32_t>(formula.clauses.size()));
}

bool ZEL::apply_extension_and(and_extension& extension) {
  if (!formula.is_applicable(extension)) return false;
  define_extension(extension);
  std::vector<Literal>& conjuncts = and_definitions[extension.variable.variable()];
  if (extension.literals.empty())
    conjuncts.clear();
  else
    conjuncts.insert(conjuncts.end(), extension.literals.begin(), extension.literals.end());
  return true;
}

bool ZEL::apply_extension_ite(ite_extension& extension) {
  if (!formula.is_applicable(extension)) return false;
  define_extension(extension);
  std::vector<Literal>& operands = ite_definitions[extension.variable.variable()];
  operands.push_back(extension.condition);
  operands.push_back(extension.then_literal);
  operands.push_back(extension.else_literal);
  return true;
}

void ZEL::apply_delayed_resolutions() {
  if (debug) std::cout << "Applying delayed resolutions ..." << std::endl;
  std::vector<std::list<Resolution>::iterator> items;
  for (auto it = delayed_resolutions.begin(); it != delayed_resolutions.end(); ++it)
    items.push_back(it);
  std::vector<uint32_t> missing(items.size(), 0);
  std::unordered_map<uint32_t, std::vector<uint32_t>> waiting;
  for (uint32_t item = 0; item < items.size(); ++item)
    for (unsigned number : items[item]->antecedents)
      if (!clause_map.defined(number)) {
        ++missing[item];
        waiting[number].push_back(item);
      }
  settle(items.size(), missing, waiting, [&](uint32_t item) -> uint32_t {
    Resolution step = std::move(*items[item]);
    delayed_resolutions.erase(items[item]);
    const bool was_defined = clause_map.defined(step.index);
    apply_resolution(step);
    return was_defined ? 0 : step.index;
  });
}

void ZEL::check_delayed_resolutions() const {
  if (delayed_resolutions.empty()) return;
  std::ostringstream text;
  text << "The following delayed resolutions are missing antecedents "
       << "at conclusion: " << '\n';
  for (const Resolution& step : delayed_resolutions) {
    text << step.index << ": ";
    for (unsigned number : step.antecedents)
      text << number << (clause_map.defined(number) ? "" : "*") << ", ";
    text << '\n';
  }
  throw Exception(text.str());
}

void ZEL::apply_delayed_extensions() {
  if (debug) std::cout << "Applying delayed extensions ..." << std::endl;
  delayed_and_extensions.reverse();
  delayed_ite_extensions.reverse();

  // One pass visits the AND store and then the ITE store: number the items
  // of both in that order.
  std::vector<std::list<and_extension>::iterator> and_items;
  std::vector<std::list<ite_extension>::iterator> ite_items;
  for (auto it = delayed_and_extensions.begin(); it != delayed_and_extensions.end(); ++it)
    and_items.push_back(it);
  for (auto it = delayed_ite_extensions.begin(); it != delayed_ite_extensions.end(); ++it)
    ite_items.push_back(it);
  const size_t size = and_items.size() + ite_items.size();
  std::vector<uint32_t> missing(size, 0);
  std::unordered_map<uint32_t, std::vector<uint32_t>> waiting;
  auto wait_for = [&](uint32_t item, const Literal& operand) {
    if (formula.is_defined(operand.variable())) return;
    ++missing[item];
    waiting[operand.variable()].push_back(item);
  };
  uint32_t item = 0;
  for (const auto& it : and_items) {
    for (const Literal& literal : it->literals) wait_for(item, literal);
    ++item;
  }
  for (const auto& it : ite_items) {
    wait_for(item, it->condition);
    wait_for(item, it->then_literal);
    wait_for(item, it->else_literal);
    ++item;
  }
  settle(size, missing, waiting, [&](uint32_t item) -> uint32_t {
    if (item < and_items.size()) {
      and_extension& extension = *and_items[item];
      apply_extension_and(extension);
      const uint32_t defined = extension.variable.variable();
      delayed_and_extensions.erase(and_items[item]);
      return defined;
    }
    ite_extension& extension = *ite_items[item - and_items.size()];
    apply_extension_ite(extension);
    const uint32_t defined = extension.variable.variable();
    delayed_ite_extensions.erase(ite_items[item - and_items.size()]);
    return defined;
  });
}

void ZEL::check_delayed_extensions() const {
  if (delayed_and_extensions.empty() && delayed_ite_extensions.empty()) return;
  std::ostringstream text;
  text << "The following extensions were not applied because of missing "
       << "dependencies at conclusion:" << '\n';
  for (const and_extension& extension : delayed_and_extensions)
    text << "E " << extension.variable.to_dimacs() << " (line #" << extension.line << ")\n";
  for (const ite_extension& extension : delayed_ite_extensions)
    text << "E " << extension.variable.to_dimacs() << " (line #" << extension.line << ")\n";
  throw Exception(text.str());
}
