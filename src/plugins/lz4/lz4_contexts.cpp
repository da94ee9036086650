// The lz4 plug-in's contexts, one set per thread (common/thread_cache.hpp):
// the memory of the frame compression context, the frame decompression
// context (its 64 KiB window and block buffers), and the two block-form
// states (16 KiB fast, 256 KiB high-compression). Each is made on its first
// use.
//
// Our output must depend on the input alone, never on what the thread
// compressed before. liblz4's fast reset of a used context puts old table
// entries out of reach without clearing them, and whether that is
// byte-identical to a fresh context depends on the path:
// - a frame of one block (input up to the 64 KiB block size) is compressed
//   as an independent block. The fast coder then either clears its table
//   (input from 4 KiB up) or keeps it for a 16-bit-indexed pass in which a
//   stale entry is skipped exactly where a cleared one would fail its
//   4-byte comparison; the high-compression coder starts each frame 64 KiB
//   past the last one, beyond the reach of every stale entry and chain
//   link. So one kept context per thread serves these frames, saving the
//   16 or 256 KiB initialisation that dominates small inputs;
// - frames of linked blocks are not identical (the fast coder's 32-bit
//   pass compares 4 bytes of a 5-byte hash), so for them a context is made
//   afresh, on memory the thread keeps (its record, its block state and its
//   64 KiB staging buffer).
// The block-form states are fully initialised for every block (liblz4's own
// one-shot functions do the same).
#include "common/thread_cache.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {

struct Lz4Contexts {
    plugin::CacheRecord head;
    plugin::BlockPool frame_memory;
    LZ4F_dctx* frame_dctx;
    LZ4F_cctx* single_block_cctx;
    LZ4_stream_t* fast;
    LZ4_streamHC_t* hc;
};

namespace {

void drop(plugin::CacheRecord* record) {
    auto* c = reinterpret_cast<Lz4Contexts*>(record);
    c->frame_memory.clear();
    LZ4F_freeDecompressionContext(c->frame_dctx);
    LZ4F_freeCompressionContext(c->single_block_cctx);
    vorlex_free(c->fast);
    vorlex_free(c->hc);
    c->frame_dctx = nullptr;
    c->single_block_cctx = nullptr;
    c->fast = nullptr;
    c->hc = nullptr;
}

constinit plugin::ThreadCache cache(sizeof(Lz4Contexts), drop);

__attribute__((destructor)) void unload() { cache.shutdown(); }

}  // namespace

Lz4Contexts* thread_contexts() { return reinterpret_cast<Lz4Contexts*>(cache.get()); }

void release_contexts() { cache.release_all(); }

LZ4F_cctx* get_frame_cctx(Lz4Contexts* c) {
    if (c == nullptr) return LZ4F_createCompressionContext_advanced(host_memory(), LZ4F_VERSION);
    LZ4F_CustomMem m;
    m.customAlloc = [](void* pool, size_t size) {
        return static_cast<plugin::BlockPool*>(pool)->take(size);
    };
    m.customCalloc = nullptr;  // liblz4 then allocates and clears
    m.customFree = [](void* pool, void* block) { static_cast<plugin::BlockPool*>(pool)->give(block); };
    m.opaqueState = &c->frame_memory;
    return LZ4F_createCompressionContext_advanced(m, LZ4F_VERSION);
}

void put_frame_cctx(Lz4Contexts*, LZ4F_cctx* cctx) { LZ4F_freeCompressionContext(cctx); }

LZ4F_cctx* get_single_block_cctx(Lz4Contexts* c) {
    if (c != nullptr && c->single_block_cctx != nullptr) return c->single_block_cctx;
    LZ4F_cctx* cctx = LZ4F_createCompressionContext_advanced(host_memory(), LZ4F_VERSION);
    if (c != nullptr) c->single_block_cctx = cctx;
    return cctx;
}

// A context whose frame failed is not trusted with the next one.
void put_single_block_cctx(Lz4Contexts* c, LZ4F_cctx* cctx, bool failed) {
    if (c != nullptr && !failed) return;
    if (c != nullptr) c->single_block_cctx = nullptr;
    LZ4F_freeCompressionContext(cctx);
}

LZ4F_dctx* get_frame_dctx(Lz4Contexts* c) {
    if (c != nullptr && c->frame_dctx != nullptr) return c->frame_dctx;
    LZ4F_dctx* dctx = LZ4F_createDecompressionContext_advanced(host_memory(), LZ4F_VERSION);
    if (c != nullptr) c->frame_dctx = dctx;
    return dctx;
}

// A context that ended a frame cleanly is ready for the next. One whose
// decode failed is dropped: LZ4F_resetDecompressionContext (1.9.4) leaves
// the remaining content size of a frame that recorded one, and the next
// frame that records none would then fail at its end.
void put_frame_dctx(Lz4Contexts* c, LZ4F_dctx* dctx, bool failed) {
    if (c != nullptr && !failed) return;
    if (c != nullptr) c->frame_dctx = nullptr;
    LZ4F_freeDecompressionContext(dctx);
}

LZ4_stream_t* get_fast_state(Lz4Contexts* c) {
    if (c != nullptr && c->fast != nullptr) return c->fast;
    void* p = vorlex_malloc(sizeof(LZ4_stream_t));
    LZ4_stream_t* state = p != nullptr ? LZ4_initStream(p, sizeof(LZ4_stream_t)) : nullptr;
    if (state == nullptr) vorlex_free(p);  // memory liblz4 finds misaligned
    if (c != nullptr) c->fast = state;
    return state;
}

void put_fast_state(Lz4Contexts* c, LZ4_stream_t* state) {
    if (c == nullptr) vorlex_free(state);
}

LZ4_streamHC_t* get_hc_state(Lz4Contexts* c) {
    if (c != nullptr && c->hc != nullptr) return c->hc;
    void* p = vorlex_malloc(sizeof(LZ4_streamHC_t));
    LZ4_streamHC_t* state = p != nullptr ? LZ4_initStreamHC(p, sizeof(LZ4_streamHC_t)) : nullptr;
    if (state == nullptr) vorlex_free(p);
    if (c != nullptr) c->hc = state;
    return state;
}

void put_hc_state(Lz4Contexts* c, LZ4_streamHC_t* state) {
    if (c == nullptr) vorlex_free(state);
}

}  // namespace vorlex::lz4_codec
