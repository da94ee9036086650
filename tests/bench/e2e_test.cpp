// `vorlex bench` end to end, in-process, through the real host and the
// build's plug-ins: every codec the host lists is measured and verified,
// peers join, the plot is written, and failures set the exit status. Tiny
// inputs and --min-time keep it quick; nothing here looks at a speed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <vorlex/vorlex.hpp>

#include "bench.hpp"
#include "peers.hpp"
#include "support/test_data.hpp"

namespace fs = std::filesystem;

namespace vorlex::bench {
namespace {

struct Result {
    int status;
    std::string out, err;
};

std::string slurp(std::FILE* f) {
    std::rewind(f);
    std::string s;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
    std::fclose(f);
    return s;
}

Result bench(const std::vector<std::string>& args) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int status = run_bench(args, out, err);
    return {status, slurp(out), slurp(err)};
}

std::vector<std::vector<std::string>> csv_rows(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(csv);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("# ", 0) == 0) continue;
        std::vector<std::string> fields;
        std::istringstream l(line);
        for (std::string f; std::getline(l, f, ',');) fields.push_back(f);
        rows.push_back(fields);
    }
    return rows;
}

std::set<std::string> host_codecs() {
    std::set<std::string> names;
    for (const Codec& c : available_codecs()) names.emplace(c.name());
    return names;
}

class BenchEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vorlex-bench-e2e-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        // Prose-like and LZ-friendly data: every codec has something to do.
        write("text", test::text_bytes(12000, 1));
        write("mixed", test::mixed_bytes(9000, 2));
        write("empty", {});
    }
    void TearDown() override { fs::remove_all(dir_); }

    void write(const std::string& name, const test::Bytes& data) {
        std::ofstream(dir_ / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

const std::vector<std::string> QUICK = {"--rounds", "1", "--min-time", "0.001"};

std::vector<std::string> with(std::vector<std::string> extra) {
    std::vector<std::string> args = QUICK;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

TEST_F(BenchEndToEnd, EveryCodecAndPeerIsMeasuredAndVerified) {
    const std::set<std::string> ours = host_codecs();
    ASSERT_FALSE(ours.empty());
    const std::string svg = path("plot.svg");
    const Result r =
        bench(with({"--peers", "--format", "csv", "--plot", svg, path("text"), path("mixed")}));
    ASSERT_EQ(r.status, 0) << r.err;

    std::set<std::string> peers;
    for (const PeerInfo& p : known_peers()) {
        if (p.available) {
            peers.insert(p.name);
        } else {
            EXPECT_NE(r.out.find(p.key + " (" + p.package + ")"), std::string::npos) << p.key;
        }
    }
    const auto rows = csv_rows(r.out);
    ASSERT_FALSE(rows.empty());
    ASSERT_EQ(rows[0][0], "input");
    // Per input, and in the total: exactly our codecs and the built-in peers.
    for (const char* input : {"text", "mixed", "total"}) {
        std::set<std::string> seen_ours, seen_peers;
        for (size_t i = 1; i < rows.size(); ++i) {
            const auto& f = rows[i];
            if (f[0] != input) continue;
            ASSERT_GE(f.size(), 13u);
            (f[2] == "1" ? seen_peers : seen_ours).insert(f[1]);
            EXPECT_GT(std::stod(f[6]), 0) << input << " " << f[1];  // ratio
            EXPECT_EQ(f[3], std::string(input) == "total" ? "2" : "1");
            if (f[1] == "copy" || f[1] == "memcpy") {
                EXPECT_EQ(f[4], f[5]);
            }
            if (peers.count("lz4") != 0) {
                EXPECT_FALSE(f[11].empty()) << "no speed relative to lz4";
            }
        }
        EXPECT_EQ(seen_ours, ours) << input;
        EXPECT_EQ(seen_peers, peers) << input;
    }

    std::ifstream plot(svg);
    const std::string picture((std::istreambuf_iterator<char>(plot)), std::istreambuf_iterator<char>());
    EXPECT_EQ(picture.rfind("<svg ", 0), 0u);
    EXPECT_NE(picture.find("all files"), std::string::npos);
    for (const std::string& c : ours) EXPECT_NE(picture.find(">" + c + "<"), std::string::npos) << c;
    EXPECT_EQ(picture.substr(picture.size() - 7), "</svg>\n");
}

TEST_F(BenchEndToEnd, HtmlPageBesideTheReportAndAFileNamedTotal) {
    // A file called "total" must not merge with the sum over files.
    write("total", test::text_bytes(5000, 3));
    const std::string page = path("b.html");
    const Result r = bench(
        with({"--codec", "copy,lzjb", "--csv", "--html", page, path("text"), path("total")}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string file_row = path("total") + ",copy,0,1,5000,";
    EXPECT_NE(r.out.find(file_row), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\ntotal,copy,0,2,17000,"), std::string::npos) << r.out;

    std::ifstream in(page);
    const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(html.rfind("<!DOCTYPE html>\n", 0), 0u);
    EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
    for (const std::string& input : {std::string("total"), std::string("text"), path("total")}) {
        EXPECT_NE(html.find("<div class=\"group\" id=\"plots-"), std::string::npos);
        EXPECT_NE(html.find("\" data-input=\"" + input + "\">"), std::string::npos) << input;
    }

    // --format html is the same page on standard output.
    const Result out = bench(with({"--codec", "copy", "--format", "html", path("text")}));
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.rfind("<!DOCTYPE html>\n", 0), 0u);
}

TEST_F(BenchEndToEnd, SmallInputsGiveOneRowPerSizeAndCodec) {
    const Result r = bench(with({"--small=256,4k,1m", "--format=json", "--codec", "copy",
                                 path("text"), path("mixed")}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"per_call\": true"), std::string::npos);
    EXPECT_NE(r.out.find("{\"input\": \"256 B\", \"codec\": \"copy\", \"peer\": false, "
                         "\"inputs\": 2, \"original\": 512, \"compressed\": 512,"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"input\": \"4 KiB\", \"codec\": \"copy\", \"peer\": false, "
                         "\"inputs\": 2, \"original\": 8192,"),
              std::string::npos);
    // Neither file reaches 1 MiB: said, and no row.
    EXPECT_EQ(r.out.find("1 MiB"), std::string::npos);
    EXPECT_NE(r.err.find("1 MiB: no input is that long"), std::string::npos);
}

// The host-overhead view: every subject of a library codec verified, and
// the ratio table pairing each with its direct twin; codecs over no library
// are refused.
TEST_F(BenchEndToEnd, OverheadPairsEachLibraryCodecWithItsDirectCall) {
    if (vorlex_get_codec("lz4") == nullptr) GTEST_SKIP() << "lz4 plug-in not built";
    const Result r = bench(with({"--overhead", "--codec", "lz4:1", "--small=4k", path("text")}));
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* row : {"lz4:1 direct", "lz4:1 block direct", "lz4:1 frame"}) {
        EXPECT_NE(r.out.find(row), std::string::npos) << row << "\n" << r.out;
    }
    EXPECT_NE(r.out.find("Host overhead"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("lz4:1 frame      lz4:1 block direct"), std::string::npos) << r.out;
    const Result refused = bench(with({"--overhead", "--codec", "copy", path("text")}));
    EXPECT_EQ(refused.status, 2) << "a --codec that cannot be taken is a usage error";
    EXPECT_NE(refused.err.find("wraps no library"), std::string::npos) << refused.err;
}

TEST_F(BenchEndToEnd, TheBuiltInInputNeedsNoFile) {
    const Result r = bench(with({"--codec", "copy", "--format", "csv"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nvorlex-sources,copy,0,1,"), std::string::npos) << r.out;
}

TEST_F(BenchEndToEnd, FailuresAndUsageErrorsSetTheExitStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string in_err;
    } cases[] = {
        {with({"--codec", "copy", path("missing"), path("text")}), 1, "missing: No such file"},
        {with({"--codec", "copy", dir_.string()}), 1, "is a directory"},
        {with({"--codec", "no-such-codec", path("text")}), 2, "codec no-such-codec"},
        {with({"--codec", "zstd:23", path("text")}), 2, "codec zstd has no level 23"},
        {with({"--codec", "copy:3", path("text")}), 0, "copy has no compression levels; level 3 ignored"},
        {with({"--codec", "copy", "--peers=lz5", path("text")}), 2, "unknown peer 'lz5'"},
        {with({"--rounds", "0"}), 2, "Try 'vorlex bench --help'"},
        {with({"--codec", "copy", "--plot", path("no/such/dir/p.svg"), path("text")}), 1,
         "p.svg"},
        {with({"--codec", "copy", "--html", path("no/such/dir/b.html"), path("text")}), 1,
         "b.html"},
        {with({"--codec", "copy", path("empty")}), 0, "empty, skipped"},
    };
    for (const Case& c : cases) {
        const Result r = bench(c.args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << "\n" << r.err;
        EXPECT_NE(r.err.find(c.in_err), std::string::npos) << r.err;
    }
    // The readable file is still measured beside the missing one.
    const Result r = bench(with({"--codec", "copy", "--csv", path("missing"), path("text")}));
    EXPECT_NE(r.out.find("\ntext,copy,"), std::string::npos) << r.out;
}

TEST_F(BenchEndToEnd, HelpGoesToStandardOutput) {
    const Result r = bench({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: vorlex bench", 0), 0u);
    EXPECT_TRUE(r.err.empty());
}

}  // namespace
}  // namespace vorlex::bench
