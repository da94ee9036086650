// "lzjb" through the real libvorlex, which loads the plug-in from the build
// tree: synthetic round trips, and every corpus file compressed in one call
// at a 1024-aligned address, checked against the committed sizes table and
// stream checksums (so a change to the compressor cannot move an output byte
// unnoticed) and decoded back.
#include <gtest/gtest.h>
#include <vorlex/vorlex.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "lzjb_test_util.hpp"
#include "support/test_data.hpp"

namespace {

using lzjb_test::Bytes;
using lzjb_test::fnv1a;
using lzjb_test::Placed;

vorlex_codec* lzjb() {
    vorlex_codec* c = vorlex_get_codec("lzjb");
    EXPECT_NE(c, nullptr) << vorlex_get_codec_error("lzjb");
    return c;
}

// Compresses data placed at residue (mod 1024) and decodes it back with its
// own length as the capacity; returns the stream.
Bytes round_trip(vorlex_codec* c, const Bytes& data, size_t residue) {
    const Placed in(data, residue);
    Bytes stream(vorlex_get_max_compressed_size(c, data.size()));
    size_t len = stream.size();
    EXPECT_EQ(vorlex_compress(c, stream.data(), &len, in.data(), in.size(), nullptr),
              VORLEX_STATUS_OK);
    stream.resize(len);
    Bytes out(data.size());
    size_t out_len = out.size();
    EXPECT_EQ(vorlex_decompress(c, out.data(), &out_len, stream.data(), stream.size(), nullptr),
              VORLEX_STATUS_OK);
    EXPECT_EQ(out_len, data.size());
    EXPECT_TRUE(out == data) << "round trip of " << data.size() << " bytes";
    return stream;
}

// "<name> <field> <field>..." lines, keyed by name.
std::map<std::string, std::vector<std::string>> read_table(const std::filesystem::path& p) {
    std::map<std::string, std::vector<std::string>> rows;
    std::ifstream f(p);
    for (std::string name, line; f >> name && std::getline(f, line);) {
        std::istringstream fields(line);
        for (std::string x; fields >> x;) rows[name].push_back(x);
    }
    return rows;
}

TEST(LzjbHost, LoadsAndRoundTrips) {
    vorlex_codec* c = lzjb();
    ASSERT_NE(c, nullptr);
    EXPECT_FALSE(vorlex_codec_records_size(c));
    EXPECT_FALSE(vorlex_codec_needs_exact_size(c));
    for (size_t n : {1, 66, 67, 4095, 100000}) {
        round_trip(c, vorlex::test::text_bytes(n, uint32_t(n)), n % 1024);
        round_trip(c, vorlex::test::mixed_bytes(n, uint32_t(n)), 0);
    }
}

TEST(LzjbHost, CorpusFilesMatchTheSizesTable) {
    const auto files = vorlex::test::corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    const std::filesystem::path src = std::getenv("VORLEX_SOURCE_DIR");
    const auto sizes = read_table(src / "tests/roundtrip/sizes/lzjb.txt");
    const auto sums = read_table(src / "tests/lzjb/golden/corpus_checksums.txt");
    vorlex_codec* c = lzjb();
    ASSERT_NE(c, nullptr);
    for (const auto& file : files) {
        const Bytes data = vorlex::test::read_file(file.path);
        const Bytes stream = round_trip(c, data, 0);
        char sum[17];
        snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(fnv1a(stream)));
        const std::vector<std::string> want_size = {std::to_string(data.size()),
                                                    std::to_string(stream.size())};
        EXPECT_EQ(sizes.count(file.name) ? sizes.at(file.name) : std::vector<std::string>{},
                  want_size)
            << file.name << " " << data.size() << " " << stream.size();
        EXPECT_EQ(sums.count(file.name) ? sums.at(file.name).at(0) : "", sum) << file.name;
    }
}

}  // namespace
