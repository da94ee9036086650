// The gzip plug-in's zlib coders, kept per thread (common/thread_cache.hpp)
// and reset for each call rather than set up and torn down: a deflater
// holds about 270 KiB (window, hash chains, pending output at memLevel 8),
// an inflater about 40 KiB (its state and 32 KiB window). zlib's state
// points back at its z_stream, so the coders live in the record and never
// move.
#include "common/thread_cache.hpp"
#include "gzip_glue.h"

namespace vorlex::gzip_codec {

namespace {

// Index 0: gzip members; 1: raw deflate (the block form).
int slot_of(int window_bits) { return window_bits == GZIP_WINDOW_BITS ? 0 : 1; }

}  // namespace

struct GzipContexts {
    plugin::CacheRecord head;
    GzipStream deflaters[2];
    int levels[2];
    GzipStream inflaters[2];
};

namespace {

void drop(plugin::CacheRecord* record) {
    auto* c = reinterpret_cast<GzipContexts*>(record);
    for (GzipStream& g : c->deflaters) {
        if (g.ready) deflateEnd(&g.z);
        g.ready = false;
    }
    for (GzipStream& g : c->inflaters) {
        if (g.ready) inflateEnd(&g.z);
        g.ready = false;
    }
}

constinit plugin::ThreadCache cache(sizeof(GzipContexts), drop);

__attribute__((destructor)) void unload() { cache.shutdown(); }

}  // namespace

GzipContexts* thread_contexts() { return reinterpret_cast<GzipContexts*>(cache.get()); }

void release_contexts() { cache.release_all(); }

GzipStream* get_deflater(GzipContexts* c, GzipStream& own, int level, int window_bits,
                         vorlex_status* status) {
    GzipStream* g = &own;
    if (c != nullptr) {
        const int i = slot_of(window_bits);
        g = &c->deflaters[i];
        if (g->ready && c->levels[i] == level && deflateReset(&g->z) == Z_OK) {
            g->finished = false;
            return g;
        }
        // Another level: zlib sizes nothing by level, but a fresh coder is
        // the one whose output is certain to match a fresh call's.
        if (g->ready) deflateEnd(&g->z);
        g->ready = false;
        c->levels[i] = level;
    }
    g->finished = false;
    *status = deflate_init(*g, level, window_bits);
    return *status == VORLEX_STATUS_OK ? g : nullptr;
}

void put_deflater(GzipContexts* c, GzipStream* g) {
    if (c == nullptr) deflateEnd(&g->z);
}

GzipStream* get_inflater(GzipContexts* c, GzipStream& own, int window_bits,
                         vorlex_status* status) {
    GzipStream* g = &own;
    if (c != nullptr) {
        g = &c->inflaters[slot_of(window_bits)];
        if (g->ready && inflateReset(&g->z) == Z_OK) {
            g->at_boundary = true;
            g->after_member = false;
            g->peek_have = 0;
            return g;
        }
        if (g->ready) inflateEnd(&g->z);
        g->ready = false;
    }
    *status = inflate_init(*g, window_bits);
    return *status == VORLEX_STATUS_OK ? g : nullptr;
}

void put_inflater(GzipContexts* c, GzipStream* g) {
    if (c == nullptr) inflateEnd(&g->z);
}

}  // namespace vorlex::gzip_codec
