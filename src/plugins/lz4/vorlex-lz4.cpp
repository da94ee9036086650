// The "lz4" codec: the LZ4 frame format through liblz4, read and written as
// the lz4 tool does. Buffers are one frame that records its content size;
// streams are native, in bounded memory, and decode any sequence of frames.
// Levels 1 to 12 as the lz4 tool's, default 1. Inside containers, blocks
// take the lean block form (lz4_block.cpp). Buffer calls reuse the thread's
// contexts (lz4_contexts.cpp).

#include <assert.h>

#include "common/plugin_name.hpp"
#include "lz4_glue.h"

namespace {

using namespace vorlex::lz4_codec;

const char CODEC_NAME[] = "lz4";

void stream_destroy(vorlex_stream* stream) {
    auto* z = reinterpret_cast<Lz4Stream*>(stream);
    LZ4F_freeCompressionContext(z->cctx);
    LZ4F_freeDecompressionContext(z->dctx);
    legacy_free(*z);
    vorlex_free(z->staging);
    vorlex_stream_destroy(stream);
}

vorlex_status stream_step(vorlex_stream* stream, vorlex_operation op) {
    auto& z = *reinterpret_cast<Lz4Stream*>(stream);
    return stream->type == VORLEX_STREAM_COMPRESS ? compress_step(z, op) : decompress_step(z, op);
}

// NULL when an allocation fails (the host reports VORLEX_STATUS_NO_MEMORY).
vorlex_stream* stream_new(vorlex_codec* codec, vorlex_stream_type type, vorlex_options* options) {
    assert(type == VORLEX_STREAM_COMPRESS || type == VORLEX_STREAM_DECOMPRESS);
    auto* z = static_cast<Lz4Stream*>(vorlex_malloc(sizeof(Lz4Stream)));
    if (z == nullptr) return nullptr;
    *z = Lz4Stream{};
    vorlex_stream_init(&z->base, codec, type, options, stream_destroy);
    z->at_boundary = true;
    z->after_frame = false;
    bool ok;
    if (type == VORLEX_STREAM_COMPRESS) {
        ok = compress_stream_init(*z, options);
    } else {
        z->dctx = LZ4F_createDecompressionContext_advanced(host_memory(), LZ4F_VERSION);
        ok = z->dctx != nullptr;
    }
    if (!ok) {
        stream_destroy(&z->base);
        vorlex_free(z);
        return nullptr;
    }
    return &z->base;
}

}  // namespace

extern "C" VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                                vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    vorlex_codec_set_levels(codec, MIN_LEVEL, MAX_LEVEL, DEFAULT_LEVEL);
    vorlex_codec_set_block_form(codec, compress_block, decompress_block);
    vorlex_codec_set_release(codec, release_contexts);
    funcs->info_flags = VORLEX_INFO_NATIVE_STREAMS;
    funcs->create_stream = stream_new;
    funcs->process_stream = stream_step;
    funcs->decompress_buffer = decompress_buffer;
    funcs->compress_buffer_presized = compress_buffer_presized;
    funcs->get_uncompressed_size = uncompressed_size;
    funcs->get_max_compressed_size = max_compressed_size;
    return VORLEX_STATUS_OK;
}
