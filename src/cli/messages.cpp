// Error, summary and progress output.
#include "messages.hpp"

#include <unistd.h>

#include <cstdio>

namespace vorlex::cli {

namespace {
// A file shows progress once it has taken this long, unless forced.
constexpr auto FIRST_UPDATE = std::chrono::milliseconds(500);
constexpr auto UPDATE_INTERVAL = std::chrono::milliseconds(200);
}  // namespace

void Reporter::error(const std::string& file, const std::string& what) const {
    std::fprintf(stderr, "vorlex: %s: %s\n", file.c_str(), what.c_str());
}

void Reporter::note(const std::string& file, const std::string& what) const {
    if (verbosity_ >= 1) std::fprintf(stderr, "vorlex: %s: %s\n", file.c_str(), what.c_str());
}

void Reporter::summary(const std::string& line) const {
    if (verbosity_ >= 2) std::fprintf(stderr, "%s\n", line.c_str());
}

bool Reporter::progress_allowed() const {
    if (verbosity_ == 0 || progress_ == ProgressMode::never) return false;
    return progress_ == ProgressMode::always || ::isatty(STDERR_FILENO);
}

void usage_error(const std::string& what) {
    std::fprintf(stderr, "vorlex: %s\nTry 'vorlex --help' for more information.\n",
                 what.c_str());
}

std::string format_mib(uint64_t bytes) {
    char s[32];
    std::snprintf(s, sizeof s, "%.1f MiB", double(bytes) / (1024.0 * 1024.0));
    return s;
}

std::string format_ratio(uint64_t original, uint64_t compressed) {
    if (compressed == 0) return "-";
    char s[32];
    std::snprintf(s, sizeof s, "%.3f", double(original) / double(compressed));
    return s;
}

double megabytes_per_second(uint64_t bytes, double seconds) {
    return seconds > 0 ? double(bytes) / 1e6 / seconds : 0.0;
}

ProgressMeter::ProgressMeter(const Reporter& reporter, std::string label, uint64_t total,
                             bool compressing)
    : enabled_(reporter.progress_allowed()),
      label_(std::move(label)),
      total_(total),
      compressing_(compressing),
      start_(Clock::now()),
      next_(start_ + (reporter.progress_forced() ? Clock::duration::zero() : FIRST_UPDATE)) {}

ProgressMeter::~ProgressMeter() {
    if (shown_) std::fputs("\r\033[K", stderr);
}

void ProgressMeter::update(uint64_t consumed, uint64_t produced) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now < next_) return;
    next_ = now + UPDATE_INTERVAL;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = "\r\033[K" + label_ + ": " + format_mib(consumed);
    if (total_ != 0) {
        char pct[32];
        std::snprintf(pct, sizeof pct, " (%d%%)", int(100.0 * double(consumed) / double(total_)));
        line += " of " + format_mib(total_) + pct;
    }
    char rate[64];
    std::snprintf(rate, sizeof rate, ", %.1f MB/s, ratio ", megabytes_per_second(consumed, seconds));
    line += rate;
    line += compressing_ ? format_ratio(consumed, produced) : format_ratio(produced, consumed);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace vorlex::cli
