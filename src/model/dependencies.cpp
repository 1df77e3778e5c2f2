// The model's functions: existential variables only, no cycle among the
// functions and extension definitions, and no function that reads a
// universal quantified inside its variable.
//
// The graph has an edge from each variable to every variable its definition
// or model function reads. It lives in arrays indexed by variable id (the
// quantified variables in ascending order), with the edges in flat arrays in
// the order they were added; iterating ids in ascending order gives the
// orders in which variables are listed and checked.

#include <algorithm>
#include <cassert>
#include <iostream>

#include "core/exception.hpp"
#include "core/messages.hpp"
#include "model/model_checker.hpp"
#include "model/topological.hpp"

void ModelChecker::check_quantification() const {
  for (const auto& entry : model_)
    if (!formula_.is_existential(entry.first))
      throw Exception("Universal or unquantified variable in model.");
}

namespace {

// Edges in flat arrays grouped by id.
struct DependencyGraph {
  std::vector<uint32_t> input_begin;  // id -> first of its inputs; size + 1 entries
  std::vector<uint32_t> inputs;       // ids read, grouped by reader
  std::vector<uint32_t> user_begin;   // id -> first of its users; size + 1 entries
  std::vector<uint32_t> users;        // readers, grouped by id read
  std::vector<uint8_t> has_inputs;    // id has a definition or model function
  std::vector<uint32_t> ready;        // ids with no input, in prefix order
};

}  // namespace

// Orders the graph topologically (which refuses a cycle), then passes on to
// every variable, in that order, the universal of highest level it depends
// on; of several at that level the first to reach it counts. The order is
// taken from a stack of ready variables, which starts with the universal
// variables and the existential ones without function or definition, in
// prefix order: which universal of a level is named depends on it.
//
// Edges are collected in this order: the if-then-else definitions in
// ascending variable (condition, then, else), the AND definitions in
// ascending variable (conjunct order), then the model functions in prefix
// order. Each variable's inputs and each variable's users keep that order.
void ModelChecker::check_dependencies() const {
  if (options_.debug) std::cout << "Checking function dependencies ..." << std::endl;
  assert(!ids_.variable_of.empty() && "after number_variables");
  const size_t size = ids_.size();
  DependencyGraph graph;
  std::vector<std::pair<uint32_t, uint32_t>> edges;  // (reader id, id read)
  {
    const Definitions& definitions = formula_.definitions;
    std::vector<uint32_t> order(definitions.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto before = [&](uint32_t a, uint32_t b) {
      const Definition& x = definitions.records[a];
      const Definition& y = definitions.records[b];
      if (x.kind != y.kind) return x.kind == Definition::ITE;
      return x.variable < y.variable;
    };
    // Certificates mostly define in ascending order already.
    if (!std::is_sorted(order.begin(), order.end(), before))
      std::sort(order.begin(), order.end(), before);
    for (uint32_t index : order) {
      const Definition& definition = definitions.records[index];
      const Literal* operands = definitions.operands_of(definition);
      for (uint32_t i = 0; i < definition.count; ++i)
        edges.emplace_back(ids_.id(definition.variable), ids_.id(operands[i].variable()));
    }
  }
  graph.has_inputs.assign(size, 0);
  for (const auto& edge : edges) graph.has_inputs[edge.first] = 1;
  for (const Block& block : formula_.blocks)
    block.for_each([&](uint32_t variable) {
      const uint32_t reader = ids_.id(variable);
      if (formula_.is_universal(variable)) {
        graph.ready.push_back(reader);
        return;
      }
      const auto function = std::lower_bound(
          model_.begin(), model_.end(), std::make_pair(variable, INT32_MIN));
      if (function != model_.end() && function->first == variable) {
        edges.emplace_back(reader, ids_.id(Literal(function->second).variable()));
        graph.has_inputs[reader] = 1;
      } else if (!graph.has_inputs[reader]) {
        graph.ready.push_back(reader);
      }
    });

  // Two stable counting sorts: by reader for the inputs, by id read for the
  // users.
  auto group = [&](bool by_reader, std::vector<uint32_t>& begin, std::vector<uint32_t>& items) {
    begin.assign(size + 1, 0);
    for (const auto& edge : edges) ++begin[(by_reader ? edge.first : edge.second) + 1];
    for (size_t v = 0; v < size; ++v) begin[v + 1] += begin[v];
    items.resize(edges.size());
    std::vector<uint32_t> fill(begin.begin(), begin.end() - 1);
    for (const auto& edge : edges)
      items[fill[by_reader ? edge.first : edge.second]++] = by_reader ? edge.second : edge.first;
  };
  group(true, graph.input_begin, graph.inputs);
  group(false, graph.user_begin, graph.users);
  assert(graph.input_begin[size] == graph.inputs.size() &&
         graph.user_begin[size] == graph.users.size() && graph.inputs.size() == edges.size());
  edges = std::vector<std::pair<uint32_t, uint32_t>>();

  std::vector<uint32_t> unresolved(size, 0);  // input occurrences not yet processed
  for (size_t v = 0; v < size; ++v) unresolved[v] = graph.input_begin[v + 1] - graph.input_begin[v];
  const std::vector<uint32_t> order = order_topologically(
      graph.user_begin, graph.users, unresolved, std::move(graph.ready),
      ReadyOrder::LAST_IN_FIRST_OUT, [&](const std::vector<uint32_t>& left) {
        if (!options_.debug) return;
        std::cout << "Remaining edges:" << std::endl;
        for (size_t v = 0; v < size; ++v) {
          if (!left[v]) continue;
          std::cout << ids_.variable_of[v] << ": ";
          bool first = true;
          for (uint32_t edge = graph.input_begin[v]; edge < graph.input_begin[v + 1]; ++edge) {
            const uint32_t input = graph.inputs[edge];
            if (!left[input]) continue;
            std::cout << (first ? "" : ", ") << ids_.variable_of[input];
            first = false;
          }
          std::cout << std::endl;
        }
      });

  // In that order every variable's inputs are final when it passes on the
  // universal of highest level it depends on.
  std::vector<uint32_t> deepest(size, 0);        // universal variable of highest level read, 0 none
  std::vector<uint32_t> deepest_level(size, 0);  // its level
  std::vector<uint8_t> has_deepest(size, 0);     // an entry exists (maybe still (0, 0))
  assert(order.size() < size && "variable 0 (id 0) is no node of the order");
  for (const uint32_t current : order) {
    bool passes = false;
    uint32_t universal = 0, level = 0;
    const uint32_t variable = ids_.variable_of[current];
    if (formula_.is_universal(variable)) {
      passes = true;
      universal = variable;
      level = formula_.levels[variable];
    } else if (has_deepest[current]) {
      passes = true;
      universal = deepest[current];
      level = deepest_level[current];
    }
    if (!passes) continue;
    for (uint32_t edge = graph.user_begin[current]; edge < graph.user_begin[current + 1]; ++edge) {
      const uint32_t user = graph.users[edge];
      has_deepest[user] = 1;
      if (level > deepest_level[user]) {
        deepest[user] = universal;
        deepest_level[user] = level;
      }
    }
  }

  for (size_t v = 0; v < size; ++v) {
    if (!has_deepest[v] || deepest[v] == 0) continue;
    const uint32_t variable = ids_.variable_of[v];
    if (formula_.is_before(deepest[v], variable)) continue;
    throw Exception(message::model_reads_deeper_universal(variable, formula_.levels[variable],
                                                          deepest[v], deepest_level[v]));
  }
}
