#include "options.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

namespace vorlex::bench {
namespace {

std::vector<std::string> split_list(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= s.size()) {
        const size_t comma = std::min(s.find(',', start), s.size());
        std::string item = s.substr(start, comma - start);
        if (!item.empty() && std::find(out.begin(), out.end(), item) == out.end()) {
            out.push_back(std::move(item));
        }
        start = comma + 1;
    }
    return out;
}

std::optional<long long> parse_integer(const std::string& s) {
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// "zstd:1,3,9,lz4" -> zstd:1 zstd:3 zstd:9 lz4: a level after a codec's colon
// starts its list, and bare numbers that follow add to it. Empty on error.
std::string expand_levels(const std::vector<std::string>& items, std::vector<std::string>& out) {
    std::string codec;  // the codec the last level belonged to
    for (const std::string& item : items) {
        const size_t colon = item.find(':');
        std::string level = item;
        if (colon != std::string::npos) {
            codec = item.substr(0, colon);
            level = item.substr(colon + 1);
            if (codec.empty()) return "--codec: '" + item + "' names no codec";
        } else if (!parse_integer(item)) {
            codec.clear();
            out.push_back(item);
            continue;
        }
        const auto v = parse_integer(level);
        if (!v || *v < INT_MIN || *v > INT_MAX) return "--codec: '" + level + "' is not a level";
        if (codec.empty()) return "--codec: level " + level + " follows no codec";
        const std::string subject = codec + ":" + std::to_string(*v);
        if (std::find(out.begin(), out.end(), subject) == out.end()) out.push_back(subject);
    }
    return {};
}

std::optional<double> parse_seconds(const std::string& s) {
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v) || v < 0) {
        return std::nullopt;
    }
    return v;
}

// "256", "4k", "4KiB", "1m": a size in bytes, binary multiples.
std::optional<size_t> parse_size(std::string s) {
    size_t scale = 1;
    for (const char* suffix : {"KiB", "kib", "K", "k"}) {
        const std::string suf(suffix);
        if (s.size() > suf.size() && s.ends_with(suf)) {
            s.resize(s.size() - suf.size());
            scale = 1024;
            break;
        }
    }
    for (const char* suffix : {"MiB", "mib", "M", "m"}) {
        const std::string suf(suffix);
        if (scale == 1 && s.size() > suf.size() && s.ends_with(suf)) {
            s.resize(s.size() - suf.size());
            scale = 1024 * 1024;
            break;
        }
    }
    const auto v = parse_integer(s);
    if (!v || *v <= 0 || size_t(*v) > SIZE_MAX / scale) return std::nullopt;
    return size_t(*v) * scale;
}

}  // namespace

std::string parse_options(const std::vector<std::string>& args, Options& out) {
    Options o;
    bool files_only = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (files_only || arg == "-" || arg.empty() || arg[0] != '-') {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            files_only = true;
            continue;
        }
        // --name=value or --name value
        std::string name = arg, value;
        bool has_value = false;
        if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            has_value = true;
        }
        const auto take_value = [&]() -> bool {
            if (has_value) return true;
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        const auto needs = [&](const char* what) { return name + " needs " + what; };

        if (name == "-h" || name == "--help") {
            o.help = true;
        } else if (name == "-q" || name == "--quiet") {
            o.quiet = true;
        } else if (name == "--codec" || name == "--codecs") {
            if (!take_value()) return needs("a list of codecs");
            o.codecs.clear();
            if (std::string e = expand_levels(split_list(value), o.codecs); !e.empty()) return e;
            if (o.codecs.empty()) return needs("a list of codecs");
        } else if (name == "--peers") {
            o.peers = true;
            if (has_value) o.peer_names = split_list(value);
        } else if (name == "--rounds" || name == "--runs") {
            if (!take_value()) return needs("a number");
            const auto v = parse_integer(value);
            if (!v || *v < 1 || *v > 1000) return name + ": expected 1 to 1000, got '" + value + "'";
            o.rounds = int(*v);
        } else if (name == "--min-time") {
            if (!take_value()) return needs("seconds");
            const auto v = parse_seconds(value);
            if (!v || *v > 3600) return name + ": expected seconds, got '" + value + "'";
            o.min_time = *v;
        } else if (name == "--format") {
            if (!take_value()) return needs("table, markdown, csv, json or html");
            if (value == "table") o.format = Format::table;
            else if (value == "markdown" || value == "md") o.format = Format::markdown;
            else if (value == "csv") o.format = Format::csv;
            else if (value == "json") o.format = Format::json;
            else if (value == "html") o.format = Format::html;
            else return "--format: expected table, markdown, csv, json or html, got '" + value + "'";
        } else if (name == "--overhead") {
            if (has_value) return "--overhead takes no value";
            o.overhead = true;
        } else if (name == "--csv") {
            o.format = Format::csv;
        } else if (name == "--plot") {
            if (!take_value() || value.empty()) return needs("a file name");
            o.plot = value;
        } else if (name == "--html") {
            if (!take_value() || value.empty()) return needs("a file name");
            o.html = value;
        } else if (name == "--small") {
            o.small = true;
            if (has_value) {
                o.small_sizes.clear();
                for (const std::string& s : split_list(value)) {
                    const auto v = parse_size(s);
                    if (!v) return "--small: expected sizes such as 256,4k,64k, got '" + s + "'";
                    o.small_sizes.push_back(*v);
                }
                if (o.small_sizes.empty()) return needs("sizes");
            }
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    out = std::move(o);
    return {};
}

const char* usage_text() {
    return "usage: vorlex bench [OPTION]... [FILE]...\n"
           "Measure every codec on each FILE in memory: sizes, ratio, compression and\n"
           "decompression speed (MB/s = 10^6 bytes per second, median of rounds), each\n"
           "result verified by a round trip. Without FILE, the built-in input (this\n"
           "project's README and sources) is used.\n"
           "\n"
           "  --codec a,b,...     our codecs to measure (default: every codec found);\n"
           "                      zstd:1,3,9 measures zstd at levels 1, 3 and 9\n"
           "  --peers[=a,b,...]   also measure memcpy, lz4, zstd, snappy, zlib (or those\n"
           "                      named), interleaved with ours; adds speed ratios to lz4\n"
           "                      and memcpy\n"
           "  --rounds N          rounds per measurement, the median is reported (5)\n"
           "  --min-time S        least seconds per round and direction (0.5)\n"
           "  --format F          table, markdown, csv, json or html (table); --csv = csv;\n"
           "                      html is one self-contained page: plots, the ranking\n"
           "                      at a chosen link speed, a sortable table, the CSV\n"
           "  --plot FILE.svg     write a scatter of ratio against speed\n"
           "  --html FILE.html    also write the html page, whatever --format says\n"
           "  --small[=SIZES]     time per call on each input's first SIZES bytes\n"
           "                      (256,4k,64k), summed over the inputs\n"
           "  --overhead          host-overhead view: each library codec (default lz4:1,9\n"
           "                      zstd:1,3 gzip:1,6 snappy) through vorlex beside the\n"
           "                      same library called directly, in the raw format, the\n"
           "                      block form and the container, with the ratios\n"
           "  -q, --quiet         no progress on standard error\n"
           "  -h, --help          show this help\n"
           "\n"
           "Exit status: 0 when every round trip verified, 1 on any failure, 2 for a\n"
           "usage error.\n";
}

}  // namespace vorlex::bench
