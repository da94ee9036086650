// The inputs a run measures: files read whole into aligned buffers, or the
// built-in default input (default_input.hpp).
#pragma once

#include <string>
#include <vector>

#include "buffer.hpp"

namespace vorlex::bench {

struct Input {
    std::string name;  // what rows call it: the file's base name
    Buffer data;
};

// Reads path ("-" for standard input) whole into out. On failure returns
// false and sets error to the reason.
bool read_input(const std::string& path, Input& out, std::string& error);

// Appends the bytes of path to out; false when it cannot be read.
bool append_file(const std::string& path, std::vector<uint8_t>& out);

}  // namespace vorlex::bench
