// The "gzip" codec: gzip members (RFC 1952) through zlib, read and written
// as gzip does. Streams are native and in bounded memory. The size is not
// offered: a member stores it modulo 2^32, at its end, and only for itself,
// so no prefix of the data tells the size of what follows. Levels 0 to 9 as
// gzip's, default 6. Inside containers, blocks are raw deflate. Buffer calls
// reuse the thread's coders (gzip_contexts.cpp).

#include <assert.h>

#include "common/plugin_name.hpp"
#include "gzip_glue.h"

namespace {

using namespace vorlex::gzip_codec;

const char CODEC_NAME[] = "gzip";

void stream_destroy(vorlex_stream* stream) {
    auto* g = reinterpret_cast<GzipStream*>(stream);
    if (g->ready) {
        if (stream->type == VORLEX_STREAM_COMPRESS) {
            deflateEnd(&g->z);
        } else {
            inflateEnd(&g->z);
        }
    }
    vorlex_stream_destroy(stream);
}

vorlex_status stream_step(vorlex_stream* stream, vorlex_operation op) {
    auto& g = *reinterpret_cast<GzipStream*>(stream);
    return stream->type == VORLEX_STREAM_COMPRESS ? compress_step(g, op) : decompress_step(g, op);
}

// NULL when zlib cannot set up (the host reports VORLEX_STATUS_NO_MEMORY).
vorlex_stream* stream_new(vorlex_codec* codec, vorlex_stream_type type, vorlex_options* options) {
    assert(type == VORLEX_STREAM_COMPRESS || type == VORLEX_STREAM_DECOMPRESS);
    auto* g = static_cast<GzipStream*>(vorlex_malloc(sizeof(GzipStream)));
    if (g == nullptr) return nullptr;
    *g = GzipStream{};
    vorlex_stream_init(&g->base, codec, type, options, stream_destroy);
    const vorlex_status st =
        type == VORLEX_STREAM_COMPRESS ? compress_init(*g, options) : decompress_init(*g);
    if (st != VORLEX_STATUS_OK) {
        stream_destroy(&g->base);
        vorlex_free(g);
        return nullptr;
    }
    return &g->base;
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
    funcs->compress_buffer = compress_buffer;
    funcs->get_max_compressed_size = max_compressed_size;
    return VORLEX_STATUS_OK;
}
