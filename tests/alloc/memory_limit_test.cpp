// The decoding memory limit, measured: every byte taken through the host's
// memory functions (the frame layer's block buffers, the codecs) and through
// operator new (the tool's buffers) is counted, and the peak of what is held
// at once must stay within the limit given to the library's frame reader,
// or to the tool's --memory, or the frame must be refused with
// VORLEX_STATUS_MEMORY_LIMIT. Blocks decode to twice a block's size in
// flight (payload and decoded bytes), so limits between one and two block
// sizes are where a reader could go over.
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/test_data.hpp"
#include "tool.hpp"

namespace {

struct Meter {
    std::atomic<bool> armed{false};
    std::atomic<int64_t> live{0};
    std::atomic<int64_t> peak{0};
};
Meter meter;

// Each block carries its size in front, so a release knows what it gave back.
constexpr size_t HEAD = 16;

void* take(size_t n) {
    auto* p = static_cast<uint8_t*>(std::malloc(n + HEAD));
    if (p == nullptr) return nullptr;
    *reinterpret_cast<size_t*>(p) = n;
    if (meter.armed.load()) {
        const int64_t now = meter.live.fetch_add(int64_t(n)) + int64_t(n);
        int64_t seen = meter.peak.load();
        while (now > seen && !meter.peak.compare_exchange_weak(seen, now)) {
        }
    }
    return p + HEAD;
}

void give(void* q) {
    if (q == nullptr) return;
    uint8_t* p = static_cast<uint8_t*>(q) - HEAD;
    if (meter.armed.load()) meter.live.fetch_sub(int64_t(*reinterpret_cast<size_t*>(p)));
    std::free(p);
}

void* host_alloc(void*, size_t n) { return take(n); }
void host_free(void*, void* p) { give(p); }

}  // namespace

void* operator new(size_t n) {
    void* p = take(n);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
[[gnu::noinline]] void operator delete(void* p) noexcept { give(p); }
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { give(p); }

namespace {

namespace fs = std::filesystem;
using vorlex::test::Bytes;

constexpr size_t KiB = 1024, MiB = 1024 * 1024;

// Frames of compressible data (so that blocks decode into buffers of their
// own), one per block size given, concatenated.
Bytes frames(const std::vector<size_t>& block_sizes, size_t each) {
    vorlex_codec* lzjb = vorlex_get_codec("lzjb");
    EXPECT_NE(lzjb, nullptr);
    Bytes all;
    for (size_t block_size : block_sizes) {
        const Bytes data = vorlex::test::text_bytes(each, uint32_t(block_size));
        Bytes frame(vorlex_frame_compress_bound(lzjb, each, block_size));
        size_t n = frame.size();
        EXPECT_EQ(vorlex_frame_compress(lzjb, block_size, frame.data(), &n, data.data(), each),
                  VORLEX_STATUS_OK);
        all.insert(all.end(), frame.begin(), frame.begin() + std::ptrdiff_t(n));
    }
    return all;
}

struct Measured {
    vorlex_status status;
    int64_t peak;
};

// The streaming reader over the whole input, in 64 KiB pieces each way.
Measured read_frames(const Bytes& in, unsigned threads, size_t limit) {
    std::vector<uint8_t> out(64 * KiB);
    meter.live = 0;
    meter.peak = 0;
    meter.armed = true;
    vorlex_frame_reader* reader = nullptr;
    vorlex_status st = vorlex_frame_reader_new(threads, limit, 0, &reader);
    size_t at = 0;
    while (st > 0) {
        const size_t n = std::min(in.size() - at, 64 * KiB);
        vorlex_frame_buffers b{in.data() + at, n, out.data(), out.size()};
        const vorlex_operation op = at + n == in.size() ? VORLEX_OPERATION_FINISH
                                                        : VORLEX_OPERATION_PROCESS;
        do {
            b.out_next = out.data();
            b.out_avail = out.size();
            st = vorlex_frame_reader_process(reader, &b, op);
        } while (st == VORLEX_STATUS_PROCESSING || (st > 0 && b.in_avail != 0));
        at += n;
        if (op == VORLEX_OPERATION_FINISH) break;
    }
    vorlex_frame_reader_free(reader);
    meter.armed = false;
    return {st, meter.peak.load()};
}

class MemoryLimit : public ::testing::Test {
protected:
    void SetUp() override { vorlex_set_memory_functions(host_alloc, host_free, nullptr); }
    void TearDown() override { vorlex_set_memory_functions(nullptr, nullptr, nullptr); }
};

TEST_F(MemoryLimit, ReaderStaysWithinItsLimitOrRefuses) {
    const Bytes mib_blocks = frames({MiB}, 4 * MiB);
    const Bytes mixed = frames({256 * KiB, MiB, 128 * KiB}, 2 * MiB);
    const struct Case {
        const char* what;
        const Bytes& in;
        unsigned threads;
        size_t limit;
        bool fits;
    } cases[] = {
        {"one block's worth, 1 thread", mib_blocks, 1, 2 * MiB + 4 * KiB, true},
        {"one block's worth, 4 threads", mib_blocks, 4, 2 * MiB + 4 * KiB, true},
        {"two and a half blocks, 4 threads", mib_blocks, 4, 5 * MiB, true},
        {"between one and two block sizes, 1 thread", mib_blocks, 1, 3 * MiB / 2, false},
        {"between one and two block sizes, 2 threads", mib_blocks, 2, 3 * MiB / 2, false},
        {"small blocks, then larger, then smaller, 4 threads", mixed, 4, 3 * MiB, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Measured m = read_frames(c.in, c.threads, c.limit);
        if (c.fits) {
            EXPECT_EQ(m.status, VORLEX_STATUS_OK) << vorlex_frame_last_error();
        } else {
            EXPECT_EQ(m.status, VORLEX_STATUS_MEMORY_LIMIT);
            EXPECT_NE(std::string(vorlex_frame_last_error()).find("over the memory limit of"),
                      std::string::npos)
                << vorlex_frame_last_error();
        }
        // The codecs' own working memory comes on top (lzjb: none).
        EXPECT_LE(m.peak, int64_t(c.limit));
    }
}

// The tool in-process: --memory covers its own buffers too.
TEST_F(MemoryLimit, ToolStaysWithinMemoryOrRefuses) {
    const fs::path dir = fs::temp_directory_path() / ("vorlex-memory-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path in = dir / "in.vlx", out = dir / "out", err = dir / "err";
    const Bytes packed = frames({MiB}, 4 * MiB);
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(packed.data()), std::streamsize(packed.size()));
    const struct Case {
        const char* threads;
        const char* memory;
        size_t limit;
        bool fits;
    } cases[] = {
        {"1", "3M", 3 * MiB, true},   {"2", "3M", 3 * MiB, true},
        {"4", "7M", 7 * MiB, true},   {"1", "8M", 8 * MiB, true},  // output grows to a block
        {"1", "2M", 2 * MiB, false},  {"3", "2M", 2 * MiB, false},
    };
    auto run = [&](const std::vector<std::string>& args) {
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        std::FILE* f = std::fopen(err.c_str(), "w");
        dup2(fileno(f), STDERR_FILENO);
        std::fclose(f);
        const int status = vorlex::cli::run_tool(args);
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        const Bytes e = vorlex::test::read_file(err);
        return std::pair(status, std::string(e.begin(), e.end()));
    };
    run({"-q", "-t", in});  // loads the plug-ins, which live as long as the process
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("-T") + c.threads + " --memory=" + c.memory);
        fs::remove(out);
        meter.live = 0;
        meter.peak = 0;
        meter.armed = true;
        const auto [status, text] =
            run({"-q", "-d", "-T", c.threads, std::string("--memory=") + c.memory, "-o", out, in});
        meter.armed = false;
        if (c.fits) {
            EXPECT_EQ(status, 0) << text;
        } else {
            EXPECT_EQ(status, vorlex::cli::EXIT_FILE_FAILED);
            EXPECT_NE(text.find("raise it with --memory=SIZE"), std::string::npos) << text;
        }
        // Names, options and messages besides the buffers: a few KiB.
        EXPECT_LE(meter.peak.load(), int64_t(c.limit)) << text;
    }
    fs::remove_all(dir);
}

}  // namespace
