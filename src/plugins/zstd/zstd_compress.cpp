// zstd compression: one frame per buffer, with its content size and a
// checksum (as the zstd tool writes them); streams write frames of unknown
// size, and a new frame whenever input follows a finished one.
#include "common/library_stream.hpp"
#include "zstd_glue.h"

namespace vorlex::zstd_codec {

ZSTD_CCtx* new_cctx(const vorlex_options* options) {
    ZSTD_CCtx* cctx = ZSTD_createCCtx_advanced(host_memory());
    if (cctx == nullptr) return nullptr;
    // The host has checked the level against the range we declared.
    const int level = vorlex_options_get_level(options, default_level());
    if (ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1))) {
        ZSTD_freeCCtx(cctx);
        return nullptr;
    }
    return cctx;
}

size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    const size_t bound = ZSTD_compressBound(uncompressed_length);
    return ZSTD_isError(bound) ? 0 : bound;
}

namespace {

// One frame of the buffer, with or without its checksum, in the thread's
// context. Parameters are set on every call (they outlive a frame in the
// context); libzstd starts each frame afresh and keeps its tables.
vorlex_status compress_frame(size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             const vorlex_options* options, bool checksum) {
    ZstdContexts* c = thread_contexts();
    ZSTD_CCtx* cctx = get_cctx(c);
    if (cctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    // The host has checked the level against the range we declared.
    const int level = vorlex_options_get_level(options, default_level());
    // A call that failed (output too small) leaves the context mid-frame,
    // where libzstd refuses new parameters: end that session first.
    size_t n = ZSTD_CCtx_reset(cctx, ZSTD_reset_session_only);
    if (!ZSTD_isError(n)) n = ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level);
    if (!ZSTD_isError(n)) n = ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, checksum ? 1 : 0);
    if (!ZSTD_isError(n)) {
        n = ZSTD_compress2(cctx, compressed, *compressed_length, uncompressed, uncompressed_length);
    }
    put_cctx(c, cctx);
    if (ZSTD_isError(n)) return status_of(n);
    *compressed_length = n;
    return VORLEX_STATUS_OK;
}

}  // namespace

vorlex_status compress_buffer(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                              size_t uncompressed_length, const uint8_t* uncompressed,
                              vorlex_options* options) {
    return compress_frame(compressed_length, compressed, uncompressed_length, uncompressed,
                          options, true);
}

// The container checks every block with its own checksum: a second one,
// libzstd's XXH64 of the content, would only cost time both ways.
vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options) {
    return compress_frame(compressed_length, compressed, uncompressed_length, uncompressed,
                          options, false);
}

vorlex_status compress_step(ZstdStream& z, vorlex_operation op) {
    vorlex_stream* s = &z.base;
    if (z.finished) {
        // Nothing more after a finished frame is nothing to write; more
        // input opens the next frame.
        if (s->in_avail == 0) return VORLEX_STATUS_OK;
        z.finished = false;
    }
    const ZSTD_EndDirective mode = op == VORLEX_OPERATION_FINISH  ? ZSTD_e_end
                                   : op == VORLEX_OPERATION_FLUSH ? ZSTD_e_flush
                                                                  : ZSTD_e_continue;
    ZSTD_inBuffer in{s->in_next, s->in_avail, 0};
    ZSTD_outBuffer out{plugin::out_or_dummy(s), s->out_avail, 0};
    size_t left = 0;
    do {
        left = ZSTD_compressStream2(z.cctx, &out, &in, mode);
        if (ZSTD_isError(left)) return status_of(left);
    } while (in.pos < in.size && out.pos < out.size);
    plugin::advance(s, in.pos, out.pos);
    if (s->in_avail != 0) return VORLEX_STATUS_PROCESSING;
    if (mode == ZSTD_e_continue) return VORLEX_STATUS_OK;
    if (left != 0) return VORLEX_STATUS_PROCESSING;
    if (mode == ZSTD_e_end) z.finished = true;
    return VORLEX_STATUS_OK;
}

}  // namespace vorlex::zstd_codec
