// What a benchmark result depends on besides the code: CPU, compiler, build
// type and flags, commit, peer library versions, and the run's settings.
// Results compare only between runs with the same description.
#pragma once

#include <string>
#include <vector>

namespace vorlex::bench {

struct RunInfo {
    std::string version;   // libvorlex's
    std::string commit;    // of the source tree the bench was built from
    std::string cpu;
    std::string compiler;
    std::string build;     // build type and compiler flags
    std::vector<std::string> peers;          // "lz4 1.9.4" for each peer measured
    std::vector<std::string> missing_peers;  // "snappy (libsnappy-dev)" for each left out
    int rounds = 0;
    double min_time = 0;
};

// Everything except peers, missing_peers, rounds and min_time, which the
// caller knows.
RunInfo describe_machine();

}  // namespace vorlex::bench
