// BriefLZ safe decompressor: rebuilds an exact number of bytes from a stream
// that records no size, checking every read against the stream's length and
// every write and back-reference against the output. Bit reading is in
// brieflz_reader.h; the compressor in brieflz_compress.cpp.
#include "brieflz.h"
#include "brieflz_format.h"
#include "brieflz_reader.h"

namespace {

using namespace vorlex::brieflz;

size_t depack(const uint8_t* src, size_t src_size, uint8_t* dst, size_t depacked_size) {
    if (depacked_size == 0) return 0;
    if (src_size == 0) return BLZ_DEPACK_FAILED;

    // The first byte is stored as it is, without a flag.
    dst[0] = src[0];
    blz_depack_state s{src + 1, dst + 1, src_size - 1, depacked_size - 1, 0, 0};

    while (s.output_left != 0) {
        uint32_t is_match;
        if (!blz_read_bit(s, is_match)) return BLZ_DEPACK_FAILED;
        if (is_match == 0) {
            if (s.input_left == 0) return BLZ_DEPACK_FAILED;
            *s.output++ = *s.input++;
            --s.input_left;
            --s.output_left;
            continue;
        }
        uint64_t length_code, offset_code;
        if (!blz_read_gamma(s, length_code)) return BLZ_DEPACK_FAILED;
        if (!blz_read_gamma(s, offset_code)) return BLZ_DEPACK_FAILED;
        const uint64_t high = offset_code - OFFSET_HIGH_BIAS;
        if (high > MAX_OFFSET_HIGH) return BLZ_DEPACK_FAILED;
        if (s.input_left == 0) return BLZ_DEPACK_FAILED;  // no offset low byte
        const size_t offset = size_t(high << OFFSET_LOW_BITS) + *s.input++ + 1;
        --s.input_left;
        const size_t produced = depacked_size - s.output_left;
        // Reaching before the first byte would copy from outside dst.
        if (offset > produced) return BLZ_DEPACK_FAILED;
        const uint64_t length = length_code + LENGTH_BIAS;
        if (length > s.output_left) return BLZ_DEPACK_FAILED;
        s.output_left -= size_t(length);
        // Forward, byte by byte: an offset below the length repeats the
        // last offset bytes.
        const uint8_t* from = s.output - offset;
        for (uint64_t i = 0; i < length; ++i) *s.output++ = *from++;
    }
    return depacked_size;
}

}  // namespace

extern "C" size_t blz_depack_safe(const void* src, size_t src_size, void* dst,
                                  size_t depacked_size) {
    return depack(static_cast<const uint8_t*>(src), src_size, static_cast<uint8_t*>(dst),
                  depacked_size);
}
