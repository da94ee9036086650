// Choosing the filter kernels once, from what the processor offers.
#include <atomic>
#include <string_view>

#include "filters.hpp"
#include "kernels.hpp"

namespace vorlex::frame::filters {

namespace {

size_t none(const uint8_t*, uint8_t*, size_t, size_t) { return 0; }
size_t none_bits(const uint8_t*, uint8_t*, size_t) { return 0; }

constexpr Kernels PORTABLE = {"portable", none, none, none_bits, none_bits};

const Kernels& best() {
    static const Kernels* chosen = [] {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2") && avx2_kernels() != nullptr) return avx2_kernels();
        if (__builtin_cpu_supports("sse2") && sse2_kernels() != nullptr) return sse2_kernels();
#endif
        return &PORTABLE;
    }();
    return *chosen;
}

std::atomic<const Kernels*>& forced() {
    static std::atomic<const Kernels*> chosen{nullptr};
    return chosen;
}

}  // namespace

const Kernels& portable_kernels() { return PORTABLE; }

const Kernels& kernels() {
    const Kernels* k = forced().load(std::memory_order_relaxed);
    return k != nullptr ? *k : best();
}

const char* kernel_name() { return kernels().name; }

bool use_kernels(const char* name) {
    const std::string_view want(name);
    const Kernels* k = nullptr;
    if (want == "portable") {
        k = &PORTABLE;
    } else if (want == "sse2" || want == "avx2") {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_cpu_init();
        if (want == "sse2" && __builtin_cpu_supports("sse2")) k = sse2_kernels();
        if (want == "avx2" && __builtin_cpu_supports("avx2")) k = avx2_kernels();
#endif
        if (k == nullptr) return false;
    } else if (!want.empty()) {
        return false;
    }
    forced().store(k);
    return true;
}

}  // namespace vorlex::frame::filters
