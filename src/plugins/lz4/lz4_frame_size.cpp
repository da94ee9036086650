// The decompressed size a sequence of LZ4 frames records: a walk over frame
// headers and block lengths that decodes nothing. Each frame records its
// content size in its header, or not (streams, the lz4 tool by default);
// a frame without one still shows it is empty when its first block is the
// end mark.
#include "common/bytes.hpp"
#include "common/library_stream.hpp"
#include "lz4_glue.h"

namespace vorlex::lz4_codec {
namespace {

// Frame layout: magic, FLG, BD, [content size 8], [dictionary id 4], header
// checksum; blocks of a 4-byte length (top bit: stored), their bytes and
// [a 4-byte checksum]; the end mark (length 0); [a 4-byte content checksum].
constexpr uint32_t SKIPPABLE_MASK = 0xFFFFFFF0u;
constexpr uint8_t FLG_VERSION_MASK = 0xC0, FLG_VERSION = 0x40;
constexpr uint8_t FLG_BLOCK_CHECKSUM = 0x10, FLG_CONTENT_SIZE = 0x08,
                  FLG_CONTENT_CHECKSUM = 0x04, FLG_DICT_ID = 0x01;
constexpr uint32_t BLOCK_STORED = 0x80000000u;
constexpr size_t MAGIC = 4, FIELD = 4, CONTENT_SIZE = 8;
constexpr plugin::Magic MAGICS[] = {
    {LZ4F_MAGICNUMBER, 0xFFFFFFFFu, 4},
    {LZ4F_MAGIC_SKIPPABLE_START, SKIPPABLE_MASK, 4},
};

struct Walk {
    const uint8_t* p;
    const uint8_t* end;
    bool take(size_t n) {
        if (size_t(end - p) < n) return false;
        p += n;
        return true;
    }
};

}  // namespace

size_t uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t* compressed) {
    Walk w{compressed, compressed + compressed_length};
    size_t total = 0;
    bool unknown = false;
    bool after_frame = false;
    while (w.p != w.end) {
        // Bytes after a frame that cannot start another are trailing data.
        if (after_frame && !plugin::may_start_frame(w.p, size_t(w.end - w.p), MAGICS, 2)) {
            vorlex_error(VORLEX_STATUS_TRAILING_DATA);
            return 0;
        }
        after_frame = true;
        if (size_t(w.end - w.p) < MAGIC + FIELD) return 0;
        const uint32_t magic = bytes::load_le32(w.p);
        if ((magic & SKIPPABLE_MASK) == LZ4F_MAGIC_SKIPPABLE_START) {
            const uint32_t skip = bytes::load_le32(w.p + MAGIC);
            if (!w.take(MAGIC + FIELD) || !w.take(skip)) return 0;
            continue;
        }
        if (magic != LZ4F_MAGICNUMBER) return 0;
        const uint8_t flg = w.p[MAGIC];
        if ((flg & FLG_VERSION_MASK) != FLG_VERSION) return 0;
        const uint8_t* sized = w.p + MAGIC + 2;
        size_t header = MAGIC + 2 + 1;
        if ((flg & FLG_CONTENT_SIZE) != 0) header += CONTENT_SIZE;
        if ((flg & FLG_DICT_ID) != 0) header += FIELD;
        if (size_t(w.end - w.p) < header) return 0;
        const bool has_size = (flg & FLG_CONTENT_SIZE) != 0;
        const uint64_t content = has_size ? bytes::load_le64(sized) : 0;
        w.p += header;
        bool any_block = false;
        for (;;) {
            if (size_t(w.end - w.p) < FIELD) return 0;
            const uint32_t block = bytes::load_le32(w.p);
            w.p += FIELD;
            if (block == 0) break;
            any_block = true;
            if (!w.take(block & ~BLOCK_STORED)) return 0;
            if ((flg & FLG_BLOCK_CHECKSUM) != 0 && !w.take(FIELD)) return 0;
        }
        if ((flg & FLG_CONTENT_CHECKSUM) != 0 && !w.take(FIELD)) return 0;
        if (!has_size && any_block) unknown = true;
        // Sizes that sum past what a buffer can hold are no usable size.
        if (content >= VORLEX_SIZE_UNKNOWN - total) return 0;
        total += size_t(content);
    }
    return unknown ? VORLEX_SIZE_UNKNOWN : total;
}

}  // namespace vorlex::lz4_codec
