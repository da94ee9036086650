// The FastARI decoder. It runs the encoder's bit steps on the same
// [low, high] and reads each bit from where the code value (the four stream
// bytes lined up with low and high) falls. The stream has no length field;
// decoding stops at the first of: the end mark (low reaching the code value
// after a byte, which only the last byte allows, because the encoder raises
// low between bytes), the capacity, or the input running out.
#include <assert.h>

#include "common/bytes.hpp"
#include "fari.h"
#include "fari_format.h"

namespace {

using namespace fari;

struct Decoder {
    const uint8_t* in;
    size_t in_len;
    size_t pos;
    uint32_t code;
    uint32_t low = LOW_START;
    uint32_t high = HIGH_START;
    uint32_t context = 0;

    // A fetch may never take the last input byte: in a complete stream that
    // is the closing 0x00, so needing it means the stream was cut short, and
    // decoding ends with the bytes completed so far. pos <= in_len always.
    bool shift() {
        if (in_len - pos <= 1) return false;
        code = (code << 8) | in[pos++];
        low <<= 8;
        high = (high << 8) | 0xff;
        return true;
    }

    // Returns false when a fetch ran out of input; the bit is then void.
    bool decode_bit(uint16_t* table, uint32_t& bit) {
        uint16_t& entry = table[context];
        const uint32_t p = entry;
        const uint32_t split = split_point(low, high, p);
        if (code <= split) {
            bit = 1;
            high = split;
            entry = adapt_after_one(p);
        } else {
            bit = 0;
            low = split + 1;
            entry = adapt_after_zero(p);
        }
        context = next_context(context, bit);
        while (top_bytes_settled(low, high)) {
            if (!shift()) return false;
        }
        return true;
    }

    // Eight bits, the first into bit 0. False when the input ran out inside
    // the byte, which is then dropped.
    bool decode_byte(uint16_t* table, uint8_t& byte) {
        uint32_t value = 0;
        for (unsigned k = 0; k < BYTE_BITS; ++k) {
            uint32_t bit;
            if (!decode_bit(table, bit)) return false;
            value |= bit << k;
        }
        byte = uint8_t(value);
        return true;
    }

    // The encoder's step between bytes, with its single shift.
    bool byte_boundary() {
        ++low;
        if (top_bytes_settled(low, high)) return shift();
        return true;
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

    Decoder d{in, in_len, CODE_BYTES, vorlex::bytes::load_be32(in)};
    // Code value 0 is the empty input's stream; no other stream starts so,
    // since low starts at 1.
    if (d.code == 0) {
        *out_len = 0;
        return FA_OK;
    }

    size_t count = 0;
    for (;;) {
        if (count == capacity) {
            // Nothing left to read either (only a bare 4-byte input gets
            // here): the decoded bytes are all there is.
            if (d.pos == in_len) break;
            return FA_OUTPUT_FULL;
        }
        uint8_t byte;
        if (!d.decode_byte(table, byte)) break;
        out[count++] = byte;
        // Only after the last byte can low reach the code value: at every
        // other boundary the encoder's increment keeps the code above low.
        if (d.low >= d.code) break;
        if (!d.byte_boundary()) break;
    }
    *out_len = count;
    return FA_OK;
}

}  // extern "C"
