// The FastARI encoder. Each input byte is coded as eight bits, bit 0 first,
// by narrowing [low, high]; settled top bytes are shifted out as stream
// bytes. Between bytes low is raised by one, which the decoder uses to tell
// the last byte from the others. The stream ends with the final low and a
// 0x00. The writer knows its capacity and stops there rather than overrun.
//
// The interval is kept as low and width = high - low. Per bit the work is a
// multiply and a few selects; the selects must not become branches, which
// would miss on every bit the data makes unpredictable.
#include <assert.h>

#include "common/bytes.hpp"
#include "fari.h"
#include "fari_format.h"

namespace {

using namespace fari;

struct Encoder {
    uint32_t low = LOW_START;
    uint32_t width = HIGH_START - LOW_START;
    size_t context = 0;
    uint8_t* out;
    size_t pos = 0;
    size_t capacity;

    // Shifts out every settled top byte. CHECKED: refuses to write at
    // out[capacity] and reports it. Unchecked: the caller has proved room
    // for MAX_SHIFTS_PER_BYTE bytes before the byte being coded.
    template <bool CHECKED>
    bool renormalise() {
        // With the top bytes of low and high equal, shifting both left by 8
        // shifts their difference too: the width becomes width << 8 | 0xff.
        do {
            if (CHECKED && pos == capacity) return false;
            out[pos++] = uint8_t((low + width) >> 24);
            low <<= 8;
            width = (width << 8) | 0xff;
        } while (top_bytes_settled(low, low + width));
        return true;
    }

    // Codes bit k of byte. A 1 keeps [low, split] (the width becomes lower),
    // a 0 takes [split + 1, high].
    template <bool CHECKED>
    bool code_bit(uint32_t byte, uint32_t k, uint16_t* table) {
        const uint32_t p = table[context];
        const uint32_t lower = lower_width(width, p);
        uint32_t next_width = width - 1 - lower;
        uint32_t next_low = low + lower + 1;
        uint32_t target = TARGET_AFTER_ZERO;
        size_t next_context = context;
#if defined(__x86_64__) && !defined(FARI_PORTABLE_SELECTS)
        // GCC turns these selects into a branch on the bit; cmov keeps the
        // loop free of mispredictions. bt puts the bit in the carry, which
        // adc then shifts into the context.
        const uint32_t one_target = TARGET_AFTER_ONE;
        __asm__("bt %[k], %[byte]\n\t"
                "cmovc %[lower], %[next_width]\n\t"
                "cmovc %[low], %[next_low]\n\t"
                "cmovc %[one_target], %[target]\n\t"
                "adc %[next_context], %[next_context]"
                : [next_width] "+r"(next_width), [next_low] "+r"(next_low), [target] "+r"(target),
                  [next_context] "+r"(next_context)
                : [k] "rI"(k), [byte] "r"(byte), [lower] "r"(lower), [low] "r"(low),
                  [one_target] "r"(one_target)
                : "cc");
#else
        const uint32_t bit = (byte >> k) & 1;
        if (bit != 0) {
            next_width = lower;
            next_low = low;
            target = TARGET_AFTER_ONE;
        }
        next_context = (next_context << 1) | bit;
#endif
        width = next_width;
        low = next_low;
        table[context] = adapt_towards(p, target);
        context = next_context & CONTEXT_MASK;
        if (__builtin_expect(top_bytes_settled(low, low + width), 0)) {
            return renormalise<CHECKED>();
        }
        return true;
    }

    template <bool CHECKED>
    bool code_byte(uint32_t byte, uint16_t* table) {
#pragma GCC unroll 8
        for (uint32_t k = 0; k < BYTE_BITS; ++k) {
            if (!code_bit<CHECKED>(byte, k, table)) return false;
        }
        return true;
    }

    // low < high after renormalisation, so low + 1 cannot pass high. Exactly
    // one shift even if the top bytes agree again afterwards: the decoder
    // mirrors this step shift for shift, and the next bit renormalises fully.
    template <bool CHECKED>
    bool byte_boundary() {
        ++low;
        --width;
        if (!top_bytes_settled(low, low + width)) return true;
        if (CHECKED && pos == capacity) return false;
        out[pos++] = uint8_t((low + width) >> 24);
        low <<= 8;
        width = (width << 8) | 0xff;
        return true;
    }
};

}  // namespace

extern "C" {

int fa_compress_bounded(const uint8_t* in, uint8_t* out, size_t in_len, size_t capacity,
                        size_t* out_len, uint16_t* table) {
    assert(out_len != NULL);
    assert(in != NULL || in_len == 0);
    assert(out != NULL || capacity == 0);
    if (table == nullptr) return FA_NO_TABLE;
    reset_table(table);

    if (in_len == 0) {
        if (capacity < EMPTY_STREAM_BYTES) return FA_OUTPUT_FULL;
        for (size_t i = 0; i < EMPTY_STREAM_BYTES; ++i) out[i] = 0;
        *out_len = EMPTY_STREAM_BYTES;
        return FA_OK;
    }

    Encoder e{.out = out, .capacity = capacity};
    const size_t last = in_len - 1;
    size_t i = 0;
    // One byte with its boundary step shifts out at most MAX_SHIFTS_PER_BYTE
    // bytes, so with that much room left no single write needs a check.
    while (i < last && e.capacity - e.pos >= MAX_SHIFTS_PER_BYTE) {
        e.code_byte<false>(in[i++], table);
        e.byte_boundary<false>();
    }
    for (; i < last; ++i) {
        if (!e.code_byte<true>(in[i], table) || !e.byte_boundary<true>()) return FA_OUTPUT_FULL;
    }
    if (!e.code_byte<true>(in[last], table)) return FA_OUTPUT_FULL;

    if (e.capacity - e.pos < TRAILER_BYTES) return FA_OUTPUT_FULL;
    vorlex::bytes::store_be32(out + e.pos, e.low);
    out[e.pos + CODE_BYTES] = 0;
    *out_len = e.pos + TRAILER_BYTES;
    return FA_OK;
}

// The caller vouches for the room, so the capacity is simply "unlimited".
int fa_compress(const uint8_t* in, uint8_t* out, size_t in_len, size_t* out_len,
                uint16_t* table) {
    return fa_compress_bounded(in, out, in_len, SIZE_MAX, out_len, table);
}

}  // extern "C"
