// Bit shuffle: a byte shuffle of the first m elements (m, the element count
// rounded down to a multiple of 8), then each of the typesize byte planes
// (m bytes) cut into 8 bit planes of m / 8 bytes: bit k of byte j of element
// e lands in bit e % 8 of out[(8 j + k) m / 8 + e / 8]. Elements past m and
// bytes past the last element are copied as they are.
#include <cstring>

#include "filters.hpp"
#include "kernels.hpp"

namespace vorlex::frame::filters {

namespace {

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

void bitshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp) {
    const size_t m = n / typesize / 8 * 8;
    const size_t whole = m * typesize;
    if (m != 0) {
        shuffle(in, temp, whole, typesize);
        for (size_t j = 0; j < typesize; ++j) bit_transpose(temp + j * m, out + j * m, m);
    }
    if (out != in) std::memcpy(out + whole, in + whole, n - whole);
}

void bitunshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize, uint8_t* temp) {
    const size_t m = n / typesize / 8 * 8;
    const size_t whole = m * typesize;
    if (m != 0) {
        for (size_t j = 0; j < typesize; ++j) bit_untranspose(in + j * m, temp + j * m, m);
        unshuffle(temp, out, whole, typesize);
    }
    if (out != in) std::memcpy(out + whole, in + whole, n - whole);
}

}  // namespace vorlex::frame::filters
