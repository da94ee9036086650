// "brieflz" through the real libvorlex and the built plug-in: the codec loads
// with its flags, buffers and the corpus files round-trip given their exact
// size, and a caller's capacity is honoured whichever path the host takes.
#include <gtest/gtest.h>

#include <cstdio>
#include <vorlex/vorlex.h>

#include "far_repeats.hpp"
#include "support/test_data.hpp"

namespace {

using namespace vorlex::test;

vorlex_codec* brieflz() {
    vorlex_codec* c = vorlex_get_codec("brieflz");
    EXPECT_NE(c, nullptr) << vorlex_get_codec_error("brieflz");
    return c;
}

// Compresses in one call with the given capacity (default: the bound).
vorlex_status compress(const Bytes& in, Bytes& out, size_t capacity = 0) {
    out.resize(capacity ? capacity : vorlex_get_max_compressed_size(brieflz(), in.size()));
    size_t len = out.size();
    const vorlex_status st =
        vorlex_compress(brieflz(), out.data(), &len, in.data(), in.size(), nullptr);
    if (st == VORLEX_STATUS_OK) out.resize(len);
    return st;
}

void expect_round_trip(const Bytes& in, const std::string& what) {
    Bytes packed, back(in.size() + 1);
    ASSERT_EQ(compress(in, packed), VORLEX_STATUS_OK) << what;
    size_t len = in.size();
    ASSERT_EQ(vorlex_decompress(brieflz(), back.data(), &len, packed.data(), packed.size(), nullptr),
              VORLEX_STATUS_OK)
        << what;
    back.resize(len);
    EXPECT_TRUE(back == in) << what;
    len = in.size() + 1;
    EXPECT_EQ(vorlex_decompress(brieflz(), back.data(), &len, packed.data(), packed.size(), nullptr),
              VORLEX_STATUS_FAILED)
        << "one byte more than the stream holds: " << what;
}

TEST(BriefLZHost, LoadsAsAnExactSizeCodec) {
    vorlex_codec* c = brieflz();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(vorlex_codec_get_info_flags(c), uint32_t(VORLEX_INFO_EXACT_SIZE));
    EXPECT_TRUE(vorlex_codec_needs_exact_size(c));
    EXPECT_FALSE(vorlex_codec_records_size(c));
    EXPECT_EQ(vorlex_get_max_compressed_size(c, 1000), 1189u);
}

TEST(BriefLZHost, BuffersRoundTrip) {
    for (const size_t n : {size_t(1), size_t(2), size_t(17), size_t(4095), size_t(100000)}) {
        expect_round_trip(text_bytes(n, uint32_t(n)), "text " + std::to_string(n));
        expect_round_trip(random_bytes(n, uint32_t(n)), "random " + std::to_string(n));
    }
}

TEST(BriefLZHost, CorpusFilesRoundTrip) {
    const auto files = corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    for (const auto& f : files) {
        const Bytes in = read_file(f.path);
        expect_round_trip(in, f.name);
        Bytes packed;
        ASSERT_EQ(compress(in, packed), VORLEX_STATUS_OK);
        std::printf("brieflz %s %zu %zu\n", f.name.c_str(), in.size(), packed.size());
    }
}

TEST(BriefLZHost, SmallCapacitiesGoThroughTheHostAndAreHonoured) {
    const Bytes in = text_bytes(5000, 3);
    Bytes packed, out;
    ASSERT_EQ(compress(in, packed), VORLEX_STATUS_OK);
    ASSERT_EQ(compress(in, out, packed.size()), VORLEX_STATUS_OK);
    EXPECT_TRUE(out == packed);
    EXPECT_EQ(compress(in, out, packed.size() - 1), VORLEX_STATUS_OUTPUT_FULL);
    // A stream that outgrows the bound is refused even with the bound's room.
    EXPECT_EQ(compress(brieflz_test::far_repeats(), out), VORLEX_STATUS_OUTPUT_FULL);
}

}  // namespace
