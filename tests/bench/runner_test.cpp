// The benchmark loop with fake codecs and a ticking clock: round-by-round
// interleaving, and every way a codec can be wrong that must end in an error
// instead of a row.
#include <gtest/gtest.h>

#include <cstring>

#include "buffer.hpp"
#include "runner.hpp"

namespace vorlex::bench {
namespace {

// Every reading of the clock moves it 1 ms on: rounds end quickly and
// deterministically.
double ticks = 0;
double ticking_clock() { return ticks += 0.001; }

enum class Fault {
    none,
    compress_fails,      // compression reports failure
    decompress_fails,    // decompression reports failure
    flips_a_byte,        // decompression returns wrong data
    short_output,        // decompression returns one byte too few
    overruns,            // decompression writes one byte past its output
    overruns_packed,     // compression writes one byte past its capacity
    unstable_size,       // compression's size changes between calls
    lazy,                // decompression stops writing but still reports success
};

// An identity codec that logs its calls and turns faulty from its n-th call
// of the faulty direction on (counting from 1).
class FakeCodec final : public Subject {
public:
    FakeCodec(std::string name, std::vector<std::string>& log, Fault fault = Fault::none,
              int from_call = 1)
        : Subject(std::move(name), false), log_(log), fault_(fault), from_(from_call) {}

    size_t compress_capacity(size_t n) const override { return n + 1; }

    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        note("c");
        const bool faulty = ++compressions_ >= from_;
        if (faulty && fault_ == Fault::compress_fails) return "refused";
        std::memcpy(out.data(), in.data(), in.size());
        produced = in.size();
        if (faulty && fault_ == Fault::unstable_size) produced -= 1;
        if (faulty && fault_ == Fault::overruns_packed) out.data()[out.size()] = 0;
        return nullptr;
    }

    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        note("d");
        const bool faulty = ++decompressions_ >= from_;
        if (faulty && fault_ == Fault::decompress_fails) return "corrupt";
        produced = in.size();
        if (faulty && fault_ == Fault::lazy) return nullptr;
        std::memcpy(out.data(), in.data(), in.size());
        if (faulty && fault_ == Fault::flips_a_byte) out[in.size() / 2] ^= 1;
        if (faulty && fault_ == Fault::short_output) produced -= 1;
        if (faulty && fault_ == Fault::overruns) out.data()[out.size()] = 0;
        return nullptr;
    }

private:
    // Consecutive calls in one direction collapse into one entry.
    void note(const char* direction) {
        const std::string entry = name() + ":" + direction;
        if (log_.empty() || log_.back() != entry) log_.push_back(entry);
    }

    std::vector<std::string>& log_;
    Fault fault_;
    int from_;
    int compressions_ = 0;
    int decompressions_ = 0;
};

class RecordingProgress final : public Progress {
public:
    void failed(const std::string& message) override { failures.push_back(message); }
    std::vector<std::string> failures;
};

Buffer sample(size_t n) {
    Buffer b(n);
    for (size_t i = 0; i < n; ++i) b.data()[i] = uint8_t(i * 7 + i / 13);
    return b;
}

RunSettings quick(int rounds) {
    RunSettings s;
    s.rounds = rounds;
    s.min_time = 0.005;
    s.clock = ticking_clock;
    return s;
}

TEST(Runner, InterleavesSubjectsRoundByRound) {
    const Buffer in = sample(1000);
    std::vector<std::string> log;
    FakeCodec a("a", log), b("b", log);
    RecordingProgress progress;
    const auto ms = run_cases({{"f", "f", in.view()}}, {&a, &b}, quick(2), progress);

    // The verification pass, then each round visits a and b in turn.
    const std::vector<std::string> once = {"a:c", "a:d", "b:c", "b:d"};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), once.begin(), once.end());
    EXPECT_EQ(log, expected);

    ASSERT_EQ(ms.size(), 2u);
    for (const Measurement& m : ms) {
        EXPECT_TRUE(m.ok()) << m.error;
        EXPECT_EQ(m.original, 1000u);
        EXPECT_EQ(m.compressed, 1000u);
        EXPECT_EQ(m.compress_per_call.size(), 2u);
        EXPECT_EQ(m.decompress_per_call.size(), 2u);
        for (double t : m.compress_per_call) EXPECT_GT(t, 0);
    }
    EXPECT_TRUE(progress.failures.empty());
}

TEST(Runner, CasesRunInOrderEachWithAllSubjects) {
    const Buffer in = sample(4096);
    std::vector<std::string> log;
    FakeCodec a("a", log);
    RecordingProgress progress;
    const auto ms = run_cases({{"256 B", "x", in.view().first(256)}, {"4 KiB", "x", in.view()}},
                              {&a}, quick(1), progress);
    ASSERT_EQ(ms.size(), 2u);
    EXPECT_EQ(ms[0].group, "256 B");
    EXPECT_EQ(ms[0].original, 256u);
    EXPECT_EQ(ms[1].group, "4 KiB");
    EXPECT_EQ(ms[1].original, 4096u);
}

TEST(Runner, AFaultyCodecGetsAnErrorAndNoFiguresWhileOthersCarryOn) {
    struct Case {
        Fault fault;
        int from_call;  // 1: caught by the verification pass; 2 or 3: in a timed round
        const char* message;
    } cases[] = {
        {Fault::compress_fails, 1, "compression failed: refused"},
        {Fault::compress_fails, 2, "compression failed: refused"},
        {Fault::decompress_fails, 1, "decompression failed: corrupt"},
        {Fault::decompress_fails, 3, "decompression failed: corrupt"},
        {Fault::flips_a_byte, 1, "differs from the input at byte 500"},
        {Fault::flips_a_byte, 2, "differs from the input at byte 500"},
        {Fault::short_output, 2, "decompressed 999 bytes, expected 1000"},
        {Fault::overruns, 1, "wrote past the end of its output buffer"},
        {Fault::overruns, 2, "wrote past the end of its output buffer"},
        {Fault::overruns_packed, 1, "wrote past the end of its output buffer"},
        {Fault::unstable_size, 2, "compressed size changed between calls: 1000 then 999"},
        {Fault::lazy, 2, "differs from the input at byte 1"},
    };
    const Buffer in = sample(1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + std::string(" from call ") + std::to_string(c.from_call));
        std::vector<std::string> log;
        FakeCodec bad("bad", log, c.fault, c.from_call), good("good", log);
        RecordingProgress progress;
        const auto ms = run_cases({{"f", "f", in.view()}}, {&bad, &good}, quick(3), progress);
        ASSERT_EQ(ms.size(), 2u);
        EXPECT_FALSE(ms[0].ok());
        EXPECT_NE(ms[0].error.find(c.message), std::string::npos) << ms[0].error;
        EXPECT_TRUE(ms[0].compress_per_call.empty());
        EXPECT_TRUE(ms[0].decompress_per_call.empty());
        ASSERT_EQ(progress.failures.size(), 1u);
        EXPECT_EQ(progress.failures[0], "f: bad: " + ms[0].error);
        EXPECT_TRUE(ms[1].ok()) << ms[1].error;
        EXPECT_EQ(ms[1].compress_per_call.size(), 3u);
    }
}

TEST(Buffer, StartsAlignedForLzjbAndGuardsItsEnd) {
    for (size_t n : {0, 1, 1000, 4096, 70000}) {
        Buffer b(n);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b.data()) % 1024, 0u) << n;
        EXPECT_EQ(b.size(), n);
        EXPECT_TRUE(b.guard_intact());
        b.data()[n + Buffer::GUARD_BYTES - 1] = 0;
        EXPECT_FALSE(b.guard_intact());
    }
}

}  // namespace
}  // namespace vorlex::bench
