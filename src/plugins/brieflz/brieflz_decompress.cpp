// BriefLZ safe decompressor: rebuilds an exact number of bytes from a stream
// that records no size, checking every read against the stream's length and
// every write and back-reference against the output. Bit reading is in
// brieflz_reader.h; the compressor in brieflz_compress.cpp.
//
// Two loops share one reader state. The fast one runs while both buffers
// have a margin left, so it checks their ends once per item; it takes whole
// literal runs and whole match codes at a time. The checked one takes one
// item bit by bit: near the ends, and for match codes too long for the fast
// loop's window.
#include <string.h>

#include "brieflz.h"
#include "brieflz_format.h"
#include "brieflz_reader.h"
#include "common/bytes.hpp"

namespace {

using namespace vorlex::brieflz;
using vorlex::bytes::load_le16;
using vorlex::bytes::load_u64;
using vorlex::bytes::store_u64;

// 16 bytes as one load and one store: the same result as a byte loop when
// the two ranges are at least 16 apart.
inline void copy16(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[16];
    memcpy(chunk, from, sizeof chunk);
    memcpy(to, chunk, sizeof chunk);
}

// Copies a checked match forward, so that an offset below the length
// repeats the last offset bytes. room is the output left from out, at least
// n. Wide copies need the offset at least as wide as one load, so that each
// load ends before the store it feeds begins and sees finished bytes; their
// last store may run up to a width past the match, which room must allow.
inline void copy_forward(uint8_t* out, size_t offset, size_t n, size_t room) {
    const uint8_t* from = out - offset;
    if (offset >= 16 && room - n >= 16) {
        size_t i = 0;
        do {
            copy16(out + i, from + i);
            i += 16;
        } while (i < n);
    } else if (offset >= 8 && room - n >= 8) {
        for (size_t i = 0; i < n; i += 8) store_u64(out + i, load_u64(from + i));
    } else if (offset == 1) {
        memset(out, *from, n);
    } else {
        for (size_t i = 0; i < n; ++i) out[i] = from[i];
    }
}

// Checks what every match must satisfy and copies it.
inline bool copy_match(blz_depack_state& s, const uint8_t* dst, uint64_t length_code,
                       uint64_t offset_code, uint8_t low) {
    const uint64_t high = offset_code - OFFSET_HIGH_BIAS;
    if (high > MAX_OFFSET_HIGH) return false;
    const size_t offset = size_t(high << OFFSET_LOW_BITS) + low + 1;
    // Reaching before the first byte would copy from outside dst.
    if (offset > size_t(s.output - dst)) return false;
    const uint64_t length = length_code + LENGTH_BIAS;
    if (length > s.output_left) return false;

    const size_t n = size_t(length);
    copy_forward(s.output, offset, n, s.output_left);
    s.output += n;
    s.output_left -= n;
    return true;
}

// One item, every bit and byte checked.
bool decode_item(blz_depack_state& s, const uint8_t* dst) {
    uint32_t is_match;
    if (!blz_read_bit(s, is_match)) return false;
    if (is_match == 0) {
        if (s.input_left == 0) return false;
        *s.output++ = *s.input++;
        --s.input_left;
        --s.output_left;
        return true;
    }
    uint64_t length_code, offset_code;
    if (!blz_read_gamma(s, length_code)) return false;
    if (!blz_read_gamma(s, offset_code)) return false;
    if (offset_code - OFFSET_HIGH_BIAS > MAX_OFFSET_HIGH) return false;
    if (s.input_left == 0) return false;  // no offset low byte
    const uint8_t low = *s.input++;
    --s.input_left;
    return copy_match(s, dst, length_code, offset_code, low);
}

// The fast loop reads at most a tag word and a 16-byte literal run, or four
// tag words and a low byte, per item; it writes at most a 16-byte run, or a
// checked match.
constexpr size_t FAST_INPUT_MARGIN = 24;
constexpr size_t FAST_OUTPUT_MARGIN = 16;

// The next four tag words as one 64-bit string of bits, first bit highest.
inline uint64_t four_tag_words(const uint8_t* p) {
    return uint64_t(load_le16(p)) << 48 | uint64_t(load_le16(p + 2)) << 32 |
           uint64_t(load_le16(p + 4)) << 16 | load_le16(p + 6);
}

// Gamma codes as (digit, continuation) pairs: a continuation bit of 0 ends
// a code. In a string of codes that starts at its top bit, the continuation
// bits sit at the even positions, counted from bit 0.
constexpr uint64_t CONTINUATION_BITS = 0x5555555555555555u;

// Pairs in the code at the top of stops (the 0 continuation bits of a string
// of codes); a code that does not end within the 64 bits counts 32.
inline unsigned first_code_pairs(uint64_t stops) {
    return (unsigned(__builtin_clzll(stops | 1)) + 1) / 2;
}

// The digits of the top 32 pairs of codes, every other bit of w from its
// top: digit i of the string becomes bit 31 - i of the result.
inline uint32_t gather_digits(uint64_t w) {
    uint64_t x = (w >> 1) & 0x5555555555555555u;
    x = (x | x >> 1) & 0x3333333333333333u;
    x = (x | x >> 2) & 0x0F0F0F0F0F0F0F0Fu;
    x = (x | x >> 4) & 0x00FF00FF00FF00FFu;
    x = (x | x >> 8) & 0x0000FFFF0000FFFFu;
    x = (x | x >> 16) & 0x00000000FFFFFFFFu;
    return uint32_t(x);
}
// The same for the top 16 pairs, into bits 31 to 16.
inline uint32_t gather_16_digits(uint64_t w) {
    uint32_t x = uint32_t(w >> 33) & 0x55555555u;
    x = (x | x >> 1) & 0x33333333u;
    x = (x | x >> 2) & 0x0F0F0F0Fu;
    x = (x | x >> 4) & 0x00FF00FFu;
    x = (x | x >> 8) & 0x0000FFFFu;
    return x << 16;
}

// Items while both buffers keep their margins. Returns false on a corrupt
// item; true when a margin runs out, the output is complete, or the next
// item's codes are too long for the window (that item is left unread).
// Works on local copies of the state, which stay in registers.
bool fast_items(blz_depack_state& state, const uint8_t* dst) {
    const uint8_t* in = state.input;
    const uint8_t* const in_end = in + state.input_left;
    uint8_t* out = state.output;
    uint8_t* const out_end = out + state.output_left;
    uint32_t tag = state.tag;
    unsigned tag_bits = state.tag_bits;
    bool ok = true;

    while (size_t(in_end - in) >= FAST_INPUT_MARGIN && size_t(out_end - out) >= FAST_OUTPUT_MARGIN) {
        if (tag_bits == 0) {
            tag = uint32_t(load_le16(in)) << TAG_BITS;
            in += TAG_BYTES;
            tag_bits = TAG_BITS;
        }
        if ((tag >> 31) == 0) {
            // The literal flags at the top of the tag word, up to its unread
            // end (a stop bit just below it): at most 16 bytes, within both margins.
            const unsigned run = unsigned(__builtin_clz(tag | 0x80000000u >> tag_bits));
            copy16(out, in);
            out += run;
            in += run;
            tag <<= run;
            tag_bits -= run;
            continue;
        }
        // A match: its flag and gamma codes lie in the unread tag bits and
        // the tag words that follow them directly, as no data byte comes
        // between the bits of one item. With four such words all 64 bits of
        // the window are valid.
        const unsigned have = tag_bits;
        const uint64_t w = uint64_t(tag) << 32 | four_tag_words(in) >> have;
        // Both codes follow the flag, the second right after the first, so
        // all their digits are every other bit from there: one gather.
        const uint64_t codes = w << 1;
        const uint64_t stops = ~codes & CONTINUATION_BITS;
        const unsigned pairs1 = first_code_pairs(stops);
        const unsigned pairs2 = first_code_pairs(stops << (2 * pairs1 & 63));
        const unsigned used = 1 + 2 * pairs1 + 2 * pairs2;
        if (used > have + 3 * TAG_BITS) {
            // The window lacks the end of the fourth word, so codes reaching
            // into it (very long lengths or far offsets) take the checked
            // path, which also refuses a 32nd digit.
            break;
        }
        // Whole tag words the codes ran into (past may be negative: none),
        // and what is left unread of the last one.
        const int past = int(used) - int(have);
        const unsigned words = unsigned(past + int(TAG_BITS) - 1) / TAG_BITS;
        tag_bits = unsigned(int(words * TAG_BITS) - past);
        tag = uint32_t((w << used) >> 32) & ~(0xFFFFFFFFu >> tag_bits);
        in += words * TAG_BYTES;
        const unsigned low = *in++;

        // At most 31 pairs in all here, so every shift below is below 32.
        const uint32_t digits = pairs1 + pairs2 <= 16 ? gather_16_digits(codes) : gather_digits(codes);
        const size_t length = (size_t(1) << pairs1 | digits >> (32 - pairs1)) + LENGTH_BIAS;
        const size_t high =
            (size_t(1) << pairs2 | (digits << pairs1) >> (32 - pairs2)) - OFFSET_HIGH_BIAS;
        const size_t offset = (high << OFFSET_LOW_BITS) + low + 1;
        const size_t room = size_t(out_end - out);
        // Reaching before the first byte would copy from outside dst.
        if (high > MAX_OFFSET_HIGH || offset > size_t(out - dst) || length > room) {
            ok = false;
            break;
        }
        copy_forward(out, offset, length, room);
        out += length;
    }
    state = blz_depack_state{in, out, size_t(in_end - in), size_t(out_end - out), tag, tag_bits};
    return ok;
}

size_t depack(const uint8_t* src, size_t src_size, uint8_t* dst, size_t depacked_size) {
    if (depacked_size == 0) return 0;
    if (src_size == 0) return BLZ_DEPACK_FAILED;

    // The first byte is stored as it is, without a flag.
    dst[0] = src[0];
    blz_depack_state s{src + 1, dst + 1, src_size - 1, depacked_size - 1, 0, 0};

    while (s.output_left != 0) {
        if (!fast_items(s, dst)) return BLZ_DEPACK_FAILED;
        if (s.output_left == 0) break;
        if (!decode_item(s, dst)) return BLZ_DEPACK_FAILED;
    }
    return depacked_size;
}

}  // namespace

extern "C" size_t blz_depack_safe(const void* src, size_t src_size, void* dst,
                                  size_t depacked_size) {
    return depack(static_cast<const uint8_t*>(src), src_size, static_cast<uint8_t*>(dst),
                  depacked_size);
}
