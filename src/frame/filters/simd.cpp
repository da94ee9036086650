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
// Bit transpose: movemask collects the top bit of 16 (32) bytes; shifting the
// bytes left one bit at a time yields the 8 bit planes.
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

size_t bit_transpose_sse2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    size_t i = 0;
    for (; i + 16 <= m; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        // Shifting 16-bit lanes is enough: the bit that reaches a byte's top
        // within 7 shifts always comes from that same byte.
        for (int k = 7; k >= 0; --k) {
            const uint16_t bits = uint16_t(_mm_movemask_epi8(x));
            std::memcpy(out + size_t(k) * plane + i / 8, &bits, 2);
            x = _mm_slli_epi16(x, 1);
        }
    }
    return i;
}

size_t bit_untranspose_sse2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    const __m128i low = _mm_set1_epi16(0x00FF);
    size_t i = 0;
    for (; i + 16 <= m; i += 16) {
        uint16_t w[8];
        for (int k = 0; k < 8; ++k) std::memcpy(&w[k], in + size_t(k) * plane + i / 8, 2);
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
        // Byte k: plane k's bits of elements i..i+7; byte 8 + k: of i+8..i+15.
        __m128i x = _mm_packus_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
        uint64_t first = 0, second = 0;
        for (int b = 7; b >= 0; --b) {
            const unsigned bits = unsigned(_mm_movemask_epi8(x));
            first |= uint64_t(bits & 0xFF) << (8 * b);
            second |= uint64_t(bits >> 8) << (8 * b);
            x = _mm_slli_epi16(x, 1);
        }
        // Little-endian stores: byte b of each word is element b.
        std::memcpy(out + i, &first, 8);
        std::memcpy(out + i + 8, &second, 8);
    }
    return i;
}

constexpr Kernels SSE2 = {"sse2", shuffle_sse2, unshuffle_sse2, bit_transpose_sse2,
                          bit_untranspose_sse2};

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

VORLEX_AVX2 size_t bit_transpose_avx2(const uint8_t* in, uint8_t* out, size_t m) {
    const size_t plane = m / 8;
    size_t i = 0;
    for (; i + 32 <= m; i += 32) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        for (int k = 7; k >= 0; --k) {
            const uint32_t bits = uint32_t(_mm256_movemask_epi8(x));
            std::memcpy(out + size_t(k) * plane + i / 8, &bits, 4);
            x = _mm256_slli_epi16(x, 1);
        }
    }
    return i;
}

constexpr Kernels AVX2 = {"avx2", shuffle_avx2, unshuffle_avx2, bit_transpose_avx2,
                          bit_untranspose_sse2};

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
