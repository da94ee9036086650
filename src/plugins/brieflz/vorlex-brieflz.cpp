// The "brieflz" codec: BriefLZ streams for the host. Its data records no
// size, so decompression takes the length it is given as the exact size to
// produce (info flag VORLEX_INFO_EXACT_SIZE). Compression is offered only as
// compress_buffer_presized; the host provides get_max_compressed_size bytes,
// and the writer is still held to the capacity it is actually given, because
// that size is not a true bound for every input.

#include <vorlex/plugin.h>

#include "brieflz.h"
#include "common/plugin_name.hpp"

namespace {

const char CODEC_NAME[] = "brieflz";

size_t vorlex_brieflz_get_max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    return blz_max_packed_size(uncompressed_length);
}

// *decompressed_length is the exact size to produce; it is left as it is
// both on success (it already holds the count) and on failure.
vorlex_status vorlex_brieflz_decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                               uint8_t* decompressed, size_t compressed_length,
                                               const uint8_t* compressed, vorlex_options*) {
    const size_t want = *decompressed_length;
    if (blz_depack_safe(compressed, compressed_length, decompressed, want) != want) {
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
    return VORLEX_STATUS_OK;
}

// *compressed_length: capacity on entry, stream length on success, unchanged
// on failure. A capacity below the usual worst case is refused before any
// work, as callers of the presized slot expect; a stream that outgrows even
// that (far repeats in very large inputs) ends in OUTPUT_FULL too.
vorlex_status vorlex_brieflz_compress_buffer(vorlex_codec*, size_t* compressed_length,
                                             uint8_t* compressed, size_t uncompressed_length,
                                             const uint8_t* uncompressed, vorlex_options*) {
    const size_t capacity = *compressed_length;
    if (capacity < blz_max_packed_size(uncompressed_length)) {
        return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    }
    void* const workmem = vorlex_malloc(blz_workmem_size(uncompressed_length));
    if (workmem == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    const size_t packed =
        blz_pack_bounded(uncompressed, compressed, capacity, uncompressed_length, workmem);
    vorlex_free(workmem);
    if (packed == BLZ_PACK_NO_ROOM) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    *compressed_length = packed;
    return VORLEX_STATUS_OK;
}

}  // namespace

extern "C" VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                                vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    funcs->info_flags = VORLEX_INFO_EXACT_SIZE;
    funcs->decompress_buffer = vorlex_brieflz_decompress_buffer;
    funcs->compress_buffer_presized = vorlex_brieflz_compress_buffer;
    funcs->get_max_compressed_size = vorlex_brieflz_get_max_compressed_size;
    return VORLEX_STATUS_OK;
}
