// Record-by-record validation of a container.
#include "container_parser.hpp"

#include <cstdio>
#include <cstring>

#include "common/bytes.hpp"
#include "failure.hpp"

namespace vorlex::cli {

using namespace format;

namespace {

std::string hex_byte(uint8_t v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%02x", v);
    return s;
}

std::string at(uint64_t offset) { return "byte " + std::to_string(offset); }

}  // namespace

std::string block_message(uint64_t index, uint64_t offset, const std::string& what) {
    return "block " + std::to_string(index) + " at " + at(offset) + ": " + what;
}

void ContainerParser::fail_block(const std::string& what) const {
    throw Failure(block_message(blocks_, record_offset_, what));
}

void ContainerParser::fail_end(const std::string& what) const {
    throw Failure("end record at " + at(record_offset_) + ": " + what);
}

const Header& ContainerParser::read_header() {
    member_offset_ = in_.position();
    const bool first = member_offset_ == 0;
    const auto fail = [&](const std::string& what) -> void {
        throw Failure((first ? "header: " : "header at " + at(member_offset_) + ": ") + what);
    };

    uint8_t h[MAX_HEADER];
    const size_t got = in_.read(h, HEADER_FIXED);
    if (std::memcmp(h, MAGIC, got < sizeof MAGIC ? got : sizeof MAGIC) != 0) {
        if (first) throw Failure("not a vorlex container (bad magic)");
        throw Failure("trailing data at " + at(member_offset_) + " after the end record");
    }
    if (got < HEADER_FIXED) fail("truncated");
    if (h[4] != VERSION) fail("unsupported format version " + std::to_string(h[4]));
    const size_t name_length = h[6];
    if (name_length == 0 || name_length > MAX_CODEC_NAME) {
        fail("codec name length " + std::to_string(name_length) + " out of range");
    }
    const size_t rest = name_length + HEADER_TAIL;
    if (in_.read(h + HEADER_FIXED, rest) != rest) fail("truncated");
    const size_t body = HEADER_FIXED + name_length + 4;
    if (bytes::load_le32(h + body) != header_checksum(h, body)) fail("header checksum mismatch");

    // The checksum matched, so what follows is what a writer meant.
    if ((h[5] & ~KNOWN_FLAGS) != 0) fail("unknown flags " + hex_byte(h[5]));
    header_.version = h[4];
    header_.flags = h[5];
    header_.codec.assign(reinterpret_cast<const char*>(h + HEADER_FIXED), name_length);
    if (!is_valid_codec_name(header_.codec)) fail("invalid codec name");
    header_.block_size = bytes::load_le32(h + HEADER_FIXED + name_length);
    if (header_.block_size < MIN_BLOCK_SIZE || header_.block_size > MAX_BLOCK_SIZE) {
        fail("block size " + std::to_string(header_.block_size) + " out of range (" +
             std::to_string(MIN_BLOCK_SIZE) + " to " + std::to_string(MAX_BLOCK_SIZE) + ")");
    }
    blocks_ = 0;
    original_total_ = 0;
    return header_;
}

bool ContainerParser::next_block(BlockHeader& block) {
    record_offset_ = in_.position();
    uint8_t r[END_RECORD];
    static_assert(END_RECORD >= BLOCK_HEADER);
    if (in_.read(r, 1) != 1) {
        throw Failure("truncated at " + at(record_offset_) + ": the end record is missing");
    }
    if (r[0] == KIND_END) {
        if (in_.read(r + 1, END_RECORD - 1) != END_RECORD - 1) fail_end("truncated");
        end_ = decode_end(r);
        if (end_.block_count != blocks_) {
            fail_end("block count " + std::to_string(end_.block_count) + ", found " +
                     std::to_string(blocks_));
        }
        if (end_.total_length != original_total_) {
            fail_end("total size " + std::to_string(end_.total_length) + ", blocks hold " +
                     std::to_string(original_total_));
        }
        return false;
    }
    ++blocks_;
    if (r[0] != KIND_COMPRESSED && r[0] != KIND_STORED) {
        fail_block("unknown record kind " + hex_byte(r[0]));
    }
    if (in_.read(r + 1, BLOCK_HEADER - 1) != BLOCK_HEADER - 1) fail_block("truncated");
    block_ = decode_block_header(r);
    if (auto why = check_block_header(block_, header_.block_size)) fail_block(*why);
    original_total_ += block_.original_length;
    block = block_;
    return true;
}

void ContainerParser::check_payload_present(uint64_t got) const {
    if (got != block_.stored_length) {
        fail_block("truncated (payload of " + std::to_string(block_.stored_length) +
                   " bytes, " + std::to_string(got) + " present)");
    }
}

void ContainerParser::read_payload(uint8_t* out) {
    check_payload_present(in_.read(out, block_.stored_length));
}

void ContainerParser::skip_payload() { check_payload_present(in_.skip(block_.stored_length)); }

}  // namespace vorlex::cli
