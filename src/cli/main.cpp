// vorlex: compress and decompress files with the codec plug-ins, in the
// checksummed .vlx container or in a codec's bare format; `vorlex bench`
// hands over to the benchmark when it was built in.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "block_codec.hpp"
#include "commands.hpp"
#include "files.hpp"
#include "messages.hpp"
#include "options.hpp"

#ifdef VORLEX_HAVE_BENCH
#include "bench_main.hpp"
#endif

namespace {

constexpr int EXIT_FILE_FAILED = 1;
constexpr int EXIT_USAGE = 2;

int run_bench(int argc, char** argv) {
#ifdef VORLEX_HAVE_BENCH
    return vorlex_bench_main(argc - 1, argv + 1);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "vorlex: bench not built\n");
    return EXIT_USAGE;
#endif
}

int run(int argc, char** argv) {
    using namespace vorlex::cli;
    if (argc >= 2 && std::string(argv[1]) == "bench") return run_bench(argc, argv);

    const ParsedOptions parsed = parse_options(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        usage_error(parsed.error);
        return EXIT_USAGE;
    }
    const Options& o = parsed.options;
    switch (o.mode) {
        case Mode::help:
            std::fputs(usage_text(), stdout);
            return 0;
        case Mode::version:
            std::printf("vorlex %s\n", vorlex_version_string());
            return 0;
        case Mode::codecs:
            print_codecs(o.block_size);
            return 0;
        default:
            break;
    }

    // The codec matters when compressing and for raw data; a container names its own.
    vorlex_codec* codec = nullptr;
    if (o.mode == Mode::compress || o.raw) {
        codec = vorlex_get_codec(o.codec.c_str());
        if (codec == nullptr) {
            usage_error(codec_unavailable(o.codec) + "; see vorlex --codecs");
            return EXIT_USAGE;
        }
        if (o.raw && o.mode != Mode::compress && !o.size && !vorlex_codec_records_size(codec)) {
            usage_error("raw " + o.codec + " data records no size: give --size N" +
                        (vorlex_codec_needs_exact_size(codec) ? " (the exact size)"
                                                              : " (at least the size)"));
            return EXIT_USAGE;
        }
    }

    install_signal_handlers();
    const Reporter reporter(o.verbosity, o.progress);
    return process_files(o, codec, reporter) ? 0 : EXIT_FILE_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlex: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "vorlex: unexpected failure\n");
    }
    return EXIT_FILE_FAILED;
}
