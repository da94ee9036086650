#include "default_input.hpp"

#include <cstring>
#include <new>

#include "default_input_digest.h"

// The bytes, placed in read-only data by the assembler.
__asm__(".section .rodata\n"
        ".balign 16\n"
        ".type vorlex_bench_default_input, @object\n"
        "vorlex_bench_default_input:\n"
        ".incbin \"" VORLEX_BENCH_DEFAULT_INPUT_FILE "\"\n"
        ".size vorlex_bench_default_input, . - vorlex_bench_default_input\n"
        ".previous\n");

extern "C" const uint8_t vorlex_bench_default_input[];

namespace vorlex::bench {

namespace {
// Uses the digest, so that it is part of the preprocessed source and the
// object differs whenever the embedded bytes do.
[[maybe_unused]] constexpr const char DIGEST[] = VORLEX_BENCH_DEFAULT_INPUT_SHA256;
}  // namespace

std::span<const uint8_t> default_input_bytes() {
    return {vorlex_bench_default_input, size_t(VORLEX_BENCH_DEFAULT_INPUT_SIZE)};
}

bool read_default_input(Input& out, std::string& error) {
    const std::span<const uint8_t> bytes = default_input_bytes();
    try {
        out.data = Buffer(bytes.size());
    } catch (const std::bad_alloc&) {
        error = "no memory for the built-in input";
        return false;
    }
    out.name = "vorlex-sources";
    if (!bytes.empty()) std::memcpy(out.data.data(), bytes.data(), bytes.size());
    return true;
}

}  // namespace vorlex::bench
