// vorlex: compress and decompress files with the codec plug-ins, in the
// checksummed .vlx container or in a codec's bare format; `vorlex bench`
// hands over to the benchmark when it was built in.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files.hpp"
#include "tool.hpp"

#ifdef VORLEX_HAVE_BENCH
#include "bench_main.hpp"
#endif

int main(int argc, char** argv) {
    // Before anything is opened: a closed 0, 1 or 2 would be the next file's.
    if (!vorlex::cli::open_missing_standard_descriptors()) return vorlex::cli::EXIT_FILE_FAILED;
    if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) {
#ifdef VORLEX_HAVE_BENCH
        return vorlex_bench_main(argc - 1, argv + 1);
#else
        std::fprintf(stderr, "vorlex: bench not built\n");
        return vorlex::cli::EXIT_USAGE;
#endif
    }
    std::vector<std::string> args;
    try {
        args.assign(argv + 1, argv + argc);
    } catch (...) {
        std::fputs("vorlex: out of memory\n", stderr);
        return vorlex::cli::EXIT_FILE_FAILED;
    }
    return vorlex::cli::run_tool(args);
}
