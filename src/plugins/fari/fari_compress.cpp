// The FastARI encoder. Each input byte is coded as eight bits, bit 0 first,
// by narrowing [low, high]; settled top bytes are shifted out as stream
// bytes. Between bytes low is raised by one, which the decoder uses to tell
// the last byte from the others. The stream ends with the final low and a
// 0x00. The writer knows its capacity and stops there rather than overrun.
#include <assert.h>

#include "common/bytes.hpp"
#include "fari.h"
#include "fari_format.h"

namespace {

using namespace fari;

// Stream output that refuses to pass its capacity; once full it stays full
// and the encoder gives up at the next check.
struct Writer {
    uint8_t* out;
    size_t pos;
    size_t capacity;

    bool put(uint8_t byte) {
        if (pos == capacity) return false;
        out[pos++] = byte;
        return true;
    }
};

struct Encoder {
    uint32_t low = LOW_START;
    uint32_t high = HIGH_START;
    uint32_t context = 0;

    // One renormalisation shift: the settled top byte goes out.
    bool shift(Writer& w) {
        if (!w.put(uint8_t(high >> 24))) return false;
        low <<= 8;
        high = (high << 8) | 0xff;
        return true;
    }

    bool code_bit(uint32_t bit, uint16_t* table, Writer& w) {
        uint16_t& entry = table[context];
        const uint32_t p = entry;
        const uint32_t split = split_point(low, high, p);
        if (bit != 0) {
            high = split;
            entry = adapt_after_one(p);
        } else {
            low = split + 1;
            entry = adapt_after_zero(p);
        }
        context = next_context(context, bit);
        while (top_bytes_settled(low, high)) {
            if (!shift(w)) return false;
        }
        return true;
    }

    // low < high after renormalisation, so low + 1 cannot wrap. Exactly one
    // shift even if the top bytes agree again afterwards: the decoder mirrors
    // this step shift for shift, and the next bit renormalises fully anyway.
    bool byte_boundary(Writer& w) {
        ++low;
        if (top_bytes_settled(low, high)) return shift(w);
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

    Writer w{out, 0, capacity};
    Encoder e;
    for (size_t i = 0; i < in_len; ++i) {
        const uint32_t byte = in[i];
        for (unsigned k = 0; k < BYTE_BITS; ++k) {
            if (!e.code_bit((byte >> k) & 1, table, w)) return FA_OUTPUT_FULL;
        }
        if (i + 1 < in_len && !e.byte_boundary(w)) return FA_OUTPUT_FULL;
    }

    if (w.capacity - w.pos < TRAILER_BYTES) return FA_OUTPUT_FULL;
    vorlex::bytes::store_be32(out + w.pos, e.low);
    out[w.pos + CODE_BYTES] = 0;
    *out_len = w.pos + TRAILER_BYTES;
    return FA_OK;
}

// The caller vouches for the room, so the capacity is simply "unlimited".
int fa_compress(const uint8_t* in, uint8_t* out, size_t in_len, size_t* out_len,
                uint16_t* table) {
    return fa_compress_bounded(in, out, in_len, SIZE_MAX, out_len, table);
}

}  // extern "C"
