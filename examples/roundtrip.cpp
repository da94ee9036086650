// API example: round-trips one input through every codec the host can load
// and prints a table. The input is FILE if given, else the repository's own
// README and sources read at run time.
//
//   vorlex-example [FILE]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <vorlex/vorlex.hpp>

namespace fs = std::filesystem;

static vorlex::Bytes read_all(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return vorlex::Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

static vorlex::Bytes default_input() {
    const fs::path root = VORLEX_DEFAULT_INPUT_DIR;
    std::vector<fs::path> files{root / "README.md"};
    for (const char* dir : {"include", "src"}) {
        for (const auto& e : fs::recursive_directory_iterator(root / dir)) {
            if (e.is_regular_file()) files.push_back(e.path());
        }
    }
    std::sort(files.begin() + 1, files.end());
    vorlex::Bytes all;
    for (const auto& f : files) {
        const auto b = read_all(f);
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

int main(int argc, char** argv) {
    const vorlex::Bytes input = argc > 1 ? read_all(argv[1]) : default_input();
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
