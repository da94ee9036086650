// Command-line parsing: every spelling of each option, the sizes, the mode
// precedence and the combinations refused as usage errors.
#include <gtest/gtest.h>

#include <vorlex/vorlex.h>

#include <string>
#include <vector>

#include "options.hpp"

namespace {

using namespace vorlex::cli;

TEST(Options, SizesTakeBinarySuffixes) {
    const struct {
        const char* text;
        std::optional<uint64_t> want;
    } cases[] = {
        {"4096", 4096},          {"64K", 64u << 10},       {"64k", 64u << 10},
        {"64KiB", 64u << 10},    {"1M", 1u << 20},         {"3mib", 3u << 20},
        {"2G", 2ull << 30},      {"0", 0},                 {"", std::nullopt},
        {"K", std::nullopt},     {"12X", std::nullopt},    {"-1", std::nullopt},
        {"1.5M", std::nullopt},  {"1MB", std::nullopt},
        {"18446744073709551615", UINT64_MAX}, {"18446744073709551616", std::nullopt},
        {"17179869184G", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_size(c.text), c.want) << c.text;
}

Options parse_ok(const std::vector<std::string>& args) {
    const ParsedOptions p = parse_options(args);
    EXPECT_EQ(p.error, "") << args.size();
    return p.options;
}

TEST(Options, ValuesAttachedSeparateOrAfterEquals) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-B64K", "-T3", "--codec", "lzjb"},
             {"-B", "64K", "-T", "3", "--codec=lzjb"},
             {"--block-size=64K", "--threads", "3", "--codec", "lzjb"}}) {
        const Options o = parse_ok(args);
        EXPECT_EQ(o.block_size, 64u << 10);
        EXPECT_EQ(o.threads, 3u);
        EXPECT_EQ(o.codec, "lzjb");
        EXPECT_EQ(o.files, std::vector<std::string>{"-"}) << "no FILE is standard input";
    }
}

TEST(Options, ClustersFilesAndTheEndOfOptions) {
    const Options o = parse_ok({"-dcfv", "a", "-", "--", "-q", "--rm"});
    EXPECT_EQ(o.mode, Mode::decompress);
    EXPECT_TRUE(o.to_stdout);
    EXPECT_TRUE(o.force);
    EXPECT_EQ(o.verbosity, 2);
    EXPECT_FALSE(o.remove_input);
    EXPECT_EQ(o.files, (std::vector<std::string>{"a", "-", "-q", "--rm"}));

    const Options t = parse_ok({"-kqT0", "-oout", "x", "--rm", "--no-progress", "--raw"});
    EXPECT_EQ(t.output, "out");
    EXPECT_EQ(t.threads, 0u);
    EXPECT_EQ(t.verbosity, 0);
    EXPECT_TRUE(t.remove_input);
    EXPECT_TRUE(t.raw);
    EXPECT_EQ(t.progress, ProgressMode::never);
}

TEST(Options, CompressionLevels) {
    EXPECT_EQ(parse_ok({"a"}).level, std::nullopt);
    EXPECT_EQ(parse_ok({"-19", "a"}).level, 19);
    EXPECT_EQ(parse_ok({"-1", "-9"}).level, 9) << "the last one counts";
    EXPECT_EQ(parse_ok({"--level", "3"}).level, 3);
    EXPECT_EQ(parse_ok({"--level=-5"}).level, -5);
    const Options o = parse_ok({"-c7f"});
    EXPECT_EQ(o.level, 7);
    EXPECT_TRUE(o.to_stdout);
    EXPECT_TRUE(o.force);
    for (const char* bad : {"x", "", "1.5", "--3", "9999999999"}) {
        EXPECT_NE(parse_options({"--level", bad}).error, "") << bad;
    }
    EXPECT_NE(parse_options({"-12345678901"}).error, "");
    // zstd's spellings: --fast[=N] is level -N, --ultra a flag.
    EXPECT_EQ(parse_ok({"--fast"}).level, -1);
    EXPECT_EQ(parse_ok({"--fast=7"}).level, -7);
    EXPECT_EQ(parse_ok({"-19", "--fast=2"}).level, -2) << "the last one counts";
    EXPECT_TRUE(parse_ok({"--ultra", "-22"}).ultra);
    EXPECT_FALSE(parse_ok({"-22"}).ultra);
    for (const char* bad : {"--fast=", "--fast=0", "--fast=-3", "--fast=x"}) {
        EXPECT_NE(parse_options({bad}).error, "") << bad;
    }
    // What --codec, -B and --memory leave to the defaults, they say so.
    EXPECT_FALSE(parse_ok({"a"}).codec_given);
    EXPECT_TRUE(parse_ok({"--codec=zstd"}).codec_given);
    EXPECT_FALSE(parse_ok({"a"}).block_size_given);
    EXPECT_TRUE(parse_ok({"-B1M"}).block_size_given);
    EXPECT_TRUE(parse_ok({"--memory=2G"}).memory_given);
}

TEST(Options, Filters) {
    const struct {
        const char* arg;
        int filter;
        unsigned typesize;
    } good[] = {
        {"shuffle:8", VORLEX_FILTER_SHUFFLE, 8},  {"bitshuffle:2", VORLEX_FILTER_BITSHUFFLE, 2},
        {"delta:255", VORLEX_FILTER_DELTA, 255},  {"auto", VORLEX_FILTER_AUTO, DEFAULT_TYPESIZE},
        {"none", VORLEX_FILTER_NONE, 0},
    };
    for (const auto& g : good) {
        const Options o = parse_ok({"--filter", g.arg, "a"});
        EXPECT_EQ(o.filter, g.filter) << g.arg;
        EXPECT_EQ(o.typesize, g.typesize) << g.arg;
    }
    EXPECT_EQ(parse_ok({"a"}).filter, VORLEX_FILTER_NONE);
    for (const char* bad : {"shuffle:0", "shuffle:256", "shuffle:", "shuffle:x", "Auto", "lz4:4"}) {
        EXPECT_NE(parse_options({"--filter", bad}).error, "") << bad;
    }
    EXPECT_NE(parse_options({"--raw", "--filter", "auto", "a"}).error, "");
}

TEST(Options, ModePrecedence) {
    const struct {
        std::vector<std::string> args;
        Mode want;
    } cases[] = {
        {{}, Mode::compress},
        {{"-d"}, Mode::decompress},
        {{"-d", "-t"}, Mode::test},
        {{"-t", "-l"}, Mode::list},
        {{"-d", "-z"}, Mode::compress},
        {{"-l", "--codecs"}, Mode::codecs},
        {{"--codecs", "-V"}, Mode::version},
        {{"-V", "-h", "-d"}, Mode::help},
        {{"--uncompress"}, Mode::decompress},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_ok(c.args).mode, c.want) << c.args.size();
}

TEST(Options, UsageErrors) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-x"}, "unknown option '-x'"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--force=yes"}, "unknown option '--force=yes'"},
        {{"-B"}, "'-B' needs a value"},
        {{"--codec"}, "'--codec' needs a value"},
        {{"-B", "1023"}, "invalid block size '1023'"},
        {{"-B", "65M"}, "invalid block size '65M'"},
        {{"-B", "lots"}, "invalid block size"},
        {{"-T", "257"}, "invalid thread count '257'"},
        {{"-T", "2K"}, "invalid thread count '2K'"},
        {{"-o", "x", "-c", "a"}, "-o and -c cannot be combined"},
        {{"-o", "x", "a", "b"}, "-o takes a single input file"},
        {{"-t", "-o", "x", "a"}, "-o makes no sense"},
        {{"--raw", "-l"}, "no container to list"},
        {{"--size", "10", "-d"}, "--size only applies to --raw decompression"},
        {{"--size", "10", "--raw"}, "--size only applies to --raw decompression"},
        {{"--size", "ten", "--raw", "-d"}, "invalid size 'ten'"},
    };
    for (const auto& c : cases) {
        const ParsedOptions p = parse_options(c.args);
        EXPECT_NE(p.error.find(c.message), std::string::npos)
            << c.message << " <> " << p.error;
    }
}

}  // namespace
