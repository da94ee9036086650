// vorlex_malloc/vorlex_free and their replacement by the application. The
// functions are read on every call, so replacing them affects the host and
// every plug-in at once (tests use this to make the k-th allocation fail).
#include <atomic>
#include <cstdlib>

#include <vorlex/vorlex.h>

#include "codec.hpp"

namespace {

void* default_alloc(void*, size_t size) { return std::malloc(size == 0 ? 1 : size); }
void default_dealloc(void*, void* block) { std::free(block); }

struct Allocator {
    std::atomic<vorlex_alloc_func> alloc{default_alloc};
    std::atomic<vorlex_dealloc_func> dealloc{default_dealloc};
    std::atomic<void*> opaque{nullptr};
};

Allocator& allocator() {
    static Allocator a;
    return a;
}

}  // namespace

extern "C" {

void vorlex_set_memory_functions(vorlex_alloc_func alloc, vorlex_dealloc_func dealloc,
                                 void* opaque) {
    // What plug-ins keep between calls goes back to the functions that
    // allocated it before they are replaced.
    vorlex_release_cached_memory();
    Allocator& a = allocator();
    const bool custom = alloc != nullptr && dealloc != nullptr;
    a.opaque.store(custom ? opaque : nullptr);
    a.alloc.store(custom ? alloc : default_alloc);
    a.dealloc.store(custom ? dealloc : default_dealloc);
}

void* vorlex_malloc(size_t size) {
    Allocator& a = allocator();
    return a.alloc.load()(a.opaque.load(), size);
}

void vorlex_free(void* block) {
    if (block == nullptr) return;
    Allocator& a = allocator();
    a.dealloc.load()(a.opaque.load(), block);
}

}  // extern "C"
