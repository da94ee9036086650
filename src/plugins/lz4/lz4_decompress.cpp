// LZ4 frame decompression of any sequence of frames (skippable ones
// included) and of the legacy format (lz4_legacy.cpp), as the lz4 tool reads
// them. liblz4 keeps at most two blocks of
// at most 4 MiB, so a stream's memory is bounded whatever the input; a
// buffer is the same decoder over the whole input.
#include <string.h>

#include "common/bytes.hpp"
#include "common/library_stream.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {

namespace {
// What may follow a complete frame: another frame, a skippable frame or a
// legacy stream. Anything else is trailing data.
constexpr plugin::Magic MAGICS[] = {
    {LZ4F_MAGICNUMBER, 0xFFFFFFFFu, 4},
    {LZ4F_MAGIC_SKIPPABLE_START, 0xFFFFFFF0u, 4},
    {LEGACY_MAGIC, 0xFFFFFFFFu, 4},
};
constexpr size_t MAGIC_COUNT = sizeof MAGICS / sizeof MAGICS[0];

// Bytes held back from liblz4 (a frame's magic) given to it now: it takes
// them into its header without producing anything.
vorlex_status feed_frame_start(Lz4Stream& z, const uint8_t* bytes, size_t n) {
    size_t consumed = n, produced = 0;
    uint8_t none;
    const size_t hint = LZ4F_decompress(z.dctx, &none, &produced, bytes, &consumed, nullptr);
    if (LZ4F_isError(hint)) return status_of(hint);
    if (consumed != n || produced != 0) return vorlex_error(VORLEX_STATUS_FAILED);
    z.at_boundary = false;
    return VORLEX_STATUS_OK;
}

}  // namespace

vorlex_status decompress_step(Lz4Stream& z, vorlex_operation op) {
    vorlex_stream* s = &z.base;
    for (;;) {
        if (z.in_legacy) {
            const LegacyResult r = legacy_step(z);
            if (r.kind == LegacyResult::DONE) return r.status;
            if (r.kind != LegacyResult::NEXT_FRAME) {
                z.at_boundary = r.kind == LegacyResult::BETWEEN_BLOCKS;
                break;
            }
            // A legacy stream ends where the next frame's magic stands.
            z.in_legacy = false;
            const vorlex_status st = is_legacy_magic(z.legacy.head)
                                         ? legacy_begin(z)
                                         : feed_frame_start(z, z.legacy.head, 4);
            if (st < 0) return st;
            continue;
        }
        if (z.at_boundary && s->in_avail != 0) {
            // Between frames: the next magic says which format follows.
            const size_t take = s->in_avail < 4 - z.peek_have ? s->in_avail : 4 - z.peek_have;
            memcpy(z.peek + z.peek_have, s->in_next, take);
            z.peek_have += take;
            plugin::advance(s, take, 0);
            if (z.after_frame && !plugin::may_start_frame(z.peek, z.peek_have, MAGICS, MAGIC_COUNT)) {
                return vorlex_error(VORLEX_STATUS_TRAILING_DATA);
            }
            if (z.peek_have < 4) break;
            z.peek_have = 0;
            const vorlex_status st =
                is_legacy_magic(z.peek) ? legacy_begin(z) : feed_frame_start(z, z.peek, 4);
            if (st < 0) return st;
            continue;
        }
        size_t consumed = s->in_avail;
        size_t produced = s->out_avail;
        const size_t hint = LZ4F_decompress(z.dctx, plugin::out_or_dummy(s), &produced,
                                            s->in_next, &consumed, nullptr);
        if (LZ4F_isError(hint)) return status_of(hint);
        plugin::advance(s, consumed, produced);
        const bool progress = consumed != 0 || produced != 0;
        // 0: a frame is complete; what follows is another, or the end.
        if (hint == 0) {
            z.at_boundary = true;
            z.after_frame = z.after_frame || progress;
        } else if (progress) {
            z.at_boundary = false;
        }
        if (!progress) break;
    }
    // A magic cut short is data cut short.
    return plugin::decode_outcome(s, op, z.at_boundary && z.peek_have == 0);
}

vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*) {
    Lz4Stream z{};
    z.at_boundary = true;
    Lz4Contexts* c = thread_contexts();
    z.dctx = get_frame_dctx(c);
    if (z.dctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    // The common case in one library call: a frame that is the whole input.
    // Anything else (more frames, a legacy stream, an output too small, a
    // cut) goes on from where that call stopped through the general decoder.
    size_t consumed = 0, produced = 0;
    if (compressed_length >= 4 && *decompressed_length != 0 &&
        bytes::load_le32(compressed) == LZ4F_MAGICNUMBER) {
        consumed = compressed_length;
        produced = *decompressed_length;
        const size_t hint =
            LZ4F_decompress(z.dctx, decompressed, &produced, compressed, &consumed, nullptr);
        if (LZ4F_isError(hint)) {
            put_frame_dctx(c, z.dctx, true);
            return status_of(hint);
        }
        if (hint == 0 && consumed == compressed_length) {
            put_frame_dctx(c, z.dctx, false);
            *decompressed_length = produced;
            return VORLEX_STATUS_OK;
        }
        z.at_boundary = hint == 0;
        z.after_frame = hint == 0;
    }
    size_t rest = *decompressed_length - produced;
    vorlex_status st = plugin::run_whole_buffer(
        z.base, &rest, decompressed + produced, compressed_length - consumed,
        compressed + consumed,
        [&z](vorlex_stream*, vorlex_operation op) { return decompress_step(z, op); });
    put_frame_dctx(c, z.dctx, st != VORLEX_STATUS_OK);
    legacy_free(z);
    if (st == VORLEX_STATUS_OK) *decompressed_length = produced + rest;
    return st;
}

}  // namespace vorlex::lz4_codec
