// Writes the seed corpora under fuzz/corpus/: `fuzz_seeds OUT_DIR [FILE...]`.
// Seeds are small on purpose: a few synthetic shapes (empty, one byte, runs,
// text, random, repeats), the golden inputs of each codec's tests, and the
// first 2 KiB of each FILE (slices of the shared corpus), each followed by
// the parameter bytes its target reads from the end (fuzz/support/input.hpp).
// Decoder targets get each input compressed by their codec with the exact
// size as parameter, plus the same with a few bytes cut off; the frame
// targets (and the HDF5 filter's) get frames as the tool writes them, and
// the frame reader target also two frames concatenated. Run it again
// when a codec or a target's input layout changes.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/test_data.hpp"


namespace fs = std::filesystem;
using vorlex::test::Bytes;

namespace {

// Appends parameters given in the order a target takes them: the first
// taken is the last in the file, each little-endian.
Bytes with_params(Bytes data, std::initializer_list<std::pair<uint64_t, int>> params) {
    std::vector<std::pair<uint64_t, int>> p(params);
    for (auto it = p.rbegin(); it != p.rend(); ++it) {
        for (int i = 0; i < it->second; ++i) data.push_back(uint8_t(it->first >> (8 * i)));
    }
    return data;
}

void write(const fs::path& dir, const std::string& name, const Bytes& b) {
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::string safe(std::string s) {
    for (char& c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') c = '_';
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR [FILE...]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    std::vector<std::pair<std::string, Bytes>> inputs = {
        {"empty", {}},
        {"one", {'a'}},
        {"run-600", vorlex::test::run_bytes(600, 'q')},
        {"zeros-4k", vorlex::test::run_bytes(4096, 0)},
        {"text-1k", vorlex::test::text_bytes(1000, 1)},
        {"mixed-3k", vorlex::test::mixed_bytes(3000, 2)},
        {"random-300", vorlex::test::random_bytes(300, 3)},
    };
    for (int i = 2; i < argc; ++i) {
        Bytes b = vorlex::test::read_file(argv[i]);
        if (b.size() > 2048) b.resize(2048);
        inputs.emplace_back("slice-" + safe(fs::path(argv[i]).filename().string()), b);
    }

    setenv("VORLEX_PLUGIN_PATH", VORLEX_FUZZ_PLUGIN_DIR, 0);
    for (const std::string name : {"copy", "quicklz", "brieflz", "fari", "lzjb", "lz4", "zstd",
                                   "gzip", "snappy", "no-such-codec",
                                   "../copy", "Copy", "quicklz\x01"}) {
        write(out / "codec_name", safe(name), Bytes(name.begin(), name.end()));
    }
    // The longest name looked up, and one character more.
    write(out / "codec_name", "longest", Bytes(64, 'z'));
    write(out / "codec_name", "too-long", Bytes(65, 'z'));

    vorlex_codec* codecs[32];
    const size_t count = std::min<size_t>(vorlex_list_codecs(codecs, 32), 32);
    for (size_t k = 0; k < count; ++k) {
        vorlex_codec* c = codecs[k];
        const std::string codec = vorlex_codec_get_name(c);
        std::vector<std::pair<std::string, Bytes>> all = inputs;
        const fs::path golden = fs::path(VORLEX_SOURCE_DIR) / "tests" / codec / "golden";
        if (fs::is_directory(golden)) {
            for (const auto& e : fs::directory_iterator(golden)) {
                if (e.path().extension() == ".in") {
                    all.emplace_back("golden-" + safe(e.path().stem().string()),
                                     vorlex::test::read_file(e.path()));
                }
            }
        }
        for (size_t i = 0; i < all.size(); ++i) {
            const auto& [label, data] = all[i];
            // in_step, out_step, smaller, lead: see roundtrip.cpp.
            write(out / (codec + "_roundtrip"), label,
                  with_params(data, {{i % 7, 1}, {i % 5, 1}, {data.size() / 2, 4}, {i * 37 % 1024, 2}}));
            if (codec == "copy") continue;
            size_t cap = vorlex_get_max_compressed_size(c, data.size());
            Bytes z(cap, 0);
            if (vorlex_compress(c, z.data(), &cap, data.data(), data.size(), nullptr) !=
                VORLEX_STATUS_OK) {
                continue;
            }
            z.resize(cap);
            // flags, size: see decompress.cpp; bit 1 adds the stream path.
            write(out / (codec + "_decompress"), label,
                  with_params(z, {{i % 2 == 0 ? 2 : 0, 1}, {data.size(), 4}}));
            if (z.size() > 8) {
                Bytes cut(z.begin(), z.end() - 3);
                write(out / (codec + "_decompress"), label + "-cut",
                      with_params(cut, {{3, 1}, {data.size(), 4}}));
            }
        }
        // Frames of a few inputs, in blocks small enough to make several;
        // mode byte 0: the checksums are already right. Each input also
        // goes through a filter (shuffle, bitshuffle, delta, auto in turn
        // over inputs and codecs, typesizes 1 to 8).
        for (size_t i = 0; i < all.size(); i += 3) {
            for (const bool filtered : {false, true}) {
                const auto& [label_plain, data] = all[i];
                const int filter =
                    filtered ? int((i / 3 + codec.size()) % 4) + 1 : VORLEX_FILTER_NONE;
                vorlex_options* options = vorlex_options_new();
                vorlex_options_set_filter(options, filter, unsigned(i % 8) + 1);
                const std::string label = filtered ? label_plain + "-" + vorlex_filter_name(filter)
                                                   : label_plain;
                size_t cap = vorlex_frame_compress_bound(c, data.size(), 1024);
                Bytes frame(cap);
                const vorlex_status st = vorlex_frame_compress_with_options(
                    c, options, 1024, frame.data(), &cap, data.data(), data.size());
                vorlex_options_free(options);
                if (st != VORLEX_STATUS_OK) continue;
                frame.resize(cap);
                write(out / "container", codec + "-" + label, with_params(frame, {{0, 1}}));
                // mode: see hdf5_decode.cpp.
                write(out / "hdf5_decode", codec + "-" + label, with_params(frame, {{0, 1}}));
                // mode, in_piece - 1, out_piece - 1, threads - 1: see frame_reader.cpp.
                Bytes two = frame;
                two.insert(two.end(), frame.begin(), frame.end());
                write(out / "frame_reader", codec + "-" + label,
                      with_params(i % 2 == 0 ? frame : two,
                                  {{0, 1}, {i % 3 == 0 ? 0 : 200, 1}, {i * 7 % 256, 1}, {i % 4, 1}}));
            }
        }
        // typesize - 1, code: see filters.cpp.
        for (size_t i = 0; i < all.size(); i += 2) {
            const auto& [label, data] = all[i];
            for (const unsigned typesize : {1u, 2u, 3u, 4u, 8u, 12u, 16u, 255u}) {
                if (codec != "copy") break;  // once, not per codec
                write(out / "filters", label + "-" + std::to_string(typesize),
                      with_params(data, {{typesize - 1, 1}, {(i + typesize) % 5, 1}}));
            }
        }
        std::printf("%s: %zu inputs\n", codec.c_str(), all.size());
    }
    return 0;
}
