// The "snappy" codec: raw snappy blocks (a varint of the decompressed size,
// then elements) through libsnappy's C interface. The format is one block
// in memory, so streams are the host's buffered ones; it has no levels.
// Its size field is 32 bits: larger inputs are refused, never truncated.

#include <assert.h>
#include <snappy-c.h>
#include <stdint.h>

#include <vorlex/plugin.h>

#include "common/plugin_name.hpp"

namespace {

const char CODEC_NAME[] = "snappy";

// The varint holds at most 2^32 - 1.
constexpr size_t MAX_INPUT = UINT32_MAX;

vorlex_status status_of(snappy_status s) {
    switch (s) {
    case SNAPPY_OK:
        return VORLEX_STATUS_OK;
    case SNAPPY_BUFFER_TOO_SMALL:
        return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    default:
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
}

const char* as_chars(const uint8_t* p) { return reinterpret_cast<const char*>(p); }

// 32 + n + n/6, from libsnappy; 0 (no bound) for inputs it cannot take.
size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    if (uncompressed_length > MAX_INPUT) return 0;
    return snappy_max_compressed_length(uncompressed_length);
}

// libsnappy refuses any capacity below the worst case, so the host hands us
// one at least that large.
vorlex_status compress_buffer_presized(vorlex_codec*, size_t* compressed_length,
                                       uint8_t* compressed, size_t uncompressed_length,
                                       const uint8_t* uncompressed, vorlex_options*) {
    if (uncompressed_length > MAX_INPUT) return vorlex_error(VORLEX_STATUS_FAILED);
    assert(*compressed_length >= snappy_max_compressed_length(uncompressed_length));
    size_t n = *compressed_length;
    const snappy_status st = snappy_compress(as_chars(uncompressed), uncompressed_length,
                                             reinterpret_cast<char*>(compressed), &n);
    if (st != SNAPPY_OK) return status_of(st);
    *compressed_length = n;
    return VORLEX_STATUS_OK;
}

// libsnappy reads the size first and refuses a capacity below it before it
// writes anything; every element is checked against both buffers.
vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*) {
    size_t n = *decompressed_length;
    const snappy_status st = snappy_uncompress(as_chars(compressed), compressed_length,
                                               reinterpret_cast<char*>(decompressed), &n);
    if (st != SNAPPY_OK) return status_of(st);
    *decompressed_length = n;
    return VORLEX_STATUS_OK;
}

// The varint at the front; 0 when there is none (decoding then refuses).
size_t uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t* compressed) {
    size_t n = 0;
    if (snappy_uncompressed_length(as_chars(compressed), compressed_length, &n) != SNAPPY_OK) {
        return 0;
    }
    return n;
}

}  // namespace

extern "C" VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                                vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    funcs->decompress_buffer = decompress_buffer;
    funcs->compress_buffer_presized = compress_buffer_presized;
    funcs->get_uncompressed_size = uncompressed_size;
    funcs->get_max_compressed_size = max_compressed_size;
    return VORLEX_STATUS_OK;
}
