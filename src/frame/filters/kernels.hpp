// The vectorised inner loops behind filters.hpp, one table per instruction
// set. Each kernel does what it can in whole vectors and returns how far it
// got; the portable code in the callers finishes the rest, so a kernel that
// does nothing (the portable table) is always correct.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorlex::frame::filters {

struct Kernels {
    const char* name;
    // Byte shuffle of the first elements of in (count elements in all, so
    // plane j starts at out + j * count); returns the elements done.
    size_t (*shuffle)(const uint8_t* in, uint8_t* out, size_t count, size_t typesize);
    size_t (*unshuffle)(const uint8_t* in, uint8_t* out, size_t count, size_t typesize);
    // Bit transpose of one byte plane of m bytes (m a multiple of 8): bit k of
    // in[i] goes to bit i % 8 of out[k * m / 8 + i / 8]. Returns bytes done
    // (a multiple of 8).
    size_t (*bit_transpose)(const uint8_t* in, uint8_t* out, size_t m);
    size_t (*bit_untranspose)(const uint8_t* in, uint8_t* out, size_t m);
};

const Kernels& portable_kernels();
// nullptr where the instruction set is missing from the build.
const Kernels* sse2_kernels();
const Kernels* avx2_kernels();

// The table in use: AVX2 when the processor has it, else SSE2, else portable.
const Kernels& kernels();

}  // namespace vorlex::frame::filters
