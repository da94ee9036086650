// The command line: what each form sets, and what is refused.
#include <gtest/gtest.h>

#include "options.hpp"

namespace vorlex::bench {
namespace {

TEST(Options, Defaults) {
    Options o;
    ASSERT_EQ(parse_options({}, o), "");
    EXPECT_TRUE(o.codecs.empty());
    EXPECT_FALSE(o.peers);
    EXPECT_EQ(o.rounds, 5);
    EXPECT_DOUBLE_EQ(o.min_time, 0.5);
    EXPECT_EQ(o.format, Format::table);
    EXPECT_FALSE(o.small);
    EXPECT_TRUE(o.files.empty());
}

TEST(Options, AcceptedForms) {
    Options o;
    ASSERT_EQ(parse_options({"--codec", "lzjb,copy,lzjb", "--peers=lz4,memcpy", "--rounds=3",
                             "--min-time", "0.25", "--format", "json", "--plot", "x.svg", "-q",
                             "a", "--", "--b", "-"},
                            o),
              "");
    EXPECT_EQ(o.codecs, (std::vector<std::string>{"lzjb", "copy"}));  // duplicates dropped
    EXPECT_TRUE(o.peers);
    EXPECT_EQ(o.peer_names, (std::vector<std::string>{"lz4", "memcpy"}));
    EXPECT_EQ(o.rounds, 3);
    EXPECT_DOUBLE_EQ(o.min_time, 0.25);
    EXPECT_EQ(o.format, Format::json);
    EXPECT_EQ(o.plot, "x.svg");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.files, (std::vector<std::string>{"a", "--b", "-"}));

    struct Case {
        std::vector<std::string> args;
        Format format;
    } formats[] = {{{"--format=markdown"}, Format::markdown},
                   {{"--format", "md"}, Format::markdown},
                   {{"--csv"}, Format::csv},
                   {{"--format", "html"}, Format::html},
                   {{"--format=table"}, Format::table}};
    for (const Case& c : formats) {
        ASSERT_EQ(parse_options(c.args, o), "");
        EXPECT_EQ(o.format, c.format);
    }

    ASSERT_EQ(parse_options({"--html", "b.html", "--format=csv"}, o), "");
    EXPECT_EQ(o.html, "b.html");  // the page beside any format
    EXPECT_EQ(o.format, Format::csv);

    ASSERT_EQ(parse_options({"--peers", "--runs", "2", "--small"}, o), "");
    EXPECT_TRUE(o.peers);
    EXPECT_TRUE(o.peer_names.empty());  // --peers takes no separate argument
    EXPECT_EQ(o.rounds, 2);
    EXPECT_EQ(o.small_sizes, (std::vector<size_t>{256, 4096, 65536}));

    ASSERT_EQ(parse_options({"--small=100,4k,64KiB,1m"}, o), "");
    EXPECT_EQ(o.small_sizes, (std::vector<size_t>{100, 4096, 65536, 1048576}));
}

TEST(Options, CodecLevels) {
    Options o;
    ASSERT_EQ(parse_options({"--codec", "zstd:1,3,9,lz4,gzip:6,zstd:3"}, o), "");
    EXPECT_EQ(o.codecs,
              (std::vector<std::string>{"zstd:1", "zstd:3", "zstd:9", "lz4", "gzip:6"}));
    for (const char* bad : {"3", ":3", "zstd:", "zstd:x", "lz4,5", "zstd:99999999999"}) {
        EXPECT_NE(parse_options({"--codec", bad}, o), "") << bad;
    }
}

TEST(Options, Refused) {
    const std::vector<std::vector<std::string>> cases = {
        {"--rounds", "0"},       {"--rounds", "x"},        {"--rounds"},
        {"--rounds=1001"},       {"--min-time", "-1"},     {"--min-time", "nan"},
        {"--min-time", "1s"},    {"--format", "xml"},      {"--codec"},
        {"--codec="},            {"--plot"},               {"--html="},
        {"--format=htm"},        {"--small=0"},            {"--small=4x"},
        {"--frobnicate"},        {"-z"},
    };
    for (const auto& args : cases) {
        Options o;
        o.rounds = 42;
        EXPECT_NE(parse_options(args, o), "") << ::testing::PrintToString(args);
        EXPECT_EQ(o.rounds, 42) << "a refused command line leaves the options alone";
    }
}

}  // namespace
}  // namespace vorlex::bench
