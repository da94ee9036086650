// The fari binding against the fake host: the entry point answers foreign
// names without an error report, the three slots and the worst-case size,
// the statuses and lengths of both buffer callbacks, the bounded compressor,
// and a failed table allocation in each direction.
#include <gtest/gtest.h>

#include <cstring>

#include "fari_test_util.hpp"
#include "support/fake_host.hpp"

namespace {

using namespace fari_test;

vorlex_codec_funcs fari_funcs() {
    vorlex_codec_funcs f;
    EXPECT_EQ(fake_host::init("fari", f), VORLEX_STATUS_OK);
    return f;
}

const Bytes ABC = vorlex::test::from_string("abcabcabc");
const Bytes ABC_STREAM = hex("79 b7 f1 81 44 43 6e bb 79 3c b4 02 00");

TEST(FariEntry, FillsExactlyItsThreeSlots) {
    fake_host::reset();
    const vorlex_codec_funcs f = fari_funcs();
    vorlex_codec_funcs rest = f;
    rest.decompress_buffer = nullptr;
    rest.compress_buffer_presized = nullptr;
    rest.get_max_compressed_size = nullptr;
    vorlex_codec_funcs want = fake_host::untouched_table();
    want.decompress_buffer = nullptr;
    want.compress_buffer_presized = nullptr;
    want.get_max_compressed_size = nullptr;
    EXPECT_EQ(std::memcmp(&rest, &want, sizeof rest), 0) << "info_flags and other slots untouched";
    EXPECT_NE(f.decompress_buffer, nullptr);
    EXPECT_NE(f.compress_buffer_presized, nullptr);
    EXPECT_NE(f.get_max_compressed_size, nullptr);
    EXPECT_EQ(fake_host::counters().errors, 0);
}

TEST(FariEntry, RefusesOtherNamesWithoutAnErrorReport) {
    for (const char* name : {"far", "faris", "FARI", "Fari", "", "fari\x01", "lzjb"}) {
        fake_host::reset();
        vorlex_codec_funcs f;
        EXPECT_EQ(fake_host::init(name, f), VORLEX_STATUS_NO_SUCH_CODEC) << name;
        const vorlex_codec_funcs untouched = fake_host::untouched_table();
        EXPECT_EQ(std::memcmp(&f, &untouched, sizeof f), 0) << name;
        EXPECT_EQ(fake_host::counters().errors, 0) << name;
    }
}

TEST(FariBinding, ReportsTheUsualWorstCase) {
    const vorlex_codec_funcs f = fari_funcs();
    const struct {
        size_t n, bound;
    } cases[] = {{0, 8}, {1, 9}, {33, 41}, {34, 43}, {68, 78}, {1000, 1037}};
    for (const auto& c : cases) EXPECT_EQ(f.get_max_compressed_size(nullptr, c.n), c.bound) << c.n;
}

struct Call {
    vorlex_status status;
    size_t length;
    Bytes out;
};

Call run(vorlex_buffer_func fn, const Bytes& in, size_t capacity) {
    GuardedBuffer out(capacity);
    size_t len = capacity;
    const vorlex_status st = fn(nullptr, &len, out.data(), in.size(), in.data(), nullptr);
    const size_t shown = len < capacity ? len : capacity;
    return {st, len, Bytes(out.data(), out.data() + shown)};
}

// One table per call, always released; statuses other than OK and the
// compressor's allocation failure go through vorlex_error.
TEST(FariBinding, StatusesAndLengths) {
    const vorlex_codec_funcs f = fari_funcs();
    const Bytes text = vorlex::test::text_bytes(3000, 2);
    const Bytes text_stream = compress(text);
    const struct {
        const char* name;
        bool compressing;
        Bytes in;
        size_t capacity;
        vorlex_status status;
        Bytes out;  // wanted output on success
    } cases[] = {
        {"compress empty", true, {}, 8, VORLEX_STATUS_OK, Bytes(5, 0)},
        {"compress abc", true, ABC, 21, VORLEX_STATUS_OK, ABC_STREAM},
        {"compress abc at its length", true, ABC, 13, VORLEX_STATUS_OK, ABC_STREAM},
        {"compress abc one short", true, ABC, 12, VORLEX_STATUS_OUTPUT_FULL, {}},
        {"compress text one short", true, text, text_stream.size() - 1, VORLEX_STATUS_OUTPUT_FULL,
         {}},
        {"compress text", true, text, fari::fari_bound(text.size()), VORLEX_STATUS_OK, text_stream},
        {"decompress empty stream, capacity 0", false, Bytes(5, 0), 0, VORLEX_STATUS_OK, {}},
        {"decompress abc", false, ABC_STREAM, 9, VORLEX_STATUS_OK, ABC},
        {"decompress abc, room to spare", false, ABC_STREAM, 50, VORLEX_STATUS_OK, ABC},
        {"decompress abc, capacity 8", false, ABC_STREAM, 8, VORLEX_STATUS_OUTPUT_FULL, {}},
        {"decompress cut abc", false, Bytes(ABC_STREAM.begin(), ABC_STREAM.begin() + 12), 9,
         VORLEX_STATUS_OK, Bytes(ABC.begin(), ABC.begin() + 8)},
        {"decompress text", false, text_stream, text.size(), VORLEX_STATUS_OK, text},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake_host::reset();
        const Call r = run(c.compressing ? f.compress_buffer_presized : f.decompress_buffer, c.in,
                           c.capacity);
        EXPECT_EQ(r.status, c.status);
        if (c.status == VORLEX_STATUS_OK) {
            EXPECT_EQ(r.out, c.out);
            EXPECT_EQ(r.length, c.out.size());
            EXPECT_EQ(fake_host::counters().errors, 0);
        } else {
            EXPECT_EQ(r.length, c.capacity) << "length untouched";
            EXPECT_EQ(fake_host::counters().errors, 1);
            EXPECT_EQ(fake_host::counters().last_error, c.status);
        }
        EXPECT_EQ(fake_host::counters().mallocs, 1);
        EXPECT_EQ(fake_host::counters().frees, 1);
        EXPECT_EQ(fake_host::counters().live, 0);
    }
}

TEST(FariBinding, FailedAllocation) {
    const vorlex_codec_funcs f = fari_funcs();
    const struct {
        bool compressing;
        Bytes in;
        vorlex_status status;
        int errors;
    } cases[] = {
        {true, ABC, VORLEX_STATUS_FAILED, 0},
        {true, {}, VORLEX_STATUS_FAILED, 0},
        {false, ABC_STREAM, VORLEX_STATUS_NO_MEMORY, 1},
        {false, Bytes(5, 0), VORLEX_STATUS_NO_MEMORY, 1},
    };
    for (const auto& c : cases) {
        fake_host::reset();
        fake_host::counters().fail_malloc_at = 1;
        const Call r = run(c.compressing ? f.compress_buffer_presized : f.decompress_buffer, c.in, 40);
        EXPECT_EQ(r.status, c.status) << c.compressing;
        EXPECT_EQ(r.length, 40u) << "length untouched";
        EXPECT_EQ(fake_host::counters().errors, c.errors);
        if (c.errors != 0) {
            EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_NO_MEMORY);
        }
        EXPECT_EQ(fake_host::counters().null_frees, 1) << "the null table is freed too";
    }
}

}  // namespace
