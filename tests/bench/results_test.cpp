// Rows from measurements: medians summed over a group, failures dropped,
// speeds relative to lz4 and memcpy of the same input.
#include <gtest/gtest.h>

#include "results.hpp"

namespace vorlex::bench {
namespace {

Measurement measured(std::string group, std::string input, std::string codec, bool peer,
                     uint64_t original, uint64_t compressed, std::vector<double> comp,
                     std::vector<double> dec, std::string error = {}) {
    Measurement m;
    m.group = std::move(group);
    m.input = std::move(input);
    m.codec = std::move(codec);
    m.peer = peer;
    m.original = original;
    m.compressed = compressed;
    m.compress_per_call = std::move(comp);
    m.decompress_per_call = std::move(dec);
    m.error = std::move(error);
    return m;
}

const Row& find(const std::vector<Row>& rows, const std::string& input, const std::string& codec) {
    for (const Row& r : rows) {
        if (r.input == input && r.codec == codec) return r;
    }
    ADD_FAILURE() << "no row " << input << "/" << codec;
    static const Row none;
    return none;
}

TEST(Results, GroupsSumMediansAndKeepOrder) {
    const std::vector<Measurement> ms = {
        measured("a", "a", "quicklz", false, 1000, 500, {0.3, 0.1, 0.2}, {0.05, 0.01, 0.02}),
        measured("a", "a", "lz4", true, 1000, 400, {0.1, 0.1, 0.1}, {0.01, 0.01, 0.01}),
        measured("b", "b", "quicklz", false, 3000, 1000, {0.4, 0.5, 0.6}, {0.03, 0.03, 0.09}),
        measured("b", "b", "lz4", true, 3000, 1500, {0.2, 0.2, 0.2}, {0.02, 0.02, 0.02}),
    };
    const std::vector<Row> rows = rows_by_group(ms);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].input + "/" + rows[0].codec, "a/quicklz");
    EXPECT_EQ(rows[3].input + "/" + rows[3].codec, "b/lz4");
    EXPECT_DOUBLE_EQ(rows[0].compress_seconds, 0.2);     // median of 0.3, 0.1, 0.2
    EXPECT_DOUBLE_EQ(rows[0].decompress_seconds, 0.02);
    EXPECT_DOUBLE_EQ(rows[0].ratio(), 2.0);
    EXPECT_DOUBLE_EQ(rows[0].compress_mb_s(), 0.005);    // 1000 bytes in 0.2 s

    const std::vector<Row> total = total_rows(ms, "total");
    ASSERT_EQ(total.size(), 2u);
    const Row& q = find(total, "total", "quicklz");
    EXPECT_EQ(q.inputs, 2u);
    EXPECT_EQ(q.original, 4000u);
    EXPECT_EQ(q.compressed, 1500u);
    // The total's time is the sum of each file's median: 0.2 + 0.5.
    EXPECT_DOUBLE_EQ(q.compress_seconds, 0.7);
    EXPECT_DOUBLE_EQ(q.decompress_seconds, 0.05);
    EXPECT_DOUBLE_EQ(q.compress_seconds_per_call(), 0.35);
    EXPECT_NEAR(q.ratio(), 4000.0 / 1500.0, 1e-12);
    EXPECT_FALSE(q.peer);
    EXPECT_TRUE(find(total, "total", "lz4").peer);
}

TEST(Results, ACodecThatFailedAnywhereInAGroupHasNoRowThere) {
    const std::vector<Measurement> ms = {
        measured("4 KiB", "x", "fari", false, 4096, 2000, {1}, {1}),
        measured("4 KiB", "y", "fari", false, 4096, 0, {}, {}, "round trip FAILED"),
        measured("4 KiB", "x", "copy", false, 4096, 4096, {1}, {1}),
        measured("4 KiB", "y", "copy", false, 4096, 4096, {1}, {1}),
        measured("64 KiB", "x", "fari", false, 65536, 30000, {2}, {2}),
    };
    const std::vector<Row> rows = rows_by_group(ms);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].input + "/" + rows[0].codec, "4 KiB/copy");
    EXPECT_EQ(rows[0].inputs, 2u);
    EXPECT_EQ(rows[1].input + "/" + rows[1].codec, "64 KiB/fari");
    EXPECT_EQ(total_rows(ms, "total").size(), 1u);  // only copy succeeded everywhere
}

TEST(Results, SpeedsRelativeToLz4AndMemcpyOfTheSameInput) {
    std::vector<Row> rows = rows_by_group({
        measured("a", "a", "quicklz", false, 1000, 500, {0.2}, {0.04}),
        measured("a", "a", "memcpy", true, 1000, 1000, {0.01}, {0.01}),
        measured("a", "a", "lz4", true, 1000, 400, {0.1}, {0.01}),
        measured("b", "b", "quicklz", false, 1000, 500, {0.2}, {0.04}),  // no peers on b
    });
    add_reference_ratios(rows);
    const Row& q = find(rows, "a", "quicklz");
    EXPECT_DOUBLE_EQ(*q.compress_vs_lz4, 0.5);     // twice lz4's time
    EXPECT_DOUBLE_EQ(*q.decompress_vs_lz4, 0.25);
    EXPECT_DOUBLE_EQ(*q.compress_vs_memcpy, 0.05);
    EXPECT_DOUBLE_EQ(*q.decompress_vs_memcpy, 0.25);
    EXPECT_DOUBLE_EQ(*find(rows, "a", "lz4").compress_vs_lz4, 1.0);
    const Row& b = find(rows, "b", "quicklz");
    EXPECT_FALSE(b.compress_vs_lz4 || b.decompress_vs_lz4 || b.compress_vs_memcpy ||
                 b.decompress_vs_memcpy);
}

TEST(Results, OneOfOursNamedLikeAPeerIsNeitherMergedNorAReference) {
    std::vector<Row> rows = rows_by_group({
        measured("a", "a", "lz4", false, 1000, 500, {0.2}, {0.04}),
        measured("a", "a", "copy", false, 1000, 1000, {0.1}, {0.01}),
    });
    add_reference_ratios(rows);
    EXPECT_FALSE(find(rows, "a", "copy").compress_vs_lz4.has_value());

    rows = rows_by_group({
        measured("a", "a", "lz4", false, 1000, 500, {0.2}, {0.04}),
        measured("a", "a", "lz4", true, 1000, 400, {0.1}, {0.01}),
    });
    add_reference_ratios(rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].compressed, 500u);
    EXPECT_DOUBLE_EQ(*rows[0].compress_vs_lz4, 0.5);
}

}  // namespace
}  // namespace vorlex::bench
