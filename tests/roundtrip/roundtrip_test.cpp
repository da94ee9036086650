// Every codec the source tree builds, through the host exactly as an
// application uses it: bound, compress, stored size, decompress, compare.
// Synthetic inputs always; the shared corpus when VORLEX_CORPUS_DIR is set,
// whose compressed sizes must equal the committed table in sizes/<codec>.txt
// (the formats fix every byte, so a size that moves is a format change).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "support/test_data.hpp"

namespace {

namespace fs = std::filesystem;
using vorlex::test::Bytes;

// Codecs are the plug-in folders of the source tree: each must load.
std::vector<std::string> built_codecs() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(VORLEX_PLUGIN_SOURCE_DIR)) {
        if (fs::exists(e.path() / "CMakeLists.txt")) names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Inputs are copied to a 1024-aligned buffer: lzjb's output depends on the
// input address modulo 1024, and the committed sizes assume alignment.
struct AlignedCopy {
    explicit AlignedCopy(const Bytes& b)
        : mem(static_cast<uint8_t*>(std::aligned_alloc(1024, (b.size() + 1024) / 1024 * 1024)),
              &std::free),
          size(b.size()) {
        if (size != 0) std::memcpy(mem.get(), b.data(), size);
    }
    std::span<const uint8_t> span() const { return {mem.get(), size}; }
    std::unique_ptr<uint8_t, decltype(&std::free)> mem{nullptr, &std::free};
    size_t size;
};

// Compresses and decompresses in through codec; returns the compressed size.
// Codecs that refuse empty input (quicklz, lzjb) report FAILED for it.
size_t round_trip(const vorlex::Codec& codec, const Bytes& input, const std::string& what) {
    const AlignedCopy in(input);
    Bytes packed;
    const vorlex_status st = codec.compress(in.span(), packed);
    if (input.empty() && st == VORLEX_STATUS_FAILED) return 0;
    EXPECT_EQ(st, VORLEX_STATUS_OK) << codec.name() << " compress " << what;
    if (st != VORLEX_STATUS_OK) return 0;
    EXPECT_LE(packed.size(), codec.max_compressed_size(input.size())) << codec.name() << " " << what;

    Bytes unpacked;
    vorlex_status dst;
    if (codec.records_size()) {
        size_t stored = 0;
        EXPECT_EQ(vorlex_get_uncompressed_size(codec.get(), packed.data(), packed.size(), &stored),
                  VORLEX_STATUS_OK);
        EXPECT_EQ(stored, input.size()) << codec.name() << " stored size " << what;
        dst = codec.decompress(packed, unpacked);
    } else {
        dst = codec.decompress(packed, unpacked, input.size());
    }
    EXPECT_EQ(dst, VORLEX_STATUS_OK) << codec.name() << " decompress " << what;
    EXPECT_TRUE(unpacked == input) << codec.name() << " round trip differs: " << what;
    return packed.size();
}

class RoundTrip : public ::testing::TestWithParam<std::string> {
protected:
    vorlex::Codec codec() {
        vorlex::Codec c = vorlex::Codec::find(GetParam());
        EXPECT_TRUE(c) << vorlex::Codec::load_error(GetParam());
        return c;
    }
};

TEST_P(RoundTrip, SyntheticInputs) {
    const vorlex::Codec c = codec();
    ASSERT_TRUE(c);
    const uint32_t seed = 12345;
    SCOPED_TRACE("seed " + std::to_string(seed));
    const std::pair<std::string, Bytes> inputs[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"zeros 100000", vorlex::test::run_bytes(100000, 0)},
        {"0xff 70000", vorlex::test::run_bytes(70000, 0xFF)},
        {"random 65537", vorlex::test::random_bytes(65537, seed)},
        {"text 300001", vorlex::test::text_bytes(300001, seed)},
        {"mixed 200003", vorlex::test::mixed_bytes(200003, seed)},
    };
    for (const auto& [what, data] : inputs) round_trip(c, data, what);
    for (size_t n = 0; n <= 300; n += 7) round_trip(c, vorlex::test::mixed_bytes(n, uint32_t(n)), "prefix");
}

std::map<std::string, std::pair<size_t, size_t>> committed_sizes(const std::string& codec) {
    std::map<std::string, std::pair<size_t, size_t>> out;
    std::ifstream f(fs::path(VORLEX_SIZES_DIR) / (codec + ".txt"));
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        std::string name;
        size_t orig = 0, packed = 0;
        if (ls >> name >> orig >> packed) out[name] = {orig, packed};
    }
    return out;
}

TEST_P(RoundTrip, CorpusFilesMatchTheCommittedSizes) {
    const auto files = vorlex::test::corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    const vorlex::Codec c = codec();
    ASSERT_TRUE(c);
    const auto sizes = committed_sizes(GetParam());
    for (const auto& f : files) {
        const Bytes data = vorlex::test::read_file(f.path);
        const size_t packed = round_trip(c, data, f.name);
        std::printf("%s %s %zu %zu\n", GetParam().c_str(), f.name.c_str(), data.size(), packed);
        const auto it = sizes.find(f.name);
        if (it == sizes.end()) {
            ADD_FAILURE() << "no committed size for " << GetParam() << " " << f.name
                          << " in sizes/" << GetParam() << ".txt";
            continue;
        }
        EXPECT_EQ(data.size(), it->second.first) << f.name << ": not the expected corpus file";
        EXPECT_EQ(packed, it->second.second) << GetParam() << " " << f.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, RoundTrip, ::testing::ValuesIn(built_codecs()),
                         [](const auto& info) { return info.param; });

}  // namespace
