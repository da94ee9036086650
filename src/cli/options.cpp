// Command-line parsing in the conventions of gzip, lz4 and zstd: clustered
// short flags (-dc), values attached or separate (-T2, -T 2, --threads=2),
// "--" ends the options and "-" is standard input.
#include "options.hpp"

#include <cctype>
#include <functional>

#include <vorlex/vorlex.h>

namespace vorlex::cli {

std::optional<uint64_t> parse_size(const std::string& text) {
    size_t i = 0;
    uint64_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        const uint64_t digit = uint64_t(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
        ++i;
    }
    if (i == 0) return std::nullopt;
    std::string suffix = text.substr(i);
    for (char& c : suffix) c = char(std::tolower(static_cast<unsigned char>(c)));
    unsigned shift = 0;
    if (suffix.empty()) {
        shift = 0;
    } else if (suffix == "k" || suffix == "kib") {
        shift = 10;
    } else if (suffix == "m" || suffix == "mib") {
        shift = 20;
    } else if (suffix == "g" || suffix == "gib") {
        shift = 30;
    } else {
        return std::nullopt;
    }
    if (shift != 0 && value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<Range> parse_range(const std::string& text) {
    const size_t colon = text.find(':');
    const auto offset = parse_size(text.substr(0, colon));
    if (!offset) return std::nullopt;
    Range r{*offset, std::nullopt};
    if (colon != std::string::npos && colon + 1 < text.size()) {
        r.length = parse_size(text.substr(colon + 1));
        if (!r.length) return std::nullopt;
    }
    return r;
}

namespace {

struct Parser {
    ParsedOptions result;
    Options& o = result.options;
    bool test = false, decompress = false, list = false, codecs = false, help = false,
         version = false;

    void error(const std::string& what) {
        if (result.error.empty()) result.error = what;
    }

    void set_block_size(const std::string& v) {
        const auto n = parse_size(v);
        if (!n || *n < MIN_CLI_BLOCK_SIZE || *n > VORLEX_FRAME_MAX_BLOCK_SIZE) {
            return error("invalid block size '" + v + "' (1K to 64M)");
        }
        o.block_size = uint32_t(*n);
        o.block_size_given = true;
    }

    void set_threads(const std::string& v) {
        const auto n = parse_size(v);
        if (!n || v.find_first_not_of("0123456789") != std::string::npos || *n > MAX_THREADS) {
            return error("invalid thread count '" + v + "' (0 to 256, 0 for one per CPU)");
        }
        o.threads = unsigned(*n);
    }

    void set_memory(const std::string& v) {
        const auto n = parse_size(v);
        if (!n || *n < MIN_MEMORY_LIMIT) return error("invalid memory limit '" + v + "' (at least 1M)");
        o.memory_limit = *n;
        o.memory_given = true;
    }

    // Any integer: whether the codec has that level is checked once it is known.
    void set_level(const std::string& v) {
        size_t i = v.size() > 1 && v[0] == '-' ? 1 : 0;
        const bool digits = i < v.size() && v.size() - i <= 9 &&
                            v.find_first_not_of("0123456789", i) == std::string::npos;
        if (!digits) return error("invalid compression level '" + v + "'");
        o.level = std::stoi(v);
    }

    // NAME or NAME:TYPESIZE, the names of vorlex_filter_name.
    void set_filter(const std::string& v) {
        const size_t colon = v.find(':');
        const std::string name = v.substr(0, colon);
        const int filter = vorlex_filter_from_name(name.c_str());
        if (filter < 0) {
            return error("unknown filter '" + name +
                         "' (none, shuffle, bitshuffle, delta or auto)");
        }
        unsigned typesize = DEFAULT_TYPESIZE;
        if (colon != std::string::npos) {
            const std::string t = v.substr(colon + 1);
            const bool digits = !t.empty() && t.size() <= 3 &&
                                t.find_first_not_of("0123456789") == std::string::npos;
            typesize = digits ? unsigned(std::stoul(t)) : 0;
            if (typesize == 0 || typesize > VORLEX_FILTER_MAX_TYPESIZE) {
                return error("invalid typesize '" + t + "' in --filter (1 to 255)");
            }
        }
        o.filter = filter;
        o.typesize = filter != VORLEX_FILTER_NONE ? typesize : 0;
    }

    void set_size(const std::string& v) {
        const auto n = parse_size(v);
        if (!n) return error("invalid size '" + v + "'");
        o.size = *n;
    }

    // A flag without a value; false when the letter or word is unknown.
    bool flag(const std::string& name) {
        if (name == "z" || name == "compress") {
            decompress = test = list = false;
        } else if (name == "d" || name == "decompress" || name == "uncompress") {
            decompress = true;
        } else if (name == "t" || name == "test") {
            test = true;
        } else if (name == "l" || name == "list") {
            list = true;
        } else if (name == "codecs") {
            codecs = true;
        } else if (name == "c" || name == "stdout") {
            o.to_stdout = true;
        } else if (name == "f" || name == "force") {
            o.force = true;
        } else if (name == "k" || name == "keep") {
            o.remove_input = false;
        } else if (name == "r" || name == "recursive") {
            o.recursive = true;
        } else if (name == "rm") {
            o.remove_input = true;
        } else if (name == "q" || name == "quiet") {
            o.verbosity = 0;
        } else if (name == "v" || name == "verbose") {
            o.verbosity = 2;
        } else if (name == "progress") {
            o.progress = ProgressMode::always;
        } else if (name == "no-progress") {
            o.progress = ProgressMode::never;
        } else if (name == "keep-going") {
            o.keep_going = true;
        } else if (name == "no-index") {
            o.index = false;
        } else if (name == "raw") {
            o.raw = true;
        } else if (name == "ultra") {
            o.ultra = true;
        } else if (name == "h" || name == "help") {
            help = true;
        } else if (name == "V" || name == "version") {
            version = true;
        } else {
            return false;
        }
        return true;
    }

    // The setter of an option that takes a value, or null.
    std::function<void(const std::string&)> valued(const std::string& name) {
        if (name == "codec") {
            return [this](const std::string& v) {
                o.codec = v;
                o.codec_given = true;
            };
        }
        if (name == "B" || name == "block-size") {
            return [this](const std::string& v) { set_block_size(v); };
        }
        if (name == "T" || name == "threads") {
            return [this](const std::string& v) { set_threads(v); };
        }
        if (name == "o" || name == "output") return [this](const std::string& v) { o.output = v; };
        if (name == "size") return [this](const std::string& v) { set_size(v); };
        if (name == "memory") return [this](const std::string& v) { set_memory(v); };
        if (name == "level") return [this](const std::string& v) { set_level(v); };
        if (name == "range") {
            return [this](const std::string& v) {
                o.range = parse_range(v);
                if (!o.range) error("invalid range '" + v + "' (OFFSET:LENGTH)");
            };
        }
        if (name == "filter") return [this](const std::string& v) { set_filter(v); };
        return nullptr;
    }

    void parse(const std::vector<std::string>& args) {
        bool options_done = false;
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (options_done || a == "-" || a.size() < 2 || a[0] != '-') {
                o.files.push_back(a);
            } else if (a == "--") {
                options_done = true;
            } else if (a[1] == '-') {
                long_option(a.substr(2), args, i);
            } else {
                short_cluster(a, args, i);
            }
        }
    }

    void long_option(const std::string& body, const std::vector<std::string>& args, size_t& i) {
        const size_t eq = body.find('=');
        const std::string name = body.substr(0, eq);
        // zstd's --fast[=N]: its fast level -N (N 1 when left out).
        if (name == "fast") {
            const std::string n = eq == std::string::npos ? "1" : body.substr(eq + 1);
            if (n.empty() || n[0] == '-' || n[0] == '0') {
                return error("invalid --fast value '" + n + "' (1 or more)");
            }
            return set_level("-" + n);
        }
        if (auto set = valued(name)) {
            if (eq != std::string::npos) return set(body.substr(eq + 1));
            if (i + 1 >= args.size()) return error("option '--" + name + "' needs a value");
            return set(args[++i]);
        }
        if (eq != std::string::npos || !flag(name)) error("unknown option '--" + body + "'");
    }

    void short_cluster(const std::string& a, const std::vector<std::string>& args, size_t& i) {
        for (size_t k = 1; k < a.size(); ++k) {
            // -19, -d9: digits in a cluster are a compression level, as in zstd.
            if (std::isdigit(static_cast<unsigned char>(a[k]))) {
                size_t end = k;
                while (end < a.size() && std::isdigit(static_cast<unsigned char>(a[end]))) ++end;
                set_level(a.substr(k, end - k));
                k = end - 1;
                continue;
            }
            const std::string letter(1, a[k]);
            if (auto set = valued(letter)) {
                if (k + 1 < a.size()) return set(a.substr(k + 1));
                if (i + 1 >= args.size()) return error("option '-" + letter + "' needs a value");
                return set(args[++i]);
            }
            if (!flag(letter)) return error("unknown option '-" + letter + "'");
        }
    }

    void finish() {
        if (help) {
            o.mode = Mode::help;
        } else if (version) {
            o.mode = Mode::version;
        } else if (codecs) {
            o.mode = Mode::codecs;
        } else if (list) {
            o.mode = Mode::list;
        } else if (test) {
            o.mode = Mode::test;
        } else if (decompress) {
            o.mode = Mode::decompress;
        }
        if (o.files.empty()) o.files.push_back("-");
        if (o.output && o.to_stdout) error("-o and -c cannot be combined");
        // With -r, as with zstd, -o is the one file every input goes into.
        if (o.output && o.files.size() > 1 && !o.recursive) {
            error("-o takes a single input file (or -r)");
        }
        if (o.output && (o.mode == Mode::test || o.mode == Mode::list)) {
            error("-o makes no sense with -t or -l");
        }
        if (o.raw && o.mode == Mode::list) error("--raw data has no container to list");
        if (o.range && (o.mode != Mode::decompress || o.raw || o.keep_going)) {
            error("--range only applies to decompressing a container");
        }
        if (o.keep_going && (!(o.mode == Mode::decompress || o.mode == Mode::test) || o.raw)) {
            error("--keep-going only applies to decompressing or testing a container");
        }
        if (!o.index && (o.mode != Mode::compress || o.raw)) {
            error("--no-index only applies to compressing into a container");
        }
        if (o.raw && o.filter != 0 && o.mode == Mode::compress) {
            error("--filter works on the container's blocks: it cannot be combined with --raw");
        }
        if (o.size && !(o.raw && (o.mode == Mode::decompress || o.mode == Mode::test))) {
            error("--size only applies to --raw decompression");
        }
    }
};

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& args) {
    Parser p;
    p.parse(args);
    p.finish();
    return std::move(p.result);
}

const char* usage_text() {
    return R"(Usage: vorlex [OPTION]... [FILE]...
Compress FILEs to FILE.vlx (the default), or decompress FILE.vlx to FILE.
With no FILE, or when FILE is -, read standard input and write standard output.

Operations:
  -z, --compress        compress (default)
  -d, --decompress      decompress
  -t, --test            check the integrity of compressed files
  -l, --list            show codec, sizes, ratio and block count of containers
                        (with -v: every block's offsets, from the index)
      --codecs          list the codecs that can be loaded
  vorlex bench ...      measure the codecs (see vorlex bench --help)

Options:
      --codec NAME      codec to compress with (default quicklz)
  -1 ... -19, --level N
                        compression level, for codecs that have levels (zstd
                        1 to 22 and negative, lz4 1 to 12, gzip 0 to 9; see
                        --codecs); default: the codec's own. Codecs without
                        levels ignore it, with a warning. Not needed to decompress
      --fast[=N]        zstd's fast level -N (default 1)
      --ultra           allow zstd levels 20 to 22 (without it: 19, as zstd)
      --filter NAME[:TYPESIZE]
                        rearrange each block of TYPESIZE-byte elements (1 to 255,
                        default 4) before the codec: shuffle, bitshuffle, delta,
                        auto (the best of them per block) or none (default).
                        Recorded in the file: not needed to decompress
  -B, --block-size N    block size, K, M or G suffixes (1K to 64M). Default: per
                        codec, the size at which the container's ratio is within
                        1% of the codec's own tool: 16M for zstd, 1M for the others
  -T, --threads N       worker threads (default: one per CPU; 0 likewise)
      --memory SIZE     memory for decoding, all threads and buffers together
                        (default 512M; a block in flight takes twice the block
                        size): fewer threads work when a file's blocks are large,
                        and a file whose blocks do not fit is refused. With --raw,
                        the largest zstd window read (default 128M, as zstd)
      --no-index        leave out the index record that lets readers reach any
                        byte without decoding the rest (frames as older versions
                        wrote them)
      --range=OFFSET:LENGTH
                        with -d: write just these content bytes (LENGTH left out:
                        to the end), decoding only the blocks that hold them
      --keep-going      with -d or -t: go past damaged blocks, writing zeros in
                        their place, name the byte ranges lost and exit with 1
  -o, --output FILE     write to FILE (one input only; with -r, every input in turn)
  -r, --recursive       walk the folders among FILEs: every regular file inside,
                        symbolic links left alone (those named on the command line
                        are followed); files already of the kind made are skipped,
                        and a file reached twice is taken once
  -c, --stdout          write to standard output (the input stays unless --rm)
  -f, --force           overwrite existing files (devices and FIFOs are written into);
                        write compressed data to a terminal; read FIFOs and devices;
                        --rm an input that has other hard links
  -k, --keep            keep the input (default)
      --rm              remove the input after success, unless it changed meanwhile
                        (with -c: once standard output is flushed)
      --raw             the codec's bare format, no container: lz4, zstd, gzip and
                        copy stream in bounded memory, the others hold the data in
                        memory. Decoding, FILE.CODEC, .gz, .zst, .lz4 and .sz name
                        the codec when --codec does not
      --size N          decompressed size for --raw -d (exact for codecs that need it,
                        a capacity for the others)
  -q, --quiet           report errors only
  -v, --verbose         a summary line per file
      --progress        show progress even when standard error is not a terminal
      --no-progress     never show progress
  -h, --help            show this help
  -V, --version         show the version

Exit status: 0 success, 1 a file failed (the others were processed), 2 usage error.
)";
}

}  // namespace vorlex::cli
