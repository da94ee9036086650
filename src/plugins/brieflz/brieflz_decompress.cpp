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

// Checks what every match must satisfy and copies it. The copy runs forward,
// so an offset below the length repeats the last offset bytes.
inline bool copy_match(blz_depack_state& s, const uint8_t* dst, uint64_t length_code,
                       uint64_t offset_code, uint8_t low) {
    const uint64_t high = offset_code - OFFSET_HIGH_BIAS;
    if (high > MAX_OFFSET_HIGH) return false;
    const size_t offset = size_t(high << OFFSET_LOW_BITS) + low + 1;
    // Reaching before the first byte would copy from outside dst.
    if (offset > size_t(s.output - dst)) return false;
    const uint64_t length = length_code + LENGTH_BIAS;
    if (length > s.output_left) return false;

    uint8_t* out = s.output;
    const uint8_t* from = out - offset;
    const size_t n = size_t(length);
    if (offset >= 8 && s.output_left - n >= 8) {
        // Each 8-byte load ends before the store it feeds begins, so it sees
        // finished bytes; the last store may run up to 7 bytes past the
        // match, which the check above keeps inside dst.
        for (size_t i = 0; i < n; i += 8) store_u64(out + i, load_u64(from + i));
    } else if (offset == 1) {
        memset(out, *from, n);
    } else {
        for (size_t i = 0; i < n; ++i) out[i] = from[i];
    }
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

// A gamma code at the top of w, as (digit, continuation) pairs: the first
// continuation bit that is 0 ends it. Returns the number of pairs; a code
// that does not end within w comes out as more than its bits allow.
inline unsigned gamma_pairs(uint64_t w) {
    const uint64_t stops = ~w & 0x5555555555555555u;
    return (unsigned(__builtin_clzll(stops | 1)) + 1) / 2;
}

// The value of a gamma code of the given number of pairs at the top of w:
// a leading 1 and the digits, gathered from every other bit. Codes of up to
// 16 pairs, nearly all of them, take the shorter 32-bit gather.
inline uint64_t gamma_value(uint64_t w, unsigned pairs) {
    if (pairs <= 16) {
        uint32_t x = uint32_t(w >> 33) & 0x55555555u;
        x = (x | x >> 1) & 0x33333333u;
        x = (x | x >> 2) & 0x0F0F0F0Fu;
        x = (x | x >> 4) & 0x00FF00FFu;
        x = (x | x >> 8) & 0x0000FFFFu;
        return uint64_t(1) << pairs | x >> (16 - pairs);
    }
    uint64_t x = (w >> 1) & 0x5555555555555555u;
    x = (x | x >> 1) & 0x3333333333333333u;
    x = (x | x >> 2) & 0x0F0F0F0F0F0F0F0Fu;
    x = (x | x >> 4) & 0x00FF00FF00FF00FFu;
    x = (x | x >> 8) & 0x0000FFFF0000FFFFu;
    x = (x | x >> 16) & 0x00000000FFFFFFFFu;
    return uint64_t(1) << pairs | x >> (32 - pairs);
}

size_t depack(const uint8_t* src, size_t src_size, uint8_t* dst, size_t depacked_size) {
    if (depacked_size == 0) return 0;
    if (src_size == 0) return BLZ_DEPACK_FAILED;

    // The first byte is stored as it is, without a flag.
    dst[0] = src[0];
    blz_depack_state s{src + 1, dst + 1, src_size - 1, depacked_size - 1, 0, 0};

    while (s.output_left != 0) {
        if (s.input_left < FAST_INPUT_MARGIN || s.output_left < FAST_OUTPUT_MARGIN) {
            if (!decode_item(s, dst)) return BLZ_DEPACK_FAILED;
            continue;
        }
        if (s.tag_bits == 0) {
            s.tag = uint32_t(load_le16(s.input)) << TAG_BITS;
            s.input += TAG_BYTES;
            s.input_left -= TAG_BYTES;
            s.tag_bits = TAG_BITS;
        }
        if ((s.tag >> 31) == 0) {
            // The literal flags at the top of the tag word, up to its unread
            // end (a stop bit just below it): at most 16 bytes, within both margins.
            const unsigned run = unsigned(__builtin_clz(s.tag | 0x80000000u >> s.tag_bits));
            store_u64(s.output, load_u64(s.input));
            store_u64(s.output + 8, load_u64(s.input + 8));
            s.output += run;
            s.output_left -= run;
            s.input += run;
            s.input_left -= run;
            s.tag <<= run;
            s.tag_bits -= run;
            continue;
        }
        // A match: its flag and gamma codes lie in the unread tag bits and
        // the tag words that follow them directly, as no data byte comes
        // between the bits of one item. With four such words all 64 bits of
        // the window are valid.
        const unsigned have = s.tag_bits;
        const uint64_t w = uint64_t(s.tag) << 32 | four_tag_words(s.input) >> have;
        const uint64_t g1 = w << 1;
        const unsigned pairs1 = gamma_pairs(g1);
        const uint64_t g2 = g1 << (2 * pairs1 & 63);
        const unsigned pairs2 = gamma_pairs(g2);
        const unsigned used = 1 + 2 * pairs1 + 2 * pairs2;
        if (used > have + 3 * TAG_BITS) {
            // The window lacks the end of the fourth word, so codes reaching
            // into it (very long lengths or far offsets) take the checked
            // path, which also refuses a 32nd digit.
            if (!decode_item(s, dst)) return BLZ_DEPACK_FAILED;
            continue;
        }
        const uint64_t length_code = gamma_value(g1, pairs1);
        const uint64_t offset_code = gamma_value(g2, pairs2);
        // Whole tag words the codes ran into (past may be negative: none),
        // and what is left unread of the last one.
        const int past = int(used) - int(have);
        const unsigned words = unsigned(past + int(TAG_BITS) - 1) / TAG_BITS;
        s.tag_bits = unsigned(int(words * TAG_BITS) - past);
        s.tag = uint32_t((w << used) >> 32) & ~(0xFFFFFFFFu >> s.tag_bits);
        s.input += words * TAG_BYTES;
        const uint8_t low = *s.input++;
        s.input_left -= words * TAG_BYTES + 1;
        if (!copy_match(s, dst, length_code, offset_code, low)) return BLZ_DEPACK_FAILED;
    }
    return depacked_size;
}

}  // namespace

extern "C" size_t blz_depack_safe(const void* src, size_t src_size, void* dst,
                                  size_t depacked_size) {
    return depack(static_cast<const uint8_t*>(src), src_size, static_cast<uint8_t*>(dst),
                  depacked_size);
}
