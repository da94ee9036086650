// `vorlex bench`: gathers codecs, peers and inputs, runs the rounds, prints
// the report and the plot. Measurement, peers, rendering, the plot, the
// default input and option parsing each live in their own file; this one
// only wires them together and decides the exit status.
#include "bench_main.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <set>

#include "bench.hpp"
#include "codecs.hpp"
#include "default_input.hpp"
#include "html.hpp"
#include "inputs.hpp"
#include "machine.hpp"
#include "options.hpp"
#include "overhead.hpp"
#include "peers.hpp"
#include "plot.hpp"
#include "progress.hpp"
#include "render.hpp"
#include "results.hpp"
#include "runner.hpp"

namespace vorlex::bench {
namespace {

constexpr int EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2;

struct Subjects {
    std::vector<std::unique_ptr<Subject>> owned;
    std::vector<std::string> peers;    // "lz4 1.9.4"
    std::vector<std::string> missing;  // "snappy (libsnappy-dev)"
};

// The peers asked for, or the reason the list is wrong.
std::string add_peers(const Options& o, Subjects& s) {
    std::vector<std::string> wanted = o.peer_names;
    if (wanted.empty()) {
        for (const PeerInfo& p : known_peers()) wanted.push_back(p.key);
    }
    for (const std::string& name : wanted) {
        const auto info = std::find_if(known_peers().begin(), known_peers().end(),
                                       [&](const PeerInfo& p) { return p.key == name || p.name == name; });
        if (info == known_peers().end()) {
            std::string keys;
            for (const PeerInfo& p : known_peers()) keys += (keys.empty() ? "" : ", ") + p.key;
            return "--peers: unknown peer '" + name + "' (known: " + keys + ")";
        }
        if (!info->available) {
            s.missing.push_back(info->key + " (" + info->package + ")");
            continue;
        }
        s.owned.push_back(make_peer(info->key));
        s.peers.push_back(info->version.empty() ? info->name : info->name + " " + info->version);
    }
    return {};
}

// The host-overhead view's subjects for the codecs named (default: its own
// list); the codecs are checked as --codec checks them.
std::vector<std::unique_ptr<Subject>> load_overhead(const std::vector<std::string>& names,
                                                    std::string& error) {
    std::vector<std::unique_ptr<Subject>> out;
    for (const std::string& item : names.empty() ? overhead_default_codecs() : names) {
        const size_t colon = item.find(':');
        const std::string name = item.substr(0, colon);
        std::optional<int> level;
        if (colon != std::string::npos) level = std::stoi(item.substr(colon + 1));
        // Validated (level range included) as for the ordinary view.
        if (load_codecs({item}, error).empty()) return {};
        auto subjects = overhead_subjects(vorlex_get_codec(name.c_str()), level);
        if (subjects.empty()) {
            error = "codec " + name + " wraps no library this bench links (--overhead: lz4, zstd, "
                    "gzip, snappy)";
            return {};
        }
        for (auto& s : subjects) out.push_back(std::move(s));
    }
    return out;
}

// Every input readable, named uniquely; failures are reported and counted.
std::vector<Input> load_inputs(const Options& o, StderrProgress& progress) {
    std::vector<Input> inputs;
    if (o.files.empty()) {
        Input in;
        std::string error;
        if (read_default_input(in, error)) inputs.push_back(std::move(in));
        else progress.failed(error);
        return inputs;
    }
    // "total" names the sum over files: a file of that name keeps its path.
    std::set<std::string> names{"total"};
    for (const std::string& path : o.files) {
        Input in;
        std::string error;
        if (!read_input(path, in, error)) {
            progress.failed(path + ": " + error);
            continue;
        }
        if (in.data.size() == 0) {
            progress.note(path + ": empty, skipped");
            continue;
        }
        // Rows are keyed by name: two files called "data" in different
        // folders keep their paths.
        if (names.count(in.name) != 0) in.name = path;
        for (int n = 2; names.count(in.name) != 0; ++n) in.name = path + " (" + std::to_string(n) + ")";
        names.insert(in.name);
        inputs.push_back(std::move(in));
    }
    return inputs;
}

std::vector<Case> make_cases(const Options& o, const std::vector<Input>& inputs,
                             StderrProgress& progress) {
    std::vector<Case> cases;
    if (!o.small) {
        for (const Input& in : inputs) cases.push_back({in.name, in.name, in.data.view()});
        return cases;
    }
    // Prefixes share their file's buffer, so they too start 1024-aligned.
    for (const size_t size : o.small_sizes) {
        const std::string label = size_label(size);
        size_t added = 0;
        for (const Input& in : inputs) {
            if (in.data.size() < size) continue;
            cases.push_back({label, in.name, in.data.view().first(size)});
            ++added;
        }
        if (added == 0 && !inputs.empty()) progress.note(label + ": no input is that long, skipped");
    }
    return cases;
}

bool write_file(const std::string& path, const std::string& text, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int saved = errno;
    if (std::fclose(f) != 0 || !ok) {
        error = std::strerror(ok ? errno : saved);
        return false;
    }
    return true;
}

int run(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    Options o;
    if (const std::string bad = parse_options(args, o); !bad.empty()) {
        std::fprintf(err, "vorlex bench: %s\nTry 'vorlex bench --help'.\n", bad.c_str());
        return EXIT_USAGE;
    }
    if (o.help) {
        std::fputs(usage_text(), out);
        return EXIT_OK;
    }

    Subjects subjects;
    std::string error;
    std::vector<std::string> warnings;
    subjects.owned = o.overhead ? load_overhead(o.codecs, error)
                                : load_codecs(o.codecs, error, &warnings);
    if (subjects.owned.empty()) {
        // A codec named that does not load is a usage error, as in the tool;
        // no plug-in at all is a failure of the install.
        std::fprintf(err, "vorlex bench: %s\n", error.c_str());
        return o.codecs.empty() ? EXIT_FAILED : EXIT_USAGE;
    }
    for (const std::string& w : warnings) std::fprintf(err, "vorlex bench: warning: %s\n", w.c_str());
    if (o.peers) {
        if (const std::string bad = add_peers(o, subjects); !bad.empty()) {
            std::fprintf(err, "vorlex bench: %s\nTry 'vorlex bench --help'.\n", bad.c_str());
            return EXIT_USAGE;
        }
    }

    StderrProgress progress(err, o.quiet);
    if (!subjects.missing.empty()) {
        std::string list;
        for (const std::string& m : subjects.missing) list += (list.empty() ? "" : ", ") + m;
        progress.note("peers not built in (their -dev package was not found): " + list);
    }
    const std::vector<Input> inputs = load_inputs(o, progress);
    const std::vector<Case> cases = make_cases(o, inputs, progress);

    std::vector<Subject*> order;
    for (const auto& s : subjects.owned) order.push_back(s.get());
    RunSettings settings;
    settings.rounds = o.rounds;
    settings.min_time = o.min_time;
    const std::vector<Measurement> measured = run_cases(cases, order, settings, progress);
    progress.finish();

    Report report;
    report.info = describe_machine();
    report.info.rounds = o.rounds;
    report.info.min_time = o.min_time;
    report.info.peers = subjects.peers;
    report.info.missing_peers = subjects.missing;
    report.per_call = o.small;
    report.rows = rows_by_group(measured);
    if (!o.small && inputs.size() > 1) {
        const std::vector<Row> totals = total_rows(measured, "total");
        report.rows.insert(report.rows.end(), totals.begin(), totals.end());
    }
    add_reference_ratios(report.rows);
    std::fputs(render(report, o.format).c_str(), out);
    if (o.overhead && (o.format == Format::table || o.format == Format::markdown)) {
        std::fputs(render_overhead(report.rows, o.format).c_str(), out);
    }
    std::fflush(out);

    if (!o.plot.empty()) {
        // One mark per codec: the last group is the total over files, the
        // only file, or the largest --small size.
        std::vector<Row> summary;
        const std::string label = report.rows.empty() ? "" : report.rows.back().input;
        for (const Row& r : report.rows) {
            if (r.input == label) summary.push_back(r);
        }
        const std::string title = "vorlex codecs: compression ratio and speed (" +
                                  (label == "total" ? std::string("all files") : label) + ")";
        const std::string subtitle = report.info.cpu + "; " + report.info.compiler +
                                     "; commit " + report.info.commit;
        if (!write_file(o.plot, render_svg(summary, title, subtitle), error)) {
            progress.failed(o.plot + ": " + error);
        }
    }

    if (!o.html.empty() && !write_file(o.html, render_html(report), error)) {
        progress.failed(o.html + ": " + error);
    }

    const int failures = progress.failures();
    if (failures > 0) {
        std::fprintf(err, "vorlex bench: %d failure%s; their rows are missing\n", failures,
                     failures == 1 ? "" : "s");
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

}  // namespace

std::string size_label(size_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " B";
}

int run_bench(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    // Nothing may escape into the CLI's C-style main: out of memory (a huge
    // file) ends the run with a message instead.
    try {
        return run(args, out, err);
    } catch (const std::exception& e) {
        std::fprintf(err, "vorlex bench: %s\n", e.what());
        return EXIT_FAILED;
    }
}

}  // namespace vorlex::bench

int vorlex_bench_main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return vorlex::bench::run_bench(args, stdout, stderr);
}
