// The model's functions: existential variables only, no cycle among the
// functions and extension definitions, and no function that reads a
// universal quantified inside its variable.

#include <iostream>
#include <sstream>

#include "exception.hpp"
#include "zel.hpp"

void ZEL::check_model_quantification(Model& model) const {
  for (const auto& entry : model) {
    const unsigned variable = entry.first;
    if (variable >= formula.variables.size() ||
        formula.variables[variable].type != Quantifier::EXISTENTIAL)
      throw Exception("Universal or unquantified variable in model.");
  }
}

void ZEL::construct_dependency_graph(const Model& model,
                                     std::map<unsigned, std::vector<unsigned>>& inputs,
                                     std::map<unsigned, std::vector<unsigned>>& users,
                                     std::vector<unsigned>& ready) const {
  for (const auto& definition : ite_definitions) {
    std::vector<unsigned>& read = inputs[definition.first];
    read.reserve(3);
    for (const Literal& operand : definition.second) read.push_back(operand.variable());
    for (const Literal& operand : definition.second)
      users[operand.variable()].push_back(definition.first);
  }
  for (const auto& definition : and_definitions) {
    if (definition.second.empty()) continue;
    std::vector<unsigned>& read = inputs[definition.first];
    read.reserve(definition.second.size());
    for (const Literal& conjunct : definition.second) {
      read.push_back(conjunct.variable());
      users[conjunct.variable()].push_back(definition.first);
    }
  }
  for (const auto& block : formula.blocks)
    for (const Quantifier& record : block) {
      const unsigned variable = record.variable;
      if (record.type == Quantifier::UNIVERSAL) {
        ready.push_back(variable);
        continue;
      }
      const auto function = model.find(variable);
      if (function != model.end()) {
        const unsigned read = Literal(function->second).variable();
        inputs[variable].push_back(read);
        users[read].push_back(variable);
      } else if (!inputs.count(variable)) {
        ready.push_back(variable);
      }
    }
}

// Processes the graph in topological order, passing on to every variable the
// universal of highest level it depends on. A variable's list of inputs is
// resolved as a whole when the input is processed (every occurrence is one
// user edge), so a count of unresolved occurrences stands in for zeroing
// them one by one in the list, which would be quadratic for wide
// conjunctions; the lists stay intact for the debug listing of a cycle.
void ZEL::check_function_dependencies(Model& model) {
  if (debug) std::cout << "Checking function dependencies ..." << std::endl;
  std::map<unsigned, std::vector<unsigned>> inputs, users;
  std::vector<unsigned> ready;
  construct_dependency_graph(model, inputs, users, ready);

  std::map<unsigned, size_t> unresolved;  // variable -> input occurrences not yet processed
  for (const auto& entry : inputs) unresolved[entry.first] = entry.second.size();
  std::map<unsigned, std::pair<unsigned, unsigned>> deepest_universal;  // variable -> (universal, level)
  std::vector<uint8_t> processed(formula.variables.size(), 0);

  while (!ready.empty()) {
    const unsigned current = ready.back();
    ready.pop_back();
    const auto current_users = users.find(current);
    if (current_users == users.end()) continue;
    if (current < processed.size()) processed[current] = 1;
    const bool universal = formula.is_universal(current);
    std::pair<unsigned, unsigned> passed(0, 0);
    bool passes = false;
    if (universal) {
      passed = {current, formula.levels[current]};
      passes = true;
    } else {
      const auto found = deepest_universal.find(current);
      if (found != deepest_universal.end()) {
        passed = found->second;
        passes = true;
      }
    }
    for (unsigned user : current_users->second) {
      if (passes) {
        auto& entry = deepest_universal.emplace(user, std::make_pair(0u, 0u)).first->second;
        if (passed.second > entry.second) entry = passed;
      }
      const auto waiting = unresolved.find(user);
      if (waiting == unresolved.end()) {
        ready.push_back(user);
      } else if (--waiting->second == 0) {
        ready.push_back(user);
        unresolved.erase(waiting);
      }
    }
    users.erase(current_users);
  }

  if (!unresolved.empty()) {
    if (debug) {
      std::cout << "Remaining edges:" << std::endl;
      for (const auto& entry : unresolved) {
        std::cout << entry.first << ": ";
        bool first = true;
        for (unsigned input : inputs[entry.first]) {
          if (input < processed.size() && processed[input]) continue;
          std::cout << (first ? "" : ", ") << input;
          first = false;
        }
        std::cout << std::endl;
      }
    }
    throw Exception("The model provided contains cyclic function definitions.");
  }

  for (const auto& entry : deepest_universal) {
    const unsigned variable = entry.first;
    const unsigned universal = entry.second.first;
    if (universal == 0 || formula.is_before(universal, variable)) continue;
    std::ostringstream text;
    text << "Model function for " << variable << " (on level " << formula.levels[variable]
         << ") depends on universal "
         << "variable with higher quantification (" << universal << " on level "
         << entry.second.second << ").";
    throw Exception(text.str());
  }
}
