// Per-file work: pick the output, guard the terminal and existing files, run
// the container or raw code between descriptors, then commit and report.
#include "commands.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "block_codec.hpp"
#include "container.hpp"
#include "failure.hpp"
#include "files.hpp"
#include "io.hpp"
#include "raw.hpp"
#include "raw_names.hpp"
#include "seekable.hpp"
#include "threads.hpp"
#include "walk.hpp"

namespace vorlex::cli {

namespace {

constexpr const char SUFFIX[] = ".vlx";

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool compressing(const Options& o) { return o.mode == Mode::compress; }

// Raw files carry the codec's name, containers .vlx.
std::string file_suffix(const Options& o, vorlex_codec* codec) {
    return o.raw ? std::string(".") + vorlex_codec_get_name(codec) : SUFFIX;
}

// Where a file's result goes: nothing (-t), standard output, or a path.
std::optional<std::string> output_path(const Options& o, vorlex_codec* codec, const Input& in) {
    if (o.mode == Mode::test || o.to_stdout) return std::nullopt;
    if (o.output) {
        if (*o.output == "-") return std::nullopt;
        return *o.output;
    }
    if (in.is_stdin()) return std::nullopt;
    const std::string suffix = file_suffix(o, codec);
    if (compressing(o)) return in.path() + suffix;
    if (o.raw) {
        // FILE.<codec> as vorlex writes it, or the codec's tool's FILE.gz and such.
        const std::vector<std::string> suffixes = raw_suffixes(vorlex_codec_get_name(codec));
        if (auto stripped = strip_raw_suffix(in.path(), vorlex_codec_get_name(codec))) {
            return *stripped;
        }
        std::string expected = suffixes[0];
        for (size_t i = 1; i < suffixes.size(); ++i) expected += " or " + suffixes[i];
        throw Failure("unknown suffix, expected " + expected + " (use -o or -c)");
    }
    if (!ends_with(in.path(), suffix)) {
        throw Failure("unknown suffix, expected " + suffix + " (use -o or -c)");
    }
    return in.path().substr(0, in.path().size() - suffix.size());
}

// Raw data decoded without --codec: the codec its file's suffix names.
vorlex_codec* codec_by_suffix(const Options& o, const Input& in) {
    if (in.is_stdin()) throw Failure("raw data on standard input: give --codec");
    static const char HINT[] =
        "give --codec (raw files end in .<codec>, .gz, .zst, .lz4 or .sz)";
    const std::optional<std::string> name = codec_from_suffix(in.path());
    if (!name) throw Failure(std::string("cannot tell the codec from the name: ") + HINT);
    vorlex_codec* codec = vorlex_get_codec(name->c_str());
    if (codec == nullptr) {
        throw Failure("cannot tell the codec from the name: " + codec_unavailable(*name) + "; " +
                      HINT);
    }
    const std::string why = raw_size_missing(codec, o.size);
    if (!why.empty()) throw Failure(why);
    return codec;
}

std::string summary_line(const Options& o, const std::string& name, const Totals& t,
                         double seconds) {
    char line[512];
    if (o.mode == Mode::test) {
        std::snprintf(line, sizeof line, "%s: OK, %llu bytes in %llu blocks", name.c_str(),
                      static_cast<unsigned long long>(t.original),
                      static_cast<unsigned long long>(t.blocks));
    } else {
        const uint64_t from = compressing(o) ? t.original : t.compressed;
        const uint64_t to = compressing(o) ? t.compressed : t.original;
        std::snprintf(line, sizeof line, "%s: %llu -> %llu bytes, ratio %s, %.1f MB/s",
                      name.c_str(), static_cast<unsigned long long>(from),
                      static_cast<unsigned long long>(to),
                      format_ratio(t.original, t.compressed).c_str(),
                      megabytes_per_second(t.original, seconds));
    }
    return line;
}

void print_listing_header() {
    std::printf("%-10s %10s %8s %14s %14s %7s  %s\n", "codec", "block size", "blocks",
                "compressed", "original", "ratio", "file");
}

// A listing row. The ratio of a container with no content means nothing: a dash.
void print_listing_row(const std::string& codec, const std::string& block_size,
                       const Totals& t, const std::string& file) {
    std::printf("%-10s %10s %8llu %14llu %14llu %7s  %s\n", codec.c_str(), block_size.c_str(),
                static_cast<unsigned long long>(t.blocks),
                static_cast<unsigned long long>(t.compressed),
                static_cast<unsigned long long>(t.original),
                t.original == 0 ? "-" : format_ratio(t.original, t.compressed).c_str(),
                file.c_str());
}

// "bytes 1048576 to 2097151 lost (block 2 at byte 1048620: checksum mismatch)"
std::string lost_message(const LostRange& r) {
    const std::string to =
        r.length ? " to " + std::to_string(r.offset + *r.length - 1) : " to the end";
    return "bytes " + std::to_string(r.offset) + to + " lost (" + r.why + ")";
}

// Lists every member of the file and adds them to sum.
void list_file(const Input& in, Totals& sum) {
    FdSource source(in.fd());
    for (const MemberInfo& m : list_container(source)) {
        // A filtered frame as --filter names it: "lz4+shuffle:8".
        const std::string codec =
            m.filter == VORLEX_FILTER_NONE
                ? m.header.codec
                : m.header.codec + "+" + vorlex_filter_name(m.filter) + ":" +
                      std::to_string(m.typesize);
        print_listing_row(codec, std::to_string(m.header.block_size), m.totals, in.name());
        sum.original += m.totals.original;
        sum.compressed += m.totals.compressed;
        sum.blocks += m.totals.blocks;
    }
    std::fflush(stdout);
}

// The listing's last row when several files were listed, as zstd prints one.
struct ListingTotal {
    Totals sum;
    unsigned files = 0;
    void print() const {
        if (files > 1) print_listing_row("total", "-", sum, std::to_string(files) + " files");
    }
};

// Fails when the input is the regular file standard output goes to: reading
// what we append would never end, or lose the input.
void refuse_stdout_as_input(const Input& in) {
    struct stat out;
    if (!in.is_stdin() && ::fstat(STDOUT_FILENO, &out) == 0 && S_ISREG(out.st_mode) &&
        out.st_dev == in.status().st_dev && out.st_ino == in.status().st_ino) {
        throw Failure("input and output are the same file");
    }
}

// shared: the one output every file goes into (-r -o), or null.
void process_file(const Options& o, vorlex_codec* codec, const Reporter& reporter,
                  const Input& in, ListingTotal& listing, Output* shared) {
    if (o.raw && codec == nullptr) codec = codec_by_suffix(o, in);
    if (!compressing(o) && in.is_stdin() && ::isatty(STDIN_FILENO) && !o.force) {
        throw Failure("refusing to read compressed data from a terminal (use -f to force)");
    }
    if (o.mode == Mode::list) {
        list_file(in, listing.sum);
        ++listing.files;
        if (o.verbosity >= 2) print_index(in.fd(), in.name());
        return;
    }
    // Removing one name of several frees nothing and surprises the others.
    if (o.remove_input && o.mode != Mode::test && !in.is_stdin() && in.status().st_nlink > 1 &&
        !o.force) {
        const auto others = static_cast<unsigned long long>(in.status().st_nlink - 1);
        throw Failure("has " + std::to_string(others) + " other link" + (others == 1 ? "" : "s") +
                      "; not processed with --rm (use -f)");
    }

    const std::optional<std::string> path = shared ? std::nullopt : output_path(o, codec, in);
    const bool to_terminal_out =
        o.mode != Mode::test && !path && !shared && ::isatty(STDOUT_FILENO);
    if (compressing(o) && to_terminal_out && !o.force) {
        throw Failure("refusing to write compressed data to a terminal (use -f to force)");
    }

    const auto start = std::chrono::steady_clock::now();
    if (o.mode != Mode::test && !path && !shared) refuse_stdout_as_input(in);
    std::optional<Output> file;
    if (path) file.emplace(*path, o.force, in);
    const int out_fd = shared ? shared->fd() : file ? file->fd() : STDOUT_FILENO;

    FdSource source(in.fd());
    FdSink fd_sink(out_fd);
    NullSink null_sink;
    Sink& sink = o.mode == Mode::test ? static_cast<Sink&>(null_sink) : fd_sink;
    ProgressMeter meter(reporter, in.name(), in.size(), compressing(o));
    const ProgressFn progress = [&meter](uint64_t consumed, uint64_t produced) {
        meter.update(consumed, produced);
    };

    const unsigned threads = o.threads != 0 ? o.threads : default_threads();
    Totals totals;
    std::vector<LostRange> lost;
    const CodecOptions options =
        compressing(o) ? codec_options(o.level, o.raw ? 0 : o.filter, o.typesize) : nullptr;
    if (o.range) {
        totals = read_range(in.fd(), sink, *o.range);
    } else if (o.keep_going) {
        totals = salvage(in.fd(), sink, lost);
    } else if (o.raw) {
        totals = compressing(o) ? raw_compress(source, sink, codec, in.size(), options.get())
                                : raw_decompress(source, sink, codec, o.size, in.size(),
                                                 o.memory_given ? o.memory_limit : 0,
                                                 [&](const std::string& what) {
                                                     reporter.note(in.name(), what);
                                                 });
    } else if (compressing(o)) {
        totals = write_container(
            source, sink, {codec, o.block_size, threads, options.get(), o.index}, progress);
    } else {
        totals = read_container(source, sink, threads, progress, o.memory_limit);
    }
    // The input goes only once its replacement is safely on disk: synced
    // and renamed with its folder synced, or flushed (and synced) to
    // standard output.
    // With -r -o the inputs go once the shared output is in place.
    const bool remove =
        o.remove_input && o.mode != Mode::test && !in.is_stdin() && !shared && lost.empty();
    if (file) {
        file->commit();
    } else if (remove) {
        sync_standard_output();
    }
    // --keep-going: what could be read is in place; the file still failed.
    if (!lost.empty()) {
        uint64_t bytes = 0;
        bool to_end = false;
        for (const LostRange& r : lost) {
            reporter.error(in.name(), lost_message(r));
            bytes += r.length.value_or(0);
            to_end = to_end || !r.length;
        }
        throw Failure(std::to_string(lost.size()) + " range" + (lost.size() == 1 ? "" : "s") +
                      " lost (" + std::to_string(bytes) + " bytes" +
                      (to_end ? " and everything after the last fault" : "") + ")");
    }
    if (remove) remove_input(in);

    // The file is done: a summary that cannot be formatted for lack of
    // memory is left out rather than turning the success into a failure.
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    try {
        reporter.summary(summary_line(o, in.name(), totals, seconds));
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

bool process_files(const Options& o, vorlex_codec* codec, const Reporter& reporter) {
    bool all_ok = true;
    std::vector<std::string> names = o.files;
    if (o.recursive) {
        WalkResult walked = walk(o.files, file_suffix(o, codec), compressing(o), reporter);
        names = std::move(walked.files);
        all_ok = walked.all_ok;
    }
    // -r -o FILE: every input, in turn, into FILE, which is put in place only
    // when all of them succeeded.
    const bool one_output = o.recursive && o.output && *o.output != "-" &&
                            o.mode != Mode::test && o.mode != Mode::list;
    std::optional<Output> shared;
    struct stat shared_st {};
    // With -r -o, the inputs to remove once the output is in place, with
    // what they were when read.
    std::vector<std::pair<std::string, struct stat>> to_remove;
    bool kept = false;  // an input to remove stays, as it changed

    ListingTotal listing;
    if (o.mode == Mode::list) print_listing_header();
    for (const std::string& name : names) {
        const std::string shown = name == "-" ? "stdin" : name;
        try {
            const Input in(name, o.force);
            if (one_output && !shared) {
                try {
                    shared.emplace(*o.output, o.force, in);
                } catch (const Failure& e) {
                    reporter.error(shown, e.what());  // every input would fail alike
                    return false;
                }
                if (::stat(o.output->c_str(), &shared_st) != 0) shared_st = {};
            } else if (shared && shared_st.st_ino != 0 && in.status().st_dev == shared_st.st_dev &&
                       in.status().st_ino == shared_st.st_ino) {
                throw Failure("input and output are the same file");
            }
            process_file(o, codec, reporter, in, listing, shared ? &*shared : nullptr);
            if (shared && o.remove_input && !in.is_stdin()) {
                // Checked while its descriptor is open; a changed input
                // stays, and the output (which holds what was read) is
                // still written.
                try {
                    check_input_unchanged(in);
                    to_remove.emplace_back(name, in.status());
                } catch (const Failure& e) {
                    reporter.error(shown, e.what());
                    kept = true;
                }
            }
        } catch (const Failure& e) {
            reporter.error(shown, e.what());
            all_ok = false;
        } catch (const std::bad_alloc&) {
            reporter.error(shown, "out of memory");
            all_ok = false;
        }
    }
    listing.print();
    if (shared) {
        if (!all_ok) {
            reporter.error(*o.output, "not written, as not every input succeeded");
            return false;
        }
        try {
            shared->commit();
        } catch (const Failure& e) {
            reporter.error(*o.output, e.what());
            return false;
        }
        for (const auto& [name, was] : to_remove) {
            try {
                remove_unchanged(name, was);
            } catch (const Failure& e) {
                reporter.error(name, e.what());
                all_ok = false;
            }
        }
    }
    return all_ok && !kept;
}

void print_codecs(uint32_t block_size) {
    std::printf("%-10s %-12s %-10s %-22s %-26s %s\n", "codec", "records size", "exact size",
                "levels (default)", ("worst case of " + std::to_string(block_size)).c_str(),
                "plug-in");
    for (const vorlex::Codec& c : vorlex::available_codecs()) {
        const size_t bound = c.max_compressed_size(block_size);
        const std::string worst =
            bound == 0 ? "not given"
                       : std::to_string(bound) + " (+" + std::to_string(bound - block_size) + ")";
        int lo = 0, hi = 0, def = 0;
        const std::string levels =
            vorlex_codec_get_levels(c.get(), &lo, &hi, &def) == VORLEX_STATUS_OK
                ? std::to_string(lo) + " to " + std::to_string(hi) + " (" + std::to_string(def) +
                      ")"
                : "none";
        std::printf("%-10s %-12s %-10s %-22s %-26s %s\n", std::string(c.name()).c_str(),
                    c.records_size() ? "yes" : "no", c.needs_exact_size() ? "yes" : "no",
                    levels.c_str(), worst.c_str(), std::string(c.path()).c_str());
    }
    // Where they came from, and what was passed over on the way.
    std::printf("\n%s", vorlex_plugin_search_report());
}

}  // namespace vorlex::cli
