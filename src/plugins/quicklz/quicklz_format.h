// The QuickLZ level-1 block layout, shared by compressor, decompressor and
// binding: header fields, limits, the control-word scheme and the position
// hash through which a match token names its source. Header-only.
//
// A block is a header and a body. Header byte 0 holds the flags: bit 0 says
// the body is compressed (else stored verbatim), bit 1 that the header is the
// 9-byte form (u32 total length at 1, u32 decompressed length at 5) rather
// than the 3-byte one (one byte each). Bits 2-7 are written as 0x44 (level 1,
// no streaming buffer) and never read. A compressed body is a run of groups:
// a little-endian u32 control word, then up to 31 items, bit k of the word
// telling whether item k+1 is a literal byte (0) or a match token (1); bit 31
// is a sentinel, so a reader shifting the word right once per item sees
// exactly 1 when the group is done.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/bytes.hpp"

// Hash values, and so entries in both coders' tables.
constexpr size_t QLZ_HASH_VALUES = 4096;
constexpr uint32_t QLZ_HASH_MASK = 0xFFF;
// Size of either state record, as qlz_get_setting reports it.
constexpr size_t QLZ_STATE_SIZE = 36872;

constexpr uint8_t QLZ_FLAG_COMPRESSED = 0x01;
constexpr uint8_t QLZ_FLAG_LONG_HEADER = 0x02;
constexpr uint8_t QLZ_FLAGS_WRITTEN = 0x44;  // level 1, bit 6 set
constexpr size_t QLZ_SHORT_HEADER = 3;
constexpr size_t QLZ_LONG_HEADER = 9;
// Inputs this long or longer get the 9-byte header. Below it every block,
// stored or compressed, stays within 255 bytes, the short header's reach.
constexpr size_t QLZ_LONG_HEADER_FROM = 216;

// A compressed body is at least this long; shorter encodings are padded.
constexpr size_t QLZ_MIN_BODY = 9;
// The block is never longer than its input plus this (give-up test, control
// words, minimum body), which also keeps every length within a u32.
constexpr size_t QLZ_BOUND_EXTRA = 400;
constexpr size_t QLZ_MAX_INPUT = 0xFFFFFFFFu - QLZ_BOUND_EXTRA;  // 4294966895

constexpr uint32_t QLZ_CW_SENTINEL = 0x80000000u;
constexpr size_t QLZ_CW_BYTES = 4;

// Match tokens: u16 hash << 4 | (L - 2) for L up to 17; hash << 4 and then
// the byte L for longer ones.
constexpr size_t QLZ_MIN_MATCH = 3;
constexpr size_t QLZ_MAX_SHORT_MATCH = 17;
constexpr size_t QLZ_MAX_MATCH = 255;
constexpr size_t QLZ_SHORT_TOKEN = 2;
constexpr size_t QLZ_LONG_TOKEN = 3;
// A source 1 or 2 bytes back cannot be named: the decoder's table only holds
// item starts at least this far back.
constexpr size_t QLZ_MIN_DISTANCE = 3;
// The last 4 output bytes are always literals: no match reaches them.
constexpr size_t QLZ_LITERAL_END = 4;
// The compressor looks for matches only while this many bytes follow the
// current one; from there on it writes literals.
constexpr size_t QLZ_SEARCH_MARGIN = 10;
// The decoder switches to plain literals once a literal is due at
// n - QLZ_DECODE_TAIL or later (one byte sooner than the compressor stops).
constexpr size_t QLZ_DECODE_TAIL = 11;

// Only the first three bytes of w (little-endian) count, so the hash of a
// position is known once three bytes there are.
inline uint32_t qlz_position_hash(uint32_t w) { return ((w >> 12) ^ w) & QLZ_HASH_MASK; }

namespace qlz_block {

inline bool is_long(const uint8_t* block) { return (block[0] & QLZ_FLAG_LONG_HEADER) != 0; }
inline bool is_compressed(const uint8_t* block) { return (block[0] & QLZ_FLAG_COMPRESSED) != 0; }
inline size_t header_length(const uint8_t* block) {
    return is_long(block) ? QLZ_LONG_HEADER : QLZ_SHORT_HEADER;
}
// Total block length, header included.
inline size_t total_length(const uint8_t* block) {
    return is_long(block) ? vorlex::bytes::load_le32(block + 1) : block[1];
}
inline size_t decompressed_length(const uint8_t* block) {
    return is_long(block) ? vorlex::bytes::load_le32(block + 5) : block[2];
}

}  // namespace qlz_block
