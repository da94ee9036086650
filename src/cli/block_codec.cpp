// Codec calls of the raw mode.
#include "block_codec.hpp"

#include <algorithm>
#include <cstring>
#include <new>

namespace vorlex::cli {

namespace {
// Filler sits within the first header + 9 bytes of a block; 64 covers it.
constexpr size_t ZEROED_HEAD = 64;
}  // namespace

std::string codec_unavailable(const std::string& name) {
    const char* why = vorlex_get_codec_error(name.c_str());
    return "unknown codec '" + name + "'" + (why != nullptr ? std::string(" (") + why + ")" : "");
}

size_t compress_capacity(vorlex_codec* codec, size_t n) {
    const size_t bound = vorlex_get_max_compressed_size(codec, n);
    return bound != 0 ? bound : n + n / 16 + 1024;
}

vorlex_status compress_block(vorlex_codec* codec, const uint8_t* in, size_t n, uint8_t* out,
                             size_t capacity, size_t& produced, vorlex_options* options) {
    std::memset(out, 0, std::min(capacity, ZEROED_HEAD));
    size_t length = capacity;
    const vorlex_status st = vorlex_compress(codec, out, &length, in, n, options);
    if (st > 0) produced = length;
    return st;
}


CodecOptions codec_options(const std::optional<int>& level, int filter, unsigned typesize) {
    if (!level && filter == VORLEX_FILTER_NONE) return nullptr;
    CodecOptions o(vorlex_options_new());
    if (o == nullptr) throw std::bad_alloc();
    if (level) vorlex_options_set_level(o.get(), *level);
    vorlex_options_set_filter(o.get(), filter, typesize);  // checked by the parser
    return o;
}

std::string level_problem(vorlex_codec* codec, int level) {
    const std::string name = std::string("'") + vorlex_codec_get_name(codec) + "'";
    int lo = 0, hi = 0;
    if (vorlex_codec_get_levels(codec, &lo, &hi, nullptr) != VORLEX_STATUS_OK) {
        return "codec " + name + " has no compression levels";
    }
    if (level < lo || level > hi) {
        return "codec " + name + " has no level " + std::to_string(level) + " (levels " +
               std::to_string(lo) + " to " + std::to_string(hi) + ")";
    }
    return {};
}

}  // namespace vorlex::cli
