// Where something stands in an input, and how messages say it: text inputs
// by line and column, binary ones by byte offset (lines mean nothing in
// binary data). The readers of binary formats share it.
#ifndef ZEL_READ_INPUT_POSITION_HPP
#define ZEL_READ_INPUT_POSITION_HPP

#include <cstdint>
#include <string>

struct InputPosition {
  uint32_t line = 1;    // line, from 1 (text)
  uint32_t column = 1;  // column, from 1 (text)
  uint64_t offset = 0;  // bytes before it in the decompressed input, from 0
};

// "line L, column C" for a text input, "byte offset N" for a binary one (the
// offset in the decompressed input, from 0, as od and xxd count).
inline std::string describe_position(const InputPosition& position, bool binary) {
  if (binary) return "byte offset " + std::to_string(position.offset);
  return "line " + std::to_string(position.line) + ", column " + std::to_string(position.column);
}

#endif
