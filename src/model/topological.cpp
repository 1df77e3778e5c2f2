// Kahn's algorithm over a graph in flat arrays: a queue of ready nodes, each
// emitted node resolving one edge of every user.

#include "model/topological.hpp"

#include <algorithm>
#include <cassert>

#include "core/exception.hpp"

std::vector<uint32_t> order_topologically(
    const std::vector<uint32_t>& user_begin, const std::vector<uint32_t>& users,
    std::vector<uint32_t>& pending, std::vector<uint32_t> ready, ReadyOrder ready_order,
    const std::function<void(const std::vector<uint32_t>& pending)>& on_cycle) {
  assert(user_begin.size() == pending.size() + 1 && users.size() == user_begin.back());
  assert(std::all_of(ready.begin(), ready.end(),
                     [&](uint32_t node) { return node < pending.size() && pending[node] == 0; }) &&
         "a ready node with inputs");
  std::vector<uint32_t> order;  // emitted nodes
  order.reserve(pending.size());
  auto emit = [&](uint32_t node, std::vector<uint32_t>& waiting) {
    order.push_back(node);
    for (uint32_t edge = user_begin[node]; edge < user_begin[node + 1]; ++edge)
      if (--pending[users[edge]] == 0) waiting.push_back(users[edge]);
  };
  if (ready_order == ReadyOrder::FIRST_IN_FIRST_OUT) {
    for (size_t head = 0; head < ready.size(); ++head) emit(ready[head], ready);
  } else {
    while (!ready.empty()) {
      const uint32_t node = ready.back();
      ready.pop_back();
      emit(node, ready);
    }
  }
  for (const uint32_t count : pending) {
    if (count == 0) continue;
    if (on_cycle) on_cycle(pending);
    throw Exception("The model provided contains cyclic function definitions.");
  }
  assert(order.size() <= pending.size() && "a node emitted twice");
  return order;
}
