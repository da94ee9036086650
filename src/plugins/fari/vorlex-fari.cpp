// The "fari" codec: the FastARI coder behind the host's callback table. Each
// buffer call borrows a 256 KiB probability table from the host allocator,
// runs one coder function and maps its result to a status. The stream holds
// no size, so decompression takes the given length as a capacity and reports
// what it produced.
//
// Compression uses the bounded encoder with the capacity the host passes: the
// reported worst case covers ordinary data only, and an input built against
// the model would otherwise run past it.
#include <vorlex/plugin.h>

#include "common/plugin_name.hpp"
#include "fari.h"
#include "fari_format.h"

namespace {

const char CODEC_NAME[] = "fari";

uint16_t* allocate_table() { return static_cast<uint16_t*>(vorlex_malloc(fari::TABLE_BYTES)); }

size_t vorlex_fari_get_max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    return fari::fari_bound(uncompressed_length);
}

// *decompressed_length is passed straight through: the coder reads the
// capacity from it and stores the count there only on success. A failed
// allocation reaches the coder as a null table and comes back as result 1.
vorlex_status vorlex_fari_decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                            uint8_t* decompressed, size_t compressed_length,
                                            const uint8_t* compressed, vorlex_options*) {
    uint16_t* table = allocate_table();
    const int result =
        fa_decompress(compressed, decompressed, compressed_length, decompressed_length, table);
    vorlex_free(table);
    switch (result) {
    case fari::FA_OK: return VORLEX_STATUS_OK;
    case fari::FA_NO_TABLE: return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    default: return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    }
}

// The capacity in *compressed_length bounds the encoder; the length changes
// only on success. A failed allocation is plain failure, without an error
// report, as callers of this codec have always seen it.
vorlex_status vorlex_fari_compress_buffer(vorlex_codec*, size_t* compressed_length,
                                          uint8_t* compressed, size_t uncompressed_length,
                                          const uint8_t* uncompressed, vorlex_options*) {
    uint16_t* table = allocate_table();
    const int result = fa_compress_bounded(uncompressed, compressed, uncompressed_length,
                                           *compressed_length, compressed_length, table);
    vorlex_free(table);
    switch (result) {
    case fari::FA_OK: return VORLEX_STATUS_OK;
    case fari::FA_OUTPUT_FULL: return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    default: return VORLEX_STATUS_FAILED;
    }
}

}  // namespace

extern "C" {

// A foreign name is refused directly, without vorlex_error: a refusal is an
// answer to the host's question, not a failure worth reporting.
vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec, vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) return VORLEX_STATUS_NO_SUCH_CODEC;
    funcs->decompress_buffer = vorlex_fari_decompress_buffer;
    funcs->compress_buffer_presized = vorlex_fari_compress_buffer;
    funcs->get_max_compressed_size = vorlex_fari_get_max_compressed_size;
    return VORLEX_STATUS_OK;
}

}  // extern "C"
