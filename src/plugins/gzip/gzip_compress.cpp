// gzip compression through zlib's deflate: one member per buffer or per
// finished stream, and a new member whenever input follows a finished one.
// zlib writes the smallest header (no name, no time), so output depends on
// the input and level alone.
#include "common/library_stream.hpp"
#include "gzip_glue.h"

namespace vorlex::gzip_codec {

vorlex_status compress_init(GzipStream& g, const vorlex_options* options) {
    return deflate_init(g, vorlex_options_get_level(options, DEFAULT_LEVEL), GZIP_WINDOW_BITS);
}

vorlex_status deflate_init(GzipStream& g, int level, int window_bits) {
    host_memory(g.z);
    const int r = deflateInit2(&g.z, level, Z_DEFLATED, window_bits, MEM_LEVEL,
                               Z_DEFAULT_STRATEGY);
    g.ready = r == Z_OK;
    if (r == Z_OK) return VORLEX_STATUS_OK;
    return vorlex_error(r == Z_MEM_ERROR ? VORLEX_STATUS_NO_MEMORY : VORLEX_STATUS_FAILED);
}

// zlib's compressBound covers its 6-byte zlib wrapper; gzip's header and
// trailer take 18, so 12 more. Stored blocks (level 0) cost 5 bytes per
// 64 KiB, well inside the n/4096 term.
size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    const uLong bound = compressBound(uLong(uncompressed_length));
    if (bound < uncompressed_length || bound > SIZE_MAX - 12) return 0;
    return size_t(bound) + 12;
}

vorlex_status compress_step(GzipStream& g, vorlex_operation op) {
    vorlex_stream* s = &g.base;
    if (g.finished) {
        if (s->in_avail == 0) return VORLEX_STATUS_OK;
        if (deflateReset(&g.z) != Z_OK) return vorlex_error(VORLEX_STATUS_FAILED);
        g.finished = false;
    }
    const int flush = op == VORLEX_OPERATION_FINISH  ? Z_FINISH
                      : op == VORLEX_OPERATION_FLUSH ? Z_SYNC_FLUSH
                                                     : Z_NO_FLUSH;
    for (;;) {
        const size_t in_piece = s->in_avail < MAX_PIECE ? s->in_avail : MAX_PIECE;
        const size_t out_piece = s->out_avail < MAX_PIECE ? s->out_avail : MAX_PIECE;
        g.z.next_in = const_cast<Bytef*>(s->in_next);
        g.z.avail_in = uInt(in_piece);
        g.z.next_out = plugin::out_or_dummy(s);
        g.z.avail_out = uInt(out_piece);
        // Only the last piece of input may carry the flush.
        const int r = deflate(&g.z, in_piece == s->in_avail ? flush : Z_NO_FLUSH);
        const size_t consumed = in_piece - g.z.avail_in, produced = out_piece - g.z.avail_out;
        plugin::advance(s, consumed, produced);
        if (r == Z_STREAM_END) {
            g.finished = true;
            return VORLEX_STATUS_OK;
        }
        // Z_BUF_ERROR: nothing could be done with this input and room.
        if (r != Z_OK && r != Z_BUF_ERROR) return vorlex_error(VORLEX_STATUS_FAILED);
        if (consumed == 0 && produced == 0) break;
    }
    if (s->in_avail != 0) return VORLEX_STATUS_PROCESSING;
    // A flush or finish is complete only once zlib stops short of the room.
    if (flush != Z_NO_FLUSH && s->out_avail == 0) return VORLEX_STATUS_PROCESSING;
    return flush == Z_FINISH ? VORLEX_STATUS_PROCESSING : VORLEX_STATUS_OK;
}

vorlex_status compress_buffer(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                              size_t uncompressed_length, const uint8_t* uncompressed,
                              vorlex_options* options) {
    GzipContexts* c = thread_contexts();
    GzipStream own{};
    vorlex_status st = VORLEX_STATUS_OK;
    GzipStream* g = get_deflater(c, own, vorlex_options_get_level(options, DEFAULT_LEVEL),
                                 GZIP_WINDOW_BITS, &st);
    if (g == nullptr) return st;
    st = plugin::run_whole_buffer(
        g->base, compressed_length, compressed, uncompressed_length, uncompressed,
        [g](vorlex_stream*, vorlex_operation op) { return compress_step(*g, op); });
    put_deflater(c, g);
    return st;
}

// One deflate call over the whole block; zlib counts in uInt, and blocks are
// far smaller.
vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options) {
    if (uncompressed_length > MAX_PIECE) return vorlex_error(VORLEX_STATUS_FAILED);
    GzipContexts* c = thread_contexts();
    GzipStream own{};
    vorlex_status st = VORLEX_STATUS_OK;
    GzipStream* g = get_deflater(c, own, vorlex_options_get_level(options, DEFAULT_LEVEL),
                                 RAW_WINDOW_BITS, &st);
    if (g == nullptr) return st;
    const size_t room = *compressed_length < MAX_PIECE ? *compressed_length : MAX_PIECE;
    g->z.next_in = const_cast<Bytef*>(uncompressed);
    g->z.avail_in = uInt(uncompressed_length);
    g->z.next_out = compressed;
    g->z.avail_out = uInt(room);
    const int r = deflate(&g->z, Z_FINISH);
    const size_t produced = room - g->z.avail_out;
    put_deflater(c, g);
    // Anything short of the end: the output was too small.
    if (r != Z_STREAM_END) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    *compressed_length = produced;
    return VORLEX_STATUS_OK;
}

}  // namespace vorlex::gzip_codec
