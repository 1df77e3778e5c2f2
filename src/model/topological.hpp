// Kahn's topological order, shared by the dependency check of the model's
// functions and the ordering of the gate network.
#ifndef ZEL_MODEL_TOPOLOGICAL_HPP
#define ZEL_MODEL_TOPOLOGICAL_HPP

#include <cstdint>
#include <functional>
#include <vector>

// How ready nodes wait: in a queue or on a stack.
enum class ReadyOrder { FIRST_IN_FIRST_OUT, LAST_IN_FIRST_OUT };

// The nodes reachable from `ready` (nodes without inputs, in the order they
// are to be taken) in an order where every node follows the nodes it reads:
// users of node v are users[user_begin[v]] to users[user_begin[v + 1] - 1],
// one entry per edge; pending[v] counts v's incoming edges and is used up,
// a node becoming ready when its count reaches 0. What is left nonzero
// marks the nodes on a cycle or reading one: if there are any, `on_cycle`
// (when set) sees `pending`, then Exception "The model provided contains
// cyclic function definitions." is thrown.
std::vector<uint32_t> order_topologically(
    const std::vector<uint32_t>& user_begin, const std::vector<uint32_t>& users,
    std::vector<uint32_t>& pending, std::vector<uint32_t> ready, ReadyOrder ready_order,
    const std::function<void(const std::vector<uint32_t>& pending)>& on_cycle);

#endif
