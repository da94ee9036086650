// The LZJB coder: whole-buffer LZ77 with 8-item copy maps, 2-byte matches of
// 3..66 bytes and 10-bit offsets. The stream has no header, sizes or end
// marker, so the decompressor must be given a capacity for the output. Both
// functions are exported by the plug-in next to its entry point.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <vorlex/plugin.h>

#ifdef __cplusplus
extern "C" {
#endif

// Results of lzjb_decompress.
enum {
    LZJB_DECODED = 0,     // the whole stream was decoded
    LZJB_BAD_OFFSET = 1,  // a match reaches before the output start, or has offset 0
    LZJB_OVERRUN = 2      // output capacity used up with stream left, or stream cut inside an item
};

// Compresses src[0..src_len) into dst[0..dst_capacity). Returns the stream's
// length, or 0 when it did not fit (dst then holds a partial stream) or when
// src_len is 0. Never writes at or past dst + dst_capacity; a capacity of
// lzjb_bound(src_len) always suffices for a non-empty input.
// The stream depends on the address of src modulo 1024 (the match table
// records low address bits, and an unused entry names the latest 1024-aligned
// input position): the same bytes at another address may compress otherwise,
// and every such stream decodes to them. Reentrant; allocates nothing, keeps
// a 2 KiB table in its frame.
VORLEX_EXPORT size_t lzjb_compress(const uint8_t* src, uint8_t* dst, size_t src_len,
                                   size_t dst_capacity);

// Decodes src[0..src_len) into dst. *dst_len holds the capacity of dst on
// entry and, only when the result is LZJB_DECODED, the number of bytes
// produced (0 for an empty stream) on return; otherwise it is left alone and
// dst holds what was decoded before the failure. Never reads outside src,
// never writes outside dst[0..capacity). A match is copied whole or not at
// all; a stream cut between items decodes to a shorter output.
// Reentrant; allocates nothing.
VORLEX_EXPORT int lzjb_decompress(const uint8_t* src, uint8_t* dst, size_t src_len,
                                  size_t* dst_len);

#ifdef __cplusplus
}
#endif
