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
using vorlex::bytes::load_u64;
using vorlex::bytes::store_u64;

// Literals in a row at the low end of the control word, by its low 4 bits
// (4 for 0000). Only even indices occur: bit 0 clear means a literal is due.
constexpr uint8_t LITERAL_RUN[16] = {4, 0, 1, 0, 2, 0, 1, 0, 3, 0, 1, 0, 2, 0, 1, 0};

// Wide match copies move 16 bytes per step and may write up to 15 bytes past
// the match; they are used only where the source is at least this far back
// (so every byte read is final) and that much room is left.
constexpr size_t WIDE_COPY = 16;

// The table of item starts. Positions are entered lazily, in increasing
// order: a token at d may use only item starts up to d - 3, so those are
// entered just before its lookup and the ones from d - 2 to d right after
// its copy (their bytes are final only then). Literal runs thus enter
// nothing themselves, and the table a lookup sees is the same as if every
// position had been entered as soon as its three bytes were written.
struct Table {
    qlz_decoder_state* state;
    const uint8_t* next;  // first output position not yet considered

    void enter(const uint8_t* p) { enter_word(p, load_le32(p)); }
    // Enters p given the bytes there (the low three of w count).
    void enter_word(const uint8_t* p, uint32_t w) {
        const uint32_t h = qlz_position_hash(w);
        state->positions[h] = p;
        state->counters[h] = 1;
    }
    void enter_through(const uint8_t* last) {
        for (; next <= last; ++next) enter(next);
    }
    // Before the lookup of a token at d: the item starts up to d - 3.
    void enter_sources_for(const uint8_t* d) {
        for (; size_t(d - next) >= QLZ_MIN_DISTANCE; ++next) enter(next);
    }
    // After a token at d copied from q (entered up to d - 3 already): the
    // literals at d - 2 and d - 1 not inside an earlier match, then d itself.
    // Their bytes are known without reading the fresh output back: d holds
    // what q holds (q <= d - 3), and the two bytes before d are final.
    void enter_match_start(const uint8_t* d, const uint8_t* q) {
        const uint32_t source = load_le32(q);
        if (next != d) {
            const uint32_t before = uint32_t(d[-2]) | uint32_t(d[-1]) << 8;
            if (next != d - 1) enter_word(d - 2, before | source << 16);
            enter_word(d - 1, before >> 8 | source << 8);
        }
        enter_word(d, source);
    }
};

size_t fail(qlz_decoder_state* state) {
    state->stream_counter = 0;
    return 0;
}

// 4-byte steps advancing by 3: since q <= d - 3 each step reads only bytes
// that are final or were written by the step before, so overlapping sources
// repeat as a byte-wise copy would. A step may write up to 3 bytes past
// d + len; the caller has room for them.
inline void copy_overlapping(uint8_t* d, const uint8_t* q, size_t len) {
    size_t i = 0;
    do {
        uint8_t tmp[4];
        memcpy(tmp, q + i, 4);
        memcpy(d + i, tmp, 4);
        i += 3;
    } while (i < len);
}

// Copies a match of len bytes from q to d byte-exactly, as a byte-by-byte
// copy in increasing order would. The caller has checked q <= d - 3 and
// room >= len + 4, room being the output space from d on.
inline void copy_match(uint8_t* d, const uint8_t* q, size_t len, size_t room) {
    if (size_t(d - q) >= WIDE_COPY && room >= len + WIDE_COPY) {
        // Most matches: a source at least 16 back, so every byte read is
        // final, and room for 16 bytes past any step.
        store_u64(d, load_u64(q));
        store_u64(d + 8, load_u64(q + 8));
        for (size_t i = WIDE_COPY; i < len; i += WIDE_COPY) {
            store_u64(d + i, load_u64(q + i));
            store_u64(d + i + 8, load_u64(q + i + 8));
        }
        return;
    }
    copy_overlapping(d, q, len);
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
    // The first control word must fit (this also catches a total shorter
    // than the header), so in_last4 below lies inside the block.
    if (total < header || total - header < QLZ_CW_BYTES) return fail(state);

    // Reads are checked against the block's end, writes against the output's.
    const uint8_t* in = block + header;
    const uint8_t* const in_end = block + total;
    const uint8_t* const in_last4 = in_end - 4;  // the last place 4 bytes can be read
    uint8_t* d = out;
    uint8_t* const out_end = out + n;
    // Literals before this are copied 4 at a time; from here on the tail.
    uint8_t* const out_tail = n > QLZ_DECODE_TAIL ? out_end - QLZ_DECODE_TAIL : out;
    // A token of up to 16 bytes before this passes the length check and has
    // room for a 16-byte copy step.
    uint8_t* const out_fast = n > 2 * WIDE_COPY ? out_end - 2 * WIDE_COPY : out;

    // Every entry starts as "no position", the output's end, where no item
    // starts: a token naming an entry not written in this call is refused
    // instead of followed.
    for (size_t i = 0; i < QLZ_HASH_VALUES; ++i) state->positions[i] = out_end;
    Table table{state, out};

    uint32_t cw = 1;
    for (;;) {
        if (cw == 1) {
            if (in > in_last4) return fail(state);
            cw = load_le32(in);
            in += QLZ_CW_BYTES;
        }
        // A token needs 2 or 3 bytes, a literal 1, but a valid block always
        // has 4 here: the last 4 output bytes are literals, and a short body
        // is padded.
        if (in > in_last4) return fail(state);
        const uint32_t f = load_le32(in);

        if ((cw & 1) != 0) {
            cw >>= 1;
            const uint32_t h = (f >> 4) & QLZ_HASH_MASK;
            size_t len = f & 0xF;
            if (len != 0) {
                len += 2;
                in += QLZ_SHORT_TOKEN;
            } else {
                len = (f >> 16) & 0xFF;
                in += QLZ_LONG_TOKEN;
            }
            table.enter_sources_for(d);
            const uint8_t* q = state->positions[h];
            // No entry (the output's end), or one fewer than 3 bytes back
            // (possible only after a damaged long token of length 0..2):
            // nothing valid to copy.
            if (size_t(d - out) < size_t(q - out) + QLZ_MIN_DISTANCE) return fail(state);
            if (d < out_fast && len <= WIDE_COPY) {
                // The common token: more than 32 bytes of room.
                if (size_t(d - q) >= WIDE_COPY) {
                    memcpy(d, q, WIDE_COPY);
                } else {
                    copy_overlapping(d, q, len);
                }
            } else {
                // The match must leave the last 4 output bytes to literals;
                // this also leaves room for the copy's overshoot.
                const size_t room = size_t(out_end - d);
                if (room < len + QLZ_LITERAL_END) return fail(state);
                copy_match(d, q, len, room);
            }
            table.enter_match_start(d, q);  // positions inside the match are skipped
            d += len;
            table.next = d;
        } else {
            if (d >= out_tail) break;
            if ((cw & 0xF) == 0 && cw != 0) {
                // A run of 4 to 31 literals up to the next token or the end of
                // the group. Where the 4-at-a-time steps below would all pass
                // their checks (each starts before d + run, below out_tail,
                // and reads 4 bytes ending before in + run + 4), the run is
                // copied 32 bytes at once.
                const size_t run = size_t(__builtin_ctz(cw));
                if (size_t(out_tail - d) >= run && size_t(out_end - d) >= 2 * WIDE_COPY &&
                    size_t(in_end - in) >= 2 * WIDE_COPY + 4) {
                    memcpy(d, in, 2 * WIDE_COPY);
                    d += run;
                    in += run;
                    cw >>= run;
                    continue;
                }
            }
            const size_t k = LITERAL_RUN[cw & 0xF];
            // Four bytes always fit: d < n - 11.
            memcpy(d, in, 4);
            d += k;
            in += k;
            cw >>= k;
        }
    }

    // The tail: every item is a literal, control words are skipped unread.
    while (d != out_end) {
        if (cw == 1) {
            // Skipping may step past the block's end: compare lengths only.
            if (size_t(in_end - in) < QLZ_CW_BYTES) return fail(state);
            in += QLZ_CW_BYTES;
            cw = QLZ_CW_SENTINEL;
        }
        if (in == in_end) return fail(state);
        *d++ = *in++;
        cw >>= 1;
    }
    // Bring the table up to the end, as the format's table discipline has it;
    // nothing in this block reads these entries.
    if (n >= 4) table.enter_through(out_end - 4);
    state->stream_counter = 0;
    return n;
}
