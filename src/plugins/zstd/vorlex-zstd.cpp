// The "zstd" codec: zstd frames (RFC 8878) through libzstd, read and written
// as the zstd tool does. Buffers are one frame that records its content
// size; streams are native, in bounded memory, and decode any sequence of
// frames. Levels are libzstd's, from its negative "fast" levels to 22; the
// default is libzstd's (3). Inside containers, blocks are frames without
// their own checksum. Buffer calls reuse the thread's contexts
// (zstd_contexts.cpp).

#include <assert.h>

#include "common/plugin_name.hpp"
#include "zstd_glue.h"

namespace {

using namespace vorlex::zstd_codec;

const char CODEC_NAME[] = "zstd";

// A frame's blocks are compressed apart, each starting without history; the
// zstd tool's window is 2 to 8 MiB at levels 3 to 19 (512 KiB at 1), so 1 MiB
// blocks cost up to 4 % of its ratio on ordinary data and 11 % on a source
// tar. At 16 MiB a frame is within 0.2 % of the tool at levels 1 to 9 (the
// Silesia files, docs/vorlex.md), and a 16 MiB block in flight still lets the
// reader's default 512 MiB hold 16 of them.
constexpr size_t FRAME_BLOCK_SIZE = size_t(16) << 20;

void stream_destroy(vorlex_stream* stream) {
    auto* z = reinterpret_cast<ZstdStream*>(stream);
    ZSTD_freeCCtx(z->cctx);
    ZSTD_freeDCtx(z->dctx);
    vorlex_stream_destroy(stream);
}

vorlex_status stream_step(vorlex_stream* stream, vorlex_operation op) {
    auto& z = *reinterpret_cast<ZstdStream*>(stream);
    return stream->type == VORLEX_STREAM_COMPRESS ? compress_step(z, op) : decompress_step(z, op);
}

// A stream record with the context of its direction; NULL when either
// allocation fails (the host reports VORLEX_STATUS_NO_MEMORY).
vorlex_stream* stream_new(vorlex_codec* codec, vorlex_stream_type type, vorlex_options* options) {
    assert(type == VORLEX_STREAM_COMPRESS || type == VORLEX_STREAM_DECOMPRESS);
    auto* z = static_cast<ZstdStream*>(vorlex_malloc(sizeof(ZstdStream)));
    if (z == nullptr) return nullptr;
    vorlex_stream_init(&z->base, codec, type, options, stream_destroy);
    z->cctx = nullptr;
    z->dctx = nullptr;
    z->finished = false;
    z->at_boundary = true;
    z->after_frame = false;
    if (type == VORLEX_STREAM_COMPRESS) {
        z->cctx = new_cctx(options);
    } else {
        z->dctx = new_dctx(options);
    }
    if (z->cctx == nullptr && z->dctx == nullptr) {
        vorlex_stream_destroy(&z->base);
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
    vorlex_codec_set_levels(codec, ZSTD_minCLevel(), ZSTD_maxCLevel(), default_level());
    vorlex_codec_set_frame_block_size(codec, FRAME_BLOCK_SIZE);
    vorlex_codec_set_block_form(codec, compress_block, decompress_block);
    vorlex_codec_set_release(codec, release_contexts);
    funcs->info_flags = VORLEX_INFO_NATIVE_STREAMS;
    funcs->create_stream = stream_new;
    funcs->process_stream = stream_step;
    funcs->decompress_buffer = decompress_buffer;
    funcs->compress_buffer = compress_buffer;
    funcs->get_uncompressed_size = uncompressed_size;
    funcs->get_max_compressed_size = max_compressed_size;
    return VORLEX_STATUS_OK;
}
