// What the zstd plug-in's files share: libzstd on the host's memory, the
// mapping of libzstd's errors to statuses, the stream record, and the coder
// functions the binding puts in its table. zstd_compress.cpp and
// zstd_decompress.cpp hold one direction each.
#pragma once

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_customMem and the *_advanced creators
#include <zstd.h>
#include <zstd_errors.h>

#include <vorlex/plugin.h>

namespace vorlex::zstd_codec {

// libzstd's own levels, 0 meaning its default (3), as its tool takes them.
inline int default_level() { return ZSTD_CLEVEL_DEFAULT; }

inline ZSTD_customMem host_memory() {
    ZSTD_customMem m;
    m.customAlloc = [](void*, size_t size) { return vorlex_malloc(size); };
    m.customFree = [](void*, void* block) { vorlex_free(block); };
    m.opaque = nullptr;
    return m;
}

inline vorlex_status status_of(size_t code) {
    switch (ZSTD_getErrorCode(code)) {
    case ZSTD_error_dstSize_tooSmall:
        return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    case ZSTD_error_srcSize_wrong:
        return vorlex_error(VORLEX_STATUS_INPUT_TRUNCATED);
    case ZSTD_error_memory_allocation:
        return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    case ZSTD_error_frameParameter_windowTooLarge:
        return vorlex_error(VORLEX_STATUS_MEMORY_LIMIT);
    default:
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
}

// One record serves both directions; only the context of its type is set.
struct ZstdStream {
    vorlex_stream base;
    ZSTD_CCtx* cctx;
    ZSTD_DCtx* dctx;
    bool finished;     // compress: the last frame is complete
    bool at_boundary;  // decompress: between frames
    bool after_frame;  // decompress: a frame was completed
};

// This thread's contexts (zstd_contexts.cpp), each made on first use and
// kept; NULL when the thread has no record (then nothing is kept). A
// context that cannot be had is NULL; one given back with a NULL record is
// freed (put_*).
struct ZstdContexts;
ZstdContexts* thread_contexts();
ZSTD_CCtx* get_cctx(ZstdContexts* c);
void put_cctx(ZstdContexts* c, ZSTD_CCtx* cctx);
ZSTD_DCtx* get_dctx(ZstdContexts* c);
void put_dctx(ZstdContexts* c, ZSTD_DCtx* dctx);
// Every thread's contexts (the host calls it; see common/thread_cache.hpp).
void release_contexts();

// Compression (zstd_compress.cpp).
ZSTD_CCtx* new_cctx(const vorlex_options* options);
vorlex_status compress_buffer(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                              size_t uncompressed_length, const uint8_t* uncompressed,
                              vorlex_options* options);
size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length);
vorlex_status compress_step(ZstdStream& z, vorlex_operation op);

// The block form: a frame without its checksum (compress_buffer otherwise),
// decoded to exactly the size the caller gives.
vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options);
vorlex_status decompress_block(vorlex_codec*, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options*);

// Decompression (zstd_decompress.cpp).
// A decompression context whose window is bounded by the options' memory
// limit (default 128 MiB, as the zstd tool's); NULL when out of memory.
ZSTD_DCtx* new_dctx(const vorlex_options* options);
vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*);
size_t uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t* compressed);
vorlex_status decompress_step(ZstdStream& z, vorlex_operation op);

}  // namespace vorlex::zstd_codec
