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

vorlex_status compress_buffer(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                              size_t uncompressed_length, const uint8_t* uncompressed,
                              vorlex_options* options) {
    ZSTD_CCtx* cctx = new_cctx(options);
    if (cctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    const size_t n =
        ZSTD_compress2(cctx, compressed, *compressed_length, uncompressed, uncompressed_length);
    ZSTD_freeCCtx(cctx);
    if (ZSTD_isError(n)) return status_of(n);
    *compressed_length = n;
    return VORLEX_STATUS_OK;
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
