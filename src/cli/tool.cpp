// Option handling and dispatch for one run of the tool.
#include "tool.hpp"

#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include <vorlex/vorlex.h>

#include "block_codec.hpp"
#include "commands.hpp"
#include "files.hpp"
#include "messages.hpp"
#include "options.hpp"
#include "raw.hpp"

namespace vorlex::cli {

namespace {

int run(const std::vector<std::string>& args) {
    const ParsedOptions parsed = parse_options(args);
    if (!parsed.error.empty()) {
        usage_error(parsed.error);
        return EXIT_USAGE;
    }
    Options o = parsed.options;
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

    // The codec matters when compressing and for raw data; a container names
    // its own, and raw files without --codec name theirs by their suffix.
    vorlex_codec* codec = nullptr;
    const bool codec_by_suffix = o.raw && o.mode != Mode::compress && !o.codec_given;
    if (codec_by_suffix && o.recursive) {
        usage_error("--raw with -r needs --codec when decompressing or testing");
        return EXIT_USAGE;
    }
    if (o.mode == Mode::compress || (o.raw && !codec_by_suffix)) {
        codec = vorlex_get_codec(o.codec.c_str());
        if (codec == nullptr) {
            // A plug-in that is there but cannot be loaded (no memory to
            // map it, a broken file) is a failure of this run, not a wrong
            // name on the command line.
            const char* why = vorlex_get_codec_error(o.codec.c_str());
            if (why != nullptr && std::strncmp(why, "cannot load ", 12) == 0) {
                std::fprintf(stderr, "vorlex: %s\n", codec_unavailable(o.codec).c_str());
                return EXIT_FILE_FAILED;
            }
            usage_error(codec_unavailable(o.codec) + "; see vorlex --codecs");
            return EXIT_USAGE;
        }
        if (o.mode == Mode::compress && o.level &&
            vorlex_codec_get_levels(codec, nullptr, nullptr, nullptr) != VORLEX_STATUS_OK) {
            // One rule in every door: a codec without levels ignores one, and
            // whoever can be told is told.
            if (o.verbosity >= 1) {
                std::fprintf(stderr, "vorlex: warning: codec '%s' has no compression levels; "
                             "level %d ignored\n", o.codec.c_str(), *o.level);
            }
        } else if (o.mode == Mode::compress && o.level) {
            // As the zstd tool: levels 20 to 22 want --ultra (their windows
            // need more memory to decode); without it, 19 with a warning.
            if (o.codec == "zstd" && *o.level > ZSTD_MAX_PLAIN_LEVEL && !o.ultra &&
                level_problem(codec, *o.level).empty()) {
                if (o.verbosity >= 1) {
                    std::fprintf(stderr, "vorlex: warning: zstd level %d needs --ultra; "
                                 "level %d used\n", *o.level, ZSTD_MAX_PLAIN_LEVEL);
                }
                o.level = ZSTD_MAX_PLAIN_LEVEL;
            }
            const std::string why = level_problem(codec, *o.level);
            if (!why.empty()) {
                usage_error(why);
                return EXIT_USAGE;
            }
        }
        // Each codec's own default, where its ratio stays close to its tool's.
        if (o.mode == Mode::compress && !o.block_size_given) {
            o.block_size = uint32_t(vorlex_frame_default_block_size(codec));
        }
        if (o.raw && o.mode != Mode::compress) {
            const std::string why = raw_size_missing(codec, o.size);
            if (!why.empty()) {
                usage_error(why);
                return EXIT_USAGE;
            }
        }
    }

    install_signal_handlers();
    const Reporter reporter(o.verbosity, o.progress);
    return process_files(o, codec, reporter) ? 0 : EXIT_FILE_FAILED;
}

}  // namespace

int run_tool(const std::vector<std::string>& args) noexcept {
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        std::fputs("vorlex: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vorlex: %s\n", e.what());
    } catch (...) {
        std::fputs("vorlex: unexpected failure\n", stderr);
    }
    return EXIT_FILE_FAILED;
}

}  // namespace vorlex::cli
