// Benchmark (not a test): what the container costs over plain buffer
// compression, in memory, single-threaded, and what a second thread gains.
//
//   vorlex_container_bench FILE [CODEC] [ROUNDS]
//
// Rows, each the best of ROUNDS interleaved rounds: the whole file in one
// vorlex_compress call; 1 MiB blocks compressed where they lie; the same
// blocks first copied into a buffer (as reading a file block by block does),
// without any framing; the container writer on 1 and 2 threads. The
// difference between the copied blocks and the container is the framing and
// the checksums.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include <vorlex/vorlex.h>

#include "container.hpp"
#include "io.hpp"
#include "support/test_data.hpp"

using namespace vorlex::cli;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [CODEC] [ROUNDS]\n", argv[0]);
        return 2;
    }
    const char* name = argc > 2 ? argv[2] : "quicklz";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 9;
    vorlex_codec* codec = vorlex_get_codec(name);
    if (codec == nullptr) {
        std::fprintf(stderr, "%s\n", vorlex_get_codec_error(name));
        return 2;
    }
    const vorlex::test::Bytes in = vorlex::test::read_file(argv[1]);
    const size_t n = in.size();
    constexpr size_t BLOCK = 1u << 20;

    std::vector<uint8_t> whole_out(vorlex_get_max_compressed_size(codec, n) + 1);
    std::vector<uint8_t> block_in(BLOCK), block_out(vorlex_get_max_compressed_size(codec, BLOCK));
    std::memset(whole_out.data(), 0, whole_out.size());  // fault the pages in once
    size_t whole_size = 0, blocks_size = 0;
    uint64_t container_size = 0;

    const std::vector<std::pair<const char*, std::function<void()>>> rows = {
        {"whole buffer", [&] {
             size_t len = whole_out.size();
             vorlex_compress(codec, whole_out.data(), &len, in.data(), n, nullptr);
             whole_size = len;
         }},
        {"1 MiB blocks, in place", [&] {
             for (size_t at = 0; at < n; at += BLOCK) {
                 size_t len = block_out.size();
                 vorlex_compress(codec, block_out.data(), &len, in.data() + at,
                                 std::min(BLOCK, n - at), nullptr);
             }
         }},
        {"1 MiB blocks, copied in", [&] {
             blocks_size = 0;
             for (size_t at = 0; at < n; at += BLOCK) {
                 const size_t k = std::min(BLOCK, n - at);
                 std::memcpy(block_in.data(), in.data() + at, k);
                 size_t len = block_out.size();
                 const bool ok =
                     vorlex_compress(codec, block_out.data(), &len, block_in.data(), k, nullptr) > 0;
                 blocks_size += ok ? std::min(len, k) : k;
             }
         }},
        {"container, -T1", [&] {
             MemorySource source(in);
             NullSink sink;
             container_size = write_container(source, sink, {codec, BLOCK, 1}).compressed;
         }},
        {"container, -T2", [&] {
             MemorySource source(in);
             NullSink sink;
             write_container(source, sink, {codec, BLOCK, 2});
         }},
    };
    std::vector<double> best(rows.size(), 1e30);
    for (int r = 0; r < rounds; ++r) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            rows[i].second();
            const double s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            best[i] = std::min(best[i], s);
        }
    }
    std::printf("%s on %zu bytes, best of %d rounds (MB = 10^6 bytes)\n", name, n, rounds);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::printf("  %-26s %8.4f s %8.1f MB/s\n", rows[i].first, best[i], double(n) / 1e6 / best[i]);
    }
    std::printf("  sizes: whole %zu, blocks %zu, container %llu\n", whole_size, blocks_size,
                static_cast<unsigned long long>(container_size));
    std::printf("  framing + checksums: %+.2f%% over copied blocks, %+.2f%% over the whole buffer\n",
                100.0 * (best[3] / best[2] - 1), 100.0 * (best[3] / best[0] - 1));
    std::printf("  copying blocks in: %+.2f%%\n", 100.0 * (best[2] / best[1] - 1));
    std::printf("  -T2 over -T1: %.2fx\n", best[3] / best[4]);
    return 0;
}
