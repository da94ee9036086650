// The QuickLZ level-1 decompressor. A match token carries no offset, only the
// hash of its source's first three bytes, so the decoder keeps the same table
// as the compressor: every item start enters the output position under its
// hash, and a token takes the latest entry for its hash. Every read is checked
// against the block's recorded length and every write against the recorded
// decompressed length. The compressor lives in quicklz_compress.cpp.
#include <assert.h>
#include <string.h>

#include "quicklz.h"

namespace {

using vorlex::bytes::load_le32;

// Literals in a row at the low end of the control word, by its low 4 bits
// (4 for 0000). Only even indices occur: bit 0 clear means a literal is due.
constexpr uint8_t LITERAL_RUN[16] = {4, 0, 1, 0, 2, 0, 1, 0, 3, 0, 1, 0, 2, 0, 1, 0};

struct Table {
    qlz_decoder_state* state;
    const uint8_t* out;

    void enter(const uint8_t* p) {
        const uint32_t h = qlz_position_hash(load_le32(p));
        state->positions[h] = p;
        state->counters[h] = 1;
    }
    // Enters every output position from next up to and including upto;
    // returns the first position not entered.
    size_t enter_range(size_t next, size_t upto) {
        for (; next <= upto; ++next) enter(out + next);
        return next;
    }
};

size_t fail(qlz_decoder_state* state) {
    state->stream_counter = 0;
    return 0;
}

}  // namespace

extern "C" size_t qlz_decompress(const char* source, void* destination, qlz_decoder_state* state) {
    assert(source != NULL && destination != NULL && state != NULL);
    const auto* block = reinterpret_cast<const uint8_t*>(source);
    auto* out = static_cast<uint8_t*>(destination);
    const size_t header = qlz_block::header_length(block);
    const size_t total = qlz_block::total_length(block);
    const size_t n = qlz_block::decompressed_length(block);

    if (!qlz_block::is_compressed(block)) {
        // A stored block claiming more bytes than it holds would be copied
        // from past its end: refuse it.
        if (total < header || total - header < n) return fail(state);
        if (n != 0) memcpy(out, block + header, n);
        state->stream_counter = 0;
        return n;
    }

    // Every entry starts as "no position": a token naming an entry not
    // written in this call is refused instead of followed.
    for (size_t i = 0; i < QLZ_HASH_VALUES; ++i) state->positions[i] = NULL;
    Table table{state, out};

    size_t s = header;
    size_t d = 0;
    size_t next_entry = 0;  // first output position not yet considered for the table
    uint32_t cw = 1;

    for (;;) {
        if (cw == 1) {
            if (total < s || total - s < QLZ_CW_BYTES) return fail(state);
            cw = load_le32(block + s);
            s += QLZ_CW_BYTES;
        }
        // A token needs 2 or 3 bytes, a literal 1, but a valid block always
        // has 4 here: the last 4 output bytes are literals, and a short body
        // is padded.
        if (total < s || total - s < 4) return fail(state);
        const uint32_t f = load_le32(block + s);

        if ((cw & 1) != 0) {
            cw >>= 1;
            const uint32_t h = (f >> 4) & QLZ_HASH_MASK;
            size_t len;
            if ((f & 0xF) != 0) {
                len = (f & 0xF) + 2;
                s += QLZ_SHORT_TOKEN;
            } else {
                len = (f >> 16) & 0xFF;
                s += QLZ_LONG_TOKEN;
            }
            const uint8_t* q = state->positions[h];
            // No entry, or one fewer than 3 bytes back (possible only after a
            // damaged long token of length 0..2): nothing valid to copy.
            if (q == NULL || size_t((out + d) - q) < QLZ_MIN_DISTANCE) return fail(state);
            // The match must leave the last 4 output bytes to literals; this
            // also leaves room for the copy's overshoot below.
            if (n < d || n - d < len + QLZ_LITERAL_END) return fail(state);
            // Copy in 4-byte steps advancing by 3: since q <= d - 3 each step
            // reads only bytes that are final or were written by the step
            // before, so overlapping sources repeat as a byte-wise copy would.
            // A step may write up to 3 bytes past d + len, all below n.
            const uint8_t* from = q;
            uint8_t* to = out + d;
            size_t i = 0;
            do {
                uint8_t tmp[4];
                memcpy(tmp, from + i, 4);
                memcpy(to + i, tmp, 4);
                i += 3;
            } while (i < len);
            // Enter the positions up to the match start; those inside it are
            // skipped.
            table.enter_range(next_entry, d);
            d += len;
            next_entry = d;
        } else {
            if (d + QLZ_DECODE_TAIL >= n) break;
            const size_t k = LITERAL_RUN[cw & 0xF];
            // Four bytes always fit: d < n - 11.
            memcpy(out + d, block + s, 4);
            d += k;
            s += k;
            cw >>= k;
            if (d >= 3) next_entry = table.enter_range(next_entry, d - 3);
        }
    }

    // The tail: every item is a literal, control words are skipped unread.
    while (d < n) {
        if (cw == 1) {
            s += QLZ_CW_BYTES;
            cw = QLZ_CW_SENTINEL;
        }
        if (s >= total) return fail(state);
        out[d++] = block[s++];
        cw >>= 1;
    }
    // Bring the table up to the end, as a following call with history would
    // need; it no longer affects this block.
    if (n >= 4) table.enter_range(next_entry, n - 4);
    state->stream_counter = 0;
    return n;
}
