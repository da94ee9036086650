// The "quicklz" codec: one buffer is one QuickLZ block, whose header carries
// both lengths, so decompression can be sized from the data. This file only
// checks arguments against the header, runs the coder with its state record
// in the callback's own frame, and turns results into statuses; the format
// and the coder are in quicklz_*.{h,cpp}.
#include <vorlex/plugin.h>

#include "common/plugin_name.hpp"
#include "quicklz.h"

namespace {

const char CODEC_NAME[] = "quicklz";

const char* as_chars(const uint8_t* p) { return reinterpret_cast<const char*>(p); }

// The header's length needs only the flags byte, which an empty input lacks.
bool holds_header(size_t length, const uint8_t* block) {
    return length != 0 && length >= qlz_size_header(as_chars(block));
}

size_t vorlex_quicklz_get_max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    return uncompressed_length + QLZ_BOUND_EXTRA;
}

// The compressor is given room for its worst case or not run at all, so it
// never has to check its writes.
vorlex_status vorlex_quicklz_compress_buffer(vorlex_codec*, size_t* compressed_length,
                                             uint8_t* compressed, size_t uncompressed_length,
                                             const uint8_t* uncompressed, vorlex_options*) {
    if (*compressed_length < uncompressed_length ||
        *compressed_length - uncompressed_length < QLZ_BOUND_EXTRA) {
        return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    }
    qlz_encoder_state state;
    const size_t produced = qlz_compress(uncompressed, reinterpret_cast<char*>(compressed),
                                         uncompressed_length, &state);
    *compressed_length = produced;
    // 0: an empty input (which has no block) or one too long for the format.
    if (produced == 0) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_quicklz_decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                               uint8_t* decompressed, size_t compressed_length,
                                               const uint8_t* compressed, vorlex_options*) {
    if (!holds_header(compressed_length, compressed)) {
        return vorlex_error(VORLEX_STATUS_INPUT_TRUNCATED);
    }
    const char* block = as_chars(compressed);
    const size_t total = qlz_size_compressed(block);
    const size_t size = qlz_size_decompressed(block);
    // The decoder trusts the header's lengths for both buffers.
    if (compressed_length < total) return vorlex_error(VORLEX_STATUS_INPUT_TRUNCATED);
    if (*decompressed_length < size) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);

    qlz_decoder_state state;
    const size_t produced = qlz_decompress(block, decompressed, &state);
    *decompressed_length = produced;
    if (produced != size) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

size_t vorlex_quicklz_get_uncompressed_size(vorlex_codec*, size_t compressed_length,
                                            const uint8_t* compressed) {
    if (!holds_header(compressed_length, compressed)) {
        vorlex_error(VORLEX_STATUS_INPUT_TRUNCATED);
        return 0;
    }
    return qlz_size_decompressed(as_chars(compressed));
}

}  // namespace

extern "C" VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                                vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    funcs->decompress_buffer = vorlex_quicklz_decompress_buffer;
    funcs->compress_buffer = vorlex_quicklz_compress_buffer;
    funcs->get_uncompressed_size = vorlex_quicklz_get_uncompressed_size;
    funcs->get_max_compressed_size = vorlex_quicklz_get_max_compressed_size;
    return VORLEX_STATUS_OK;
}
