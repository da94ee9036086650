// Runs the benchmark: every case (an input) against every subject (a codec of
// ours or a peer), round after round. Within a case, each round visits every
// subject in turn, compressing and then decompressing, so a slow drift of the
// machine's speed (heat, a neighbour's load) touches all subjects alike and
// their ratios stay fair. Each subject's data is verified before the first
// timed round and after every round; a failure ends that subject's case with
// an error and no figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buffer.hpp"
#include "measure.hpp"
#include "subject.hpp"

namespace vorlex::bench {

// One input of the run. Cases of the same group are summed into one row per
// subject (see results.hpp). input must start 1024-aligned: lzjb's output
// depends on the address.
struct Case {
    std::string group;
    std::string name;
    ByteView input;
};

struct RunSettings {
    int rounds = 5;
    double min_time = 0.5;  // seconds, per direction per round
    Clock clock = steady_seconds;
};

enum class Phase { verify, compress, decompress };

// Told what the runner is about to do and what went wrong; the default does
// nothing.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void step(const Case&, const Subject&, int /*round*/, int /*rounds*/, Phase) {}
    virtual void failed(const std::string& /*message*/) {}
};

// What one subject did on one case.
struct Measurement {
    std::string group;
    std::string input;
    std::string codec;
    bool peer = false;
    uint64_t original = 0;
    uint64_t compressed = 0;
    std::vector<double> compress_per_call;    // seconds, one per round
    std::vector<double> decompress_per_call;  // seconds, one per round
    std::string error;                        // empty when every round verified

    bool ok() const { return error.empty(); }
};

// Measurements in case order, and within a case in subject order.
std::vector<Measurement> run_cases(const std::vector<Case>& cases,
                                   const std::vector<Subject*>& subjects,
                                   const RunSettings& settings, Progress& progress);

}  // namespace vorlex::bench
