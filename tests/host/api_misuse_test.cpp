// The C API given NULL and nonsense: each call returns the failure value
// vorlex.h documents and touches nothing; every stream refuses operations
// that do not exist and input after FINISH; a size query on less than a
// header reports truncation.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>
#include <vorlex/vorlex.hpp>

#include "support/test_data.hpp"

namespace {

TEST(ApiMisuse, NullHandlesGiveTheDocumentedFailure) {
    uint8_t out[64] = {};
    const uint8_t in[4] = {1, 2, 3, 4};
    size_t n = sizeof out;
    size_t size = 7;
    vorlex_stream* stream = reinterpret_cast<vorlex_stream*>(&n);  // must be reset to NULL
    const size_t all = vorlex_list_codecs(nullptr, 0);
    const struct {
        const char* call;
        std::function<bool()> ok;
    } cases[] = {
        {"get_codec(NULL)", [] { return vorlex_get_codec(nullptr) == nullptr; }},
        {"get_codec_error(NULL)", [] { return vorlex_get_codec_error(nullptr) != nullptr; }},
        {"list_codecs(NULL, 8)", [&] { return vorlex_list_codecs(nullptr, 8) == all; }},
        {"codec_get_name(NULL)", [] { return vorlex_codec_get_name(nullptr) == nullptr; }},
        {"codec_get_path(NULL)", [] { return vorlex_codec_get_path(nullptr) == nullptr; }},
        {"codec_get_info_flags(NULL)", [] { return vorlex_codec_get_info_flags(nullptr) == 0; }},
        {"codec_records_size(NULL)", [] { return vorlex_codec_records_size(nullptr) == 0; }},
        {"codec_needs_exact_size(NULL)", [] { return vorlex_codec_needs_exact_size(nullptr) == 0; }},
        {"get_max_compressed_size(NULL)", [] { return vorlex_get_max_compressed_size(nullptr, 9) == 0; }},
        {"compress(NULL codec)",
         [&] { return vorlex_compress(nullptr, out, &n, in, 4, nullptr) == VORLEX_STATUS_INVALID; }},
        {"decompress(NULL codec)",
         [&] { return vorlex_decompress(nullptr, out, &n, in, 4, nullptr) == VORLEX_STATUS_INVALID; }},
        {"get_uncompressed_size(NULL codec)",
         [&] { return vorlex_get_uncompressed_size(nullptr, in, 4, &size) == VORLEX_STATUS_INVALID; }},
        {"stream_new(NULL codec)",
         [&] {
             return vorlex_stream_new(nullptr, VORLEX_STREAM_COMPRESS, nullptr, &stream) ==
                        VORLEX_STATUS_INVALID &&
                    stream == nullptr;
         }},
        {"stream_process(NULL)",
         [] { return vorlex_stream_process(nullptr, VORLEX_OPERATION_FINISH) == VORLEX_STATUS_INVALID; }},
        {"stream_free(NULL)", [] { vorlex_stream_free(nullptr); return true; }},
        {"stream_init(NULL)",
         [] { vorlex_stream_init(nullptr, nullptr, VORLEX_STREAM_COMPRESS, nullptr, nullptr); return true; }},
        {"stream_destroy(NULL)", [] { vorlex_stream_destroy(nullptr); return true; }},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.ok()) << c.call;
    EXPECT_EQ(n, sizeof out) << "no length changed";
    EXPECT_EQ(size, 7u) << "no size changed";
}

// A stream of every codec and direction: nonsense operations and input
// after FINISH are refused without consuming anything.
TEST(ApiMisuse, StreamsRefuseUnknownOperationsAndInputAfterFinish) {
    const vorlex::Bytes data = vorlex::test::text_bytes(3000, 4);
    for (const vorlex::Codec& c : vorlex::available_codecs()) {
        for (const vorlex_stream_type type : {VORLEX_STREAM_COMPRESS, VORLEX_STREAM_DECOMPRESS}) {
            SCOPED_TRACE(std::string(c.name()) + (type == VORLEX_STREAM_COMPRESS ? " compress" : " decompress"));
            vorlex_stream* s = nullptr;
            if (vorlex_stream_new(c.get(), type, nullptr, &s) != VORLEX_STATUS_OK) continue;
            vorlex::Bytes out(data.size() * 2 + 1024);
            s->in_next = data.data();
            s->in_avail = data.size();
            s->out_next = out.data();
            s->out_avail = out.size();
            for (const vorlex_operation op : {-1, 3, 1000}) {
                EXPECT_EQ(vorlex_stream_process(s, op), VORLEX_STATUS_INVALID) << op;
                EXPECT_EQ(s->in_avail, data.size()) << op;
            }
            // Decompressing text fails for most codecs; FINISH was asked all the same.
            (void)vorlex_stream_process(s, VORLEX_OPERATION_FINISH);
            const uint8_t more[3] = {'m', 'o', 'r'};
            s->in_next = more;
            s->in_avail = sizeof more;
            EXPECT_EQ(vorlex_stream_process(s, VORLEX_OPERATION_PROCESS), VORLEX_STATUS_INVALID);
            EXPECT_EQ(vorlex_stream_process(s, VORLEX_OPERATION_FINISH), VORLEX_STATUS_INVALID);
            EXPECT_EQ(s->in_avail, sizeof more);
            vorlex_stream_free(s);
        }
    }
}

// What FINISH left unconsumed (output space ran out) may still be given.
TEST(ApiMisuse, TheRestOfTheFinishedInputIsStillTaken) {
    vorlex::Codec copy = vorlex::Codec::find("copy");
    ASSERT_TRUE(copy) << vorlex::Codec::load_error("copy");
    vorlex_stream* s = nullptr;
    ASSERT_EQ(vorlex_stream_new(copy.get(), VORLEX_STREAM_COMPRESS, nullptr, &s), VORLEX_STATUS_OK);
    const vorlex::Bytes data = vorlex::test::text_bytes(100, 5);
    vorlex::Bytes out(data.size());
    s->in_next = data.data();
    s->in_avail = data.size();
    s->out_next = out.data();
    s->out_avail = 40;
    EXPECT_EQ(vorlex_stream_process(s, VORLEX_OPERATION_FINISH), VORLEX_STATUS_PROCESSING);
    s->out_avail = out.size() - 40;
    EXPECT_EQ(vorlex_stream_process(s, VORLEX_OPERATION_FINISH), VORLEX_STATUS_OK);
    EXPECT_EQ(out, data);
    vorlex_stream_free(s);
}

TEST(ApiMisuse, QuicklzSizeQueryOnLessThanAHeaderIsTruncation) {
    vorlex::Codec q = vorlex::Codec::find("quicklz");
    if (!q) GTEST_SKIP() << "no quicklz plug-in";
    const vorlex::Bytes data = vorlex::test::text_bytes(1000, 6);
    vorlex::Bytes packed(q.max_compressed_size(data.size()));
    size_t n = packed.size();
    ASSERT_EQ(vorlex_compress(q.get(), packed.data(), &n, data.data(), data.size(), nullptr),
              VORLEX_STATUS_OK);
    packed.resize(n);
    size_t size = 0;
    ASSERT_EQ(vorlex_get_uncompressed_size(q.get(), packed.data(), packed.size(), &size), VORLEX_STATUS_OK);
    EXPECT_EQ(size, data.size());
    // Header lengths: 3 bytes (short form, flag bit 1 clear), 9 (long form).
    const uint8_t long_form[8] = {0x03, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        const uint8_t* in;
        size_t length;
    } cases[] = {{nullptr, 0}, {packed.data(), 1}, {packed.data(), 2}, {long_form, 8}};
    for (const auto& c : cases) {
        size = 12345;
        EXPECT_EQ(vorlex_get_uncompressed_size(q.get(), c.in, c.length, &size),
                  VORLEX_STATUS_INPUT_TRUNCATED)
            << c.length;
        EXPECT_EQ(size, 12345u) << c.length;
    }
}

}  // namespace
