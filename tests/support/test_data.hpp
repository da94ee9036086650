// Inputs for round-trip tests: seeded synthetic data of the shapes that
// exercise LZ and entropy coders differently, and the shared corpus files
// when VORLEX_CORPUS_DIR names a folder holding them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace vorlex::test {

using Bytes = std::vector<uint8_t>;

inline Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

inline Bytes run_bytes(size_t n, uint8_t value) { return Bytes(n, value); }

// Word soup from a small vocabulary: compressible like prose.
inline Bytes text_bytes(size_t n, uint32_t seed) {
    static const char* const words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ",
                                        "lazy ", "dog ", "and ", "compression ", "of ", "data, ",
                                        "block ", "stream.\n", "codec ", "vorlex "};
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n + 16);
    while (b.size() < n) {
        const char* w = words[rng() % 16];
        while (*w && b.size() < n) b.push_back(uint8_t(*w++));
    }
    return b;
}

// Random bytes with repeats copied from recent history: many short matches.
inline Bytes mixed_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b;
    b.reserve(n);
    while (b.size() < n) {
        if (b.size() > 16 && rng() % 3 != 0) {
            const size_t back = 1 + rng() % std::min<size_t>(b.size(), 4000);
            const size_t len = 3 + rng() % 40;
            const size_t from = b.size() - back;
            for (size_t i = 0; i < len && b.size() < n; ++i) b.push_back(b[from + i]);
        } else {
            b.push_back(uint8_t(rng() % 64));
        }
    }
    return b;
}

inline Bytes from_string(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The seven corpus files by name, or an empty list when VORLEX_CORPUS_DIR is
// unset or incomplete (tests then skip, saying so).
struct CorpusFile {
    std::string name;
    std::filesystem::path path;
};

inline const char* const CORPUS_NAMES[] = {"dickens", "mr",      "nci", "ooffice",
                                           "osdb",    "reymont", "xml"};

inline std::vector<CorpusFile> corpus_files() {
    std::vector<CorpusFile> out;
    const char* dir = std::getenv("VORLEX_CORPUS_DIR");
    if (dir == nullptr || *dir == '\0') return out;
    for (const char* name : CORPUS_NAMES) {
        const std::filesystem::path p = std::filesystem::path(dir) / name;
        if (!std::filesystem::is_regular_file(p)) return {};
        out.push_back({name, p});
    }
    return out;
}

#define VORLEX_REQUIRE_CORPUS(files)                                                       \
    do {                                                                                   \
        if ((files).empty())                                                               \
            GTEST_SKIP() << "VORLEX_CORPUS_DIR is unset or lacks the corpus files; "       \
                            "run through `make test` to unpack ../shared/corpus";          \
    } while (0)

}  // namespace vorlex::test
