// The "lzjb" codec: the host's face of the LZJB coder (lzjb.h). Each callback
// calls one coder function and turns its result into a vorlex_status; the
// binding keeps no state and no work memory of its own (the compressor's
// table lives in its own call frame).
//
// LZJB data records no size, so decompression takes the caller's length as a
// capacity and reports the count produced; get_uncompressed_size stays empty.

#include <assert.h>
#include <vorlex/plugin.h>

#include "common/plugin_name.hpp"
#include "lzjb.h"
#include "lzjb_format.h"

namespace {

const char CODEC_NAME[] = "lzjb";

// Any capacity is accepted. The coder cannot tell "did not fit" from "empty
// input", so both are FAILED, with the length set to 0.
vorlex_status vorlex_lzjb_compress_buffer(vorlex_codec*, size_t* compressed_length,
                                          uint8_t* compressed, size_t uncompressed_length,
                                          const uint8_t* uncompressed, vorlex_options*) {
    const size_t produced =
        lzjb_compress(uncompressed, compressed, uncompressed_length, *compressed_length);
    *compressed_length = produced;
    if (produced == 0) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

// The caller's length goes straight through as the coder's capacity; the
// coder writes it only on success. Statuses are returned without
// vorlex_error.
vorlex_status vorlex_lzjb_decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                            uint8_t* decompressed, size_t compressed_length,
                                            const uint8_t* compressed, vorlex_options*) {
    switch (lzjb_decompress(compressed, decompressed, compressed_length, decompressed_length)) {
    case LZJB_DECODED:
        return VORLEX_STATUS_OK;
    case LZJB_BAD_OFFSET:
        return VORLEX_STATUS_FAILED;
    case LZJB_OVERRUN:
        return VORLEX_STATUS_OUTPUT_FULL;
    default:
        assert(0);  // lzjb_decompress has no other results
        return VORLEX_STATUS_FAILED;
    }
}

size_t vorlex_lzjb_get_max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    return vorlex::lzjb::lzjb_bound(uncompressed_length);
}

}  // namespace

extern "C" VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                                vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    funcs->decompress_buffer = vorlex_lzjb_decompress_buffer;
    funcs->compress_buffer = vorlex_lzjb_compress_buffer;
    funcs->get_max_compressed_size = vorlex_lzjb_get_max_compressed_size;
    return VORLEX_STATUS_OK;
}
