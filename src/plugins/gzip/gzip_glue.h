// What the gzip plug-in's files share: zlib on the host's memory, the stream
// record, and the coder functions the binding puts in its table.
// gzip_compress.cpp and gzip_decompress.cpp hold one direction each.
#pragma once

#include <limits.h>
#include <zlib.h>

#include <vorlex/plugin.h>

namespace vorlex::gzip_codec {

// zlib's levels as gzip's -1 to -9 (and 0, stored blocks); 6 by default.
constexpr int MIN_LEVEL = 0;
constexpr int MAX_LEVEL = 9;
constexpr int DEFAULT_LEVEL = 6;

// windowBits 15 plus 16: a gzip (RFC 1952) wrapper, not zlib's; -15: raw
// deflate (RFC 1951), the block form.
constexpr int GZIP_WINDOW_BITS = 15 + 16;
constexpr int RAW_WINDOW_BITS = -15;
constexpr int MEM_LEVEL = 8;  // zlib's and gzip's default

// zlib counts in uInt: larger buffers go through in pieces of this size.
constexpr size_t MAX_PIECE = UINT_MAX;

inline void host_memory(z_stream& z) {
    z.zalloc = [](voidpf, uInt items, uInt size) -> voidpf {
        const size_t n = size_t(items) * size;  // both are 32-bit: no overflow in size_t
        return vorlex_malloc(n);
    };
    z.zfree = [](voidpf, voidpf block) { vorlex_free(block); };
    z.opaque = nullptr;
}

struct GzipStream {
    vorlex_stream base;
    z_stream z;
    bool ready;        // deflateInit2/inflateInit2 succeeded
    bool finished;     // compress: the member is complete
    bool at_boundary;   // decompress: between members
    bool after_member;  // decompress: a member ended; the next bytes are checked first
    uint8_t peek[2];    // decompress: those bytes, held back until both are there
    size_t peek_have;
};

// This thread's coders (gzip_contexts.cpp): for each direction one for gzip
// members and one for raw deflate, made on first use and reset for each
// call; a deflater is made again when the level changes. get_* returns the
// thread's coder, or, when the thread has no record, `own` initialised
// (put_* ends it); NULL with the failure in *status when zlib cannot set up.
struct GzipContexts;
GzipContexts* thread_contexts();
GzipStream* get_deflater(GzipContexts* c, GzipStream& own, int level, int window_bits,
                         vorlex_status* status);
void put_deflater(GzipContexts* c, GzipStream* g);
GzipStream* get_inflater(GzipContexts* c, GzipStream& own, int window_bits,
                         vorlex_status* status);
void put_inflater(GzipContexts* c, GzipStream* g);
// Every thread's coders (the host calls it; see common/thread_cache.hpp).
void release_contexts();

// Compression (gzip_compress.cpp).
vorlex_status compress_init(GzipStream& g, const vorlex_options* options);
vorlex_status deflate_init(GzipStream& g, int level, int window_bits);
size_t max_compressed_size(vorlex_codec*, size_t uncompressed_length);
vorlex_status compress_buffer(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                              size_t uncompressed_length, const uint8_t* uncompressed,
                              vorlex_options* options);
vorlex_status compress_step(GzipStream& g, vorlex_operation op);

// The block form: raw deflate, no gzip header, CRC-32 or length (the
// container records the size and checks the bytes itself).
vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options);
vorlex_status decompress_block(vorlex_codec*, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options*);

// Decompression (gzip_decompress.cpp).
vorlex_status decompress_init(GzipStream& g);
vorlex_status inflate_init(GzipStream& g, int window_bits);
vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*);
vorlex_status decompress_step(GzipStream& g, vorlex_operation op);

}  // namespace vorlex::gzip_codec
