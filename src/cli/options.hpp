// The command line: what `vorlex` was asked to do. Parsing only; checking
// that codecs exist and files are usable happens later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorlex::cli {

enum class Mode { compress, decompress, test, list, codecs, help, version };
enum class ProgressMode { automatic, always, never };

inline constexpr uint32_t DEFAULT_BLOCK_SIZE = 1u << 20;
inline constexpr uint32_t MIN_CLI_BLOCK_SIZE = 1u << 10;
inline constexpr unsigned MAX_THREADS = 256;
inline constexpr uint64_t DEFAULT_MEMORY_LIMIT = uint64_t(512) << 20;
inline constexpr uint64_t MIN_MEMORY_LIMIT = uint64_t(1) << 20;
// zstd's tool takes levels above this only with --ultra.
inline constexpr int ZSTD_MAX_PLAIN_LEVEL = 19;

// --range: content bytes to decode.
struct Range {
    uint64_t offset = 0;
    std::optional<uint64_t> length;  // none: to the end
};

struct Options {
    Mode mode = Mode::compress;
    std::string codec = "quicklz";
    bool codec_given = false;  // --codec: else raw files are decoded by their suffix
    uint32_t block_size = DEFAULT_BLOCK_SIZE;
    bool block_size_given = false;  // else the codec's own default (16M for zstd)
    unsigned threads = 0;  // 0: one per CPU
    uint64_t memory_limit = DEFAULT_MEMORY_LIMIT;  // --memory, for decoding
    bool memory_given = false;  // raw streams then take it for their own limit
    std::optional<std::string> output;
    bool to_stdout = false;
    bool force = false;
    bool remove_input = false;
    bool recursive = false;  // -r: FILEs may be folders, walked for regular files
    int verbosity = 1;  // 0 with -q, 2 with -v
    ProgressMode progress = ProgressMode::automatic;
    bool raw = false;
    std::optional<uint64_t> size;  // --size, for raw decompression
    std::vector<std::string> files;  // "-" is standard input; none means "-"
    std::optional<Range> range;  // --range, for decompression
    bool keep_going = false;     // --keep-going: decode every block that can be
    bool index = true;           // --no-index: frames without an index record
    std::optional<int> level;  // -1 ... -19, --level N: compression level; none: the codec's default
    bool ultra = false;  // --ultra: zstd levels above 19, as its tool takes them
    int filter = 0;            // --filter NAME[:TYPESIZE]: a vorlex_filter
    unsigned typesize = 0;     // with a filter: 1 to 255
};

// The typesize --filter NAME means without one: 4 bytes, float32 and int32.
inline constexpr unsigned DEFAULT_TYPESIZE = 4;

struct ParsedOptions {
    Options options;
    std::string error;  // a usage error when not empty
};

ParsedOptions parse_options(const std::vector<std::string>& args);

// "4096", "64K", "64k", "64KiB", "1M", "1MiB", "2G": bytes, or nothing when
// the text is not a size or overflows 64 bits.
std::optional<uint64_t> parse_size(const std::string& text);

// "OFFSET:LENGTH", "OFFSET:" or "OFFSET", sizes as parse_size takes them.
std::optional<Range> parse_range(const std::string& text);

// The --help text.
const char* usage_text();

}  // namespace vorlex::cli
