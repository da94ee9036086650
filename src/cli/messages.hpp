// What the tool tells people, all on standard error: errors as
// "vorlex: FILE: reason", usage errors with a pointer to --help, the -v
// summary lines, and the progress line (terminal only, at most 5 updates a
// second, cleared when the file is done). Standard output carries data only.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "options.hpp"

namespace vorlex::cli {

class Reporter {
public:
    Reporter(int verbosity, ProgressMode progress) : verbosity_(verbosity), progress_(progress) {}

    void error(const std::string& file, const std::string& what) const;
    // "vorlex: FILE: what" for a file left alone on purpose; not with -q.
    void note(const std::string& file, const std::string& what) const;
    void summary(const std::string& line) const;
    // Whether a progress line may be shown, and whether right away (forced)
    // or only for files that take a while.
    bool progress_allowed() const;
    bool progress_forced() const { return progress_ == ProgressMode::always; }

private:
    int verbosity_;
    ProgressMode progress_;
};

void usage_error(const std::string& what);

class ProgressMeter {
public:
    // total: bytes the input holds, or 0 when unknown. compressing tells
    // which side of the ratio is the original.
    ProgressMeter(const Reporter& reporter, std::string label, uint64_t total, bool compressing);
    ~ProgressMeter();
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    void update(uint64_t consumed, uint64_t produced);

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    std::string label_;
    uint64_t total_;
    bool compressing_;
    bool shown_ = false;
    Clock::time_point start_, next_;
};

// "12.3 MB/s" style figures shared by progress and summaries.
std::string format_mib(uint64_t bytes);
std::string format_ratio(uint64_t original, uint64_t compressed);
double megabytes_per_second(uint64_t bytes, double seconds);

}  // namespace vorlex::cli
