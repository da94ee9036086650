// The QuickLZ level-1 compressor: one pass over the input with a 4096-entry
// hash table holding, per hash, the last position looked at and its first
// four bytes. A hit whose first three bytes agree becomes a match token that
// names the source by its hash alone; the decoder rebuilds the same table
// from its output. The decoder lives in quicklz_decompress.cpp.
#include <assert.h>
#include <string.h>

#include "quicklz.h"

namespace {

using vorlex::bytes::load_le32;
using vorlex::bytes::load_le64;
using vorlex::bytes::store_le16;
using vorlex::bytes::store_le32;

// Writes the header and returns the block length.
size_t finish_block(uint8_t* dst, size_t header, size_t total, size_t size, bool compressed) {
    const uint8_t flags = uint8_t(QLZ_FLAGS_WRITTEN | (compressed ? QLZ_FLAG_COMPRESSED : 0) |
                                  (header == QLZ_LONG_HEADER ? QLZ_FLAG_LONG_HEADER : 0));
    dst[0] = flags;
    if (header == QLZ_LONG_HEADER) {
        store_le32(dst + 1, uint32_t(total));
        store_le32(dst + 5, uint32_t(size));
    } else {
        dst[1] = uint8_t(total);
        dst[2] = uint8_t(size);
    }
    return total;
}

// The control word for a group, from the accumulator: items were shifted in
// at bit 31, so once the sentinel has reached bit 0 the items sit at bits
// 1..31; moving them down leaves room for the stored sentinel at bit 31.
uint32_t control_word(uint32_t cw) { return (cw >> 1) | QLZ_CW_SENTINEL; }

// Run exception: a source one byte back is only taken inside a run, when the
// seven bytes s-3 .. s+3 are all the same.
bool inside_run(const uint8_t* src, size_t s) {
    const uint8_t b = src[s];
    for (size_t i = s - 3; i <= s + 3; ++i) {
        if (src[i] != b) return false;
    }
    return true;
}

// Bytes equal at o and s (o < s) counted from the start, 0..8, from one
// 8-byte compare.
inline size_t equal_prefix8(const uint8_t* src, size_t o, size_t s) {
    const uint64_t x = load_le64(src + o) ^ load_le64(src + s);
    return x == 0 ? 8 : size_t(__builtin_ctzll(x)) >> 3;
}

// The length of a match whose first eight bytes are known equal, with s at
// least 10 bytes before the last input byte: as far as the bytes agree,
// stopped at the longest token length and 4 bytes before the end
// (last - s - 3, at least 7 here).
size_t long_match_length(const uint8_t* src, size_t o, size_t s, size_t last) {
    size_t limit = last - s - 3;
    if (limit > QLZ_MAX_MATCH) limit = QLZ_MAX_MATCH;
    size_t len = 8;
    while (len < limit) {
        if (s + len + 8 > last + 1) {
            // Fewer than 8 bytes left to read at s + len.
            while (len < limit && src[o + len] == src[s + len]) ++len;
            break;
        }
        const size_t more = equal_prefix8(src, o + len, s + len);
        len += more;
        if (more < 8) break;
    }
    return len < limit ? len : limit;
}

}  // namespace

extern "C" size_t qlz_compress(const void* source, char* destination, size_t size,
                               qlz_encoder_state* state) {
    assert(state != NULL);
    if (size == 0 || size > QLZ_MAX_INPUT) return 0;
    assert(source != NULL && destination != NULL);

    const auto* src = static_cast<const uint8_t*>(source);
    auto* dst = reinterpret_cast<uint8_t*>(destination);
    const size_t header = size < QLZ_LONG_HEADER_FROM ? QLZ_SHORT_HEADER : QLZ_LONG_HEADER;
    qlz_encoder_entry* const table = state->entries;
    // Only positions are cleared: position 0 marks an empty entry, whose word
    // is never looked at. So input position 0 never serves as a source.
    for (size_t i = 0; i < QLZ_HASH_VALUES; ++i) table[i].position = 0;

    uint8_t* const body = dst + header;
    uint8_t* cw_slot = body;
    size_t d = QLZ_CW_BYTES;  // output offset within the body
    uint32_t cw = QLZ_CW_SENTINEL;
    size_t s = 0;
    const size_t last = size - 1;

    // Matches are looked for while at least QLZ_SEARCH_MARGIN bytes follow s
    // (s <= last - 10 over the integers; short inputs skip the loop).
    if (last >= QLZ_SEARCH_MARGIN) {
        const size_t search_end = last - QLZ_SEARCH_MARGIN;
        // Where the last match ended: s - match_end literals have followed it
        // (the count does not restart with a group).
        size_t match_end = 0;
        // The 4 bytes at s. After a literal or a match of 3 to 7 bytes they
        // come from 8-byte loads made at the previous position, so the next
        // hash and table lookup wait for no new load: that shortens the path
        // the processor has to redo after a mispredicted item, which
        // dominates the loop's time.
        uint32_t next_w = load_le32(src);
        // The hints below keep the rare cases (a full group, an empty entry)
        // out of the straight path; measured, they are worth a few percent.
        while (s <= search_end) {
            if (__builtin_expect((cw & 1) != 0, 0)) {
                // A group is full. Give up and store the input when past the
                // middle the body has not saved at least 1/32 of what was read
                // (d: the body so far, this group's control word included).
                if (s > size >> 1 && d > s - (s >> 5)) {
                    memcpy(body, src, size);
                    state->stream_counter = 0;
                    return finish_block(dst, header, header + size, size, false);
                }
                store_le32(cw_slot, control_word(cw));
                cw_slot = body + d;
                d += QLZ_CW_BYTES;
                cw = QLZ_CW_SENTINEL;
            }

            const uint32_t w = next_w;
            const uint64_t q = load_le64(src + s);  // s + 7 <= last - 3
            const uint32_t h = qlz_position_hash(w);
            qlz_encoder_entry* const entry = table + h;
            const uint32_t o = entry->position;
            entry->position = uint32_t(s);
            // The position is tested before the word: an empty entry's word
            // may never have been written.
            if (__builtin_expect(o != 0, 1)) {
                const uint32_t old_word = entry->word;
                entry->word = w;
                const size_t dist = s - o;
                // Distance 2 is never taken, distance 1 only inside a run:
                // the decoder's table cannot name sources that close.
                if (((old_word ^ w) & 0xFFFFFF) == 0 &&
                    (dist > 2 ||
                     (dist == 1 && s - match_end >= 3 && s > 3 && inside_run(src, s)))) {
                    cw = (cw >> 1) | QLZ_CW_SENTINEL;
                    size_t len = QLZ_MIN_MATCH;
                    if (old_word == w) {
                        // Four bytes agree. Lengths 4 to 7 (all within the
                        // limit, which is at least 7 here) come from one 8-byte
                        // compare without a branch, and so do the next
                        // position's bytes: data with mixed short lengths
                        // would mispredict a branch per length step.
                        const uint64_t x = load_le64(src + o) ^ q;
                        if (x != 0) {
                            const unsigned bits = unsigned(__builtin_ctzll(x)) & ~7u;  // 32..56
                            len = bits >> 3;
                            // s + 10 <= last; bytes s + len .. s + len + 3.
                            next_w = uint32_t(load_le64(src + s + 3) >> (bits - 24));
                        } else {
                            len = long_match_length(src, o, s, last);
                            next_w = load_le32(src + s + len);  // a match ends 4 bytes early
                        }
                        s += len;
                    } else {
                        s += len;
                        next_w = uint32_t(q >> 24);
                    }
                    if (len <= QLZ_MAX_SHORT_MATCH) {
                        store_le16(body + d, uint16_t(h << 4 | (len - 2)));
                        d += QLZ_SHORT_TOKEN;
                    } else {
                        store_le16(body + d, uint16_t(h << 4));
                        body[d + 2] = uint8_t(len);
                        d += QLZ_LONG_TOKEN;
                    }
                    // Positions inside the match are not entered in the table.
                    match_end = s;
                    continue;
                }
            } else {
                entry->word = w;
            }
            body[d++] = uint8_t(w);
            ++s;
            next_w = uint32_t(q >> 8);
            cw >>= 1;
        }
    }

    // The tail: literals only, still entering positions that have four bytes.
    for (; s <= last; ++s) {
        if ((cw & 1) != 0) {
            store_le32(cw_slot, control_word(cw));
            cw_slot = body + d;
            d += QLZ_CW_BYTES;
            cw = QLZ_CW_SENTINEL;
        }
        if (s + 3 <= last) {
            const uint32_t w = load_le32(src + s);
            const uint32_t h = qlz_position_hash(w);
            table[h].word = w;
            table[h].position = uint32_t(s);
        }
        body[d++] = src[s];
        cw >>= 1;
    }

    // The last group: move its items down to bit 0 before storing.
    while ((cw & 1) == 0) cw >>= 1;
    store_le32(cw_slot, control_word(cw));

    const size_t body_length = d < QLZ_MIN_BODY ? QLZ_MIN_BODY : d;
    assert(header + body_length <= size + QLZ_BOUND_EXTRA);
    state->stream_counter = 0;
    return finish_block(dst, header, header + body_length, size, true);
}
