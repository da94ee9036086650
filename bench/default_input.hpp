// The input measured when no FILE is given: this project's README and its
// include/ and src/ trees, concatenated in a fixed order. Text and C++ of a
// few hundred kilobytes: quick to run and the same on every machine that
// builds the same commit. Read at run time from the source folder the bench
// was built from (VORLEX_BENCH_SOURCE_DIR).
#pragma once

#include <string>

#include "inputs.hpp"

namespace vorlex::bench {

// The folder the default input is read from.
std::string default_input_dir();

// Fills out with the default input; false with error set when the source
// folder is gone (an installed bench away from its sources).
bool read_default_input(Input& out, std::string& error);

}  // namespace vorlex::bench
