// The lzjb binding against the fake host: the entry point's name check and
// slots, the worst-case size, and how each coder result becomes a status and
// an in/out length (and whether it went through vorlex_error).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lzjb_test_util.hpp"
#include "support/fake_host.hpp"

namespace {

using lzjb_test::Bytes;
using lzjb_test::hex;

vorlex_codec_funcs lzjb_funcs() {
    vorlex_codec_funcs f;
    EXPECT_EQ(fake_host::init("lzjb", f), VORLEX_STATUS_OK);
    return f;
}

TEST(LzjbEntry, FillsExactlyItsThreeSlots) {
    fake_host::reset();
    vorlex_codec_funcs f = lzjb_funcs();
    EXPECT_NE(f.decompress_buffer, nullptr);
    EXPECT_NE(f.compress_buffer, nullptr);
    EXPECT_NE(f.get_max_compressed_size, nullptr);
    // Everything else still holds the fake host's fill pattern.
    f.decompress_buffer = f.compress_buffer = nullptr;
    f.get_max_compressed_size = nullptr;
    vorlex_codec_funcs want = fake_host::untouched_table();
    want.decompress_buffer = want.compress_buffer = nullptr;
    want.get_max_compressed_size = nullptr;
    EXPECT_EQ(std::memcmp(&f, &want, sizeof f), 0);
    EXPECT_EQ(fake_host::counters().errors, 0);
}

TEST(LzjbEntry, OnlyTheExactNameMatches) {
    for (const char* name : {"lzj", "lzjbb", "LZJB", "Lzjb", "", "lzjb "}) {
        fake_host::reset();
        vorlex_codec_funcs f;
        EXPECT_EQ(fake_host::init(name, f), VORLEX_STATUS_NO_SUCH_CODEC) << name;
        const vorlex_codec_funcs untouched = fake_host::untouched_table();
        EXPECT_EQ(std::memcmp(&f, &untouched, sizeof f), 0) << name;
        EXPECT_EQ(fake_host::counters().errors, 1) << "through vorlex_error: " << name;
    }
}

TEST(LzjbBinding, MaxCompressedSize) {
    const vorlex_codec_funcs f = lzjb_funcs();
    const size_t cases[][2] = {{0, 16}, {1, 18},  {7, 24},  {8, 25},
                               {9, 27}, {16, 34}, {17, 36}, {100, 129}};
    for (const auto& [n, want] : cases) EXPECT_EQ(f.get_max_compressed_size(nullptr, n), want) << n;
}

TEST(LzjbBinding, CompressStatusesAndLengths) {
    const vorlex_codec_funcs f = lzjb_funcs();
    const struct {
        std::string input;
        size_t capacity;
        vorlex_status want;
        size_t length;  // after the call
    } cases[] = {
        {"abcabcabc", 27, VORLEX_STATUS_OK, 11}, {"abcabcabc", 26, VORLEX_STATUS_FAILED, 0},
        {"a", 18, VORLEX_STATUS_OK, 2},          {"a", 17, VORLEX_STATUS_FAILED, 0},
        {"a", 0, VORLEX_STATUS_FAILED, 0},       {"", 100, VORLEX_STATUS_FAILED, 0},
        {"", 0, VORLEX_STATUS_FAILED, 0},
    };
    for (const auto& t : cases) {
        fake_host::reset();
        Bytes out(100);
        size_t len = t.capacity;
        EXPECT_EQ(f.compress_buffer(nullptr, &len, out.data(), t.input.size(),
                                    reinterpret_cast<const uint8_t*>(t.input.data()), nullptr),
                  t.want)
            << t.input << " " << t.capacity;
        EXPECT_EQ(len, t.length);
        EXPECT_EQ(fake_host::counters().errors, t.want == VORLEX_STATUS_OK ? 0 : 1);
    }
}

TEST(LzjbBinding, DecompressStatusesAndLengths) {
    const vorlex_codec_funcs f = lzjb_funcs();
    const struct {
        const char* stream;
        size_t capacity;
        vorlex_status want;
        size_t length;  // after the call
    } cases[] = {
        {"", 7, VORLEX_STATUS_OK, 0},
        {"02 61 00 01", 4, VORLEX_STATUS_OK, 4},
        {"02 61 00 01", 9, VORLEX_STATUS_OK, 4},
        {"02 61 00 01", 3, VORLEX_STATUS_OUTPUT_FULL, 3},  // one byte short
        {"01 00", 9, VORLEX_STATUS_OUTPUT_FULL, 9},        // cut inside an item
        {"02 61 00 02", 9, VORLEX_STATUS_FAILED, 9},       // before the output start
        {"02 61 00 00", 9, VORLEX_STATUS_FAILED, 9},       // offset 0
    };
    for (const auto& t : cases) {
        fake_host::reset();
        const Bytes in = hex(t.stream);
        Bytes out(16);
        size_t len = t.capacity;
        EXPECT_EQ(f.decompress_buffer(nullptr, &len, out.data(), in.size(), in.data(), nullptr),
                  t.want)
            << t.stream << " " << t.capacity;
        EXPECT_EQ(len, t.length) << t.stream;
        EXPECT_EQ(fake_host::counters().errors, 0) << "returned directly: " << t.stream;
    }
}

}  // namespace
