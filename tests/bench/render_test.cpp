// Rendering: the same rows as a table, Markdown, CSV and JSON.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "render.hpp"

namespace vorlex::bench {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Row row(std::string input, std::string codec, bool peer, uint64_t original, uint64_t compressed,
        double comp_s, double dec_s) {
    Row r;
    r.input = std::move(input);
    r.codec = std::move(codec);
    r.peer = peer;
    r.inputs = 1;
    r.original = original;
    r.compressed = compressed;
    r.compress_seconds = comp_s;
    r.decompress_seconds = dec_s;
    return r;
}

Report sample_report(bool with_peers) {
    Report rep;
    rep.info.version = "0.1.0";
    rep.info.commit = "abc123";
    rep.info.cpu = "Test CPU";
    rep.info.compiler = "gcc 12";
    rep.info.build = "Release -O3";
    rep.info.rounds = 5;
    rep.info.min_time = 0.5;
    rep.rows.push_back(row("dickens", "quicklz", false, 10'000'000, 4'000'000, 0.05, 0.02));
    if (with_peers) {
        rep.rows.push_back(row("dickens", "lz4", true, 10'000'000, 5'000'000, 0.025, 0.005));
        rep.rows.push_back(row("dickens", "memcpy", true, 10'000'000, 10'000'000, 0.001, 0.001));
        rep.info.peers = {"lz4 1.9.4", "memcpy"};
        rep.info.missing_peers = {"snappy (libsnappy-dev)"};
    }
    rep.rows.push_back(row("xml", "quicklz", false, 5'000'000, 1'000'000, 0.01, 0.004));
    add_reference_ratios(rep.rows);
    return rep;
}

TEST(Render, FixedAndMicros) {
    EXPECT_EQ(fixed(2.5, 3), "2.500");
    EXPECT_EQ(fixed(1.0 / 3, 3), "0.333");
    EXPECT_EQ(fixed(1.0 / 0.0, 1), "-");
    struct Case {
        double seconds;
        const char* text;
    } cases[] = {{3.2e-7, "0.320"}, {4.567e-6, "4.567"}, {4.567e-5, "45.67"},
                 {4.567e-4, "456.7"}, {4.5671e-3, "4567"}};
    for (const Case& c : cases) EXPECT_EQ(micros(c.seconds), c.text) << c.seconds;
}

TEST(Render, TableAlignsColumnsAndSeparatesInputs) {
    const auto lines = lines_of(render_table(sample_report(true)));
    // Header block, a blank line, then the column header.
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0], "vorlex bench: libvorlex 0.1.0, commit abc123");
    EXPECT_NE(lines[1].find("CPU: Test CPU"), std::string::npos);
    EXPECT_NE(lines[2].find("MB/s = 10^6 bytes"), std::string::npos);
    EXPECT_NE(lines[2].find("median of 5 rounds"), std::string::npos);
    EXPECT_EQ(lines[3], "peers: lz4 1.9.4, memcpy");
    EXPECT_NE(lines[4].find("snappy (libsnappy-dev)"), std::string::npos);
    EXPECT_EQ(lines[5], "");
    const std::string& head = lines[6];
    EXPECT_EQ(head.rfind("file ", 0), 0u);
    for (const char* col : {"codec", "original", "compressed", "ratio", "comp MB/s", "dec MB/s",
                            "comp/lz4", "dec/lz4", "comp/memcpy", "dec/memcpy"}) {
        EXPECT_NE(head.find(col), std::string::npos) << col;
    }
    // Numbers are right-aligned: every body row ends where the header ends.
    for (size_t i = 7; i < 10; ++i) EXPECT_EQ(lines[i].size(), head.size()) << lines[i];
    EXPECT_NE(lines[7].find("2.500"), std::string::npos);   // ratio
    EXPECT_NE(lines[7].find("200.0"), std::string::npos);   // 10 MB in 0.05 s
    EXPECT_NE(lines[7].find("0.500"), std::string::npos);   // half of lz4's speed
    EXPECT_NE(lines[7].find("0.020"), std::string::npos);   // 1/50 of memcpy's
    EXPECT_EQ(lines[10], "");                               // next input
    EXPECT_EQ(lines[11].rfind("xml", 0), 0u);
    EXPECT_NE(lines[11].find(" -"), std::string::npos);     // no reference on xml
}

TEST(Render, ReferenceColumnsOnlyWhenMeasuredAndPerCallColumnsForSmallInputs) {
    const std::string plain = render_table(sample_report(false));
    EXPECT_EQ(plain.find("lz4"), std::string::npos);
    EXPECT_EQ(plain.find("memcpy"), std::string::npos);
    EXPECT_EQ(plain.find("peers"), std::string::npos);
    EXPECT_EQ(plain.find("us/call"), std::string::npos);

    Report small = sample_report(false);
    small.per_call = true;
    small.rows[0].input = "4 KiB";
    small.rows[0].inputs = 2;  // 0.05 s over two inputs: 25000 us per call
    const auto lines = lines_of(render_table(small));
    const auto head = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind("size ", 0) == 0; });
    ASSERT_NE(head, lines.end());
    EXPECT_NE(head->find("comp us/call"), std::string::npos);
    EXPECT_EQ(head->find("original"), std::string::npos);
    EXPECT_NE(head[1].find("25000"), std::string::npos);
}

TEST(Render, MarkdownIsAPipeTable) {
    Report rep = sample_report(true);
    rep.rows[0].input = "a|b";
    const auto lines = lines_of(render_markdown(rep));
    const auto head = std::find_if(lines.begin(), lines.end(),
                                   [](const std::string& l) { return l.rfind("| file |", 0) == 0; });
    ASSERT_NE(head, lines.end());
    EXPECT_EQ(head[1].rfind("| :--- | :--- | ---: |", 0), 0u);
    EXPECT_EQ(lines.end() - head, 2 + 4);  // header, rule, four rows, no blank lines
    EXPECT_EQ(head[2].rfind("| a\\|b | quicklz |", 0), 0u);
    // Header lines end in two spaces: Markdown line breaks.
    EXPECT_EQ(lines[0], "vorlex bench: libvorlex 0.1.0, commit abc123  ");
}

TEST(Render, CsvHasCommentedHeaderFixedColumnsAndExactNumbers) {
    Report rep = sample_report(true);
    rep.rows[3].input = "name, with \"quotes\"";
    const auto lines = lines_of(render_csv(rep));
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind("# ", 0) == 0) ++i;
    EXPECT_EQ(i, 5u);
    ASSERT_EQ(lines.size(), i + 1 + 4);
    EXPECT_EQ(lines[i],
              "input,codec,peer,inputs,original,compressed,ratio,compress_mb_s,decompress_mb_s,"
              "compress_s_per_call,decompress_s_per_call,compress_vs_lz4,decompress_vs_lz4,"
              "compress_vs_memcpy,decompress_vs_memcpy");
    EXPECT_EQ(lines[i + 1], "dickens,quicklz,0,1,10000000,4000000,2.5,200,500,0.05,0.02,0.5,0.25,"
                            "0.02,0.05");
    EXPECT_EQ(lines[i + 2].rfind("dickens,lz4,1,", 0), 0u);
    // No reference: empty fields, not zeros.
    EXPECT_EQ(lines[i + 4], "\"name, with \"\"quotes\"\"\",quicklz,0,1,5000000,1000000,5,500,1250,"
                            "0.01,0.004,,,,");
}

TEST(Render, JsonCarriesTheRunAndEveryField) {
    Report rep = sample_report(true);
    rep.info.cpu = "CPU \"quoted\"\tand\\";
    const std::string json = render_json(rep);
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.substr(json.size() - 2), "}\n");
    EXPECT_NE(json.find("\"cpu\": \"CPU \\\"quoted\\\"\\u0009and\\\\\""), std::string::npos);
    EXPECT_NE(json.find("\"rounds\": 5,"), std::string::npos);
    EXPECT_NE(json.find("\"min_time\": 0.5,"), std::string::npos);
    EXPECT_NE(json.find("\"missing_peers\": [\"snappy (libsnappy-dev)\"]"), std::string::npos);
    EXPECT_NE(json.find("\"per_call\": false"), std::string::npos);
    EXPECT_NE(json.find("{\"input\": \"dickens\", \"codec\": \"quicklz\", \"peer\": false, "
                        "\"inputs\": 1, \"original\": 10000000, \"compressed\": 4000000, "
                        "\"ratio\": 2.5, \"compress_mb_s\": 200, \"decompress_mb_s\": 500, "
                        "\"compress_s_per_call\": 0.05, \"decompress_s_per_call\": 0.02, "
                        "\"compress_vs_lz4\": 0.5, \"decompress_vs_lz4\": 0.25, "
                        "\"compress_vs_memcpy\": 0.02, \"decompress_vs_memcpy\": 0.05}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"input\": \"xml\""), std::string::npos);
    EXPECT_NE(json.find("\"compress_vs_lz4\": null"), std::string::npos);
    // Rows are separated by commas: four rows, three separators.
    size_t separators = 0;
    for (size_t p = 0; (p = json.find("},\n    {", p)) != std::string::npos; ++p) ++separators;
    EXPECT_EQ(separators, 3u);

    Report empty;
    EXPECT_NE(render_json(empty).find("\"rows\": []"), std::string::npos);
}

TEST(Render, FormatSelectsTheRenderer) {
    const Report rep = sample_report(false);
    EXPECT_EQ(render(rep, Format::table), render_table(rep));
    EXPECT_EQ(render(rep, Format::markdown), render_markdown(rep));
    EXPECT_EQ(render(rep, Format::csv), render_csv(rep));
    EXPECT_EQ(render(rep, Format::json), render_json(rep));
}

}  // namespace
}  // namespace vorlex::bench
