// The FastARI coder: an adaptive binary arithmetic coder that codes each
// byte as eight bits (least significant first), each with a probability
// looked up by the 17 bits coded before it. Whole buffers, one call each; no
// state between calls and no allocation: the caller lends the probability
// table (fari::TABLE_ENTRIES 16-bit entries), which every call resets.
// Calls with distinct tables may run concurrently.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vorlex/plugin.h>

extern "C" {

// The 17-bit context mask, 0x0001ffff, exported read-only for users of the
// table layout.
VORLEX_EXPORT extern const uint32_t mask;

// Encodes in[0..in_len) into out. out must have room for the whole stream,
// which has no other bound than 33 * in_len + 4 (5 for an empty input); a
// caller that can only offer less uses fa_compress_bounded. *out_len is not
// read; on success it receives the stream length.
// Returns 0, or 1 when table is NULL (nothing written, *out_len untouched).
VORLEX_EXPORT int fa_compress(const uint8_t* in, uint8_t* out, size_t in_len, size_t* out_len,
                              uint16_t* table);

// Decodes the stream in[0..in_len) into out. *out_len: capacity on entry,
// bytes decoded on result 0. The stream carries no length: decoding ends at
// the stream's own end mark, at the first fetch that would need the last
// input byte (so a cut-short stream yields a prefix of its data), or, for
// input shorter than four bytes, at once with 0 bytes. Corruption is not
// detected, but nothing outside in[0..in_len) or out[0..capacity) is touched.
// Returns 0; 1 when table is NULL (*out_len untouched); 2 when the capacity
// ran out first (*out_len untouched, out[0..capacity) written).
VORLEX_EXPORT int fa_decompress(const uint8_t* in, uint8_t* out, size_t in_len, size_t* out_len,
                                uint16_t* table);

// fa_compress for a buffer of known capacity: writes nothing at or past
// out[capacity]. The bytes of a stream that fits are those of fa_compress.
// Returns 0 (stream length in *out_len), 1 when table is NULL, or 2 when the
// stream does not fit; *out_len is untouched on failure. Used by the binding,
// not exported.
int fa_compress_bounded(const uint8_t* in, uint8_t* out, size_t in_len, size_t capacity,
                        size_t* out_len, uint16_t* table);

}  // extern "C"
