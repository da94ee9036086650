// "quicklz" through the real host, which loads the plug-in from the build
// tree: one-call round trips, the recorded size, and every corpus file in one
// buffer call, with the compressed sizes held in tests/roundtrip/sizes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include <vorlex/vorlex.h>

#include "support/test_data.hpp"

namespace {

using vorlex::test::Bytes;

vorlex_codec* quicklz() {
    vorlex_codec* c = vorlex_get_codec("quicklz");
    EXPECT_NE(c, nullptr) << vorlex_get_codec_error("quicklz");
    return c;
}

// Compresses and decompresses through the host; returns the block length.
size_t host_round_trip(vorlex_codec* c, const Bytes& in) {
    Bytes block(vorlex_get_max_compressed_size(c, in.size()));
    EXPECT_EQ(block.size(), in.size() + 400);
    size_t len = block.size();
    EXPECT_EQ(vorlex_compress(c, block.data(), &len, in.data(), in.size(), nullptr),
              VORLEX_STATUS_OK);
    size_t size = 0;
    EXPECT_EQ(vorlex_get_uncompressed_size(c, block.data(), len, &size), VORLEX_STATUS_OK);
    EXPECT_EQ(size, in.size());
    Bytes out(size);
    size_t out_len = out.size();
    EXPECT_EQ(vorlex_decompress(c, out.data(), &out_len, block.data(), len, nullptr),
              VORLEX_STATUS_OK);
    EXPECT_EQ(out_len, in.size());
    EXPECT_TRUE(out == in) << "decoded bytes differ";
    return len;
}

TEST(QuicklzHost, RoundTripsThroughTheLoadedPlugin) {
    vorlex_codec* c = quicklz();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(vorlex_codec_records_size(c));
    EXPECT_FALSE(vorlex_codec_needs_exact_size(c));
    EXPECT_LT(host_round_trip(c, vorlex::test::text_bytes(100000, 4)), 50000u);
    host_round_trip(c, vorlex::test::random_bytes(5000, 4));
    host_round_trip(c, vorlex::test::from_string("x"));

    // An empty input has no block.
    uint8_t out[400];
    size_t len = sizeof out;
    EXPECT_EQ(vorlex_compress(c, out, &len, nullptr, 0, nullptr), VORLEX_STATUS_FAILED);
}

// name -> {original, compressed}
std::map<std::string, std::pair<size_t, size_t>> committed_sizes() {
    std::map<std::string, std::pair<size_t, size_t>> sizes;
    const char* src = std::getenv("VORLEX_SOURCE_DIR");
    std::ifstream f(std::string(src ? src : ".") + "/tests/roundtrip/sizes/quicklz.txt");
    std::string name;
    size_t original, compressed;
    while (f >> name >> original >> compressed) sizes[name] = {original, compressed};
    return sizes;
}

TEST(QuicklzHost, CorpusFilesRoundTripAtTheirCommittedSizes) {
    const auto files = vorlex::test::corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    vorlex_codec* c = quicklz();
    ASSERT_NE(c, nullptr);
    const auto sizes = committed_sizes();
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const Bytes in = vorlex::test::read_file(file.path);
        const size_t len = host_round_trip(c, in);
        const auto it = sizes.find(file.name);
        ASSERT_NE(it, sizes.end()) << "no committed size; measured " << file.name << " "
                                   << in.size() << " " << len;
        EXPECT_EQ(it->second.first, in.size());
        EXPECT_EQ(it->second.second, len) << "measured " << file.name << " " << in.size() << " "
                                          << len;
    }
}

}  // namespace
