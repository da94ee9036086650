// What the lz4 plug-in's files share: liblz4's frame API on the host's
// memory, the frame preferences, the mapping of its errors to statuses, the
// stream record, and the coder functions the binding puts in its table.
#pragma once

#define LZ4F_STATIC_LINKING_ONLY  // custom memory, error codes, one-shot with a context
#include <lz4.h>
#include <lz4frame.h>
#include <lz4hc.h>

#include <vorlex/plugin.h>

namespace vorlex::lz4_codec {

// Levels as the lz4 tool's -1 to -12: up to 2 the fast coder, from 3 the
// high-compression one.
constexpr int MIN_LEVEL = 1;
constexpr int MAX_LEVEL = 12;
constexpr int DEFAULT_LEVEL = 1;

// The frames' block size (LZ4F_max64KB in preferences()). Streams feed the
// library one block per call, so its output always fits the staging buffer;
// a buffer up to this size is written as a frame of one block.
constexpr size_t FRAME_BLOCK = 64 * 1024;

inline LZ4F_CustomMem host_memory() {
    LZ4F_CustomMem m;
    m.customAlloc = [](void*, size_t size) { return vorlex_malloc(size); };
    m.customCalloc = nullptr;  // liblz4 then allocates and clears
    m.customFree = [](void*, void* block) { vorlex_free(block); };
    m.opaqueState = nullptr;
    return m;
}

// Linked 64 KiB blocks and a content checksum (the lz4 tool's default);
// contentSize is set per buffer.
inline LZ4F_preferences_t preferences(const vorlex_options* options) {
    LZ4F_preferences_t p{};
    p.frameInfo.blockSizeID = LZ4F_max64KB;
    p.frameInfo.blockMode = LZ4F_blockLinked;
    p.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
    p.compressionLevel = vorlex_options_get_level(options, DEFAULT_LEVEL);
    return p;
}

inline vorlex_status status_of(size_t code) {
    switch (LZ4F_getErrorCode(code)) {
    case LZ4F_ERROR_dstMaxSize_tooSmall:
        return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    case LZ4F_ERROR_allocation_failed:
        return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    default:
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
}

// The legacy format's magic (lz4 -l); its reader is lz4_legacy.cpp.
constexpr uint32_t LEGACY_MAGIC = 0x184C2102u;

// A legacy stream's state: the length being read, the block being
// gathered, the block decoded and how much of it is out.
struct Legacy {
    uint8_t head[4];
    size_t head_have;
    uint8_t* packed;  // LZ4_COMPRESSBOUND(8 MiB) bytes, from vorlex_malloc
    size_t packed_have, packed_need;
    uint8_t* block;   // 8 MiB, from vorlex_malloc
    size_t out_begin, out_end;
};

struct Lz4Stream {
    vorlex_stream base;
    LZ4F_cctx* cctx;
    LZ4F_dctx* dctx;
    LZ4F_preferences_t prefs;
    // Compress: the library writes whole pieces, so they go to a staging
    // buffer first and out as the caller's room allows.
    uint8_t* staging;
    size_t staging_capacity;
    size_t staged_begin, staged_end;
    bool begun;        // compress: the frame header is written
    bool finished;     // compress: the frame is complete
    bool at_boundary;  // decompress: between frames
    bool after_frame;  // decompress: a frame was completed
    // Decompress: at a boundary the first 4 bytes of what follows are held
    // back until they tell a legacy stream from a frame.
    uint8_t peek[4];
    size_t peek_have;
    bool in_legacy;
    Legacy legacy;
};

// This thread's contexts (lz4_contexts.cpp), each made on first use and
// kept; NULL when the thread has no record (then nothing is kept). A
// context that cannot be had is NULL; one given back with a NULL record is
// freed (put_*).
struct Lz4Contexts;
Lz4Contexts* thread_contexts();
// A fresh frame compression context, on memory the thread keeps; put frees
// the context (the memory stays with the thread).
LZ4F_cctx* get_frame_cctx(Lz4Contexts* c);
void put_frame_cctx(Lz4Contexts* c, LZ4F_cctx* cctx);
// The thread's kept context for frames of one block (input up to
// FRAME_BLOCK bytes); one whose frame failed is freed.
LZ4F_cctx* get_single_block_cctx(Lz4Contexts* c);
void put_single_block_cctx(Lz4Contexts* c, LZ4F_cctx* cctx, bool failed);
LZ4F_dctx* get_frame_dctx(Lz4Contexts* c);
void put_frame_dctx(Lz4Contexts* c, LZ4F_dctx* dctx, bool failed);
// Block-form compression states: fast (levels 1, 2) and high-compression
// (3 and up); the caller initialises them for each block.
LZ4_stream_t* get_fast_state(Lz4Contexts* c);
void put_fast_state(Lz4Contexts* c, LZ4_stream_t* state);
LZ4_streamHC_t* get_hc_state(Lz4Contexts* c);
void put_hc_state(Lz4Contexts* c, LZ4_streamHC_t* state);
// Every thread's contexts (the host calls it; see common/thread_cache.hpp).
void release_contexts();

// Compression (lz4_compress.cpp).
size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length);
vorlex_status compress_buffer_presized(vorlex_codec*, size_t* compressed_length,
                                       uint8_t* compressed, size_t uncompressed_length,
                                       const uint8_t* uncompressed, vorlex_options* options);
bool compress_stream_init(Lz4Stream& z, const vorlex_options* options);
vorlex_status compress_step(Lz4Stream& z, vorlex_operation op);

// Decompression (lz4_decompress.cpp).
vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*);
vorlex_status decompress_step(Lz4Stream& z, vorlex_operation op);

// The legacy format (lz4_legacy.cpp).
bool is_legacy_magic(const uint8_t* four);
// Enters legacy mode after its magic (allocating its blocks once).
vorlex_status legacy_begin(Lz4Stream& z);
void legacy_free(Lz4Stream& z);
struct LegacyResult {
    // WAITING: for input or room mid-block; BETWEEN_BLOCKS: the data may
    // end here; NEXT_FRAME: legacy.head holds the next frame's magic; DONE:
    // failed with status.
    enum Kind { WAITING, BETWEEN_BLOCKS, NEXT_FRAME, DONE } kind;
    vorlex_status status;
};
LegacyResult legacy_step(Lz4Stream& z);

// The block form (lz4_block.cpp): one LZ4 block, no frame around it; its
// size and checksum are the caller's to record.
vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options);
vorlex_status decompress_block(vorlex_codec*, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options*);

// The recorded size of a sequence of frames (lz4_frame_size.cpp).
size_t uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t* compressed);

}  // namespace vorlex::lz4_codec
