// The HTML page and its plots: the Pareto front, what the page must never
// contain (a load from elsewhere, text from the run that escapes its place),
// and the data it carries (the CSV link, one plot pair per input). How the
// page behaves in a browser is tests/bench/browser.sh's part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html.hpp"
#include "panel.hpp"
#include "plot.hpp"

namespace vorlex::bench {
namespace {

size_t occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const size_t start = text.find(open);
    if (start == std::string::npos) return {};
    const size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? std::string()
                                    : text.substr(start + open.size(), end - start - open.size());
}

std::string percent_decode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string html_unescape(std::string s) {
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"&quot;", "\""},
                                   {"&lt;", "<"}, {"&gt;", ">"}, {"&#39;", "'"}, {"&amp;", "&"}}) {
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) {
            s.replace(at, from.size(), to);
        }
    }
    return s;
}

TEST(Panel, ParetoFrontKeepsWhatNothingBeats) {
    struct Case {
        const char* what;
        std::vector<std::pair<double, double>> points;  // speed, ratio
        std::vector<size_t> front;                      // by ascending speed
    } cases[] = {
        {"one point", {{10, 2}}, {0}},
        {"a trade-off line", {{500, 1.5}, {10, 3}, {100, 2}}, {1, 2, 0}},
        {"beaten on one axis, tied on the other", {{10, 2}, {20, 2}, {20, 1}}, {1}},
        {"equal points both stay", {{10, 2}, {10, 2}, {5, 1}}, {0, 1}},
        {"inside the front", {{100, 3}, {50, 2}, {200, 1}, {150, 2.5}}, {0, 3, 2}},
    };
    for (const Case& c : cases) {
        std::vector<PlotPoint> pts;
        for (const auto& [speed, ratio] : c.points) pts.push_back({"x", false, speed, ratio, ""});
        const std::vector<size_t> front = pareto_front(pts);
        EXPECT_EQ(front, c.front) << c.what;
    }
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

// Two files, their total, a peer; run text and a file name that would break
// out of HTML, an attribute, the JSON's <script> element and a URL.
Report hostile_report() {
    Report rep;
    rep.info.version = "0.1.0";
    rep.info.commit = "abc123";
    rep.info.cpu = "CPU <b>\"fast\"</b> & co";
    rep.info.compiler = "gcc 12";
    rep.info.build = "Release -O3";
    rep.info.rounds = 3;
    rep.info.min_time = 0.5;
    rep.info.peers = {"lz4 1.9.4"};
    const std::string evil = "a</script><script>alert(1)</script>\"'#%&.txt";
    for (const std::string& input : {std::string("plain"), evil, std::string("total")}) {
        const uint64_t n = input == "total" ? 2'000'000 : 1'000'000;
        for (Row r : {row(input, "zstd", false, n, n / 3, 0.02, 0.002),
                      row(input, "copy", false, n, n, 0.0001, 0.0001),
                      row(input, "lz4", true, n, n / 2, 0.004, 0.001)}) {
            r.inputs = input == "total" ? 2 : 1;
            rep.rows.push_back(r);
        }
    }
    add_reference_ratios(rep.rows);
    return rep;
}

TEST(Html, PageIsSelfContainedAndEscapesTheRun) {
    const Report rep = hostile_report();
    const std::string page = render_html(rep, "2026-12-09 12:00 UTC");

    // Loads nothing: the policy refuses all, no URL of another place, no src.
    EXPECT_NE(page.find("<meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
                        "'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                        "img-src data:;"),
              std::string::npos);
    for (const char* banned : {"http://", "https://", "//www.", " src=", "@import", "url("}) {
        EXPECT_EQ(page.find(banned), std::string::npos) << banned;
    }
    // The run's text never becomes markup: two script elements (data, code),
    // no bold CPU.
    EXPECT_EQ(occurrences(page, "<script"), 2u);
    EXPECT_EQ(occurrences(page, "</script>"), 2u);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("CPU &lt;b&gt;&quot;fast&quot;&lt;/b&gt; &amp; co"), std::string::npos);
    // The JSON the script reads still says the same.
    const std::string json = between(page, "<script type=\"application/json\" id=\"bench-data\">\n",
                                     "</script>");
    EXPECT_NE(json.find("\"input\": \"a\\u003c/script>\\u003cscript>alert(1)\\u003c/script>"),
              std::string::npos)
        << json.substr(0, 300);
    EXPECT_EQ(json.find('<'), std::string::npos);

    EXPECT_NE(page.find("<dt>written</dt><dd>2026-12-09 12:00 UTC</dd>"), std::string::npos);
    EXPECT_NE(page.find("id=\"best\" class=\"best\" data-best-total=\"\""), std::string::npos);
}

TEST(Html, EveryInputHasItsPlotsAndTheCsvRoundTrips) {
    const Report rep = hostile_report();
    const std::string page = render_html(rep, "");
    // Three inputs, total first: two panels each, a mark per row, a front.
    EXPECT_EQ(occurrences(page, "<svg class=\"plot compression\""), 3u);
    EXPECT_EQ(occurrences(page, "<svg class=\"plot decompression\""), 3u);
    EXPECT_EQ(occurrences(page, "<g class=\"pt"), 18u);
    EXPECT_EQ(occurrences(page, "data-peer=\"1\"><title>lz4 (peer): ratio 2.000"), 6u);
    EXPECT_GE(occurrences(page, "<polyline class=\"front\""), 6u);
    EXPECT_LT(page.find("id=\"plots-0\" data-input=\"total\""), page.find("data-input=\"plain\""));
    EXPECT_EQ(page.find("<dt>written</dt>"), std::string::npos);
    // The table has every row; the download is exactly `--format csv`.
    EXPECT_EQ(occurrences(page, "<tr data-input="), rep.rows.size());
    const std::string href = between(
        page, "download=\"vorlex-benchmarks.csv\" href=\"data:text/csv;charset=utf-8,", "\"");
    ASSERT_FALSE(href.empty());
    EXPECT_EQ(href.find_first_of("#<>\" \n"), std::string::npos);
    EXPECT_EQ(percent_decode(html_unescape(href)), render_csv(rep));
    // The format switch gives the same page.
    EXPECT_EQ(render(rep, Format::html).rfind("<!DOCTYPE html>\n<html lang=\"en\">", 0), 0u);
}

TEST(Html, StaticPlotTicksAndFront) {
    // Ratios 1 to 2.5: quarter steps, each tick label exact.
    std::vector<Row> rows = {row("f", "a", false, 1000, 1000, 1e-6, 1e-6),
                             row("f", "b", false, 1000, 400, 1e-4, 1e-5),
                             row("f", "c", true, 1000, 800, 1e-4, 1e-5)};
    const std::string svg = render_svg(rows, "t", "s");
    for (const char* tick : {">0.75<", ">1<", ">1.25<", ">2.25<", ">2.75<"}) {
        EXPECT_NE(svg.find(tick), std::string::npos) << tick;
    }
    EXPECT_EQ(svg.find(">2.8<"), std::string::npos);
    // c is beaten by b (as fast, smaller): off the front in both panels.
    EXPECT_EQ(occurrences(svg, "<g class=\"pt on-front\" data-codec=\"c\""), 0u);
    EXPECT_EQ(occurrences(svg, "<g class=\"pt on-front\" data-codec=\"b\""), 2u);
}

}  // namespace
}  // namespace vorlex::bench
