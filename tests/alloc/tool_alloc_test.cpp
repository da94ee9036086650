// The tool, run in-process, with its k-th allocation failing, for every k:
// each global operator new and each call of the host's memory functions
// (which libvorlex and the plug-ins allocate through) counts as one. At every
// k the run must either succeed with the right output, or exit 1 with a
// "vorlex: ... out of memory" message, leave no output or temporary file
// behind, and free everything it took.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
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

struct Counter {
    std::atomic<bool> armed{false};
    std::atomic<long> calls{0};
    long fail_at = 0;  // 1-based; 0 never
    std::atomic<long> live{0};
};
Counter counter;

bool fail_this_one() {
    return counter.armed.load() && counter.calls.fetch_add(1) + 1 == counter.fail_at;
}

void* host_alloc(void*, size_t n) {
    if (fail_this_one()) return nullptr;
    void* p = std::malloc(n != 0 ? n : 1);
    if (p != nullptr) ++counter.live;
    return p;
}

void host_free(void*, void* p) {
    --counter.live;
    std::free(p);
}

}  // namespace

void* operator new(size_t n) {
    if (fail_this_one()) throw std::bad_alloc();
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++counter.live;
    return p;
}
// Not inlined: gcc would otherwise see free() meet a pointer from new and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    --counter.live;
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

namespace fs = std::filesystem;
using vorlex::test::Bytes;

void write_file(const fs::path& p, const Bytes& b) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                             static_cast<std::streamsize>(b.size()));
}

struct Outcome {
    int status;
    long allocations;
    long leaked;
    std::string err;
};

// One run of the tool with the fail_at-th allocation failing; standard error
// goes to err_file and standard output (listings) away, through the
// descriptors, so nothing is allocated for them.
Outcome run_tool(const std::vector<std::string>& args, long fail_at, const fs::path& err_file) {
    std::fflush(stdout);
    const int saved_out = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
    const int saved = ::dup(STDERR_FILENO);
    const int fd = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
    const long live_before = counter.live.load();
    counter.calls = 0;
    counter.fail_at = fail_at;
    counter.armed = true;
    const int status = vorlex::cli::run_tool(args);
    counter.armed = false;
    const long leaked = counter.live.load() - live_before;
    std::fflush(stdout);
    ::dup2(saved_out, STDOUT_FILENO);
    ::close(saved_out);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    const Bytes e = vorlex::test::read_file(err_file);
    return {status, counter.calls.load(), leaked, std::string(e.begin(), e.end())};
}

class ToolAllocation : public ::testing::Test {
protected:
    void SetUp() override {
        vorlex_set_memory_functions(host_alloc, host_free, nullptr);
        dir_ = fs::temp_directory_path() / ("vorlex-tool-alloc-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "work");
        input_ = vorlex::test::mixed_bytes(9000, 3);
    }
    void TearDown() override {
        vorlex_set_memory_functions(nullptr, nullptr, nullptr);
        fs::remove_all(dir_);
    }

    std::vector<std::string> work_files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_ / "work")) {
            names.push_back(e.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
    Bytes input_;
};

TEST_F(ToolAllocation, EveryAllocationMayFail) {
    const fs::path in = dir_ / "work" / "in";
    const fs::path packed = dir_ / "work" / "in.vlx";
    const fs::path raw = dir_ / "work" / "in.qlz";
    const fs::path out = dir_ / "work" / "out";
    const fs::path err = dir_ / "stderr";
    const struct Case {
        const char* what;
        std::vector<std::string> args;
        const fs::path* result;  // the file a success writes, or nullptr
    } cases[] = {
        {"compress, quicklz, 1 thread",
         {"-q", "-B", "2K", "-T", "1", "-o", out, in}, &out},
        {"compress, brieflz, 2 threads",
         {"-q", "--codec", "brieflz", "-B", "2K", "-T", "2", "-o", out, in}, &out},
        {"decompress, 2 threads", {"-q", "-d", "-T", "2", "-o", out, packed}, &out},
        {"test, 1 thread", {"-q", "-t", "-T", "1", packed}, nullptr},
        {"raw compress, fari", {"-q", "--raw", "--codec", "fari", "-o", out, in}, &out},
        {"raw decompress, quicklz", {"-q", "--raw", "-d", "--codec", "quicklz", "-o", out, raw},
         &out},
        {"list", {"-l", packed}, nullptr},
    };
    int injected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir_ / "work");
        fs::create_directories(dir_ / "work");
        write_file(in, input_);
        ASSERT_EQ(run_tool({"-q", "-B", "2K", "-o", packed, in}, 0, err).status, 0);
        ASSERT_EQ(run_tool({"-q", "--raw", "-o", raw, in}, 0, err).status, 0);
        // A run with nothing failing, twice: the first may set up what
        // lives for the process (plug-ins, codec records).
        fs::remove(out);
        ASSERT_EQ(run_tool(c.args, 0, err).status, 0) << "first run";
        fs::remove(out);
        const Outcome clean = run_tool(c.args, 0, err);
        ASSERT_EQ(clean.status, 0) << clean.err;
        ASSERT_EQ(clean.leaked, 0);
        const Bytes expected = c.result != nullptr ? vorlex::test::read_file(*c.result) : Bytes();
        const std::vector<std::string> files = work_files();
        fs::remove(out);
        ASSERT_GT(clean.allocations, 0);

        for (long k = 1; k <= clean.allocations; ++k) {
            const Outcome o = run_tool(c.args, k, err);
            ++injected;
            EXPECT_EQ(o.leaked, 0) << "allocation " << k << " failed: leak";
            if (o.status == 0) {
                if (c.result != nullptr) {
                    EXPECT_EQ(vorlex::test::read_file(*c.result), expected) << "k=" << k;
                }
            } else {
                EXPECT_EQ(o.status, vorlex::cli::EXIT_FILE_FAILED) << "k=" << k << ": " << o.err;
                EXPECT_NE(o.err.find("vorlex: "), std::string::npos) << "k=" << k;
                EXPECT_NE(o.err.find("out of memory"), std::string::npos) << "k=" << k << ": "
                                                                          << o.err;
                std::vector<std::string> left = work_files();
                if (c.result != nullptr) {
                    EXPECT_FALSE(fs::exists(*c.result)) << "k=" << k << ": output left: " << o.err;
                }
                std::erase(left, "out");
                std::vector<std::string> want = files;
                std::erase(want, "out");
                EXPECT_EQ(left, want) << "k=" << k << ": files left behind";
            }
            fs::remove(out);
            if (::testing::Test::HasFailure()) return;
        }
    }
    std::printf("%d allocation failures injected into the tool\n", injected);
}

}  // namespace
