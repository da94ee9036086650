// The BriefLZ coder's interface: the four exported functions that make up the
// plug-in's algorithm API, and the capacity-bounded compressor that the codec
// binding uses (hidden, not part of the exported API). Stream layout and
// limits live in brieflz_format.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vorlex/plugin.h>

// Returned by blz_depack_safe on any failure: no buffer can hold that many bytes.
#define BLZ_DEPACK_FAILED (~(size_t)0)

extern "C" {

// Bytes of work memory blz_pack needs: always 1 MiB (0x100000), whatever the
// length. The block must be aligned for pointers.
VORLEX_EXPORT size_t blz_workmem_size(size_t length);

// length + length / 8 + 64, wrapping in 64 bits. Enough room for ordinary
// data, but NOT a true bound: inputs of several MiB whose 4-byte repeats are
// found megabytes back can need more (a far offset costs more bits than the
// literals it replaces). Capacity-checked compression: blz_pack_bounded.
VORLEX_EXPORT size_t blz_max_packed_size(size_t length);

// Compresses src[0..src_size) into one BriefLZ stream at dst and returns its
// length (0 for an empty input). Never checks the destination: the caller
// provides room for the whole stream, which blz_max_packed_size(src_size)
// usually is (see there). workmem: blz_workmem_size bytes, clobbered; nothing
// of it carries over between calls. Reentrant, allocates nothing.
VORLEX_EXPORT size_t blz_pack(const void* src, void* dst, size_t src_size, void* workmem);

// Rebuilds exactly depacked_size bytes from the stream src[0..src_size) into
// dst and returns depacked_size (0 when it is 0), or BLZ_DEPACK_FAILED when
// the stream is corrupt, truncated or describes another size. Never reads or
// writes outside the two buffers; after a failure dst holds a prefix of what
// the stream describes, and bytes after that prefix are unspecified.
// Trailing stream bytes are ignored. Reentrant, allocates nothing.
VORLEX_EXPORT size_t blz_depack_safe(const void* src, size_t src_size, void* dst,
                                     size_t depacked_size);

}  // extern "C"

// Returned by blz_pack_bounded when the stream does not fit.
#define BLZ_PACK_NO_ROOM (~(size_t)0)

// blz_pack that writes at most dst_capacity bytes: the same stream when it
// fits, else BLZ_PACK_NO_ROOM, with dst[0..dst_capacity) holding garbage.
// Hidden: the binding's entry to the compressor.
size_t blz_pack_bounded(const void* src, void* dst, size_t dst_capacity, size_t src_size,
                        void* workmem);
