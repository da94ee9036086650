// The QuickLZ level-1 block coder as the plug-in exports it: one input buffer
// becomes one self-describing block (header with both lengths, then a stored
// or compressed body) and back. The callers provide the state records, so no
// function here allocates or keeps anything between calls; all are reentrant.
// The block layout itself is described in quicklz_format.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vorlex/plugin.h>

#include "quicklz_format.h"

#ifdef __cplusplus
extern "C" {
#endif

// The compressor's work record, 36,872 bytes. Per hash value it remembers the
// last input position examined and the four bytes found there. Only the
// positions are reset per call: an entry whose position is 0 is empty, and
// its word is never looked at.
typedef struct qlz_encoder_entry {
    uint32_t word;      // the 4 bytes at position, little-endian
    uint32_t position;  // offset from the input start; 0: empty
} qlz_encoder_entry;

typedef struct qlz_encoder_state {
    size_t stream_counter;  // 0 after every call; kept for the record's layout
    qlz_encoder_entry entries[QLZ_HASH_VALUES];
    unsigned char counters[QLZ_HASH_VALUES];  // unused at level 1
} qlz_encoder_state;

// The decompressor's work record, 36,872 bytes: per hash value the latest
// item start written to the output (the output's end: none yet in this call).
typedef struct qlz_decoder_state {
    const unsigned char* positions[QLZ_HASH_VALUES];
    unsigned char counters[QLZ_HASH_VALUES];  // 1 once the entry was written; never read
    size_t stream_counter;                    // 0 after every call
} qlz_decoder_state;

// Encodes size bytes of source as one block into destination and returns the
// block's total length, header included. Returns 0, writing nothing, when size
// is 0 or above QLZ_MAX_INPUT. destination must have room for
// size + QLZ_BOUND_EXTRA bytes; the block never needs more. Filler bytes that
// pad a very short body to its minimum length keep what destination held.
VORLEX_EXPORT size_t qlz_compress(const void* source, char* destination, size_t size,
                                  qlz_encoder_state* state);

// Decodes the block at source into destination and returns its decompressed
// length, or 0 when the block is damaged (destination then holds a partial
// result). The lengths come from the header alone: the caller guarantees that
// source holds qlz_size_compressed(source) bytes and destination
// qlz_size_decompressed(source). Never reads or writes outside those.
VORLEX_EXPORT size_t qlz_decompress(const char* source, void* destination,
                                    qlz_decoder_state* state);

// Header fields. block must hold the whole header (qlz_size_header bytes, of
// which the first byte tells the length); nothing else is validated.
VORLEX_EXPORT size_t qlz_size_header(const char* block);
VORLEX_EXPORT size_t qlz_size_compressed(const char* block);
VORLEX_EXPORT size_t qlz_size_decompressed(const char* block);

// The coder's build settings by index (see QLZ_SETTINGS); -1 for any other.
VORLEX_EXPORT int qlz_get_setting(int index);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(qlz_encoder_state) == QLZ_STATE_SIZE, "record layout is part of the ABI");
static_assert(sizeof(qlz_decoder_state) == QLZ_STATE_SIZE, "record layout is part of the ABI");
#endif
