// Codec calls of the raw mode.
#include "block_codec.hpp"

#include <algorithm>
#include <cstring>

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
                             size_t capacity, size_t& produced) {
    std::memset(out, 0, std::min(capacity, ZEROED_HEAD));
    size_t length = capacity;
    const vorlex_status st = vorlex_compress(codec, out, &length, in, n, nullptr);
    if (st > 0) produced = length;
    return st;
}

}  // namespace vorlex::cli
