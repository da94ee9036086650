// The compiler, build type, flags and commit are fixed when the bench is
// built (bench/CMakeLists.txt passes them in; the commit header is refreshed
// on every build); the CPU is read at run time.
#include "machine.hpp"

#include <fstream>

#include <vorlex/vorlex.h>

#include "bench_commit.h"

namespace vorlex::bench {
namespace {

std::string cpu_model() {
    std::ifstream f("/proc/cpuinfo");
    std::string line;
    while (std::getline(f, line)) {
        if (line.starts_with("model name")) {
            const size_t colon = line.find(':');
            if (colon == std::string::npos) break;
            const size_t start = line.find_first_not_of(" \t", colon + 1);
            return start == std::string::npos ? "unknown" : line.substr(start);
        }
    }
    return "unknown";
}

std::string compiler() {
#if defined(__clang__)
    return "clang " __clang_version__;
#elif defined(__GNUC__)
    return "gcc " __VERSION__;
#else
    return "unknown compiler";
#endif
}

}  // namespace

RunInfo describe_machine() {
    RunInfo info;
    info.version = vorlex_version_string();
    info.commit = VORLEX_BENCH_COMMIT;
    info.cpu = cpu_model();
    info.compiler = compiler();
    std::string flags = VORLEX_BENCH_BUILD_FLAGS;
    while (!flags.empty() && flags.front() == ' ') flags.erase(0, 1);
    info.build = std::string(VORLEX_BENCH_BUILD_TYPE) + (flags.empty() ? "" : " " + flags);
    return info;
}

}  // namespace vorlex::bench
