// The benchmark as a function of its arguments and output streams, so tests
// run it in-process. vorlex_bench_main (bench_main.hpp) is this with stdout
// and stderr.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vorlex::bench {

// args exclude the subcommand name. The report goes to out, progress and
// failures to err. Returns the exit status.
int run_bench(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// "256 B", "4 KiB", "64 KiB", "1 MiB", "1000 B": how --small sizes are labelled.
std::string size_label(size_t bytes);

}  // namespace vorlex::bench
