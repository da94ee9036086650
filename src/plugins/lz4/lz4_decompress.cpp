// LZ4 frame decompression of any sequence of frames (skippable ones
// included), as the lz4 tool reads them. liblz4 keeps at most two blocks of
// at most 4 MiB, so a stream's memory is bounded whatever the input; a
// buffer is the same decoder over the whole input.
#include "common/library_stream.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {

vorlex_status decompress_step(Lz4Stream& z, vorlex_operation op) {
    vorlex_stream* s = &z.base;
    for (;;) {
        size_t consumed = s->in_avail;
        size_t produced = s->out_avail;
        const size_t hint = LZ4F_decompress(z.dctx, plugin::out_or_dummy(s), &produced,
                                            s->in_next, &consumed, nullptr);
        if (LZ4F_isError(hint)) return status_of(hint);
        plugin::advance(s, consumed, produced);
        const bool progress = consumed != 0 || produced != 0;
        // 0: a frame is complete; liblz4 starts the next one by itself.
        if (hint == 0) {
            z.at_boundary = true;
        } else if (progress) {
            z.at_boundary = false;
        }
        if (!progress) break;
    }
    return plugin::decode_outcome(s, op, z.at_boundary);
}

vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*) {
    Lz4Stream z{};
    z.at_boundary = true;
    Lz4Contexts* c = thread_contexts();
    z.dctx = get_frame_dctx(c);
    if (z.dctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    const vorlex_status st = plugin::run_whole_buffer(
        z.base, decompressed_length, decompressed, compressed_length, compressed,
        [&z](vorlex_stream*, vorlex_operation op) { return decompress_step(z, op); });
    put_frame_dctx(c, z.dctx);
    return st;
}

}  // namespace vorlex::lz4_codec
