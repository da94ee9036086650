// Progress and failures on standard error. On a terminal, one line rewritten
// in place at most five times a second (file, codec, round, direction) and
// cleared at the end; otherwise one plain line per input and round, so logs
// show where a long run is without filling up. Failures always print.
#pragma once

#include <cstdio>
#include <string>

#include "runner.hpp"

namespace vorlex::bench {

class StderrProgress final : public Progress {
public:
    StderrProgress(std::FILE* err, bool quiet);
    ~StderrProgress() override { finish(); }

    void step(const Case& c, const Subject& s, int round, int rounds, Phase phase) override;
    void failed(const std::string& message) override;
    // A message that is neither progress nor failure ("skipped: empty").
    void note(const std::string& message);
    // Clears the progress line, if one is showing.
    void finish();

    int failures() const { return failures_; }

private:
    std::FILE* err_;
    bool quiet_;
    bool tty_;
    bool line_shown_ = false;
    double last_update_ = -1;
    std::string last_plain_;
    int failures_ = 0;
};

}  // namespace vorlex::bench
