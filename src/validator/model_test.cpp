// The clause-wise model test: the applied extension definitions and the
// model entries become one gate network (in topological order), the QBF
// file's clauses a clause store, and ModelTest finds the first clause that
// some assignment of the free variables falsifies. This file reports the
// outcome as the checker always has: progress up to the counterexample, the
// clause, and with --d the universals' values in a falsifying assignment.

#include <iostream>
#include <sstream>

#include "core/exception.hpp"
#include "model/model_test.hpp"
#include "model/network.hpp"
#include "store/clause_store.hpp"
#include "zel.hpp"

namespace {

int64_t milliseconds_between(const timeval& start, const timeval& end) {
  return static_cast<int32_t>((end.tv_usec - start.tv_usec) / 1000 +
                              (end.tv_sec - start.tv_sec) * 1000);
}

constexpr uint32_t NOT_A_GATE = ~0u;

// Orders `unordered` (gates whose operands are in `unordered_operands`)
// topologically into `network` by Kahn's algorithm: a gate is emitted once
// every gate defining one of its operands is, ready gates first in their
// given order. A gate left over lies on a cycle; the dependency check has
// refused those already, so that is only guarded against.
void order_gates(const std::vector<Gate>& unordered, const std::vector<Literal>& unordered_operands,
                 Network& network) {
  const size_t gates = unordered.size();
  std::vector<uint32_t> gate_of(network.variables, NOT_A_GATE);  // variable -> unordered index
  for (uint32_t index = 0; index < gates; ++index) gate_of[unordered[index].variable] = index;

  // Readers of each gate's variable, grouped by gate (one entry per operand).
  std::vector<uint32_t> waiting(gates, 0);        // operands whose gate is not emitted yet
  std::vector<uint32_t> reader_begin(gates + 1, 0);
  for (uint32_t index = 0; index < gates; ++index) {
    const Gate& gate = unordered[index];
    for (uint32_t i = 0; i < gate.count; ++i) {
      const uint32_t source = gate_of[unordered_operands[gate.first + i].variable()];
      if (source == NOT_A_GATE) continue;
      ++waiting[index];
      ++reader_begin[source + 1];
    }
  }
  for (size_t index = 0; index < gates; ++index) reader_begin[index + 1] += reader_begin[index];
  std::vector<uint32_t> readers(reader_begin[gates]);
  {
    std::vector<uint32_t> fill(reader_begin.begin(), reader_begin.end() - 1);
    for (uint32_t index = 0; index < gates; ++index) {
      const Gate& gate = unordered[index];
      for (uint32_t i = 0; i < gate.count; ++i) {
        const uint32_t source = gate_of[unordered_operands[gate.first + i].variable()];
        if (source != NOT_A_GATE) readers[fill[source]++] = index;
      }
    }
  }
  gate_of = std::vector<uint32_t>();

  std::vector<uint32_t> queue;  // emitted gates in emission order; read from `head`
  queue.reserve(gates);
  for (uint32_t index = 0; index < gates; ++index)
    if (waiting[index] == 0) queue.push_back(index);
  for (size_t head = 0; head < queue.size(); ++head) {
    const uint32_t index = queue[head];
    for (uint32_t r = reader_begin[index]; r < reader_begin[index + 1]; ++r)
      if (--waiting[readers[r]] == 0) queue.push_back(readers[r]);
  }
  if (queue.size() != gates)
    throw Exception("The model provided contains cyclic function definitions.");

  network.gates.reserve(gates);
  network.operands.reserve(unordered_operands.size());
  for (uint32_t index : queue) {
    Gate gate = unordered[index];
    const uint32_t first = static_cast<uint32_t>(network.operands.size());
    network.operands.insert(network.operands.end(), unordered_operands.begin() + gate.first,
                            unordered_operands.begin() + gate.first + gate.count);
    gate.first = first;
    network.gates.push_back(gate);
  }
}

}  // namespace

bool ZEL::test_clausewise(Model& model) {
  timeval sat_start;
  gettimeofday(&sat_start, nullptr);

  Network network;
  network.variables = static_cast<uint32_t>(formula.variables.size());
  {
    std::vector<Gate> unordered;
    std::vector<Literal> unordered_operands;
    auto add_gate = [&](Gate::Kind kind, unsigned variable, const std::vector<Literal>& operands) {
      Gate gate;
      gate.kind = kind;
      gate.variable = variable;
      gate.first = static_cast<uint32_t>(unordered_operands.size());
      gate.count = static_cast<uint32_t>(operands.size());
      unordered_operands.insert(unordered_operands.end(), operands.begin(), operands.end());
      unordered.push_back(gate);
    };
    for (const auto& definition : ite_definitions) add_gate(Gate::ITE, definition.first, definition.second);
    for (const auto& definition : and_definitions) add_gate(Gate::AND, definition.first, definition.second);
    std::vector<Literal> function(1);
    for (const auto& entry : model) {
      function[0] = Literal(entry.second);
      add_gate(Gate::COPY, entry.first, function);
    }
    order_gates(unordered, unordered_operands, network);
  }

  ClauseStore input;
  const uint64_t input_clauses = static_cast<uint64_t>(last_input_clause) + 1;
  for (uint64_t position = 0; position < input_clauses; ++position)
    input.push(formula.clauses[position].literals);

  ModelTest test(network, input, static_cast<uint32_t>(input_clauses));
  const uint32_t falsified = test.first_falsifiable();

  if (debug) {
    const uint64_t shown = falsified < input_clauses ? uint64_t{falsified} + 1 : input_clauses;
    for (uint64_t position = 0; position < shown; ++position)
      std::cout << "\rTesting clause " << position + 1 << "/" << input_clauses;
    std::cout << std::flush;
  }

  if (falsified < input_clauses) {
    std::cout << std::endl << "Counterexample found." << std::endl;
    std::cout << "Clause (#" << falsified + 1 << "): " << formula.clauses[falsified].to_string()
              << std::endl;
    if (debug) {
      std::cout << "Assignment to universals: ";
      for (size_t variable = 1; variable < formula.variables.size(); ++variable) {
        if (formula.variables[variable].type != Quantifier::UNIVERSAL) continue;
        std::cout << variable << "=" << (test.value(static_cast<uint32_t>(variable)) ? "1" : "0")
                  << " ";
      }
      std::cout << std::endl;
    }
    return false;
  }

  if (debug) {
    timeval end;
    gettimeofday(&end, nullptr);
    std::cout << std::endl;
    const int64_t sat_ms = milliseconds_between(sat_start, end);
    const int64_t total_ms = milliseconds_between(start_time, end);
    std::cout << "SAT TIME: " << sat_ms / 1000.0 << " sec." << std::endl;
    std::cout << "TOT TIME: " << total_ms / 1000.0 << " sec." << std::endl;
    std::cout << "SAT PERCENTAGE: " << static_cast<double>(sat_ms) / static_cast<double>(total_ms) * 100.0
              << " %" << std::endl;
  }
  return true;
}
