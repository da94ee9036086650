// The FastARI decoder. It runs the encoder's bit steps on the same interval
// and reads each bit from where the code value (the four stream bytes lined
// up with low and high) falls. The stream has no length field; decoding
// stops at the first of: the end mark (low reaching the code value after a
// byte, which only the last byte allows, because the encoder raises low
// between bytes), the capacity, or the input running out.
//
// The interval is kept as low, width = high - low and offset = code - low.
// low <= code <= high holds for any input whatsoever: it starts so (code 0 is
// the empty stream and stops at once), each bit keeps the side code lies in,
// a shift moves all three alike once their top bytes agree, and low is only
// raised past a byte boundary after the end test found it below code. So the
// offset never wraps, a 1 bit is offset <= lower, and the end test is
// offset == 0.
#include <assert.h>

#include "common/bytes.hpp"
#include "fari.h"
#include "fari_format.h"

namespace {

using namespace fari;

// The context holds the coded bits with the most recent in bit 0, so after a
// byte its low eight bits are that byte with its bit order reversed.
constexpr uint8_t reverse_bits(uint32_t v) {
    uint32_t r = 0;
    for (unsigned k = 0; k < BYTE_BITS; ++k) r |= ((v >> k) & 1) << (BYTE_BITS - 1 - k);
    return uint8_t(r);
}
struct ReversedBytes {
    uint8_t value[256];
    constexpr ReversedBytes() : value() {
        for (unsigned v = 0; v < 256; ++v) value[v] = reverse_bits(v);
    }
};
constexpr ReversedBytes REVERSED_BYTES{};

struct Decoder {
    const uint8_t* in;
    size_t in_len;
    size_t pos;
    uint32_t offset;
    uint32_t low = LOW_START;
    uint32_t width = HIGH_START - LOW_START;
    size_t context = 0;
    size_t pair = 0;  // (context << 1) & mask: where the next bit's two contexts sit
    uint32_t p = PROBABILITY_START;  // table[context], read one bit ahead

    // A fetch may never take the last input byte: in a complete stream that
    // is the closing 0x00, so needing it means the stream was cut short, and
    // decoding ends with the bytes completed so far. pos <= in_len always.
    // Unchecked: the caller has proved that more than MAX_SHIFTS_PER_BYTE
    // bytes remain before the byte being decoded.
    template <bool CHECKED>
    bool shift() {
        if (CHECKED && in_len - pos <= 1) return false;
        offset = (offset << 8) | in[pos++];
        low <<= 8;
        width = (width << 8) | 0xff;
        return true;
    }

    template <bool CHECKED>
    bool renormalise() {
        do {
            if (!shift<CHECKED>()) return false;
        } while (top_bytes_settled(low, low + width));
        return true;
    }

    // Returns false when a fetch ran out of input; the bit is then void.
    //
    // The next bit's context is pair or pair + 1, so both their entries are
    // read before this bit is known and the right one picked after: the
    // table read leaves the loop's critical path. They are read after this
    // bit's entry is written, since one of them is that entry when the
    // context is all zeros or all ones.
    template <bool CHECKED>
    bool decode_bit(uint16_t* table) {
        const uint32_t lower = lower_width(width, p);
        uint32_t next_width = width - 1 - lower;
        uint32_t next_offset = offset - 1 - lower;
        uint32_t next_low = low + lower + 1;
        uint32_t target = TARGET_AFTER_ZERO;
#if defined(__x86_64__) && !defined(FARI_PORTABLE_SELECTS)
        // GCC turns these selects into branches on the bit, which miss as
        // often as the data is unpredictable; cmov does not. The carry of
        // lower - offset is set for a 0 bit.
        const uint32_t one_target = TARGET_AFTER_ONE;
        __asm__("cmp %[offset], %[lower]\n\t"
                "cmovae %[lower], %[next_width]\n\t"
                "cmovae %[offset], %[next_offset]\n\t"
                "cmovae %[low], %[next_low]\n\t"
                "cmovae %[one_target], %[target]"
                : [next_width] "+r"(next_width), [next_offset] "+r"(next_offset),
                  [next_low] "+r"(next_low), [target] "+r"(target)
                : [offset] "r"(offset), [lower] "r"(lower), [low] "r"(low),
                  [one_target] "r"(one_target)
                : "cc");
        table[context] = adapt_towards(p, target);
        uint32_t next_p = table[pair];
        const uint32_t p_after_one = table[pair + 1];
        size_t next_context = pair;
        __asm__("cmp %[offset], %[lower]\n\t"
                "cmovae %[p_after_one], %[next_p]\n\t"
                "sbb $-1, %[next_context]"
                : [next_p] "+r"(next_p), [next_context] "+r"(next_context)
                : [offset] "r"(offset), [lower] "r"(lower), [p_after_one] "r"(p_after_one)
                : "cc");
#else
        const bool one = offset <= lower;
        if (one) {
            next_width = lower;
            next_offset = offset;
            next_low = low;
            target = TARGET_AFTER_ONE;
        }
        table[context] = adapt_towards(p, target);
        const uint32_t next_p = table[pair + one];
        const size_t next_context = pair + one;
#endif
        width = next_width;
        offset = next_offset;
        low = next_low;
        p = next_p;
        context = next_context;
        pair = (context << 1) & CONTEXT_MASK;
        // The line holding every context five bits on: by the time it is
        // needed it has come up from the outer cache.
        __builtin_prefetch(table + ((context << 5) & CONTEXT_MASK));
        if (__builtin_expect(top_bytes_settled(low, low + width), 0)) {
            return renormalise<CHECKED>();
        }
        return true;
    }

    // Eight bits, the first into bit 0. False when the input ran out inside
    // the byte, which is then dropped.
    template <bool CHECKED>
    bool decode_byte(uint16_t* table, uint8_t& byte) {
#pragma GCC unroll 8
        for (unsigned k = 0; k < BYTE_BITS; ++k) {
            if (!decode_bit<CHECKED>(table)) return false;
        }
        byte = REVERSED_BYTES.value[context & 0xff];
        return true;
    }

    // The encoder's step between bytes, with its single shift. Called only
    // after the end test found offset > 0.
    template <bool CHECKED>
    bool byte_boundary() {
        ++low;
        --offset;
        --width;
        if (top_bytes_settled(low, low + width)) return shift<CHECKED>();
        return true;
    }

    // One byte and, unless it was the last, the boundary after it. Returns
    // false when decoding ends; the byte is stored when it was complete.
    template <bool CHECKED>
    bool step(uint16_t* table, uint8_t* out, size_t& count) {
        uint8_t byte;
        if (!decode_byte<CHECKED>(table, byte)) return false;
        out[count++] = byte;
        if (offset == 0) return false;  // the end mark
        return byte_boundary<CHECKED>();
    }
};

}  // namespace

extern "C" {

int fa_decompress(const uint8_t* in, uint8_t* out, size_t in_len, size_t* out_len,
                  uint16_t* table) {
    assert(out_len != NULL);
    assert(in != NULL || in_len == 0);
    if (table == nullptr) return FA_NO_TABLE;
    reset_table(table);

    // No encoder output is this short; treat it as the empty stream rather
    // than read the code value from beyond the input.
    if (in_len < CODE_BYTES) {
        *out_len = 0;
        return FA_OK;
    }
    const size_t capacity = *out_len;
    assert(out != NULL || capacity == 0);

    const uint32_t code = vorlex::bytes::load_be32(in);
    // Code value 0 is the empty input's stream; no other stream starts so,
    // since low starts at 1.
    if (code == 0) {
        *out_len = 0;
        return FA_OK;
    }
    Decoder d{in, in_len, CODE_BYTES, code - LOW_START};

    size_t count = 0;
    for (;;) {
        if (count == capacity) {
            // Nothing left to read either (only a bare 4-byte input gets
            // here): the decoded bytes are all there is.
            if (d.pos == in_len) break;
            return FA_OUTPUT_FULL;
        }
        // A byte and its boundary fetch at most MAX_SHIFTS_PER_BYTE bytes;
        // with more than that left, none of them can be the last one.
        const bool ok = in_len - d.pos > MAX_SHIFTS_PER_BYTE ? d.step<false>(table, out, count)
                                                             : d.step<true>(table, out, count);
        if (!ok) break;
    }
    *out_len = count;
    return FA_OK;
}

}  // extern "C"
