// The arithmetic of a benchmark: the clock, timing a call repeatedly until a
// round has lasted long enough, the median of rounds, and the figures derived
// from sizes and times (ratio, MB/s, speed relative to a peer). Running the
// rounds over inputs and codecs is runner.hpp's job; printing is render.hpp's.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vorlex::bench {

// Seconds from an arbitrary origin. The runner uses steady_seconds; tests
// pass a clock they advance themselves.
using Clock = double (*)();
double steady_seconds();

// One round of one direction: how many calls ran and how long they took.
struct CallTiming {
    double seconds = 0;
    uint64_t calls = 0;
    double per_call() const { return calls == 0 ? 0 : seconds / double(calls); }
};

// How many calls the next batch of a round should make, given what the round
// has done so far. Batches double, so reading the clock costs little even for
// calls of a few nanoseconds, but stop short of overshooting the round's
// minimum by much: the estimate aims 10% past it.
uint64_t next_batch(const CallTiming& so_far, uint64_t last_batch, double min_seconds);

// Calls call() in batches until at least min_seconds have passed (at least one
// call, even for min_seconds <= 0). Returns false as soon as a call returns
// false; out then holds the calls made so far.
template <class Call>
bool time_calls(Call&& call, double min_seconds, Clock now, CallTiming& out) {
    out = {};
    uint64_t batch = 1;
    for (;;) {
        const double start = now();
        for (uint64_t i = 0; i < batch; ++i) {
            if (!call()) {
                out.seconds += now() - start;
                out.calls += i;
                return false;
            }
        }
        out.seconds += now() - start;
        out.calls += batch;
        if (out.seconds >= min_seconds) return true;
        batch = next_batch(out, batch, min_seconds);
    }
}

// The middle value; the mean of the two middle values for an even count; 0
// for none. Takes a copy: the caller's order is kept.
double median(std::vector<double> values);

// Original bytes per compressed byte; 0 when nothing was compressed.
double compression_ratio(uint64_t original, uint64_t compressed);

// Megabytes (10^6 bytes) per second; 0 when no time was measured.
double mb_per_second(uint64_t bytes, double seconds);

// How fast `ours` is relative to `reference`: a speed over a speed, both over
// the same bytes. Empty when the reference speed is unknown or zero.
std::optional<double> speed_ratio(double ours_mb_s, double reference_mb_s);

}  // namespace vorlex::bench
