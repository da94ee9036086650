// Layout of an LZJB stream, shared by the compressor and the decompressor.
//
// A stream is a run of groups: a copy-map byte, then up to eight items, the
// map's bit k (least significant first) telling whether item k is a literal
// byte (clear) or a match (set). A match is a big-endian 16-bit word:
// bits 15..10 hold length - 3, bits 9..0 the distance back into the output.
#pragma once

#include <stddef.h>

namespace vorlex::lzjb {

constexpr unsigned ITEMS_PER_MAP = 8;
constexpr size_t MATCH_BYTES = 2;
constexpr size_t MATCH_MIN = 3;
constexpr size_t MATCH_MAX = MATCH_MIN + 63;
constexpr unsigned LENGTH_SHIFT = 10;    // in the match word
constexpr unsigned OFFSET_MASK = 0x3FF;  // in the match word; also "mod 1024"
constexpr size_t OFFSET_MAX = OFFSET_MASK;

// Compressor: the match table, indexed by a 10-bit hash of three bytes.
constexpr size_t TABLE_ENTRIES = 1024;
constexpr unsigned HASH_MASK = TABLE_ENTRIES - 1;

// Positions with fewer than this many input bytes left are coded as literals
// without a search, so a match (at most MATCH_MAX long) never reads past the
// input's end.
constexpr size_t SEARCH_TAIL = MATCH_MAX;

// Room checked once per group: its copy-map byte and eight matches. A group
// starts only while more than this many bytes of capacity remain.
constexpr size_t GROUP_RESERVE = 1 + ITEMS_PER_MAP * MATCH_BYTES;

// Worst-case stream length for n input bytes. Input without matches is the
// worst case (a match codes at least three bytes in two): its g = ceil(n / 8)
// groups take nine bytes each but the last, which begins at 9 * (g - 1) and
// needs more than GROUP_RESERVE bytes of room there, so 9 * g + 9 bytes of
// capacity are needed, never more than n + g + 16 and exactly that for
// n = 8k + 1. The result wraps only for n above 8/9 of SIZE_MAX, and is then
// smaller than n, which the host reads as "no bound".
constexpr size_t lzjb_bound(size_t n) { return n + n / 8 + 16 + (n % 8 != 0 ? 1 : 0); }

}  // namespace vorlex::lzjb
