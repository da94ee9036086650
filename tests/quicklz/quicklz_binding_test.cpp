// The quicklz binding against the fake host: the entry point's slots and name
// check, and every status of the buffer callbacks with what they leave in the
// length (capacity checks before any work, header checks before decoding).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "quicklz_test_util.hpp"
#include "support/fake_host.hpp"
#include "support/test_data.hpp"

namespace {

using namespace qlz_test;

vorlex_codec_funcs quicklz_funcs() {
    vorlex_codec_funcs f;
    EXPECT_EQ(fake_host::init("quicklz", f), VORLEX_STATUS_OK);
    return f;
}

// want_len for a callback that must leave the length as it was.
constexpr size_t UNTOUCHED = SIZE_MAX;

TEST(QuicklzEntry, FillsItsFourSlotsOnly) {
    fake_host::reset();
    const vorlex_codec_funcs f = quicklz_funcs();
    vorlex_codec_funcs want = fake_host::untouched_table();
    want.decompress_buffer = f.decompress_buffer;
    want.compress_buffer = f.compress_buffer;
    want.get_uncompressed_size = f.get_uncompressed_size;
    want.get_max_compressed_size = f.get_max_compressed_size;
    EXPECT_EQ(std::memcmp(&f, &want, sizeof f), 0) << "info_flags and other slots untouched";
    for (const void* slot : {(const void*)f.decompress_buffer, (const void*)f.compress_buffer,
                             (const void*)f.get_uncompressed_size,
                             (const void*)f.get_max_compressed_size}) {
        EXPECT_NE(slot, nullptr);
    }
    EXPECT_EQ(fake_host::counters().errors, 0);
}

TEST(QuicklzEntry, OnlyTheExactNameMatches) {
    for (const char* name : {"quicklzz", "quickl", "QuickLZ", "", "quicklz "}) {
        fake_host::reset();
        vorlex_codec_funcs f;
        EXPECT_EQ(fake_host::init(name, f), VORLEX_STATUS_NO_SUCH_CODEC) << name;
        const vorlex_codec_funcs untouched = fake_host::untouched_table();
        EXPECT_EQ(std::memcmp(&f, &untouched, sizeof f), 0) << name;
        EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_NO_SUCH_CODEC);
    }
}

TEST(QuicklzBinding, MaxCompressedSizeAddsTheFixedReserve) {
    const vorlex_codec_funcs f = quicklz_funcs();
    for (size_t n : {size_t(0), size_t(1), size_t(215), size_t(1) << 32}) {
        EXPECT_EQ(f.get_max_compressed_size(nullptr, n), n + 400);
    }
}

TEST(QuicklzBinding, CompressChecksCapacityThenRuns) {
    const vorlex_codec_funcs f = quicklz_funcs();
    const Bytes text = vorlex::test::text_bytes(1000, 1);
    const struct {
        const char* why;
        size_t n, capacity;
        vorlex_status want;
    } cases[] = {
        {"worst-case capacity", 1000, 1400, VORLEX_STATUS_OK},
        {"more than enough", 1000, 5000, VORLEX_STATUS_OK},
        {"one short of the worst case, though the block would fit", 1000, 1399,
         VORLEX_STATUS_OUTPUT_FULL},
        {"capacity below the input", 1000, 10, VORLEX_STATUS_OUTPUT_FULL},
        {"empty input has no block", 0, 400, VORLEX_STATUS_FAILED},
        {"empty input, too little room", 0, 399, VORLEX_STATUS_OUTPUT_FULL},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.why);
        fake_host::reset();
        Bytes out(t.capacity + 1, 0xEE);
        size_t len = t.capacity;
        EXPECT_EQ(f.compress_buffer(nullptr, &len, out.data(), t.n, text.data(), nullptr), t.want);
        if (t.want == VORLEX_STATUS_OK) {
            EXPECT_EQ(len, qlz_size_compressed(reinterpret_cast<const char*>(out.data())));
            EXPECT_LT(len, t.n) << "text compresses";
            EXPECT_EQ(fake_host::counters().errors, 0);
        } else {
            EXPECT_EQ(fake_host::counters().errors, 1);
            EXPECT_EQ(fake_host::counters().last_error, t.want);
            // A refused capacity leaves the length; a failed run stores 0.
            EXPECT_EQ(len, t.want == VORLEX_STATUS_OUTPUT_FULL ? t.capacity : 0u);
            if (t.want == VORLEX_STATUS_OUTPUT_FULL) {
                EXPECT_EQ(out[0], 0xEE);
            }
        }
        EXPECT_EQ(fake_host::counters().mallocs, 0) << "state lives in the frame";
    }
}

TEST(QuicklzBinding, DecompressChecksHeaderAndCapacityFirst) {
    const vorlex_codec_funcs f = quicklz_funcs();
    const Bytes text = vorlex::test::text_bytes(300, 2);
    Bytes block(700);
    size_t block_len = block.size();
    ASSERT_EQ(f.compress_buffer(nullptr, &block_len, block.data(), text.size(), text.data(),
                                nullptr),
              VORLEX_STATUS_OK);
    block.resize(block_len);
    Bytes missing_source = short_block(13, body_of(std::vector<Item>{token(hash_of("abc"), 5)} +
                                                   lits("xxxxxxxx")));

    const struct {
        const char* why;
        Bytes in;
        size_t in_len, capacity;
        vorlex_status want;
        size_t want_len;  // the length afterwards
    } cases[] = {
        {"valid block, exact capacity", block, block.size(), 300, VORLEX_STATUS_OK, 300},
        {"valid block, larger capacity", block, block.size(), 1000, VORLEX_STATUS_OK, 300},
        {"trailing bytes after the block are ignored", block + Bytes(5, 0), block.size() + 5, 300,
         VORLEX_STATUS_OK, 300},
        {"capacity one byte short", block, block.size(), 299, VORLEX_STATUS_OUTPUT_FULL,
         UNTOUCHED},
        {"block shorter than its total", block, block.size() - 1, 300,
         VORLEX_STATUS_INPUT_TRUNCATED, UNTOUCHED},
        {"long header cut to 8 bytes", block, 8, 300, VORLEX_STATUS_INPUT_TRUNCATED, UNTOUCHED},
        {"short header cut to 2 bytes", from_hex("450c01"), 2, 300,
         VORLEX_STATUS_INPUT_TRUNCATED, UNTOUCHED},
        {"no bytes at all", Bytes{}, 0, 300, VORLEX_STATUS_INPUT_TRUNCATED, UNTOUCHED},
        {"damaged body", missing_source, missing_source.size(), 13, VORLEX_STATUS_FAILED, 0},
        {"stored block shorter than it claims", from_hex("44080a0102030405"), 8, 10,
         VORLEX_STATUS_FAILED, 0},
        {"stored block", from_hex("44060301020304"), 6, 3, VORLEX_STATUS_OK, 3},
        {"size 0 in the header", from_hex("450300"), 3, 0, VORLEX_STATUS_OK, 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.why);
        fake_host::reset();
        Bytes out(t.capacity + 1, 0xEE);
        size_t len = t.capacity;
        const size_t before = len;
        const vorlex_status st =
            f.decompress_buffer(nullptr, &len, out.data(), t.in_len, t.in.data(), nullptr);
        EXPECT_EQ(st, t.want);
        EXPECT_EQ(len, t.want_len == UNTOUCHED ? before : t.want_len);
        if (st == VORLEX_STATUS_OK && t.want_len == 300) {
            EXPECT_EQ(Bytes(out.begin(), out.begin() + 300), text);
        }
        EXPECT_EQ(fake_host::counters().errors, st == VORLEX_STATUS_OK ? 0 : 1);
        if (st != VORLEX_STATUS_OK) {
            EXPECT_EQ(fake_host::counters().last_error, t.want);
        }
        if (t.want_len == UNTOUCHED) {
            EXPECT_EQ(out[0], 0xEE) << "nothing decoded";
        }
        EXPECT_EQ(fake_host::counters().mallocs, 0);
    }
}

TEST(QuicklzBinding, UncompressedSizeFromEitherHeader) {
    const vorlex_codec_funcs f = quicklz_funcs();
    const struct {
        Bytes in;
        size_t len, want;
        bool error;
    } cases[] = {
        {from_hex("450cc8"), 3, 200, false},
        {from_hex("47" "20000000" "78563412"), 9, 0x12345678, false},
        {from_hex("450cc8"), 2, 0, true},
        {from_hex("47" "20000000" "78563412"), 8, 0, true},
        {Bytes{}, 0, 0, true},
    };
    for (const auto& t : cases) {
        fake_host::reset();
        EXPECT_EQ(f.get_uncompressed_size(nullptr, t.len, t.in.data()), t.want);
        EXPECT_EQ(fake_host::counters().errors, t.error ? 1 : 0);
        if (t.error) {
            EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_INPUT_TRUNCATED);
        }
    }
}

}  // namespace
