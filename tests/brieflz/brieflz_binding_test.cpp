// The "brieflz" binding against the fake host: the entry point, the size
// bound, and which status and length each buffer callback gives for each
// capacity, size and allocation outcome, counting the host calls it makes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "brieflz.h"
#include "far_repeats.hpp"
#include "support/fake_host.hpp"
#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace {

using namespace vorlex::test;

vorlex_codec_funcs brieflz_funcs() {
    vorlex_codec_funcs f;
    EXPECT_EQ(fake_host::init("brieflz", f), VORLEX_STATUS_OK);
    return f;
}

TEST(BriefLZEntry, FillsExactlyItsSlots) {
    fake_host::reset();
    const vorlex_codec_funcs f = brieflz_funcs();
    const vorlex_codec_funcs untouched = fake_host::untouched_table();
    EXPECT_EQ(f.info_flags, 4u);
    EXPECT_NE(f.decompress_buffer, untouched.decompress_buffer);
    EXPECT_NE(f.compress_buffer_presized, untouched.compress_buffer_presized);
    EXPECT_NE(f.get_max_compressed_size, untouched.get_max_compressed_size);
#define EXPECT_UNTOUCHED(slot) \
    EXPECT_EQ(std::memcmp(&f.slot, &untouched.slot, sizeof f.slot), 0) << #slot
    EXPECT_UNTOUCHED(host_slot_2);
    EXPECT_UNTOUCHED(create_stream);
    EXPECT_UNTOUCHED(process_stream);
    EXPECT_UNTOUCHED(host_slot_5);
    EXPECT_UNTOUCHED(compress_buffer);
    EXPECT_UNTOUCHED(get_uncompressed_size);
#undef EXPECT_UNTOUCHED
    EXPECT_EQ(fake_host::counters().errors, 0);

    for (const char* name : {"brieflzz", "brief", "brieflz ", "BriefLZ", "brieflZ", ""}) {
        fake_host::reset();
        vorlex_codec_funcs g;
        EXPECT_EQ(fake_host::init(name, g), VORLEX_STATUS_NO_SUCH_CODEC) << name;
        EXPECT_EQ(std::memcmp(&g, &untouched, sizeof g), 0) << name;
        EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_NO_SUCH_CODEC) << name;
    }
}

TEST(BriefLZBinding, MaxCompressedSize) {
    const vorlex_codec_funcs f = brieflz_funcs();
    const size_t cases[][2] = {{0, 64}, {1, 65}, {9, 74}, {64, 136}, {1000, 1189},
                               {1048576, 1179712}};
    for (const auto& c : cases) EXPECT_EQ(f.get_max_compressed_size(nullptr, c[0]), c[1]);
}

TEST(BriefLZBinding, CompressStatusesAndHostCalls) {
    const vorlex_codec_funcs f = brieflz_funcs();
    const struct {
        const char* in;
        size_t capacity;
        int fail_malloc_at;
        vorlex_status want;
        size_t length;  // afterwards
        int mallocs, frees;
    } cases[] = {
        {"", 64, 0, VORLEX_STATUS_OK, 0, 1, 1},
        {"", 63, 0, VORLEX_STATUS_OUTPUT_FULL, 63, 0, 0},
        {"abcabcabc", 74, 0, VORLEX_STATUS_OK, 6, 1, 1},
        {"abcabcabc", 500, 0, VORLEX_STATUS_OK, 6, 1, 1},
        {"abcabcabc", 73, 0, VORLEX_STATUS_OUTPUT_FULL, 73, 0, 0},
        {"abcabcabc", 0, 0, VORLEX_STATUS_OUTPUT_FULL, 0, 0, 0},
        {"abcabcabc", 74, 1, VORLEX_STATUS_NO_MEMORY, 74, 1, 0},
    };
    for (const auto& c : cases) {
        fake_host::reset();
        fake_host::counters().fail_malloc_at = c.fail_malloc_at;
        const Bytes in = from_string(c.in);
        GuardedBuffer out(c.capacity);
        if (c.capacity) std::memset(out.data(), 0xEE, c.capacity);
        size_t len = c.capacity;
        EXPECT_EQ(f.compress_buffer_presized(nullptr, &len, out.data(), in.size(), in.data(), nullptr),
                  c.want)
            << c.in << " " << c.capacity;
        EXPECT_EQ(len, c.length) << c.in << " " << c.capacity;
        const auto& k = fake_host::counters();
        EXPECT_EQ(k.mallocs, c.mallocs) << c.in << " " << c.capacity;
        EXPECT_EQ(k.frees, c.frees) << c.in << " " << c.capacity;
        EXPECT_EQ(k.live, 0);
        EXPECT_EQ(k.errors, c.want == VORLEX_STATUS_OK ? 0 : 1) << "failures through vorlex_error";
        if (c.want != VORLEX_STATUS_OK) {
            EXPECT_EQ(k.last_error, c.want);
            if (c.capacity != 0) {
                EXPECT_EQ(out.data()[0], 0xEE) << "nothing written";
            }
        }
    }
    Bytes want = {0x61, 0x00, 0x28, 0x62, 0x63, 0x02};
    Bytes out(74);
    size_t len = out.size();
    ASSERT_EQ(f.compress_buffer_presized(nullptr, &len, out.data(), 9,
                                         reinterpret_cast<const uint8_t*>("abcabcabc"), nullptr),
              VORLEX_STATUS_OK);
    out.resize(len);
    EXPECT_EQ(out, want);
}

TEST(BriefLZBinding, StreamLongerThanTheBoundIsRefusedNotOverrun) {
    const vorlex_codec_funcs f = brieflz_funcs();
    const Bytes in = brieflz_test::far_repeats();
    const size_t bound = f.get_max_compressed_size(nullptr, in.size());
    std::vector<const uint8_t*> workmem(blz_workmem_size(0) / sizeof(void*));
    Bytes whole(2 * in.size());
    const size_t need = blz_pack(in.data(), whole.data(), in.size(), workmem.data());
    ASSERT_GT(need, bound) << "the input must outgrow the bound";

    for (const size_t capacity : {bound, need - 1, need}) {
        fake_host::reset();
        GuardedBuffer out(capacity);
        size_t len = capacity;
        const vorlex_status st =
            f.compress_buffer_presized(nullptr, &len, out.data(), in.size(), in.data(), nullptr);
        EXPECT_EQ(fake_host::counters().live, 0) << "work memory released";
        if (capacity < need) {
            EXPECT_EQ(st, VORLEX_STATUS_OUTPUT_FULL) << capacity;
            EXPECT_EQ(len, capacity);
            EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_OUTPUT_FULL);
        } else {
            ASSERT_EQ(st, VORLEX_STATUS_OK);
            ASSERT_EQ(len, need);
            EXPECT_EQ(std::memcmp(out.data(), whole.data(), need), 0);
        }
    }
}

TEST(BriefLZBinding, DecompressTakesTheExactSize) {
    const vorlex_codec_funcs f = brieflz_funcs();
    const Bytes abc = {0x61, 0x00, 0x28, 0x62, 0x63, 0x02}, ab = {0x61, 0x00, 0x00, 0x62};
    const struct {
        const Bytes* stream;
        size_t size;
        vorlex_status want;
        const char* out;
    } cases[] = {
        {&abc, 9, VORLEX_STATUS_OK, "abcabcabc"},
        {&abc, 10, VORLEX_STATUS_FAILED, "abcabcabc"},
        {&abc, 8, VORLEX_STATUS_FAILED, "abc"},
        {&ab, 1, VORLEX_STATUS_OK, "a"},
        {&ab, 2, VORLEX_STATUS_OK, "ab"},
        {&ab, 0, VORLEX_STATUS_OK, ""},
        {nullptr, 0, VORLEX_STATUS_OK, ""},
        {nullptr, 1, VORLEX_STATUS_FAILED, ""},
    };
    for (const auto& c : cases) {
        fake_host::reset();
        const Bytes stream = c.stream ? *c.stream : Bytes{};
        GuardedBuffer in(stream), out(c.size);
        size_t len = c.size;
        EXPECT_EQ(f.decompress_buffer(nullptr, &len, out.data(), in.size(), in.data(), nullptr),
                  c.want)
            << c.size << " " << c.out;
        EXPECT_EQ(len, c.size) << "the length is never rewritten";
        EXPECT_EQ(std::memcmp(out.data(), c.out, std::strlen(c.out)), 0) << c.out;
        const auto& k = fake_host::counters();
        EXPECT_EQ(k.mallocs, 0);
        EXPECT_EQ(k.errors, c.want == VORLEX_STATUS_OK ? 0 : 1);
    }
}

}  // namespace
