// The copy plug-in against the fake host: the entry point's name check, the
// buffer copy in both directions at every interesting capacity, the stream
// step for every mix of empty input and full output, and a failed allocation
// in stream creation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/fake_host.hpp"

extern "C" vorlex_stream* vorlex_copy_stream_new(vorlex_codec*, vorlex_stream_type,
                                                 vorlex_options*);

namespace {

vorlex_codec_funcs copy_funcs() {
    vorlex_codec_funcs f;
    EXPECT_EQ(fake_host::init("copy", f), VORLEX_STATUS_OK);
    return f;
}

TEST(CopyEntry, FillsItsSlotsAndLeavesTheHostSlots) {
    fake_host::reset();
    const vorlex_codec_funcs f = copy_funcs();
    const vorlex_codec_funcs untouched = fake_host::untouched_table();
    EXPECT_EQ(f.info_flags, 1u);
    EXPECT_EQ(std::memcmp(&f.host_slot_2, &untouched.host_slot_2, sizeof f.host_slot_2), 0);
    EXPECT_EQ(std::memcmp(&f.host_slot_5, &untouched.host_slot_5, sizeof f.host_slot_5), 0);
    EXPECT_EQ(std::memcmp(&f.compress_buffer_presized, &untouched.compress_buffer_presized,
                          sizeof f.compress_buffer_presized),
              0);
    EXPECT_NE(f.create_stream, nullptr);
    EXPECT_NE(f.process_stream, nullptr);
    EXPECT_EQ(f.compress_buffer, f.decompress_buffer) << "one copy serves both directions";
    EXPECT_EQ(fake_host::counters().errors, 0);
}

TEST(CopyEntry, OnlyTheExactNameMatches) {
    for (const char* name : {"cop", "copyy", "Copy", "COPY", "", "copy\x01"}) {
        fake_host::reset();
        vorlex_codec_funcs f;
        EXPECT_EQ(fake_host::init(name, f), VORLEX_STATUS_NO_SUCH_CODEC) << name;
        const vorlex_codec_funcs untouched = fake_host::untouched_table();
        EXPECT_EQ(std::memcmp(&f, &untouched, sizeof f), 0) << "table untouched: " << name;
        EXPECT_EQ(fake_host::counters().errors, 1) << "reported through vorlex_error";
    }
}

TEST(CopyBuffer, CopiesWhenTheCapacitySuffices) {
    const vorlex_codec_funcs f = copy_funcs();
    const std::string data = "0123456789";
    const struct {
        size_t in_len, capacity;
        vorlex_status want;
    } cases[] = {{10, 10, VORLEX_STATUS_OK},        {10, 11, VORLEX_STATUS_OK},
                 {10, 9, VORLEX_STATUS_OUTPUT_FULL}, {0, 0, VORLEX_STATUS_OK},
                 {0, 5, VORLEX_STATUS_OK},           {1, 0, VORLEX_STATUS_OUTPUT_FULL}};
    for (auto buffer : {f.compress_buffer, f.decompress_buffer}) {
        for (const auto& t : cases) {
            fake_host::reset();
            std::vector<uint8_t> out(16, 0xEE);
            size_t len = t.capacity;
            const auto* in = reinterpret_cast<const uint8_t*>(data.data());
            EXPECT_EQ(buffer(nullptr, &len, out.data(), t.in_len, in, nullptr), t.want);
            if (t.want == VORLEX_STATUS_OK) {
                EXPECT_EQ(len, t.in_len);
                EXPECT_EQ(std::memcmp(out.data(), in, t.in_len), 0);
                EXPECT_EQ(fake_host::counters().errors, 0);
            } else {
                EXPECT_EQ(len, t.capacity);
                EXPECT_EQ(out[0], 0xEE) << "nothing written";
                EXPECT_EQ(fake_host::counters().last_error, VORLEX_STATUS_OUTPUT_FULL);
            }
        }
    }
}

TEST(CopyBuffer, SizesNeverReadTheData) {
    const vorlex_codec_funcs f = copy_funcs();
    for (size_t n : {size_t(0), size_t(1), size_t(12345), SIZE_MAX}) {
        EXPECT_EQ(f.get_uncompressed_size(nullptr, n, nullptr), n);
        EXPECT_EQ(f.get_max_compressed_size(nullptr, n), n);
    }
}

TEST(CopyStream, StepsMoveWhatBothSidesAllow) {
    const vorlex_codec_funcs f = copy_funcs();
    const struct {
        size_t in_avail, out_avail, moved;
        vorlex_status want;
    } cases[] = {
        {0, 0, 0, VORLEX_STATUS_OK},          {0, 4, 0, VORLEX_STATUS_OK},
        {10, 0, 0, VORLEX_STATUS_PROCESSING}, {10, 4, 4, VORLEX_STATUS_PROCESSING},
        {4, 10, 4, VORLEX_STATUS_OK},         {10, 10, 10, VORLEX_STATUS_OK},
    };
    for (vorlex_operation op : {int(VORLEX_OPERATION_PROCESS), int(VORLEX_OPERATION_FINISH), 77}) {
        for (const auto& t : cases) {
            fake_host::reset();
            vorlex_stream* s = f.create_stream(fake_host::codec("copy"), VORLEX_STREAM_COMPRESS,
                                               nullptr);
            ASSERT_NE(s, nullptr);
            const uint8_t in[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
            uint8_t out[10] = {};
            s->in_next = in;
            s->in_avail = t.in_avail;
            s->out_next = out;
            s->out_avail = t.out_avail;
            s->total_in = 99;
            EXPECT_EQ(f.process_stream(s, op), t.want);
            EXPECT_EQ(s->in_next, in + t.moved);
            EXPECT_EQ(s->out_next, out + t.moved);
            EXPECT_EQ(s->in_avail, t.in_avail - t.moved);
            EXPECT_EQ(s->out_avail, t.out_avail - t.moved);
            EXPECT_EQ(s->total_in, 99u) << "totals are the host's";
            EXPECT_EQ(std::memcmp(out, in, t.moved), 0);
            EXPECT_EQ(fake_host::counters().errors, 0) << "statuses are returned directly";
            s->destroy(s);
            EXPECT_EQ(fake_host::counters().stream_destroys, 1);
            vorlex_free(s);
        }
    }
}

TEST(CopyStream, CreationRegistersDestroyAndSurvivesAllocationFailure) {
    fake_host::reset();
    vorlex_stream* s =
        vorlex_copy_stream_new(fake_host::codec("copy"), VORLEX_STREAM_DECOMPRESS, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(fake_host::counters().stream_inits, 1);
    EXPECT_EQ(s->type, VORLEX_STREAM_DECOMPRESS);
    ASSERT_NE(s->destroy, nullptr);
    s->destroy(s);
    vorlex_free(s);

    fake_host::reset();
    fake_host::counters().fail_malloc_at = 1;
    EXPECT_EQ(vorlex_copy_stream_new(fake_host::codec("copy"), VORLEX_STREAM_COMPRESS, nullptr),
              nullptr);
    EXPECT_EQ(fake_host::counters().stream_inits, 0) << "no NULL record handed to the host";
    EXPECT_EQ(fake_host::counters().live, 0);
}

TEST(CopyStreamDeathTest, ContractViolationsAbortNamingTheSource) {
    EXPECT_DEATH(vorlex_copy_stream_new(nullptr, VORLEX_STREAM_COMPRESS, nullptr),
                 "src/plugins/copy/vorlex-copy.cpp:65.*codec != NULL");
    EXPECT_DEATH(vorlex_copy_stream_new(fake_host::codec("copy"), 0, nullptr),
                 "src/plugins/copy/vorlex-copy.cpp:66.*stream_type == VORLEX_STREAM_COMPRESS");
}

}  // namespace
