// Extension definitions and the steps delayed until the conclusion.
//
// Steps are kept in reading order and visited newest first; extensions are
// visited AND definitions first, each kind newest first.
//
// Held-back items are applied in passes: a pass visits the store in order and
// applies every item that is ready when visited; passes repeat until one
// applies nothing. That order decides formula positions and which error
// comes first, so it is kept exactly, but without rescanning the store: each
// item counts its inputs that are still undefined, definitions wake the items
// that wait on them, and a heap yields the ready items ahead of the current
// visit in store order, while items that became ready behind it wait for the
// next pass.

#include <cassert>
#include <functional>
#include <iostream>
#include <queue>
#include <unordered_map>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "proof/proof_checker.hpp"

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
      for (uint32_t other : woken->second) {
        assert(missing[other] > 0);
        if (--missing[other] == 0) {
          if (other > item)
            ahead.push(other);
          else
            behind.push_back(other);
        }
      }
      waiting.erase(woken);
    }
    if (!applied || behind.empty()) return;
    for (uint32_t item : behind) ahead.push(item);
    behind.clear();
  }
}

}  // namespace

void ProofChecker::settle_delayed() {
  settle_steps();
  report_unsettled_steps();
  settle_extensions();
  report_unsettled_extensions();
}

void ProofChecker::settle_steps() {
  if (options_.debug) std::cout << "Applying delayed resolutions ..." << std::endl;
  // Item i of the store order is the i-th newest step.
  std::vector<HeldBack::Step>& steps = held_back_.steps;
  const std::vector<uint32_t>& antecedents = held_back_.antecedents;
  const uint32_t size = static_cast<uint32_t>(steps.size());
  auto step_of = [&](uint32_t item) -> HeldBack::Step& { return steps[size - 1 - item]; };
  std::vector<uint32_t> missing(size, 0);
  std::unordered_map<uint32_t, std::vector<uint32_t>> waiting;
  for (uint32_t item = 0; item < size; ++item) {
    const HeldBack::Step& delayed = step_of(item);
    for (uint32_t a = delayed.antecedents_begin; a < delayed.antecedents_end; ++a)
      if (!clause_map_.defined(antecedents[a])) {
        ++missing[item];
        waiting[antecedents[a]].push_back(item);
      }
  }
  StepEntry& step = reading_.step;
  settle(size, missing, waiting, [&](uint32_t item) -> uint32_t {
    HeldBack::Step& delayed = step_of(item);
    assert(!delayed.settled);
    delayed.settled = true;
    ++statistics_.settled_steps;
    step.number = delayed.number;
    step.resolvent_omitted = delayed.resolvent_omitted;
    step.resolvent.clear();
    for (uint32_t l = delayed.literals_begin; l < delayed.literals_end; ++l)
      step.resolvent.insert(held_back_.literals[l]);
    step.antecedents.assign(antecedents.begin() + delayed.antecedents_begin,
                            antecedents.begin() + delayed.antecedents_end);
    const bool was_defined = clause_map_.defined(delayed.number);
    apply_step(step);
    assert(clause_map_.defined(delayed.number));  // every step that returns stores its clause
    return was_defined ? 0 : delayed.number;
  });
}

void ProofChecker::report_unsettled_steps() const {
  std::vector<uint32_t> numbers, ends, antecedents;
  std::vector<uint8_t> undefined;
  for (auto it = held_back_.steps.rbegin(); it != held_back_.steps.rend(); ++it) {
    if (it->settled) continue;
    numbers.push_back(it->number);
    for (uint32_t a = it->antecedents_begin; a < it->antecedents_end; ++a) {
      antecedents.push_back(held_back_.antecedents[a]);
      undefined.push_back(!clause_map_.defined(held_back_.antecedents[a]));
    }
    ends.push_back(static_cast<uint32_t>(antecedents.size()));
  }
  if (!numbers.empty())
    throw Exception(message::unsettled_steps(numbers, ends, antecedents, undefined));
}

// The visiting order of delayed extensions: AND definitions newest first,
// then if-then-else definitions newest first.
static std::vector<uint32_t> extension_order(const Definitions& delayed) {
  std::vector<uint32_t> order;
  for (const Definition::Kind kind : {Definition::AND, Definition::ITE})
    for (size_t i = delayed.records.size(); i-- > 0;)
      if (delayed.records[i].kind == kind) order.push_back(static_cast<uint32_t>(i));
  return order;
}

void ProofChecker::settle_extensions() {
  if (options_.debug) std::cout << "Applying delayed extensions ..." << std::endl;
  const Definitions& delayed_extensions = held_back_.extensions;
  std::vector<uint8_t>& settled = held_back_.settled_extensions;
  const std::vector<uint32_t> order = extension_order(delayed_extensions);
  const uint32_t size = static_cast<uint32_t>(order.size());
  std::vector<uint32_t> missing(size, 0);
  std::unordered_map<uint32_t, std::vector<uint32_t>> waiting;
  for (uint32_t item = 0; item < size; ++item) {
    const Definition& definition = delayed_extensions.records[order[item]];
    const Literal* operands = delayed_extensions.operands_of(definition);
    for (uint32_t i = 0; i < definition.count; ++i) {
      if (formula_.is_defined(operands[i].variable())) continue;
      ++missing[item];
      waiting[operands[i].variable()].push_back(item);
    }
  }
  settled.assign(delayed_extensions.size(), 0);
  settle(size, missing, waiting, [&](uint32_t item) -> uint32_t {
    const Definition& definition = delayed_extensions.records[order[item]];
    assert(!settled[order[item]]);
    const bool applied = try_extension(definition, delayed_extensions.operands_of(definition));
    assert(applied);  // woken when its last operand was defined
    (void)applied;
    settled[order[item]] = 1;
    ++statistics_.settled_extensions;
    return definition.variable;
  });
}

void ProofChecker::report_unsettled_extensions() const {
  std::vector<uint32_t> variables, lines;
  for (uint32_t index : extension_order(held_back_.extensions)) {
    if (held_back_.settled_extensions[index]) continue;
    const Definition& definition = held_back_.extensions.records[index];
    variables.push_back(definition.variable);
    lines.push_back(definition.line);
  }
  if (!variables.empty())
    throw Exception(message::unsettled_extensions(variables, lines));
}
