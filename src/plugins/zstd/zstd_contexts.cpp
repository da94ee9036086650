// The zstd plug-in's contexts, one pair per thread (common/thread_cache.hpp),
// as libzstd advises: a compression context, whose tables libzstd sizes for
// the level and input at hand and keeps (it shrinks them by itself when they
// stay far too large for long), and a decompression context (about 160 KiB;
// a buffer call decodes straight into the caller's memory).
#include "common/thread_cache.hpp"
#include "zstd_glue.h"

namespace vorlex::zstd_codec {

struct ZstdContexts {
    plugin::CacheRecord head;
    ZSTD_CCtx* cctx;
    ZSTD_DCtx* dctx;
};

namespace {

void drop(plugin::CacheRecord* record) {
    auto* c = reinterpret_cast<ZstdContexts*>(record);
    ZSTD_freeCCtx(c->cctx);
    ZSTD_freeDCtx(c->dctx);
    c->cctx = nullptr;
    c->dctx = nullptr;
}

constinit plugin::ThreadCache cache(sizeof(ZstdContexts), drop);

__attribute__((destructor)) void unload() { cache.shutdown(); }

}  // namespace

ZstdContexts* thread_contexts() { return reinterpret_cast<ZstdContexts*>(cache.get()); }

void release_contexts() { cache.release_all(); }

ZSTD_CCtx* get_cctx(ZstdContexts* c) {
    if (c != nullptr && c->cctx != nullptr) return c->cctx;
    ZSTD_CCtx* cctx = ZSTD_createCCtx_advanced(host_memory());
    if (c != nullptr) c->cctx = cctx;
    return cctx;
}

void put_cctx(ZstdContexts* c, ZSTD_CCtx* cctx) {
    if (c == nullptr) ZSTD_freeCCtx(cctx);
}

ZSTD_DCtx* get_dctx(ZstdContexts* c) {
    if (c != nullptr && c->dctx != nullptr) return c->dctx;
    ZSTD_DCtx* dctx = ZSTD_createDCtx_advanced(host_memory());
    if (c != nullptr) c->dctx = dctx;
    return dctx;
}

void put_dctx(ZstdContexts* c, ZSTD_DCtx* dctx) {
    if (c == nullptr) ZSTD_freeDCtx(dctx);
}

}  // namespace vorlex::zstd_codec
