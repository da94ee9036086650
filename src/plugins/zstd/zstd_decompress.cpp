// zstd decompression of any sequence of frames (skippable ones included), as
// the zstd tool reads them. Buffers decode in one pass into the caller's
// memory; streams keep the window a frame names, which the memory limit in
// the options bounds (default 128 MiB, as the zstd tool's: a frame asking
// for more is refused as over the limit, not as damaged), so memory stays
// bounded whatever the input.
#include "common/library_stream.hpp"
#include "zstd_glue.h"

namespace vorlex::zstd_codec {

namespace {

constexpr plugin::Magic MAGICS[] = {
    {ZSTD_MAGICNUMBER, 0xFFFFFFFFu, 4},
    {ZSTD_MAGIC_SKIPPABLE_START, ZSTD_MAGIC_SKIPPABLE_MASK, 4},
};
constexpr size_t MAGIC_COUNT = sizeof MAGICS / sizeof MAGICS[0];

// Whether in holds whole frames followed by bytes that cannot start
// another: trailing data, rather than a damaged frame.
bool ends_in_trailing_data(const uint8_t* in, size_t length) {
    size_t at = 0;
    while (at < length) {
        if (!plugin::may_start_frame(in + at, length - at, MAGICS, MAGIC_COUNT)) return at != 0;
        const size_t n = ZSTD_findFrameCompressedSize(in + at, length - at);
        if (ZSTD_isError(n)) return false;
        at += n;
    }
    return false;
}

constexpr uint64_t DEFAULT_WINDOW_LIMIT = uint64_t(1) << ZSTD_WINDOWLOG_LIMIT_DEFAULT;

}  // namespace

ZSTD_DCtx* new_dctx(const vorlex_options* options) {
    ZSTD_DCtx* dctx = ZSTD_createDCtx_advanced(host_memory());
    if (dctx == nullptr) return nullptr;
    // The largest window that fits the limit, within what libzstd takes.
    const uint64_t limit = vorlex_options_get_memory_limit(options, DEFAULT_WINDOW_LIMIT);
    int log = ZSTD_WINDOWLOG_MIN;
    while (log < ZSTD_WINDOWLOG_MAX && (uint64_t(1) << (log + 1)) <= limit) ++log;
    if (ZSTD_isError(ZSTD_DCtx_setParameter(dctx, ZSTD_d_windowLogMax, log))) {
        ZSTD_freeDCtx(dctx);
        return nullptr;
    }
    return dctx;
}

vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*) {
    // The thread's context: libzstd resets it at the start of every frame.
    ZstdContexts* c = thread_contexts();
    ZSTD_DCtx* dctx = get_dctx(c);
    if (dctx == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    const size_t n = ZSTD_decompressDCtx(dctx, decompressed, *decompressed_length, compressed,
                                         compressed_length);
    put_dctx(c, dctx);
    if (ZSTD_isError(n)) {
        if (ends_in_trailing_data(compressed, compressed_length)) {
            return vorlex_error(VORLEX_STATUS_TRAILING_DATA);
        }
        return status_of(n);
    }
    *decompressed_length = n;
    return VORLEX_STATUS_OK;
}

// A frame of the block form holds no checksum; the caller checks the bytes.
vorlex_status decompress_block(vorlex_codec* codec, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options* options) {
    const size_t expected = *decompressed_length;
    size_t n = expected;
    const vorlex_status st =
        decompress_buffer(codec, &n, decompressed, compressed_length, compressed, options);
    if (st != VORLEX_STATUS_OK) return st;
    if (n != expected) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

// The sum of every frame's content size. A frame that leaves its size out
// makes the whole unknown; data that is not zstd frames reads as 0, which
// decoding then refuses.
size_t uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t* compressed) {
    const unsigned long long n = ZSTD_findDecompressedSize(compressed, compressed_length);
    if (n == ZSTD_CONTENTSIZE_UNKNOWN) return VORLEX_SIZE_UNKNOWN;
    if (n == ZSTD_CONTENTSIZE_ERROR && ends_in_trailing_data(compressed, compressed_length)) {
        vorlex_error(VORLEX_STATUS_TRAILING_DATA);
        return 0;
    }
    if (n == ZSTD_CONTENTSIZE_ERROR || n >= VORLEX_SIZE_UNKNOWN) return 0;
    return size_t(n);
}

vorlex_status decompress_step(ZstdStream& z, vorlex_operation op) {
    vorlex_stream* s = &z.base;
    ZSTD_inBuffer in{s->in_next, s->in_avail, 0};
    ZSTD_outBuffer out{plugin::out_or_dummy(s), s->out_avail, 0};
    for (;;) {
        const size_t in_before = in.pos, out_before = out.pos;
        if (z.after_frame && z.at_boundary && in.pos < in.size &&
            !plugin::may_start_frame(static_cast<const uint8_t*>(in.src) + in.pos,
                                     in.size - in.pos, MAGICS, MAGIC_COUNT)) {
            plugin::advance(s, in.pos, out.pos);
            return vorlex_error(VORLEX_STATUS_TRAILING_DATA);
        }
        const size_t hint = ZSTD_decompressStream(z.dctx, &out, &in);
        if (ZSTD_isError(hint)) {
            plugin::advance(s, in.pos, out.pos);
            return status_of(hint);
        }
        const bool progress = in.pos != in_before || out.pos != out_before;
        // 0: a frame is complete and flushed; the next byte starts another.
        if (hint == 0) {
            z.at_boundary = true;
            z.after_frame = z.after_frame || progress;
        } else if (progress) {
            z.at_boundary = false;
        }
        if (!progress) break;
    }
    plugin::advance(s, in.pos, out.pos);
    return plugin::decode_outcome(s, op, z.at_boundary);
}

}  // namespace vorlex::zstd_codec
