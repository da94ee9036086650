// "fari" through the real host and the built plug-in: the exported symbols
// as loaded, round trips through vorlex_compress/vorlex_decompress at the
// host's usual capacities, data that outgrows the reported bound, and every
// corpus file, whose compressed sizes must match the committed table.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <vorlex/vorlex.h>

#include "fari_test_util.hpp"

namespace {

using namespace fari_test;

vorlex_codec* fari_codec() {
    vorlex_codec* c = vorlex_get_codec("fari");
    EXPECT_NE(c, nullptr) << vorlex_get_codec_error("fari");
    return c;
}

struct Result {
    vorlex_status status;
    size_t length;
    Bytes out;
};

Result host_compress(vorlex_codec* c, const Bytes& in, size_t capacity) {
    Bytes out(capacity);
    size_t len = capacity;
    const vorlex_status st = vorlex_compress(c, out.data(), &len, in.data(), in.size(), nullptr);
    if (st == VORLEX_STATUS_OK) out.resize(len);
    return {st, len, out};
}

Result host_decompress(vorlex_codec* c, const Bytes& in, size_t capacity) {
    Bytes out(capacity);
    size_t len = capacity;
    const vorlex_status st = vorlex_decompress(c, out.data(), &len, in.data(), in.size(), nullptr);
    if (st == VORLEX_STATUS_OK) out.resize(len);
    return {st, len, out};
}

TEST(FariHost, LoadsWithItsExports) {
    vorlex_codec* c = fari_codec();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(vorlex_codec_get_info_flags(c), 0u);
    EXPECT_FALSE(vorlex_codec_records_size(c));
    EXPECT_FALSE(vorlex_codec_needs_exact_size(c));
    EXPECT_EQ(vorlex_get_max_compressed_size(c, 1000), 1037u);

    void* lib = dlopen(vorlex_codec_get_path(c), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    const auto* m = static_cast<const uint32_t*>(dlsym(lib, "mask"));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(*m, 0x0001ffffu);
    EXPECT_NE(dlsym(lib, "fa_compress"), nullptr);
    EXPECT_NE(dlsym(lib, "fa_decompress"), nullptr);
    EXPECT_EQ(dlsym(lib, "fa_compress_bounded"), nullptr) << "internal to the plug-in";
    dlclose(lib);
}

TEST(FariHost, RoundTripsAtTheUsualCapacities) {
    vorlex_codec* c = fari_codec();
    ASSERT_NE(c, nullptr);
    for (const Bytes& data : {Bytes{}, vorlex::test::text_bytes(20000, 1),
                              vorlex::test::mixed_bytes(20000, 2), Bytes(20000, 0)}) {
        const Bytes want = compress(data);
        // At the bound the host calls straight through; below it, it lends a
        // buffer of the bound and copies out what fits.
        for (size_t capacity : {vorlex_get_max_compressed_size(c, data.size()), want.size()}) {
            const Result r = host_compress(c, data, capacity);
            ASSERT_EQ(r.status, VORLEX_STATUS_OK) << capacity;
            EXPECT_EQ(r.out, want);
        }
        EXPECT_EQ(host_compress(c, data, want.size() - 1).status, VORLEX_STATUS_OUTPUT_FULL);
        const Result d = host_decompress(c, want, data.size());
        ASSERT_EQ(d.status, VORLEX_STATUS_OK);
        EXPECT_EQ(d.out, data);
        if (!data.empty()) {
            EXPECT_EQ(host_decompress(c, want, data.size() - 1).status, VORLEX_STATUS_OUTPUT_FULL);
        }
    }
}

TEST(FariHost, DataAgainstTheModelNeedsMoreThanTheBound) {
    vorlex_codec* c = fari_codec();
    ASSERT_NE(c, nullptr);
    const Bytes data = against_the_model(10000);
    const size_t bound = vorlex_get_max_compressed_size(c, data.size());
    EXPECT_EQ(host_compress(c, data, bound).status, VORLEX_STATUS_OUTPUT_FULL);
    const Result r = host_compress(c, data, stream_limit(data.size()));
    ASSERT_EQ(r.status, VORLEX_STATUS_OK) << "a caller offering more room gets it used";
    EXPECT_GT(r.out.size(), bound);
    EXPECT_EQ(host_decompress(c, r.out, data.size()).out, data);
}

std::map<std::string, std::pair<size_t, size_t>> committed_sizes() {
    std::map<std::string, std::pair<size_t, size_t>> sizes;
    const char* src = std::getenv("VORLEX_SOURCE_DIR");
    if (src == nullptr) return sizes;
    std::ifstream f(std::filesystem::path(src) / "tests/roundtrip/sizes/fari.txt");
    std::string name;
    size_t original, compressed;
    while (f >> name >> original >> compressed) sizes[name] = {original, compressed};
    return sizes;
}

// Whole files in one call each, with the original size as the capacity both
// ways, as an application that only knows the input would call it.
TEST(FariHost, CorpusRoundTripsWithTheCommittedSizes) {
    const auto files = vorlex::test::corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    vorlex_codec* c = fari_codec();
    ASSERT_NE(c, nullptr);
    const auto sizes = committed_sizes();
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const Bytes data = vorlex::test::read_file(file.path);
        const Result z = host_compress(c, data, data.size());
        ASSERT_EQ(z.status, VORLEX_STATUS_OK);
        const auto it = sizes.find(file.name);
        ASSERT_NE(it, sizes.end()) << "no committed size";
        EXPECT_EQ(it->second.first, data.size());
        EXPECT_EQ(it->second.second, z.out.size());
        const Result d = host_decompress(c, z.out, data.size());
        ASSERT_EQ(d.status, VORLEX_STATUS_OK);
        ASSERT_TRUE(d.out == data);
    }
}

}  // namespace
