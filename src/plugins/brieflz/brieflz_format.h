// The BriefLZ stream's fixed numbers, shared by the compressor and the
// decompressor: the tag-word layout, the gamma-code limits a reader enforces,
// the compressor's hash, and the limits the compressor keeps so that every
// stream it writes is one the decompressor accepts. No code lives here beyond
// the few constexpr helpers that state those limits once.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vorlex::brieflz {

static_assert(sizeof(size_t) == 8 && sizeof(void*) == 8,
              "the position table and the limits below assume a 64-bit platform");

// Tag words: 16 flag and gamma bits, stored little-endian, used from bit 15 down.
inline constexpr unsigned TAG_BITS = 16;
inline constexpr size_t TAG_BYTES = 2;

// A match codes length - 2 and needs at least 4 bytes: the smallest gamma value is 2.
inline constexpr size_t MIN_MATCH = 4;
inline constexpr uint64_t LENGTH_BIAS = 2;
// The offset's high part (offset - 1) >> 8 is gamma-coded with 2 added; its
// low byte follows the match's bits as a data byte.
inline constexpr uint64_t OFFSET_HIGH_BIAS = 2;
inline constexpr unsigned OFFSET_LOW_BITS = 8;

// A reader accepts at most 31 digits after a gamma value's leading 1.
inline constexpr uint64_t MAX_GAMMA = 0xFFFFFFFF;
// The largest offset high part a reader accepts, and so the farthest offset:
// 0xFFFFFE * 256 + 0xFF + 1.
inline constexpr uint64_t MAX_OFFSET_HIGH = 0xFFFFFE;
inline constexpr uint64_t MAX_OFFSET = (MAX_OFFSET_HIGH << OFFSET_LOW_BITS) + 0x100;
static_assert(MAX_OFFSET == 0xFFFFFF00);
// The longest match a reader accepts: length - 2 must be a valid gamma value.
inline constexpr uint64_t MAX_MATCH = MAX_GAMMA + LENGTH_BIAS;

// Compressor: one position-table entry per 17-bit hash of 4 input bytes.
inline constexpr unsigned HASH_BITS = 17;
inline constexpr size_t HASH_ENTRIES = size_t(1) << HASH_BITS;
inline constexpr uint32_t HASH_MULTIPLIER = 0x9E3779B1;
inline constexpr size_t WORKMEM_SIZE = HASH_ENTRIES * sizeof(const uint8_t*);
static_assert(WORKMEM_SIZE == 0x100000);
// The main loop codes a position only while at least this many bytes remain
// from it, so every hash read (4 bytes at or before the coded position) lies
// inside the input; the last 0 to 4 bytes always become literals.
inline constexpr size_t MIN_LOOKAHEAD = 5;

// The most bytes one item can add to a stream: a match of at most MAX_MATCH
// bytes and MAX_OFFSET has 1 + 62 + 48 = 111 bits, which can begin 7 new tag
// words, plus its low byte.
inline constexpr size_t MAX_ITEM_BYTES = 7 * TAG_BYTES + 1;

// The compressor's limits on what it codes. For inputs below 4 GiB neither
// ever binds; beyond that a match is cut at MAX_MATCH (the rest is coded
// as the next item) and a candidate farther back than MAX_OFFSET is not
// taken, so every stream still decodes.
constexpr size_t match_limit(size_t remaining) {
    return remaining < MAX_MATCH ? remaining : size_t(MAX_MATCH);
}
constexpr bool offset_in_reach(size_t offset) { return offset <= MAX_OFFSET; }

// Bits in the gamma code of v >= 2: two per digit after the leading 1.
constexpr unsigned gamma_bits(uint64_t v) { return 2 * unsigned(63 - __builtin_clzll(v)); }

}  // namespace vorlex::brieflz
