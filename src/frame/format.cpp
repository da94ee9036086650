// Encoding and decoding of the frame's records.
#include "format.hpp"

#include <cstring>

#include "checksum.hpp"
#include "common/bytes.hpp"

namespace vorlex::frame::format {

using namespace vorlex::bytes;

bool is_valid_codec_name(const std::string& name) {
    if (name.empty() || name.size() > MAX_CODEC_NAME) return false;
    for (const char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

uint32_t header_checksum(const uint8_t* header, size_t length) {
    return uint32_t(block_checksum(header, length));
}

size_t encode_header(const Header& h, uint8_t* out) {
    std::memcpy(out, MAGIC, sizeof MAGIC);
    out[4] = h.version;
    out[5] = h.flags;
    out[6] = uint8_t(h.codec.size());
    std::memcpy(out + HEADER_FIXED, h.codec.data(), h.codec.size());
    uint8_t* p = out + HEADER_FIXED + h.codec.size();
    store_le32(p, h.block_size);
    store_le32(p + 4, header_checksum(out, size_t(p + 4 - out)));
    return size_t(p + 8 - out);
}

void encode_block_header(const BlockHeader& b, uint8_t out[BLOCK_HEADER]) {
    out[0] = b.kind;
    store_le32(out + 1, b.stored_length);
    store_le32(out + 5, b.original_length);
    store_le64(out + 9, b.checksum);
}

BlockHeader decode_block_header(const uint8_t in[BLOCK_HEADER]) {
    return {in[0], load_le32(in + 1), load_le32(in + 5), load_le64(in + 9)};
}

void encode_end(const EndRecord& e, uint8_t out[END_RECORD]) {
    out[0] = KIND_END;
    store_le64(out + 1, e.total_length);
    store_le64(out + 9, e.block_count);
    store_le64(out + 17, e.content_checksum);
}

EndRecord decode_end(const uint8_t in[END_RECORD]) {
    return {load_le64(in + 1), load_le64(in + 9), load_le64(in + 17)};
}

std::optional<std::string> check_block_header(const BlockHeader& b, uint32_t block_size) {
    const auto n = [](uint64_t v) { return std::to_string(v); };
    if (b.original_length == 0) return "empty block";
    if (b.original_length > block_size) {
        return "original length " + n(b.original_length) + " exceeds the block size " +
               n(block_size);
    }
    if (b.kind == KIND_STORED && b.stored_length != b.original_length) {
        return "stored block of " + n(b.stored_length) + " bytes claims " +
               n(b.original_length) + " original bytes";
    }
    // A block that does not shrink is stored, so a compressed payload is
    // always shorter than its original: no payload buffer ever outgrows the
    // block size.
    if (b.kind == KIND_COMPRESSED &&
        (b.stored_length == 0 || b.stored_length >= b.original_length)) {
        return "compressed length " + n(b.stored_length) + " out of range for " +
               n(b.original_length) + " original bytes";
    }
    return std::nullopt;
}

}  // namespace vorlex::frame::format
