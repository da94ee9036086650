// LZ4 frame compression. A buffer is one frame recording its content size;
// a stream writes a frame of unknown size through a staging buffer, and a
// new frame whenever input follows a finished one.
#include <string.h>

#include "common/library_stream.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {

size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    const LZ4F_preferences_t p = preferences(nullptr);
    return LZ4F_compressFrameBound(uncompressed_length, &p);
}

// liblz4 wants the whole worst case as capacity (the host provides it).
vorlex_status compress_buffer_presized(vorlex_codec*, size_t* compressed_length,
                                       uint8_t* compressed, size_t uncompressed_length,
                                       const uint8_t* uncompressed, vorlex_options* options) {
    LZ4F_preferences_t p = preferences(options);
    // liblz4 takes 0 for "no size"; an empty frame has no block either way.
    p.frameInfo.contentSize = uncompressed_length;
    // A frame of one block goes through the thread's kept context, any other
    // through a fresh one (lz4_contexts.cpp says why).
    Lz4Contexts* c = thread_contexts();
    const bool single = uncompressed_length <= FRAME_BLOCK;
    LZ4F_cctx* cctx = single ? get_single_block_cctx(c) : get_frame_cctx(c);
    if (cctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    const size_t n = LZ4F_compressFrame_usingCDict(cctx, compressed, *compressed_length,
                                                   uncompressed, uncompressed_length, nullptr, &p);
    if (single) {
        put_single_block_cctx(c, cctx, LZ4F_isError(n));
    } else {
        put_frame_cctx(c, cctx);
    }
    if (LZ4F_isError(n)) return status_of(n);
    *compressed_length = n;
    return VORLEX_STATUS_OK;
}

bool compress_stream_init(Lz4Stream& z, const vorlex_options* options) {
    z.prefs = preferences(options);
    z.staging_capacity = LZ4F_compressBound(FRAME_BLOCK, &z.prefs);
    if (z.staging_capacity < LZ4F_HEADER_SIZE_MAX) z.staging_capacity = LZ4F_HEADER_SIZE_MAX;
    z.staging = static_cast<uint8_t*>(vorlex_malloc(z.staging_capacity));
    z.cctx = LZ4F_createCompressionContext_advanced(host_memory(), LZ4F_VERSION);
    return z.staging != nullptr && z.cctx != nullptr;
}

namespace {

// Moves staged bytes to the caller; true when none are left.
bool drain(Lz4Stream& z) {
    vorlex_stream* s = &z.base;
    const size_t left = z.staged_end - z.staged_begin;
    const size_t n = left < s->out_avail ? left : s->out_avail;
    if (n != 0) {
        memcpy(s->out_next, z.staging + z.staged_begin, n);
        z.staged_begin += n;
        plugin::advance(s, 0, n);
    }
    return z.staged_begin == z.staged_end;
}

}  // namespace

vorlex_status compress_step(Lz4Stream& z, vorlex_operation op) {
    vorlex_stream* s = &z.base;
    bool flushed = false;
    for (;;) {
        if (!drain(z)) return VORLEX_STATUS_PROCESSING;
        size_t n = 0;
        if (z.finished) {
            if (s->in_avail == 0) return VORLEX_STATUS_OK;
            z.finished = false;  // input after a finished frame opens the next
            z.begun = false;
        }
        if (!z.begun) {
            n = LZ4F_compressBegin(z.cctx, z.staging, z.staging_capacity, &z.prefs);
            z.begun = true;
        } else if (s->in_avail != 0) {
            const size_t take = s->in_avail < FRAME_BLOCK ? s->in_avail : FRAME_BLOCK;
            n = LZ4F_compressUpdate(z.cctx, z.staging, z.staging_capacity, s->in_next, take,
                                    nullptr);
            if (!LZ4F_isError(n)) plugin::advance(s, take, 0);
        } else if (op == VORLEX_OPERATION_FINISH) {
            n = LZ4F_compressEnd(z.cctx, z.staging, z.staging_capacity, nullptr);
            z.finished = true;
        } else if (op == VORLEX_OPERATION_FLUSH && !flushed) {
            n = LZ4F_flush(z.cctx, z.staging, z.staging_capacity, nullptr);
            flushed = true;
        } else {
            return VORLEX_STATUS_OK;
        }
        if (LZ4F_isError(n)) return status_of(n);
        z.staged_begin = 0;
        z.staged_end = n;
    }
}

}  // namespace vorlex::lz4_codec
