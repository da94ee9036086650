// The input measured when no FILE is given: this project's README and its
// include/ and src/ trees, concatenated in a fixed order. Text and C++ of a
// few hundred kilobytes: quick to run and the same on every machine that
// builds the same commit. The bytes are gathered when the bench is built and
// linked into the program, so an installed bench needs no source tree.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "inputs.hpp"

namespace vorlex::bench {

// The embedded bytes.
std::span<const uint8_t> default_input_bytes();

// Fills out with a copy of the default input; false with error set when
// there is no memory for it.
bool read_default_input(Input& out, std::string& error);

}  // namespace vorlex::bench
