// Small helpers shared by the unit tests: building clauses from DIMACS
// numbers, reading them back, the prefix as lists, tokens from a string in
// memory, catching the program's Exception, capturing standard output, and
// scratch directories and files.
#ifndef ZEL_TESTS_UNIT_SUPPORT_HPP
#define ZEL_TESTS_UNIT_SUPPORT_HPP

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/exception.hpp"
#include "core/literal.hpp"
#include "formula/working_clause.hpp"
#include "formula/qcnf.hpp"
#include "read/byte_source.hpp"
#include "read/tokenizer.hpp"
#include "store/clause_store.hpp"

namespace zeltest {

using Blocks = std::vector<std::vector<unsigned>>;

// The prefix as lists of variable numbers, outermost block first, each block
// in its reading order.
inline Blocks blocks_of(const QCNF& formula) {
  Blocks result;
  for (const Block& block : formula.blocks) {
    result.emplace_back();
    block.for_each([&](uint32_t variable) { result.back().push_back(variable); });
  }
  return result;
}

// Builds a clause by inserting the literals in order (duplicates refused).
inline WorkingClause clause(const std::vector<int>& literals) {
  WorkingClause result;
  for (int value : literals) result.insert(Literal(value));
  return result;
}

inline std::vector<Literal> literals(const std::vector<int>& values) {
  std::vector<Literal> result;
  for (int value : values) result.push_back(Literal(value));
  return result;
}

// The literals of a clause in storage order, as signed numbers.
inline std::vector<int64_t> dimacs(ClauseView c) {
  std::vector<int64_t> result;
  for (const Literal& literal : c) result.push_back(literal.to_dimacs());
  return result;
}
inline std::vector<int64_t> dimacs(const WorkingClause& c) {
  EXPECT_EQ(c.size(), c.literals.size());
  return dimacs(c.view());
}

inline std::vector<int64_t> dimacs(const std::vector<Literal>& c) {
  return dimacs(ClauseView{c.data(), static_cast<uint32_t>(c.size())});
}

inline std::vector<int64_t> ints(std::initializer_list<int64_t> values) { return values; }

// The clause at a store position, in whichever form it is stored.
inline std::vector<int64_t> at(const ClauseStore& store, uint32_t position) {
  return dimacs(store.copy(position));
}

// Every clause of the store from position `from` on.
inline std::vector<std::vector<int64_t>> stored(const ClauseStore& store, uint32_t from = 0) {
  std::vector<std::vector<int64_t>> result;
  for (uint32_t position = from; position < store.size(); ++position)
    result.push_back(at(store, position));
  return result;
}

// A tokenizer over a copy of `text` held in memory.
class MemoryTokens {
 public:
  explicit MemoryTokens(const std::string& text,
                        Tokenizer::Separators separators = Tokenizer::Separators::CERTIFICATE,
                        const char* context = "")
      : text_(text), source_(opened(text_)), tokens_(source_, separators, context) {}
  MemoryTokens(const MemoryTokens&) = delete;
  MemoryTokens& operator=(const MemoryTokens&) = delete;

  Tokenizer& tokens() { return tokens_; }
  ByteSource& source() { return source_; }

 private:
  static ByteSource opened(const std::string& text) {
    ByteSource source;
    source.open_memory(text.data(), text.size(), "memory");
    return source;
  }
  const std::string text_;  // the bytes read; fixed while the source reads them
  ByteSource source_;       // reads text_
  Tokenizer tokens_;        // reads source_
};

// A small seeded generator (64-bit LCG) for randomized tables: the same
// seed gives the same cases on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  // A number below `bound`.
  uint64_t below(uint64_t bound) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return (state_ >> 33) % bound;
  }

 private:
  uint64_t state_;
};

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
  std::ostringstream buffer_;  // what was written
  std::streambuf* previous_;   // restored at the end
};

// ---- files ------------------------------------------------------------------

// A fresh empty directory for one test.
inline std::string scratch_directory() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = ::testing::TempDir() + "zel_" + info->name() + "_" + std::to_string(::getpid());
  std::string command = "rm -rf '" + path + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
  return path;
}

inline std::vector<std::string> directory_entries(const std::string& path) {
  std::vector<std::string> names;
  DIR* directory = ::opendir(path.c_str());
  if (!directory) return {"<cannot open " + path + ">"};
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(directory);
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void put_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Puts the output of `cat FILE` on descriptor 0 for the lifetime of the
// object, so that ByteSource::open("-") reads a real pipe.
class StdinPipe {
 public:
  explicit StdinPipe(const std::string& file) {
    std::fflush(stdin);
    saved_ = dup(0);
    pipe_ = popen(("cat '" + file + "'").c_str(), "r");
    if (saved_ < 0 || pipe_ == nullptr || dup2(fileno(pipe_), 0) < 0)
      throw std::runtime_error("cannot set up the standard input pipe");
  }
  ~StdinPipe() {
    dup2(saved_, 0);
    ::close(saved_);
    pclose(pipe_);
  }
  StdinPipe(const StdinPipe&) = delete;
  StdinPipe& operator=(const StdinPipe&) = delete;

 private:
  int saved_ = -1;          // the test's own standard input, restored at the end
  FILE* pipe_ = nullptr;    // the cat process writing into the pipe
};

}  // namespace zeltest

#endif
