// Encoding and decoding of the frame's records.
#include "format.hpp"

#include <cstring>

#include "checksum.hpp"
#include "common/bytes.hpp"
#include "filters/filters.hpp"

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
    const uint8_t flags = uint8_t(h.filter != 0 ? h.flags | FLAG_FILTERED : h.flags);
    out[4] = h.version;
    out[5] = flags;
    out[6] = uint8_t(h.codec.size());
    std::memcpy(out + HEADER_FIXED, h.codec.data(), h.codec.size());
    uint8_t* p = out + HEADER_FIXED + h.codec.size();
    store_le32(p, h.block_size);
    p += 4;
    if ((flags & FLAG_FILTERED) != 0) {
        p[0] = h.filter;
        p[1] = h.typesize;
        p += FILTER_FIELDS;
    }
    store_le32(p, header_checksum(out, size_t(p - out)));
    return size_t(p + 4 - out);
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

std::optional<std::string> check_block_header(const BlockHeader& b, const Header& h) {
    const auto n = [](uint64_t v) { return std::to_string(v); };
    const uint32_t block_size = h.block_size;
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
    // A filtered frame's compressed payload is its filter code and the
    // codec's output, at least one byte of each.
    if (b.kind == KIND_COMPRESSED && h.filter != 0 && b.stored_length < 2) {
        return "compressed length " + n(b.stored_length) + " too short for a filtered block";
    }
    return std::nullopt;
}

std::optional<std::string> check_filter_fields(uint8_t filter, uint8_t typesize) {
    if (filter == 0) return "filtered frame without a filter";
    if (filter > MAX_FILTER) {
        return "unknown filter " + std::to_string(filter) + " (this reader knows 1 to " +
               std::to_string(MAX_FILTER) + ")";
    }
    if (typesize == 0) return "typesize 0 out of range (1 to 255)";
    return std::nullopt;
}

bool block_code_allowed(uint8_t filter, uint8_t code) {
    if (!filters::is_known_code(code)) return false;
    switch (filter) {
        case 1: return code == filters::CODE_SHUFFLE;
        case 2: return code == filters::CODE_BITSHUFFLE;
        case 3: return code == filters::CODE_DELTA;
        case FILTER_AUTO: return true;
        default: return false;
    }
}

}  // namespace vorlex::frame::format
