// The LZJB decompressor. The compressor is in lzjb_compress.cpp; the stream
// layout in lzjb_format.h.
//
// The stream carries no size, so the caller's capacity is the only bound on
// the output. Each item is checked against what remains of the stream and of
// the output before it is copied: a damaged stream ends in a result code,
// never in a read or write outside the buffers.
#include "common/bytes.hpp"
#include "lzjb.h"
#include "lzjb_format.h"

extern "C" int lzjb_decompress(const uint8_t* src, uint8_t* dst, size_t src_len, size_t* dst_len) {
    using namespace vorlex::lzjb;
    if (src_len == 0) {
        *dst_len = 0;
        return LZJB_DECODED;
    }
    const size_t capacity = *dst_len;
    if (capacity == 0) return LZJB_OVERRUN;

    const unsigned group_full = 1u << ITEMS_PER_MAP;
    unsigned mask = group_full >> 1;
    unsigned copy_map = 0;
    size_t s = 0;
    size_t o = 0;

    for (;;) {
        mask <<= 1;
        if (mask == group_full) {
            // The loop only continues with stream bytes left, and starts
            // with a non-empty stream, so a copy-map byte is there.
            copy_map = src[s++];
            mask = 1;
        }
        if (copy_map & mask) {
            if (src_len - s < MATCH_BYTES) return LZJB_OVERRUN;
            const unsigned word = vorlex::bytes::load_be16(src + s);
            s += MATCH_BYTES;
            const size_t offset = word & OFFSET_MASK;
            const size_t length = (word >> LENGTH_SHIFT) + MATCH_MIN;
            // Offset 0 would copy each byte onto itself and so "produce"
            // whatever dst held before the call: corrupt, as is a reach
            // before the output start.
            if (offset == 0 || offset > o) return LZJB_BAD_OFFSET;
            if (length > capacity - o) return LZJB_OVERRUN;
            // Byte by byte in increasing order: with offset < length the
            // source overlaps the bytes this match writes.
            uint8_t* const out = dst + o;
            const uint8_t* const from = out - offset;
            for (size_t k = 0; k < length; ++k) out[k] = from[k];
            o += length;
        } else {
            if (s >= src_len) return LZJB_OVERRUN;
            dst[o++] = src[s++];
        }
        // Stream end before output end: a stream that fills the capacity
        // exactly succeeds.
        if (s >= src_len) {
            *dst_len = o;
            return LZJB_DECODED;
        }
        if (o >= capacity) return LZJB_OVERRUN;
    }
}
