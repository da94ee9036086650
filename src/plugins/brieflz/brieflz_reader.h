// The BriefLZ decoder's checked bit reader: flag and gamma bits come from
// 16-bit tag words fetched from the stream whenever the current one is used
// up, and every fetch is checked against the bytes left. Kept apart from the
// decoding loop so the gamma limits can be exercised on their own.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "brieflz_format.h"
#include "common/bytes.hpp"

namespace vorlex::brieflz {

struct blz_depack_state {
    const uint8_t* input;  // next unread stream byte
    uint8_t* output;       // next destination byte
    size_t input_left;
    size_t output_left;
    // The current tag word, shifted so that bit 31 is the next bit to be
    // read; the bits below its tag_bits unread ones are always zero.
    uint32_t tag;
    uint32_t tag_bits;
};

// Reads one bit; false when a tag word is needed and fewer than 2 bytes are left.
inline bool blz_read_bit(blz_depack_state& s, uint32_t& bit) {
    if (s.tag_bits == 0) {
        if (s.input_left < TAG_BYTES) return false;
        s.tag = uint32_t(bytes::load_le16(s.input)) << TAG_BITS;
        s.input += TAG_BYTES;
        s.input_left -= TAG_BYTES;
        s.tag_bits = TAG_BITS - 1;
    } else {
        --s.tag_bits;
    }
    bit = s.tag >> 31;
    s.tag <<= 1;
    return true;
}

// Reads a gamma value (at least 2, at most MAX_GAMMA); false when the bits run
// out or a 32nd digit after the leading 1 arrives. That digit is refused as
// soon as it is read, before anything further: a value past 32 bits could
// otherwise wrap into a small, plausible length.
inline bool blz_read_gamma(blz_depack_state& s, uint64_t& value) {
    uint64_t v = 1;
    for (;;) {
        uint32_t digit, more;
        if (!blz_read_bit(s, digit)) return false;
        if (v > (MAX_GAMMA >> 1)) return false;
        v = 2 * v + digit;
        if (!blz_read_bit(s, more)) return false;
        if (more == 0) break;
    }
    value = v;
    return true;
}

}  // namespace vorlex::brieflz
