// gzip decompression through zlib's inflate of any sequence of members, as
// gzip -d reads them (names, comments and extra fields are skipped). zlib
// keeps a 32 KiB window, so a stream's memory is bounded whatever the input.
// Bytes after a member that do not start another (gzip's "trailing
// garbage") end the data with VORLEX_STATUS_TRAILING_DATA, everything before
// them decoded and the input left at them: the caller decides, as gzip
// decodes and warns. Bytes that start with the gzip magic are another member.
#include "common/library_stream.hpp"
#include "gzip_glue.h"

namespace vorlex::gzip_codec {

vorlex_status decompress_init(GzipStream& g) { return inflate_init(g, GZIP_WINDOW_BITS); }

vorlex_status inflate_init(GzipStream& g, int window_bits) {
    host_memory(g.z);
    g.at_boundary = true;
    g.after_member = false;
    g.peek_have = 0;
    const int r = inflateInit2(&g.z, window_bits);
    g.ready = r == Z_OK;
    if (r == Z_OK) return VORLEX_STATUS_OK;
    return vorlex_error(r == Z_MEM_ERROR ? VORLEX_STATUS_NO_MEMORY : VORLEX_STATUS_FAILED);
}

namespace {

constexpr uint8_t GZIP_MAGIC[2] = {0x1f, 0x8b};

// After a member: the next two bytes, held back from zlib until they show
// another member's magic (then given to it) or something else (the end).
// Returns false at trailing garbage.
bool check_next_member(GzipStream& g, vorlex_stream* s, bool& fed) {
    fed = false;
    while (g.peek_have < 2 && s->in_avail != 0) {
        g.peek[g.peek_have++] = s->in_next[0];
        plugin::advance(s, 1, 0);
        if (g.peek[g.peek_have - 1] != GZIP_MAGIC[g.peek_have - 1]) return false;
    }
    if (g.peek_have < 2) return true;  // waiting for the second byte
    uint8_t none;
    g.z.next_in = g.peek;
    g.z.avail_in = 2;
    g.z.next_out = &none;
    g.z.avail_out = 0;
    const int r = inflate(&g.z, Z_NO_FLUSH);
    if ((r != Z_OK && r != Z_BUF_ERROR) || g.z.avail_in != 0) return false;
    g.peek_have = 0;
    g.after_member = g.at_boundary = false;
    fed = true;
    return true;
}

}  // namespace

vorlex_status decompress_step(GzipStream& g, vorlex_operation op) {
    vorlex_stream* s = &g.base;
    for (;;) {
        if (g.after_member) {
            bool fed = false;
            if (!check_next_member(g, s, fed)) return vorlex_error(VORLEX_STATUS_TRAILING_DATA);
            if (!fed) break;  // out of input
        }
        const size_t in_piece = s->in_avail < MAX_PIECE ? s->in_avail : MAX_PIECE;
        const size_t out_piece = s->out_avail < MAX_PIECE ? s->out_avail : MAX_PIECE;
        g.z.next_in = const_cast<Bytef*>(s->in_next);
        g.z.avail_in = uInt(in_piece);
        g.z.next_out = plugin::out_or_dummy(s);
        g.z.avail_out = uInt(out_piece);
        const int r = inflate(&g.z, Z_NO_FLUSH);
        const size_t consumed = in_piece - g.z.avail_in, produced = out_piece - g.z.avail_out;
        plugin::advance(s, consumed, produced);
        if (r == Z_STREAM_END) {
            // The member and its CRC-32 and length check out; another may follow.
            g.at_boundary = true;
            g.after_member = true;
            if (inflateReset(&g.z) != Z_OK) return vorlex_error(VORLEX_STATUS_FAILED);
            continue;
        }
        if (r == Z_MEM_ERROR) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
        if (r != Z_OK && r != Z_BUF_ERROR) return vorlex_error(VORLEX_STATUS_FAILED);
        if (consumed == 0 && produced == 0) break;
        g.at_boundary = false;
    }
    // A magic's first byte alone is a member cut short.
    return plugin::decode_outcome(s, op, g.at_boundary && g.peek_have == 0);
}

vorlex_status decompress_buffer(vorlex_codec*, size_t* decompressed_length,
                                uint8_t* decompressed, size_t compressed_length,
                                const uint8_t* compressed, vorlex_options*) {
    GzipContexts* c = thread_contexts();
    GzipStream own{};
    vorlex_status st = VORLEX_STATUS_OK;
    GzipStream* g = get_inflater(c, own, GZIP_WINDOW_BITS, &st);
    if (g == nullptr) return st;
    st = plugin::run_whole_buffer(
        g->base, decompressed_length, decompressed, compressed_length, compressed,
        [g](vorlex_stream*, vorlex_operation op) { return decompress_step(*g, op); });
    put_inflater(c, g);
    return st;
}

// One inflate call that must end the deflate stream exactly where both the
// input and the expected size end.
vorlex_status decompress_block(vorlex_codec*, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options*) {
    const size_t expected = *decompressed_length;
    if (compressed_length > MAX_PIECE || expected > MAX_PIECE) {
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
    GzipContexts* c = thread_contexts();
    GzipStream own{};
    vorlex_status st = VORLEX_STATUS_OK;
    GzipStream* g = get_inflater(c, own, RAW_WINDOW_BITS, &st);
    if (g == nullptr) return st;
    g->z.next_in = const_cast<Bytef*>(compressed);
    g->z.avail_in = uInt(compressed_length);
    g->z.next_out = decompressed;
    g->z.avail_out = uInt(expected);
    const int r = inflate(&g->z, Z_FINISH);
    const bool whole = r == Z_STREAM_END && g->z.avail_in == 0 && g->z.avail_out == 0;
    put_inflater(c, g);
    if (r == Z_MEM_ERROR) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
    if (!whole) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

}  // namespace vorlex::gzip_codec
