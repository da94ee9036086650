// A standard-library allocator over vorlex_malloc and vorlex_free, so the
// host's own containers use the application's memory functions, and fail
// where those fail: as std::bad_alloc, which the API entry points turn into
// VORLEX_STATUS_NO_MEMORY.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include <vorlex/vorlex.h>

namespace vorlex::host {

template <class T>
struct HostAllocator {
    using value_type = T;

    HostAllocator() = default;
    template <class U>
    HostAllocator(const HostAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = vorlex_malloc(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { vorlex_free(p); }

    template <class U>
    bool operator==(const HostAllocator<U>&) const noexcept {
        return true;
    }
};

using HostBytes = std::vector<uint8_t, HostAllocator<uint8_t>>;

// An uninitialised block from vorlex_malloc, freed on scope exit.
struct HostFree {
    void operator()(void* p) const noexcept { vorlex_free(p); }
};

}  // namespace vorlex::host
