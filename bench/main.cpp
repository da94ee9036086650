// vorlex-bench: `vorlex bench` on its own, for working on the benchmark
// without the CLI.
#include "bench_main.hpp"

int main(int argc, char** argv) { return vorlex_bench_main(argc, argv); }
