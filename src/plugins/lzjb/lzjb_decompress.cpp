// The LZJB decompressor. The compressor is in lzjb_compress.cpp; the stream
// layout in lzjb_format.h.
//
// The stream carries no size, so the caller's capacity is the only bound on
// the output. Far from both ends a whole group is decoded after one bounds
// check, with word-wide copies; the last groups, near the end of the stream
// or of the output, go item by item with every check. A damaged stream ends
// in a result code, never in a read or write outside the buffers.
#include "common/bytes.hpp"
#include "lzjb.h"
#include "lzjb_format.h"

namespace {

using namespace vorlex::lzjb;
using vorlex::bytes::load_be16;
using vorlex::bytes::load_u64;
using vorlex::bytes::store_u64;

constexpr size_t WIDE = 8;                  // bytes moved by one load and store
constexpr size_t OVERSHOOT = 2 * WIDE - 1;  // most a wide copy writes past its end

// Why one check per group is enough. A group is at most GROUP_RESERVE stream
// bytes and writes at most ITEMS_PER_MAP * MATCH_MAX output bytes, plus
// OVERSHOOT scratch bytes past the last one. Its wide literal loads read at
// most WIDE - 1 bytes past it. So with FAST_STREAM stream bytes and
// FAST_OUTPUT output bytes left at its start, no item needs a check of its
// own, and the stream cannot end inside the group.
//
// The scratch bytes are overwritten before the call reports success: at least
// MIN_TAIL stream bytes remain for the careful loop, and decoded they give at
// least OVERSHOOT output bytes (each stream byte but the copy maps gives at
// least one, and every copy map but the last heads eight items, nine bytes or
// more). So a successful call leaves dst alone past the length it reports.
constexpr size_t MIN_TAIL = 18;
constexpr size_t FAST_STREAM = GROUP_RESERVE + MIN_TAIL;
constexpr size_t FAST_OUTPUT = ITEMS_PER_MAP * MATCH_MAX + OVERSHOOT;
static_assert(MIN_TAIL - (MIN_TAIL + 8) / 9 >= OVERSHOOT, "the tail covers the scratch bytes");
static_assert(WIDE - 1 <= MIN_TAIL, "wide literal loads stay inside the stream");

// The format's copy: one byte at a time in increasing order, so that with
// offset < length the match repeats the bytes it has just written.
inline void copy_match_exact(uint8_t* out, size_t offset, size_t length) {
    const uint8_t* from = out - offset;
    for (size_t k = 0; k < length; ++k) out[k] = from[k];
}

// k % offset for offsets below WIDE: where the k-th byte of such a match
// comes from, among the offset bytes before it.
constexpr uint8_t REPEAT_INDEX[WIDE][WIDE] = {
    {},
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0, 1, 0, 1, 0, 1, 0, 1},
    {0, 1, 2, 0, 1, 2, 0, 1},
    {0, 1, 2, 3, 0, 1, 2, 3},
    {0, 1, 2, 3, 4, 0, 1, 2},
    {0, 1, 2, 3, 4, 5, 0, 1},
    {0, 1, 2, 3, 4, 5, 6, 0},
};
// The smallest multiple of offset that is at least WIDE. The match repeats
// with period offset, so byte k equals byte k - REPEAT_STEP[offset], which
// lies a whole word back (already written) yet not before the offset bytes
// the match started from (REPEAT_STEP < WIDE + offset).
constexpr uint8_t REPEAT_STEP[WIDE] = {0, 8, 8, 9, 8, 10, 12, 14};

// The same bytes as copy_match_exact, written a word at a time; writes up to
// OVERSHOOT scratch bytes past the match. With offset >= WIDE every word read
// lies wholly before the word being written, so overlap is harmless.
inline void copy_match_wide(uint8_t* out, size_t offset, size_t length) {
    const uint8_t* const from = out - offset;
    if (__builtin_expect(offset >= WIDE, 1)) {
        // Nearly all matches are at most two words long.
        store_u64(out, load_u64(from));
        store_u64(out + WIDE, load_u64(from + WIDE));
        for (size_t k = 2 * WIDE; k < length; k += WIDE) store_u64(out + k, load_u64(from + k));
        return;
    }
    const uint8_t* const index = REPEAT_INDEX[offset];
    for (size_t k = 0; k < WIDE; ++k) out[k] = from[index[k]];
    const size_t step = REPEAT_STEP[offset];
    for (size_t k = WIDE; k < length; k += WIDE) store_u64(out + k, load_u64(out + k - step));
}

}  // namespace

extern "C" int lzjb_decompress(const uint8_t* src, uint8_t* dst, size_t src_len, size_t* dst_len) {
    if (src_len == 0) {
        *dst_len = 0;
        return LZJB_DECODED;
    }
    const size_t capacity = *dst_len;
    if (capacity == 0) return LZJB_OVERRUN;

    size_t s = 0;
    size_t o = 0;

    // Whole groups. Bit 8 of `items` marks the group's end, so the count of
    // trailing zeros is the number of literals before the next match (or the
    // end); they are moved with one word copy.
    while (src_len - s >= FAST_STREAM && capacity - o >= FAST_OUTPUT) {
        unsigned items = src[s++] | 1u << ITEMS_PER_MAP;
        for (;;) {
            const unsigned literals = unsigned(__builtin_ctz(items));
            store_u64(dst + o, load_u64(src + s));
            s += literals;
            o += literals;
            items >>= literals;
            if (items == 1) break;
            const unsigned word = load_be16(src + s);
            s += MATCH_BYTES;
            const size_t offset = word & OFFSET_MASK;
            const size_t length = (word >> LENGTH_SHIFT) + MATCH_MIN;
            // Offset 0 would copy stale output bytes: corrupt.
            if (offset == 0 || offset > o) return LZJB_BAD_OFFSET;
            copy_match_wide(dst + o, offset, length);
            o += length;
            items >>= 1;
        }
    }

    // Item by item, with every check, from a group boundary.
    const unsigned group_full = 1u << ITEMS_PER_MAP;
    unsigned mask = group_full >> 1;
    unsigned copy_map = 0;
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
            const unsigned word = load_be16(src + s);
            s += MATCH_BYTES;
            const size_t offset = word & OFFSET_MASK;
            const size_t length = (word >> LENGTH_SHIFT) + MATCH_MIN;
            // Offset 0 would copy each byte onto itself and so "produce"
            // whatever dst held before the call: corrupt, as is a reach
            // before the output start.
            if (offset == 0 || offset > o) return LZJB_BAD_OFFSET;
            // A match is copied whole or not at all.
            if (length > capacity - o) return LZJB_OVERRUN;
            copy_match_exact(dst + o, offset, length);
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
