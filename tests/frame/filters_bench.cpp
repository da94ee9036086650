// Benchmark (not a test): the filter kernels on one block, in GB/s (10^9
// bytes of the block per second), the best of ROUNDS timings each.
//
//   vorlex_filters_bench [BLOCK_BYTES] [ROUNDS]
//
// Rows: each kernel table this processor runs (portable, sse2, avx2) and
// the usual typesizes; columns: each step of a filter, both ways. The block
// (1 MiB by default, the frames' default block size) holds small integers
// with noise, so that no step has a shortcut.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "frame/filters/filters.hpp"

namespace flt = vorlex::frame::filters;

namespace {

template <class F>
double best_seconds(int rounds, F&& step) {
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        step();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : size_t(1) << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
    if (n == 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: %s [BLOCK_BYTES] [ROUNDS]\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> in(n), out(n), temp(n), sums(n);
    uint32_t x = 26;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        in[i] = uint8_t((i % 4 == 0 ? 40 : 0) + (x >> 28));
    }
    std::printf("%zu-byte block, best of %d; GB/s\n", n, rounds);
    std::printf("%-8s %3s %8s %9s %10s %12s %12s %12s\n", "kernels", "ts", "shuffle", "unshuffle",
                "bitshuffle", "bitunshuffle", "delta_encode", "delta_decode");
    for (const char* kernels : {"portable", "sse2", "avx2"}) {
        if (!flt::use_kernels(kernels)) continue;
        for (const size_t ts : {2, 4, 8}) {
            auto speed = [&](auto&& step) { return double(n) / best_seconds(rounds, step) / 1e9; };
            const double s = speed([&] { flt::shuffle(in.data(), out.data(), n, ts); });
            const double u = speed([&] { flt::unshuffle(in.data(), out.data(), n, ts); });
            const double bs =
                speed([&] { flt::bitshuffle(in.data(), out.data(), n, ts, temp.data()); });
            const double bu =
                speed([&] { flt::bitunshuffle(in.data(), out.data(), n, ts, temp.data()); });
            const double de = speed([&] { flt::delta_encode(in.data(), out.data(), n, ts); });
            // In place: the sums grow from round to round, which costs nothing.
            std::copy(in.begin(), in.end(), sums.begin());
            const double dd = speed([&] { flt::delta_decode(sums.data(), n, ts); });
            std::printf("%-8s %3zu %8.1f %9.1f %10.1f %12.1f %12.1f %12.1f\n", kernels, ts, s, u,
                        bs, bu, de, dd);
        }
    }
    flt::use_kernels("");
    return 0;
}
