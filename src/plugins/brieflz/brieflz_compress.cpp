// BriefLZ compressor: a greedy LZ77 matcher with one position-table candidate
// per position, writing each item as flag and gamma bits in 16-bit tag words
// interleaved with its data byte. The stream's layout and limits are in
// brieflz_format.h; decoding is in brieflz_decompress.cpp.
#include "brieflz.h"
#include "brieflz_format.h"
#include "common/bytes.hpp"

namespace {

using namespace vorlex::brieflz;
using vorlex::bytes::load_le32;
using vorlex::bytes::load_le64;
using vorlex::bytes::store_le16;

// Table index of the 4 bytes at p: the top 17 bits of their little-endian
// value times the multiplier.
inline uint32_t hash4(const uint8_t* p) {
    return (load_le32(p) * HASH_MULTIPLIER) >> (32 - HASH_BITS);
}

// The writer. A tag word's 2 bytes are reserved where the stream ends when
// its first bit is written, and stored once it is full (or at the end); data
// bytes go straight to the end of the stream meanwhile.
struct blz_pack_state {
    uint8_t* output;
    uint8_t* tag_slot;
    uint32_t tag;        // low 16 bits are what gets stored
    uint32_t free_bits;  // 0 to 16
    // Items that may still be written without looking at the capacity: each
    // adds at most MAX_ITEM_BYTES.
    size_t unchecked_items;
    uint8_t* dst;
    size_t capacity;
};

// Whether an item of bits flag and gamma bits and one data byte still fits,
// counted exactly once the end of the capacity is within one item's reach.
// The stream only ever grows at its end, so once one item does not fit, the
// stream never would.
[[gnu::noinline]] bool item_fits_near_end(blz_pack_state& s, unsigned bits) {
    const size_t left = s.capacity - size_t(s.output - s.dst);
    if (left >= MAX_ITEM_BYTES) {
        s.unchecked_items = left / MAX_ITEM_BYTES - 1;
        return true;
    }
    const unsigned new_tags = bits <= s.free_bits ? 0 : (bits - s.free_bits + TAG_BITS - 1) / TAG_BITS;
    return left >= new_tags * TAG_BYTES + 1;
}
inline bool item_fits(blz_pack_state& s, unsigned bits) {
    if (s.unchecked_items != 0) {
        --s.unchecked_items;
        return true;
    }
    return item_fits_near_end(s, bits);
}

// Stores the full tag word and reserves the next one at the end of the stream.
inline void next_tag_word(blz_pack_state& s) {
    store_le16(s.tag_slot, uint16_t(s.tag));
    s.tag_slot = s.output;
    s.output += TAG_BYTES;
    s.tag = 0;
    s.free_bits = TAG_BITS;
}

// Appends the low n bits of bits (n <= 63), most significant first. A new
// tag word is reserved only when a further bit needs it, so a full last word
// is never followed by an empty one.
inline void put_bits(blz_pack_state& s, uint64_t bits, unsigned n) {
    while (n > s.free_bits) {
        n -= s.free_bits;
        s.tag = (s.tag << s.free_bits) | uint32_t(bits >> n);
        bits &= (uint64_t(1) << n) - 1;
        next_tag_word(s);
    }
    s.tag = (s.tag << n) | uint32_t(bits);
    s.free_bits -= n;
}

inline bool write_literal(blz_pack_state& s, uint8_t byte) {
    if (!item_fits(s, 1)) return false;
    if (s.free_bits == 0) next_tag_word(s);
    s.tag <<= 1;
    --s.free_bits;
    *s.output++ = byte;
    return true;
}

// Gamma codes are written as their digits after the leading 1, each followed
// by a continuation bit that is 0 after the last digit. spread_bits puts the
// bits of x at every other position (bit i to bit 2i), by table for up to 16
// bits; the digits then go to the odd positions, the continuation bits to
// the even ones.
struct SpreadTable {
    uint16_t of[256];
};
constexpr SpreadTable make_spread_table() {
    SpreadTable t{};
    for (unsigned x = 0; x < 256; ++x) {
        for (unsigned i = 0; i < 8; ++i) t.of[x] = uint16_t(t.of[x] | ((x >> i) & 1) << (2 * i));
    }
    return t;
}
constexpr SpreadTable SPREAD = make_spread_table();

inline uint64_t spread_bits(uint64_t x, unsigned bits) {
    if (bits <= 16) return SPREAD.of[x & 0xFF] | uint32_t(SPREAD.of[(x >> 8) & 0xFF]) << 16;
    x = (x | x << 16) & 0x0000FFFF0000FFFFu;
    x = (x | x << 8) & 0x00FF00FF00FF00FFu;
    x = (x | x << 4) & 0x0F0F0F0F0F0F0F0Fu;
    x = (x | x << 2) & 0x3333333333333333u;
    x = (x | x << 1) & 0x5555555555555555u;
    return x;
}

constexpr uint64_t EVEN_BITS = 0x5555555555555555u;

// The gamma code of 2 <= v <= MAX_GAMMA, in its 2 * digits low bits.
inline uint64_t gamma_code(uint64_t v) {
    const unsigned digits = unsigned(63 - __builtin_clzll(v));
    const uint64_t low = v & ((uint64_t(1) << digits) - 1);
    return spread_bits(low, digits) << 1 | (EVEN_BITS & ((uint64_t(1) << (2 * digits)) - 2));
}

// A match's flag and its two gamma codes. When they fit in 63 bits, which is
// nearly always, both codes' digits are spread in one go.
inline void put_match_bits(blz_pack_state& s, uint64_t length_code, uint64_t offset_code) {
    const unsigned digits1 = unsigned(63 - __builtin_clzll(length_code));
    const unsigned digits2 = unsigned(63 - __builtin_clzll(offset_code));
    const unsigned digits = digits1 + digits2;
    if (digits <= 31) {
        const uint64_t all = (length_code & ((uint64_t(1) << digits1) - 1)) << digits2 |
                             (offset_code & ((uint64_t(1) << digits2) - 1));
        // Continuation bits: 1 but after each code's last digit.
        const uint64_t more = EVEN_BITS & ((uint64_t(1) << (2 * digits)) - 2) &
                              ~(uint64_t(1) << (2 * digits2));
        put_bits(s, uint64_t(1) << (2 * digits) | spread_bits(all, digits) << 1 | more,
                 1 + 2 * digits);
    } else {
        put_bits(s, uint64_t(1) << (2 * digits1) | gamma_code(length_code), 1 + 2 * digits1);
        put_bits(s, gamma_code(offset_code), 2 * digits2);
    }
}

// Bytes from 0 up to limit that are equal at a and b, 8 at a time and then
// one by one. The first difference in a little-endian word is its lowest set byte.
inline size_t match_length(const uint8_t* a, const uint8_t* b, size_t limit) {
    size_t n = 0;
    while (limit - n >= 8) {
        const uint64_t diff = load_le64(a + n) ^ load_le64(b + n);
        if (diff != 0) return n + unsigned(__builtin_ctzll(diff)) / 8;
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

// Enters the positions a match covers after its first, from up to to (at
// least 3 of them), into the table in increasing order. Later positions
// overwrite earlier ones with the same hash, so entering the last one again
// changes nothing: the last one to four go in as a fixed group of four, the
// surplus clamped to the last position, without a data-dependent branch.
// Every read ends by to + 2, inside the input (the caller guarantees
// MIN_LOOKAHEAD bytes from to).
inline void insert_covered(const uint8_t** table, const uint8_t* from, const uint8_t* to) {
    const uint8_t* p = from;
    for (; to - p > 4; p += 4) {
        const uint64_t w = load_le64(p);
        table[(uint32_t(w) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p;
        table[(uint32_t(w >> 8) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 1;
        table[(uint32_t(w >> 16) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 2;
        table[(uint32_t(w >> 24) * HASH_MULTIPLIER) >> (32 - HASH_BITS)] = p + 3;
    }
    const size_t last = size_t(to - p) - 1;
    for (size_t i = 0; i < 4; ++i) {
        // A select, not a branch: min(i, last) as a mask.
        const size_t beyond = size_t(0) - size_t(i > last);
        const uint8_t* const q = p + ((i & ~beyond) | (last & beyond));
        table[hash4(q)] = q;
    }
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
    blz_pack_state s{dst + 1 + TAG_BYTES, dst + 1, 0, TAG_BITS, 0, dst, capacity};
    const uint8_t* input = src + 1;
    size_t remaining = src_size - 1;
    if (remaining >= MIN_LOOKAHEAD) {
        table[hash4(src)] = src;
        uint32_t hash = hash4(input);
        const uint8_t* candidate = table[hash];
        for (;;) {
            // Each position enters the table right after its own lookup, so
            // the lookup finds only earlier positions; the positions a match
            // covers follow it. (Entering them a step later, before the next
            // lookup, gives the same table: nothing reads it in between.)
            table[hash] = input;
            // The next position's lookup, in case this one is a literal:
            // issued now, it overlaps the work on this one. Its 4 bytes lie
            // inside the input, as at least 5 remain.
            const uint32_t next_hash = hash4(input + 1);
            const uint8_t* const next_candidate = table[next_hash];

            // A candidate is taken on 4 equal bytes.
            if (candidate == nullptr || load_le32(candidate) != load_le32(input) ||
                !offset_in_reach(size_t(input - candidate))) {
                if (!write_literal(s, *input)) return BLZ_PACK_NO_ROOM;
                ++input;
                if (--remaining < MIN_LOOKAHEAD) break;
                hash = next_hash;
                candidate = next_candidate;
                continue;
            }
            // May overlap input, and may run to the very end of the data.
            const size_t length =
                MIN_MATCH + match_length(input + MIN_MATCH, candidate + MIN_MATCH,
                                         match_limit(remaining) - MIN_MATCH);
            const size_t back = size_t(input - candidate) - 1;
            const uint64_t length_code = length - LENGTH_BIAS;
            const uint64_t offset_code = (back >> OFFSET_LOW_BITS) + OFFSET_HIGH_BIAS;
            if (!item_fits(s, 1 + gamma_bits(length_code) + gamma_bits(offset_code))) {
                return BLZ_PACK_NO_ROOM;
            }
            put_match_bits(s, length_code, offset_code);
            *s.output++ = uint8_t(back);
            remaining -= length;
            // Only a lookup still to come reads these entries, and one comes
            // only while MIN_LOOKAHEAD bytes remain; then every 4-byte read
            // below stays inside the input.
            if (remaining < MIN_LOOKAHEAD) {
                input += length;
                break;
            }
            insert_covered(table, input + 1, input + length);
            input += length;
            hash = hash4(input);
            candidate = table[hash];
        }
    }
    // Too few bytes left to hash: the last 0 to 4 are literals.
    for (; remaining != 0; --remaining) {
        if (!write_literal(s, *input++)) return BLZ_PACK_NO_ROOM;
    }

    // The used bits move to the top of the last tag word; the rest is zero.
    store_le16(s.tag_slot, uint16_t(s.tag << s.free_bits));
    return size_t(s.output - dst);
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
