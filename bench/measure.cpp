// Timing and the derived figures. Speeds are in MB/s of original (uncompressed)
// bytes in both directions, so compression and decompression compare directly.
#include "measure.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace vorlex::bench {

double steady_seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

uint64_t next_batch(const CallTiming& so_far, uint64_t last_batch, double min_seconds) {
    const uint64_t doubled = last_batch > UINT64_MAX / 2 ? UINT64_MAX : last_batch * 2;
    const double per_call = so_far.per_call();
    // A clock too coarse to see the calls so far: keep doubling until it does.
    if (per_call <= 0) return doubled;
    const double wanted = (min_seconds - so_far.seconds) * 1.1 / per_call;
    if (!(wanted < double(doubled))) return doubled;
    return std::max<uint64_t>(1, uint64_t(std::ceil(wanted)));
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + ptrdiff_t(mid), values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + ptrdiff_t(mid));
    return (lower + upper) / 2;
}

double compression_ratio(uint64_t original, uint64_t compressed) {
    return compressed == 0 ? 0 : double(original) / double(compressed);
}

double mb_per_second(uint64_t bytes, double seconds) {
    return seconds > 0 ? double(bytes) / seconds / 1e6 : 0;
}

std::optional<double> speed_ratio(double ours_mb_s, double reference_mb_s) {
    if (!(reference_mb_s > 0)) return std::nullopt;
    return ours_mb_s / reference_mb_s;
}

}  // namespace vorlex::bench
