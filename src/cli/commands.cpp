// Per-file work: pick the output, guard the terminal and existing files, run
// the container or raw code between descriptors, then commit and report.
#include "commands.hpp"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vorlex/vorlex.hpp>

#include "container.hpp"
#include "failure.hpp"
#include "files.hpp"
#include "io.hpp"
#include "raw.hpp"
#include "threads.hpp"

namespace vorlex::cli {

namespace {

constexpr const char SUFFIX[] = ".vlx";

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool compressing(const Options& o) { return o.mode == Mode::compress; }

// Where a file's result goes: nothing (-t), standard output, or a path.
std::optional<std::string> output_path(const Options& o, vorlex_codec* codec, const Input& in) {
    if (o.mode == Mode::test || o.to_stdout) return std::nullopt;
    if (o.output) {
        if (*o.output == "-") return std::nullopt;
        return *o.output;
    }
    if (in.is_stdin()) return std::nullopt;
    // Raw files carry the codec's name, containers .vlx.
    std::string suffix = SUFFIX;
    if (o.raw) suffix.replace(1, std::string::npos, vorlex_codec_get_name(codec));
    if (compressing(o)) return in.path() + suffix;
    if (!ends_with(in.path(), suffix)) {
        throw Failure("unknown suffix, expected " + suffix + " (use -o or -c)");
    }
    return in.path().substr(0, in.path().size() - suffix.size());
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

void list_file(const Input& in) {
    FdSource source(in.fd());
    for (const MemberInfo& m : list_container(source)) {
        std::printf("%-10s %10u %8llu %14llu %14llu %7s  %s\n", m.header.codec.c_str(),
                    m.header.block_size, static_cast<unsigned long long>(m.totals.blocks),
                    static_cast<unsigned long long>(m.totals.compressed),
                    static_cast<unsigned long long>(m.totals.original),
                    format_ratio(m.totals.original, m.totals.compressed).c_str(),
                    in.name().c_str());
    }
    std::fflush(stdout);
}

void process_file(const Options& o, vorlex_codec* codec, const Reporter& reporter,
                  const Input& in) {
    if (!compressing(o) && in.is_stdin() && ::isatty(STDIN_FILENO) && !o.force) {
        throw Failure("refusing to read compressed data from a terminal (use -f to force)");
    }
    if (o.mode == Mode::list) return list_file(in);

    const std::optional<std::string> path = output_path(o, codec, in);
    const bool to_terminal_out = o.mode != Mode::test && !path && ::isatty(STDOUT_FILENO);
    if (compressing(o) && to_terminal_out && !o.force) {
        throw Failure("refusing to write compressed data to a terminal (use -f to force)");
    }

    const auto start = std::chrono::steady_clock::now();
    std::optional<Output> file;
    if (path) file.emplace(*path, o.force, in);
    const int out_fd = file ? file->fd() : STDOUT_FILENO;

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
    if (o.raw) {
        totals = compressing(o) ? raw_compress(source, sink, codec, in.size())
                                : raw_decompress(source, sink, codec, o.size, in.size());
    } else if (compressing(o)) {
        totals = write_container(source, sink, {codec, o.block_size, threads}, progress);
    } else {
        totals = read_container(source, sink, threads, progress, o.memory_limit);
    }
    // The input goes only once its replacement is safely on disk: synced
    // and renamed with its folder synced, or flushed (and synced) to
    // standard output.
    const bool remove = o.remove_input && o.mode != Mode::test && !in.is_stdin();
    if (file) {
        file->commit();
    } else if (remove) {
        sync_standard_output();
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
    if (o.mode == Mode::list) print_listing_header();
    bool all_ok = true;
    for (const std::string& name : o.files) {
        const std::string shown = name == "-" ? "stdin" : name;
        try {
            const Input in(name);
            process_file(o, codec, reporter, in);
        } catch (const Failure& e) {
            reporter.error(shown, e.what());
            all_ok = false;
        } catch (const std::bad_alloc&) {
            reporter.error(shown, "out of memory");
            all_ok = false;
        }
    }
    return all_ok;
}

void print_codecs(uint32_t block_size) {
    std::printf("%-10s %-12s %-10s %-26s %s\n", "codec", "records size", "exact size",
                ("worst case of " + std::to_string(block_size)).c_str(), "plug-in");
    for (const vorlex::Codec& c : vorlex::available_codecs()) {
        const size_t bound = c.max_compressed_size(block_size);
        const std::string worst =
            bound == 0 ? "not given"
                       : std::to_string(bound) + " (+" + std::to_string(bound - block_size) + ")";
        std::printf("%-10s %-12s %-10s %-26s %s\n", std::string(c.name()).c_str(),
                    c.records_size() ? "yes" : "no", c.needs_exact_size() ? "yes" : "no",
                    worst.c_str(), std::string(c.path()).c_str());
    }
    // Where they came from, and what was passed over on the way.
    std::printf("\n%s", vorlex_plugin_search_report());
}

}  // namespace vorlex::cli
