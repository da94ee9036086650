#include "progress.hpp"

#include <unistd.h>

#include "measure.hpp"

namespace vorlex::bench {

StderrProgress::StderrProgress(std::FILE* err, bool quiet)
    : err_(err), quiet_(quiet), tty_(isatty(fileno(err)) != 0) {}

void StderrProgress::step(const Case& c, const Subject& s, int round, int rounds, Phase phase) {
    if (quiet_) return;
    const std::string what = c.group == c.name ? c.name : c.group + ": " + c.name;
    if (!tty_) {
        const std::string line = round == 0 ? what + ": verifying"
                                            : what + ": round " + std::to_string(round) + "/" +
                                                  std::to_string(rounds);
        if (line != last_plain_) {
            std::fprintf(err_, "bench: %s\n", line.c_str());
            last_plain_ = line;
        }
        return;
    }
    const double now = steady_seconds();
    if (last_update_ >= 0 && now - last_update_ < 0.2) return;
    last_update_ = now;
    const char* dir = phase == Phase::verify     ? "verify"
                      : phase == Phase::compress ? "compress"
                                                 : "decompress";
    std::fprintf(err_, "\rbench: %s: %s: round %d/%d: %s\x1b[K", what.c_str(), s.name().c_str(),
                 round, rounds, dir);
    std::fflush(err_);
    line_shown_ = true;
}

void StderrProgress::failed(const std::string& message) {
    ++failures_;
    note(message);
}

void StderrProgress::note(const std::string& message) {
    finish();
    std::fprintf(err_, "vorlex bench: %s\n", message.c_str());
    std::fflush(err_);
}

void StderrProgress::finish() {
    if (!line_shown_) return;
    std::fprintf(err_, "\r\x1b[K");
    std::fflush(err_);
    line_shown_ = false;
}

}  // namespace vorlex::bench
