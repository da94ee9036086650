// Bit shuffle, in groups of about 32 KiB: g elements (32768 / typesize
// rounded down to a multiple of 8) at a time, and after the last whole
// group the rest of the elements rounded down to a multiple of 8. Each group
// of m elements is byte-shuffled, then each of its typesize byte planes (m
// bytes) cut into 8 bit planes of m / 8 bytes: bit k of byte j of the
// group's element e lands in bit e % 8 of byte (8 j + k) m / 8 + e / 8 of
// the group's output. Elements left over (fewer than 8) and bytes past the
// last element are copied as they are.
//
// Groups keep alike bit planes close: over a whole 1 MiB block of 16-bit
// deltas each plane would be 64 KiB, and equal planes would sit just out of
// reach of a codec with a 64 KiB window (lz4's). They also keep the work in
// cache, and make auto's 32 KiB sample filter as a block does. (8 KiB groups
// cost lz4 up to 3% of ratio on int64 timestamps; 64 KiB ones gain next to
// nothing.)
#include <cstring>

#include "filters.hpp"
#include "kernels.hpp"

namespace vorlex::frame::filters {

namespace {

constexpr size_t GROUP_BYTES = 32768;

// The 8x8 bit matrix in x (byte r is row r, bit c of it column c),
// transposed: bit 8r + c trades places with bit 8c + r. Its own inverse.
inline uint64_t transpose8(uint64_t x) {
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    return x ^ t ^ (t << 28);
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

inline void store64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

void bit_transpose(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    for (size_t i = kernels().bit_transpose(in, out, m); i < m; i += 8) {
        const uint64_t t = transpose8(load64(in + i));
        for (size_t k = 0; k < 8; ++k) out[k * plane + i / 8] = uint8_t(t >> (8 * k));
    }
}

void bit_untranspose(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    for (size_t i = kernels().bit_untranspose(in, out, m); i < m; i += 8) {
        uint64_t v = 0;
        for (size_t k = 0; k < 8; ++k) v |= uint64_t(in[k * plane + i / 8]) << (8 * k);
        store64(out + i, transpose8(v));
    }
}

}  // namespace

size_t bitshuffle_group(size_t typesize) {
    const size_t g = GROUP_BYTES / typesize / 8 * 8;
    return g != 0 ? g : 8;
}

void bitshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp) {
    const size_t count = n / typesize;
    const size_t g = bitshuffle_group(typesize);
    size_t e = 0;
    while (count - e >= 8) {
        const size_t m = count - e >= g ? g : (count - e) / 8 * 8;
        const size_t bytes = m * typesize;
        shuffle(in + e * typesize, temp, bytes, typesize);
        for (size_t j = 0; j < typesize; ++j) {
            bit_transpose(temp + j * m, out + e * typesize + j * m, m);
        }
        e += m;
    }
    const size_t whole = e * typesize;
    if (out != in) copy_bytes(out + whole, in + whole, n - whole);
}

void bitunshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp) {
    const size_t count = n / typesize;
    const size_t g = bitshuffle_group(typesize);
    size_t e = 0;
    while (count - e >= 8) {
        const size_t m = count - e >= g ? g : (count - e) / 8 * 8;
        const size_t bytes = m * typesize;
        for (size_t j = 0; j < typesize; ++j) {
            bit_untranspose(in + e * typesize + j * m, temp + j * m, m);
        }
        unshuffle(temp, out + e * typesize, bytes, typesize);
        e += m;
    }
    const size_t whole = e * typesize;
    if (out != in) copy_bytes(out + whole, in + whole, n - whole);
}

}  // namespace vorlex::frame::filters
