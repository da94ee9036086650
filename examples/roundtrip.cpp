// API example: round-trips one input through every codec the host can load
// and prints a table. The input is FILE if given, else a sample of log-like
// text made here, so the program needs nothing but an installed libvorlex:
//
//   c++ -std=c++17 roundtrip.cpp $(pkg-config --cflags --libs vorlex)
//   vorlex-example [FILE]
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <vorlex/vorlex.hpp>

static bool read_all(const char* path, vorlex::Bytes& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

// About 1 MiB of lines that repeat with variations, as logs do.
static vorlex::Bytes sample_input() {
    static const char* const levels[] = {"INFO", "WARN", "DEBUG", "ERROR"};
    static const char* const words[] = {"request", "served", "cache", "miss", "retry",
                                        "connection", "closed", "upstream", "timeout"};
    vorlex::Bytes all;
    unsigned state = 1;
    char line[160];
    while (all.size() < (1u << 20)) {
        state = state * 1103515245u + 12345u;
        const int n = std::snprintf(line, sizeof line,
                                    "2026-01-%02u 12:%02u:%02u %s %s %s id=%u\n",
                                    1 + (state >> 8) % 28, (state >> 12) % 60, (state >> 18) % 60,
                                    levels[(state >> 24) % 4], words[(state >> 4) % 9],
                                    words[(state >> 20) % 9], (state >> 10) % 5000);
        all.insert(all.end(), line, line + n);
    }
    return all;
}

int main(int argc, char** argv) {
    vorlex::Bytes input;
    if (argc > 1 && !read_all(argv[1], input)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    if (argc <= 1) input = sample_input();
    const auto codecs = vorlex::available_codecs();
    if (codecs.empty()) {
        std::fprintf(stderr, "no codecs found (set VORLEX_PLUGIN_PATH?)\n");
        return 1;
    }
    std::printf("%-10s %14s %14s %8s  %s\n", "codec", "original", "compressed", "ratio",
                "verified");
    int failures = 0;
    for (const vorlex::Codec& codec : codecs) {
        vorlex::Bytes packed, unpacked;
        vorlex_status st = codec.compress(input, packed);
        bool verified = false;
        if (vorlex::ok(st)) {
            // Codecs whose data records no size are given the original size:
            // exactly (brieflz) or as the capacity (the others).
            st = codec.records_size() ? codec.decompress(packed, unpacked)
                                      : codec.decompress(packed, unpacked, input.size());
            verified = vorlex::ok(st) && unpacked == input;
        }
        failures += !verified;
        const std::string name(codec.name());
        if (!vorlex::ok(st)) {
            std::printf("%-10s %14zu %14s %8s  no (%s)\n", name.c_str(), input.size(), "-", "-",
                        vorlex_status_to_string(st));
            continue;
        }
        std::printf("%-10s %14zu %14zu %8.3f  %s\n", name.c_str(), input.size(), packed.size(),
                    packed.empty() ? 0.0 : double(input.size()) / double(packed.size()),
                    verified ? "yes" : "NO");
    }
    return failures == 0 ? 0 : 1;
}
