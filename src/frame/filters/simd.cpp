// SSE2 and AVX2 kernels of the filters. The AVX2 ones carry a target
// attribute rather than a compiler flag, so this file builds for any x86-64
// and the caller decides at run time whether they may run.
//
// Byte shuffle as a transpose: 16 elements of T = 2^k bytes are T vectors of
// 16 bytes, a (4 + k)-bit byte index (element, byte). Interleaving vector r
// with vector r + T/2 (unpacklo into 2r, unpackhi into 2r + 1) rotates that
// index left by one bit, so four rounds turn (element, byte) into (byte,
// element): the shuffle; k rounds turn it back. AVX2 runs the same rounds on
// two groups of 16 elements at once, one per 128-bit lane.
//
// Bit untranspose: across 8 vectors, one of each bit plane, three rounds of
// shifts and masks transpose the 8x8 bit matrix at every byte position; the
// byte interleave above then puts the elements in order. Bit transpose: the
// same steps in the opposite order with SSE2; with AVX2, movemask collects
// the top bit of 32 bytes, and doubling the bytes, one bit at a time, yields
// the 8 bit planes (as fast as the mirror on first AMD Zen, which splits
// 256-bit work in halves, and without its loads across lanes).
#include "kernels.hpp"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#include <cstring>

namespace vorlex::frame::filters {

namespace {

// ---- SSE2 --------------------------------------------------------------

template <int T>
inline void rounds128(__m128i* v, int count) {
    for (int r = 0; r < count; ++r) {
        __m128i t[T];
        for (int i = 0; i < T / 2; ++i) {
            t[2 * i] = _mm_unpacklo_epi8(v[i], v[i + T / 2]);
            t[2 * i + 1] = _mm_unpackhi_epi8(v[i], v[i + T / 2]);
        }
        for (int i = 0; i < T; ++i) v[i] = t[i];
    }
}

template <int T, int K>
size_t shuffle_sse2_t(const uint8_t* in, uint8_t* out, size_t count) {
    size_t e = 0;
    for (; e + 16 <= count; e += 16) {
        __m128i v[T];
        for (int i = 0; i < T; ++i) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + e * T + 16 * i));
        }
        rounds128<T>(v, 4);
        for (int j = 0; j < T; ++j) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j * count + e), v[j]);
        }
    }
    return e;
}

template <int T, int K>
size_t unshuffle_sse2_t(const uint8_t* in, uint8_t* out, size_t count) {
    size_t e = 0;
    for (; e + 16 <= count; e += 16) {
        __m128i v[T];
        for (int j = 0; j < T; ++j) {
            v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j * count + e));
        }
        rounds128<T>(v, K);
        for (int i = 0; i < T; ++i) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e * T + 16 * i), v[i]);
        }
    }
    return e;
}

size_t shuffle_sse2(const uint8_t* in, uint8_t* out, size_t count, size_t typesize) {
    switch (typesize) {
        case 2: return shuffle_sse2_t<2, 1>(in, out, count);
        case 4: return shuffle_sse2_t<4, 2>(in, out, count);
        case 8: return shuffle_sse2_t<8, 3>(in, out, count);
        case 16: return shuffle_sse2_t<16, 4>(in, out, count);
        default: return 0;
    }
}

size_t unshuffle_sse2(const uint8_t* in, uint8_t* out, size_t count, size_t typesize) {
    switch (typesize) {
        case 2: return unshuffle_sse2_t<2, 1>(in, out, count);
        case 4: return unshuffle_sse2_t<4, 2>(in, out, count);
        case 8: return unshuffle_sse2_t<8, 3>(in, out, count);
        case 16: return unshuffle_sse2_t<16, 4>(in, out, count);
        default: return 0;
    }
}

// The 8x8 bit matrices across v[0..8): for every byte position b, bit c of
// v[r][b] trades places with bit r of v[c][b]. Three rounds swap ever
// smaller blocks of the matrix (4x4, 2x2, 1x1): in a pair of rows r and
// r + s, the columns s.. of row r trade with the columns ..s of row r + s.
// The shifts move bits within a byte only (the masks drop what crosses
// one), so 16-bit shifts serve. Some processors (first AMD Zen) shift on one
// port only, so the widest right shift is the high half of a multiply by
// 2^(16 - S) instead: 5% more speed there.
template <int S>
inline void swap_bits128(__m128i& low, __m128i& high, __m128i mask) {
    const __m128i shifted = S == 4 ? _mm_mulhi_epu16(low, _mm_set1_epi16(1 << (16 - S)))
                                   : _mm_srli_epi16(low, S);
    const __m128i t = _mm_and_si128(_mm_xor_si128(shifted, high), mask);
    high = _mm_xor_si128(high, t);
    low = _mm_xor_si128(low, _mm_slli_epi16(t, S));
}

inline void transpose_rows128(__m128i* v) {
    const __m128i m4 = _mm_set1_epi8(0x0F), m2 = _mm_set1_epi8(0x33), m1 = _mm_set1_epi8(0x55);
    for (int r = 0; r < 4; ++r) swap_bits128<4>(v[r], v[r + 4], m4);
    for (int r = 0; r < 2; ++r) {
        swap_bits128<2>(v[r], v[r + 2], m2);
        swap_bits128<2>(v[r + 4], v[r + 6], m2);
    }
    for (int r = 0; r < 8; r += 2) swap_bits128<1>(v[r], v[r + 1], m1);
}

// Bit untranspose, on 16 bytes of each of the 8 bit planes (128 elements):
// across the planes, byte b of plane k holds bit k of elements 8b .. 8b+7;
// the 8x8 bit transposes turn vector r into byte b of element 8b + r, and
// three rounds of interleaving put element 8b + r at 8b + r. (An 8x8
// transpose inside each 64-bit lane after the interleaving does the same
// with twice the operations.) The bit transpose is its mirror: 128 bytes as
// 16 groups of 8, four rounds of interleaving make vector r byte r of every
// group, and the bit transposes make vector k plane k's 16 bytes.
template <bool ToPlanes>
size_t bit_planes_sse2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    size_t i = 0;
    for (; i + 128 <= m; i += 128) {
        // Vector k: 16 bytes of plane k, or the elements' k-th 16 bytes.
        auto at = [&](auto* p, bool planes, int k) {
            return planes ? p + size_t(k) * plane + i / 8 : p + i + 16 * size_t(k);
        };
        __m128i v[8];
        for (int k = 0; k < 8; ++k) {
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at(in, !ToPlanes, k)));
        }
        if (ToPlanes) {
            rounds128<8>(v, 4);
            transpose_rows128(v);
        } else {
            transpose_rows128(v);
            rounds128<8>(v, 3);
        }
        for (int k = 0; k < 8; ++k) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at(out, ToPlanes, k)), v[k]);
        }
    }
    return i;
}

// Running sums of 2-, 4- and 8-byte elements, a vector at a time. Each
// vector's own running sum comes from shifted additions (log2 of its
// elements of them); the sum of everything before it (carry, in every
// element) is then added. The carry moves on by the vector's own total,
// which depends on the loaded vector alone, so the chain from one vector to
// the next is a single addition and the rest of the work overlaps.
size_t delta_decode_sse2(uint8_t* buf, size_t count, size_t typesize) {
    size_t e = 0;
    __m128i carry = _mm_setzero_si128();
    if (typesize == 2) {
        for (; e + 8 <= count; e += 8) {
            auto* p = reinterpret_cast<__m128i*>(buf + 2 * e);
            __m128i x = _mm_loadu_si128(p);
            x = _mm_add_epi16(x, _mm_slli_si128(x, 2));
            x = _mm_add_epi16(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi16(x, _mm_slli_si128(x, 8));
            _mm_storeu_si128(p, _mm_add_epi16(x, carry));
            const __m128i top = _mm_shufflehi_epi16(x, 0xFF);
            carry = _mm_add_epi16(carry, _mm_unpackhi_epi64(top, top));
        }
    } else if (typesize == 4) {
        for (; e + 4 <= count; e += 4) {
            auto* p = reinterpret_cast<__m128i*>(buf + 4 * e);
            __m128i x = _mm_loadu_si128(p);
            x = _mm_add_epi32(x, _mm_slli_si128(x, 4));
            x = _mm_add_epi32(x, _mm_slli_si128(x, 8));
            _mm_storeu_si128(p, _mm_add_epi32(x, carry));
            carry = _mm_add_epi32(carry, _mm_shuffle_epi32(x, 0xFF));
        }
    } else if (typesize == 8) {
        for (; e + 2 <= count; e += 2) {
            auto* p = reinterpret_cast<__m128i*>(buf + 8 * e);
            __m128i x = _mm_loadu_si128(p);
            x = _mm_add_epi64(x, _mm_slli_si128(x, 8));
            _mm_storeu_si128(p, _mm_add_epi64(x, carry));
            carry = _mm_add_epi64(carry, _mm_unpackhi_epi64(x, x));
        }
    }
    return e;
}

constexpr Kernels SSE2 = {"sse2", shuffle_sse2, unshuffle_sse2, bit_planes_sse2<true>,
                          bit_planes_sse2<false>, delta_decode_sse2};

// ---- AVX2 --------------------------------------------------------------

#define VORLEX_AVX2 __attribute__((target("avx2")))

template <int T>
VORLEX_AVX2 inline void rounds256(__m256i* v, int count) {
    for (int r = 0; r < count; ++r) {
        __m256i t[T];
        for (int i = 0; i < T / 2; ++i) {
            t[2 * i] = _mm256_unpacklo_epi8(v[i], v[i + T / 2]);
            t[2 * i + 1] = _mm256_unpackhi_epi8(v[i], v[i + T / 2]);
        }
        for (int i = 0; i < T; ++i) v[i] = t[i];
    }
}

VORLEX_AVX2 inline __m256i load_pair(const uint8_t* low, const uint8_t* high) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}

template <int T, int K>
VORLEX_AVX2 size_t shuffle_avx2_t(const uint8_t* in, uint8_t* out, size_t count) {
    size_t e = 0;
    for (; e + 32 <= count; e += 32) {
        __m256i v[T];
        for (int i = 0; i < T; ++i) v[i] = load_pair(in + e * T + 16 * i, in + (e + 16) * T + 16 * i);
        rounds256<T>(v, 4);
        for (int j = 0; j < T; ++j) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j * count + e), v[j]);
        }
    }
    return e;
}

template <int T, int K>
VORLEX_AVX2 size_t unshuffle_avx2_t(const uint8_t* in, uint8_t* out, size_t count) {
    size_t e = 0;
    for (; e + 32 <= count; e += 32) {
        __m256i v[T];
        for (int j = 0; j < T; ++j) {
            v[j] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + j * count + e));
        }
        rounds256<T>(v, K);
        for (int i = 0; i < T; ++i) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e * T + 16 * i),
                             _mm256_castsi256_si128(v[i]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (e + 16) * T + 16 * i),
                             _mm256_extracti128_si256(v[i], 1));
        }
    }
    return e;
}

VORLEX_AVX2 size_t shuffle_avx2(const uint8_t* in, uint8_t* out, size_t count, size_t typesize) {
    switch (typesize) {
        case 2: return shuffle_avx2_t<2, 1>(in, out, count);
        case 4: return shuffle_avx2_t<4, 2>(in, out, count);
        case 8: return shuffle_avx2_t<8, 3>(in, out, count);
        case 16: return shuffle_avx2_t<16, 4>(in, out, count);
        default: return 0;
    }
}

VORLEX_AVX2 size_t unshuffle_avx2(const uint8_t* in, uint8_t* out, size_t count,
                                  size_t typesize) {
    switch (typesize) {
        case 2: return unshuffle_avx2_t<2, 1>(in, out, count);
        case 4: return unshuffle_avx2_t<4, 2>(in, out, count);
        case 8: return unshuffle_avx2_t<8, 3>(in, out, count);
        case 16: return unshuffle_avx2_t<16, 4>(in, out, count);
        default: return 0;
    }
}

// 64 bytes at a time, so that each plane gets one 8-byte store per round. A
// byte added to itself moves its bits up one place: the next bit plane's
// bits reach the top, and an addition runs on more ports than a shift.
VORLEX_AVX2 size_t bit_transpose_avx2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    size_t i = 0;
    for (; i + 64 <= m; i += 64) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
        for (int k = 7; k >= 0; --k) {
            const uint64_t bits = uint64_t(uint32_t(_mm256_movemask_epi8(x))) |
                                  uint64_t(uint32_t(_mm256_movemask_epi8(y))) << 32;
            std::memcpy(out + size_t(k) * plane + i / 8, &bits, 8);
            x = _mm256_add_epi8(x, x);
            y = _mm256_add_epi8(y, y);
        }
    }
    return i;
}

// As swap_bits128.
template <int S>
VORLEX_AVX2 inline void swap_bits256(__m256i& low, __m256i& high, __m256i mask) {
    const __m256i shifted = S == 4 ? _mm256_mulhi_epu16(low, _mm256_set1_epi16(1 << (16 - S)))
                                   : _mm256_srli_epi16(low, S);
    const __m256i t = _mm256_and_si256(_mm256_xor_si256(shifted, high), mask);
    high = _mm256_xor_si256(high, t);
    low = _mm256_xor_si256(low, _mm256_slli_epi16(t, S));
}

VORLEX_AVX2 inline void transpose_rows256(__m256i* v) {
    const __m256i m4 = _mm256_set1_epi8(0x0F), m2 = _mm256_set1_epi8(0x33),
                  m1 = _mm256_set1_epi8(0x55);
    for (int r = 0; r < 4; ++r) swap_bits256<4>(v[r], v[r + 4], m4);
    for (int r = 0; r < 2; ++r) {
        swap_bits256<2>(v[r], v[r + 2], m2);
        swap_bits256<2>(v[r + 4], v[r + 6], m2);
    }
    for (int r = 0; r < 8; r += 2) swap_bits256<1>(v[r], v[r + 1], m1);
}

// As the SSE2 kernel, on 32 bytes of each plane: lane 0 of every vector
// works on the first 16 (elements i .. i+127), lane 1 on the next 16.
VORLEX_AVX2 size_t bit_untranspose_avx2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    size_t i = 0;
    for (; i + 256 <= m; i += 256) {
        __m256i v[8];
        for (int k = 0; k < 8; ++k) {
            v[k] = _mm256_loadu_si256(
                reinterpret_cast<const __m256i*>(in + size_t(k) * plane + i / 8));
        }
        transpose_rows256(v);
        rounds256<8>(v, 3);
        for (int j = 0; j < 8; ++j) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16 * j),
                             _mm256_castsi256_si128(v[j]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 128 + 16 * j),
                             _mm256_extracti128_si256(v[j], 1));
        }
    }
    return i;
}

constexpr Kernels AVX2 = {"avx2", shuffle_avx2, unshuffle_avx2, bit_transpose_avx2,
                          bit_untranspose_avx2, delta_decode_sse2};

}  // namespace

const Kernels* sse2_kernels() { return &SSE2; }
const Kernels* avx2_kernels() { return &AVX2; }

}  // namespace vorlex::frame::filters

#else

namespace vorlex::frame::filters {
const Kernels* sse2_kernels() { return nullptr; }
const Kernels* avx2_kernels() { return nullptr; }
}  // namespace vorlex::frame::filters

#endif
