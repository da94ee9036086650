// BriefLZ compressor: a greedy LZ77 matcher with one position-table candidate
// per position, writing each item as flag and gamma bits in 16-bit tag words
// interleaved with its data byte. The stream's layout and limits are in
// brieflz_format.h; decoding is in brieflz_decompress.cpp.
#include <assert.h>

#include "brieflz.h"
#include "brieflz_format.h"
#include "common/bytes.hpp"

namespace {

using namespace vorlex::brieflz;
using vorlex::bytes::load_le32;
using vorlex::bytes::store_le16;

// Table index of the 4 bytes at p: the top 17 bits of their little-endian
// value times the multiplier.
inline uint32_t hash4(const uint8_t* p) {
    return (load_le32(p) * HASH_MULTIPLIER) >> (32 - HASH_BITS);
}

// The writer. A tag word's 2 bytes are reserved where the stream ends when
// its first bit is written, and stored once it is full (or at the end); data
// bytes go straight to the end of the stream meanwhile. room counts the bytes
// the destination has left after output.
struct blz_pack_state {
    uint8_t* output;
    uint8_t* tag_slot;
    uint32_t tag;        // low 16 bits are what gets stored
    uint32_t free_bits;  // 0 to 16
    size_t room;
};

// Claims the bytes an item of bits flag and gamma bits plus one data byte
// adds to the stream; false when they do not fit. The stream only ever grows
// at its end, so once one item does not fit, the stream never would.
inline bool claim_item(blz_pack_state& s, unsigned bits) {
    const unsigned new_tags = bits <= s.free_bits ? 0 : (bits - s.free_bits + TAG_BITS - 1) / TAG_BITS;
    const size_t need = new_tags * TAG_BYTES + 1;
    if (s.room < need) return false;
    s.room -= need;
    return true;
}

inline void blz_write_bit(blz_pack_state& s, uint32_t bit) {
    if (s.free_bits == 0) {
        store_le16(s.tag_slot, uint16_t(s.tag));
        s.tag_slot = s.output;
        s.output += TAG_BYTES;
        s.free_bits = TAG_BITS - 1;
    } else {
        --s.free_bits;
    }
    s.tag = (s.tag << 1) + bit;
}

// Writes v >= 2 as its digits after the leading 1, each followed by a
// continuation bit that is 0 after the last digit.
inline void blz_write_gamma(blz_pack_state& s, uint64_t value) {
    uint64_t mask = uint64_t(1) << (62 - __builtin_clzll(value));
    blz_write_bit(s, (value & mask) != 0);
    while ((mask >>= 1) != 0) {
        blz_write_bit(s, 1);
        blz_write_bit(s, (value & mask) != 0);
    }
    blz_write_bit(s, 0);
}

inline bool write_literal(blz_pack_state& s, uint8_t byte) {
    if (!claim_item(s, 1)) return false;
    blz_write_bit(s, 0);
    *s.output++ = byte;
    return true;
}

size_t pack(const uint8_t* src, uint8_t* dst, size_t capacity, size_t src_size,
            const uint8_t** table) {
    if (src_size == 0) return 0;
    for (size_t i = 0; i < HASH_ENTRIES; ++i) table[i] = nullptr;

    // The first byte goes out as it is, without a flag.
    if (capacity < 1) return BLZ_PACK_NO_ROOM;
    dst[0] = src[0];
    if (src_size == 1) return 1;

    // The first tag word sits right behind it; all 16 of its bits are free.
    if (capacity < 1 + TAG_BYTES) return BLZ_PACK_NO_ROOM;
    blz_pack_state s{dst + 1 + TAG_BYTES, dst + 1, 0, TAG_BITS, capacity - 1 - TAG_BYTES};
    const uint8_t* input = src + 1;
    size_t remaining = src_size - 1;
    const uint8_t* next_to_hash = src;

    while (remaining >= MIN_LOOKAHEAD) {
        // Positions enter the table one step late: everything before input,
        // so the current position's lookup finds only earlier ones, and a
        // match's covered positions go in before the next lookup.
        for (; next_to_hash < input; ++next_to_hash) table[hash4(next_to_hash)] = next_to_hash;
        const uint8_t* const candidate = table[hash4(input)];

        size_t length = 0;
        if (candidate != nullptr && offset_in_reach(size_t(input - candidate))) {
            // May overlap input, and may run to the very end of the data.
            const size_t limit = match_limit(remaining);
            while (length < limit && candidate[length] == input[length]) ++length;
        }
        if (length >= MIN_MATCH) {
            const size_t back = size_t(input - candidate) - 1;
            const uint64_t length_code = length - LENGTH_BIAS;
            const uint64_t offset_code = (back >> OFFSET_LOW_BITS) + OFFSET_HIGH_BIAS;
            if (!claim_item(s, 1 + gamma_bits(length_code) + gamma_bits(offset_code))) {
                return BLZ_PACK_NO_ROOM;
            }
            blz_write_bit(s, 1);
            blz_write_gamma(s, length_code);
            blz_write_gamma(s, offset_code);
            *s.output++ = uint8_t(back);
            input += length;
            remaining -= length;
        } else {
            if (!write_literal(s, *input)) return BLZ_PACK_NO_ROOM;
            ++input;
            --remaining;
        }
    }
    // Too few bytes left to hash: the last 0 to 4 are literals.
    for (; remaining != 0; --remaining) {
        if (!write_literal(s, *input++)) return BLZ_PACK_NO_ROOM;
    }

    // The used bits move to the top of the last tag word; the rest is zero.
    store_le16(s.tag_slot, uint16_t(s.tag << s.free_bits));
    const size_t produced = size_t(s.output - dst);
    assert(produced == capacity - s.room);
    return produced;
}

}  // namespace

extern "C" {

size_t blz_workmem_size(size_t) { return WORKMEM_SIZE; }

size_t blz_max_packed_size(size_t length) { return length + (length >> 3) + 64; }

size_t blz_pack(const void* src, void* dst, size_t src_size, void* workmem) {
    // The caller vouches for the room; an unlimited capacity keeps every check
    // satisfied without forming a pointer past dst's real end.
    return pack(static_cast<const uint8_t*>(src), static_cast<uint8_t*>(dst), SIZE_MAX, src_size,
                static_cast<const uint8_t**>(workmem));
}

}  // extern "C"

size_t blz_pack_bounded(const void* src, void* dst, size_t dst_capacity, size_t src_size,
                        void* workmem) {
    return pack(static_cast<const uint8_t*>(src), static_cast<uint8_t*>(dst), dst_capacity,
                src_size, static_cast<const uint8_t**>(workmem));
}
