// Small helpers shared by the unit tests: building clauses from DIMACS
// numbers, reading them back, catching the program's Exception, capturing
// standard output, and writing scratch files.
#ifndef ZEL_TESTS_UNIT_SUPPORT_HPP
#define ZEL_TESTS_UNIT_SUPPORT_HPP

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "formula/dclause.hpp"
#include "core/literal.hpp"
#include "formula/qcnf.hpp"
#include "core/exception.hpp"

namespace zeltest {

// The prefix as lists of variable numbers, outermost block first.
inline std::vector<std::vector<unsigned>> blocks_of(const QCNF& formula) {
  std::vector<std::vector<unsigned>> result;
  for (const auto& block : formula.blocks) {
    result.emplace_back();
    for (const Quantifier& record : block) result.back().push_back(record.variable);
  }
  return result;
}

// Builds a clause by inserting the literals in order (duplicates refused).
inline DClause clause(const std::vector<int>& literals) {
  DClause result;
  for (int value : literals) result.insert(Literal(value));
  return result;
}

// The literals of a clause in storage order, as signed numbers.
inline std::vector<int64_t> dimacs(const DClause& c) {
  std::vector<int64_t> result;
  for (const Literal& literal : c.literals) result.push_back(literal.to_dimacs());
  return result;
}

inline std::vector<int64_t> ints(std::initializer_list<int64_t> values) {
  return values;
}

// Runs `action` and returns the message of the Exception it throws, or a
// marker text when it throws nothing.
template <typename Action>
std::string message_of(Action action) {
  try {
    action();
  } catch (const Exception& error) {
    return error.message;
  }
  return "<no exception>";
}

// Redirects std::cout into a string for the lifetime of the object.
class CoutCapture {
 public:
  CoutCapture() : previous_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(previous_); }
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* previous_;
};

// Writes `content` byte for byte into a fresh scratch file and returns its path.
inline std::string scratch_file(const std::string& content) {
  static int counter = 0;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "zel";
  for (char& c : name)
    if (c == '/') c = '_';
  const std::string path = ::testing::TempDir() + "zel_" + name + "_" + std::to_string(counter++);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return path;
}

}  // namespace zeltest

#endif
