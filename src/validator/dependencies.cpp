// The model's functions: existential variables only, no cycle among the
// functions and extension definitions, and no function that reads a
// universal quantified inside its variable.
//
// The graph has an edge from each variable to every variable its definition
// or model function reads. Models of real formulas define hundreds of
// thousands of variables, so the graph lives in arrays indexed by variable
// (every variable in it is defined, hence inside the formula's tables), with
// the edges in flat arrays in the order they were added; iterating variables
// in ascending order stands in for the ordered maps such a graph is usually
// kept in, and gives the same orders.

#include <iostream>
#include <sstream>

#include "core/exception.hpp"
#include "zel.hpp"

void ZEL::check_model_quantification(Model& model) const {
  for (const auto& entry : model) {
    const unsigned variable = entry.first;
    if (variable >= formula.variables.size() ||
        formula.variables[variable].type != Quantifier::EXISTENTIAL)
      throw Exception("Universal or unquantified variable in model.");
  }
}

// Edges are collected in this order: the if-then-else definitions in
// ascending variable (condition, then, else), the AND definitions in
// ascending variable (conjunct order), then the model functions in prefix
// order. Each variable's inputs and each variable's users keep that order.
// `ready` receives the universal variables and the existential ones without
// function or definition, in prefix order.
void ZEL::construct_dependency_graph(const Model& model, DependencyGraph& graph) const {
  const size_t size = formula.variables.size();
  std::vector<std::pair<uint32_t, uint32_t>> edges;  // (reader, variable read)
  for (const auto& definition : ite_definitions)
    for (const Literal& operand : definition.second)
      edges.emplace_back(definition.first, operand.variable());
  for (const auto& definition : and_definitions)
    for (const Literal& conjunct : definition.second)
      edges.emplace_back(definition.first, conjunct.variable());
  graph.has_inputs.assign(size, 0);
  for (const auto& edge : edges) graph.has_inputs[edge.first] = 1;
  for (const auto& block : formula.blocks)
    for (const Quantifier& record : block) {
      const unsigned variable = record.variable;
      if (record.type == Quantifier::UNIVERSAL) {
        graph.ready.push_back(variable);
        continue;
      }
      const auto function = model.find(variable);
      if (function != model.end()) {
        edges.emplace_back(variable, Literal(function->second).variable());
        graph.has_inputs[variable] = 1;
      } else if (!graph.has_inputs[variable]) {
        graph.ready.push_back(variable);
      }
    }

  // Two stable counting sorts: by reader for the inputs, by variable read
  // for the users.
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
}

// Processes the graph in topological order (a stack of ready variables),
// passing on to every variable the universal of highest level it depends
// on. Processing a variable resolves every edge from its users to it at
// once, so a count of unresolved input occurrences per variable tells when
// it becomes ready.
void ZEL::check_function_dependencies(Model& model) {
  if (debug) std::cout << "Checking function dependencies ..." << std::endl;
  DependencyGraph graph;
  construct_dependency_graph(model, graph);
  const size_t size = formula.variables.size();

  std::vector<uint32_t> unresolved(size, 0);  // input occurrences not yet processed
  for (size_t v = 0; v < size; ++v) unresolved[v] = graph.input_begin[v + 1] - graph.input_begin[v];
  std::vector<uint8_t> waiting = graph.has_inputs;  // still has unresolved inputs
  std::vector<uint8_t> processed(size, 0);          // popped with users, edges resolved
  std::vector<uint32_t> deepest(size, 0);           // universal of highest level read, 0 none
  std::vector<uint32_t> deepest_level(size, 0);     // its level
  std::vector<uint8_t> has_deepest(size, 0);        // an entry exists (maybe still (0, 0))
  std::vector<unsigned>& ready = graph.ready;

  while (!ready.empty()) {
    const unsigned current = ready.back();
    ready.pop_back();
    const uint32_t first_user = graph.user_begin[current];
    const uint32_t end_user = graph.user_begin[current + 1];
    if (first_user == end_user || processed[current]) continue;
    processed[current] = 1;
    bool passes = false;
    uint32_t universal = 0, level = 0;
    if (formula.is_universal(current)) {
      passes = true;
      universal = current;
      level = formula.levels[current];
    } else if (has_deepest[current]) {
      passes = true;
      universal = deepest[current];
      level = deepest_level[current];
    }
    for (uint32_t edge = first_user; edge < end_user; ++edge) {
      const uint32_t user = graph.users[edge];
      if (passes) {
        has_deepest[user] = 1;
        if (level > deepest_level[user]) {
          deepest[user] = universal;
          deepest_level[user] = level;
        }
      }
      if (!waiting[user]) {
        ready.push_back(user);
      } else if (--unresolved[user] == 0) {
        ready.push_back(user);
        waiting[user] = 0;
      }
    }
  }

  bool cycle = false;
  for (size_t v = 0; v < size && !cycle; ++v) cycle = waiting[v];
  if (cycle) {
    if (debug) {
      std::cout << "Remaining edges:" << std::endl;
      for (size_t v = 0; v < size; ++v) {
        if (!waiting[v]) continue;
        std::cout << v << ": ";
        bool first = true;
        for (uint32_t edge = graph.input_begin[v]; edge < graph.input_begin[v + 1]; ++edge) {
          const uint32_t input = graph.inputs[edge];
          if (processed[input]) continue;
          std::cout << (first ? "" : ", ") << input;
          first = false;
        }
        std::cout << std::endl;
      }
    }
    throw Exception("The model provided contains cyclic function definitions.");
  }

  for (size_t v = 0; v < size; ++v) {
    if (!has_deepest[v] || deepest[v] == 0) continue;
    const unsigned variable = static_cast<unsigned>(v);
    if (formula.is_before(deepest[v], variable)) continue;
    std::ostringstream text;
    text << "Model function for " << variable << " (on level " << formula.levels[variable]
         << ") depends on universal "
         << "variable with higher quantification (" << deepest[v] << " on level "
         << deepest_level[v] << ").";
    throw Exception(text.str());
  }
}
