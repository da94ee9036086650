// The typed-array filters of filtered frames: reversible rearrangements of a
// block of fixed-size elements ("typesize" bytes each, 1 to 255) that put
// alike bytes next to each other before the codec sees them.
//
//   shuffle     byte j of every element together, for j = 0 .. typesize-1
//   bitshuffle  bit k of byte j of every element together (bit planes)
//   delta       each element minus the one before it, as little-endian
//               integers modulo 2^(8 typesize); the first minus zero
//
// A block's filter is a small code (the byte that starts a compressed payload
// in a filtered frame): bit 2 asks for delta, applied first, and bits 0-1 for
// the rearrangement after it (0 none, 1 shuffle, 2 bitshuffle). Bytes past the
// last whole element (and, for bitshuffle, the elements past the last multiple
// of 8) stay as they are, so every length works. Nothing here allocates; the
// caller hands in the work buffers. The vectorised kernels (SSE2, AVX2) are
// picked once at run time; the portable ones give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorlex::frame::filters {

// memcpy for lengths that may be 0 with pointers that may then be null (an
// empty block, an empty tail): memcpy itself must not be given null.
inline void copy_bytes(uint8_t* out, const uint8_t* in, size_t n) {
    if (n != 0) std::memcpy(out, in, n);
}

// Per-block filter codes.
inline constexpr uint8_t CODE_NONE = 0;
inline constexpr uint8_t CODE_SHUFFLE = 1;
inline constexpr uint8_t CODE_BITSHUFFLE = 2;
inline constexpr uint8_t CODE_REORDER_MASK = 3;
inline constexpr uint8_t CODE_DELTA = 4;

inline constexpr size_t MAX_TYPESIZE = 255;

// Whether code is one this library can undo.
bool is_known_code(uint8_t code);

// The rearrangements: out[0..n) from in[0..n). in and out must not overlap,
// except that the bit shuffles may work in place (in == out); their temp
// (n bytes) overlaps neither.
void shuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize);
void unshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize);
void bitshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp);
void bitunshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp);
// Elements per bit shuffle group (bitshuffle.cpp): about 32 KiB of them.
size_t bitshuffle_group(size_t typesize);
void delta_encode(const uint8_t* in, uint8_t* out, size_t n, size_t typesize);
// In place: buf[0..n) holds differences on entry, the elements on return.
void delta_decode(uint8_t* buf, size_t n, size_t typesize);

// Apply code to in[0..n): the filtered bytes are in a[0..n) on return (a and
// b hold n bytes each and do not overlap in). Returns a, or in itself for
// CODE_NONE.
const uint8_t* apply(uint8_t code, size_t typesize, const uint8_t* in, size_t n, uint8_t* a,
                     uint8_t* b);

// Undoing code takes two steps around the codec: decode the payload into
// decode_target(code, out, temp), then call undo, which leaves the original
// bytes in out[0..n). temp holds n bytes; out and temp do not overlap.
uint8_t* decode_target(uint8_t code, uint8_t* out, uint8_t* temp);
void undo(uint8_t code, size_t typesize, uint8_t* out, size_t n, uint8_t* temp);

// Which kernels run: "avx2", "sse2" or "portable"; for tests and the bench.
const char* kernel_name();
// Tests only: run the kernels called name ("avx2", "sse2", "portable"; ""
// for the best available again). False, changing nothing, when this
// processor or build lacks them.
bool use_kernels(const char* name);

}  // namespace vorlex::frame::filters
