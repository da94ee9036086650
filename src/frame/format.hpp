// The frame (the .vlx container): constants and the three record layouts,
// encoded and decoded here and nowhere else. docs/format.md describes the
// same bytes for people. All integers are little-endian.
//
//   header   magic "\x89VLX", version, flags, codec name, block size, checksum
//   block    kind, stored length, original length, XXH3-64 of the original,
//            payload (the codec's output, or the original bytes when stored)
//   index    kind, per block its record length and original length, the
//            member's length before the index, checksum (index.hpp)
//   end      kind, total original bytes, block count, content checksum
//
// The content checksum is the XXH3-64 of the blocks' checksums in order: it
// covers every byte through them without a second pass over the data, and it
// catches lost, repeated or reordered blocks that each pass their own check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vorlex::frame::format {

inline constexpr uint8_t MAGIC[4] = {0x89, 'V', 'L', 'X'};
inline constexpr uint8_t VERSION = 1;
// Header flags. Readers refuse unknown bits, so a writer can mark features an
// old reader must not silently skip. Bytes a flag adds to the header follow
// the block size, in flag-bit order.
//   FLAG_BLOCK_FORM: compressed payloads are in the codec's lean block form
//   (vorlex_compress_block), not its own format. Written for every codec that
//   has one; adds no header bytes.
//   FLAG_FILTERED: the blocks went through a typed-array filter before the
//   codec. Adds the filter (a vorlex_filter value, 1 to 4) and the typesize
//   (1 to 255); every compressed payload then starts with its block's
//   filter code (filters/filters.hpp), the codec's output after it.
//   FLAG_INDEXED: an index record sits between the last block record and
//   the end record (index.hpp). Adds no header bytes.
inline constexpr uint8_t FLAG_BLOCK_FORM = 0x01;
inline constexpr uint8_t FLAG_FILTERED = 0x02;
inline constexpr size_t FILTER_FIELDS = 2;
inline constexpr uint8_t FLAG_INDEXED = 0x04;
inline constexpr uint8_t KNOWN_FLAGS = FLAG_BLOCK_FORM | FLAG_FILTERED | FLAG_INDEXED;

inline constexpr size_t MAX_CODEC_NAME = 64;
// Blocks are bounded so that a reader's memory is too: every buffer is sized
// by lengths that were first checked against the header's block size.
inline constexpr uint32_t MIN_BLOCK_SIZE = 1;
inline constexpr uint32_t MAX_BLOCK_SIZE = 64u << 20;

// Header: 4 magic + 1 version + 1 flags + 1 name length + name + 4 block size
// + 4 checksum (low half of the XXH3-64 of everything before it).
inline constexpr size_t HEADER_FIXED = 4 + 1 + 1 + 1;
inline constexpr size_t HEADER_TAIL = 4 + 4;
inline constexpr size_t MAX_HEADER = HEADER_FIXED + MAX_CODEC_NAME + HEADER_TAIL + FILTER_FIELDS;
// The bytes flags add to the header (unknown bits add nothing: refused).
inline constexpr size_t flag_fields(uint8_t flags) {
    return (flags & FLAG_FILTERED) != 0 ? FILTER_FIELDS : 0;
}

enum RecordKind : uint8_t {
    KIND_COMPRESSED = 1,  // payload is the codec's output; shorter than the original
    KIND_STORED = 2,      // payload is the original bytes
    KIND_END = 3,
    KIND_INDEX = 4,  // only in frames with FLAG_INDEXED, just before the end record
};

// Block record header: kind + u32 stored length + u32 original length + u64 checksum.
inline constexpr size_t BLOCK_HEADER = 1 + 4 + 4 + 8;
// End record: kind + u64 total original bytes + u64 block count + u64 content checksum.
inline constexpr size_t END_RECORD = 1 + 8 + 8 + 8;

struct Header {
    uint8_t version = VERSION;
    uint8_t flags = 0;  // FLAG_FILTERED is set by encode_header when filter != 0
    std::string codec;
    uint32_t block_size = 0;
    uint8_t filter = 0;  // vorlex_filter; 0 (none) in unfiltered frames
    uint8_t typesize = 0;
};

struct BlockHeader {
    uint8_t kind = KIND_STORED;
    uint32_t stored_length = 0;
    uint32_t original_length = 0;
    uint64_t checksum = 0;
};

struct EndRecord {
    uint64_t total_length = 0;
    uint64_t block_count = 0;
    uint64_t content_checksum = 0;
};

// Names a codec may have in a header: the host's own rule, [a-z0-9_-]{1,64}.
bool is_valid_codec_name(const std::string& name);

// Header bytes into out (at least MAX_HEADER); returns the length used.
size_t encode_header(const Header& h, uint8_t* out);
// The checksum a header of `length` bytes must end with.
uint32_t header_checksum(const uint8_t* header, size_t length_before_checksum);

// Block record headers and end records, kind byte included.
void encode_block_header(const BlockHeader& b, uint8_t out[BLOCK_HEADER]);
BlockHeader decode_block_header(const uint8_t in[BLOCK_HEADER]);
void encode_end(const EndRecord& e, uint8_t out[END_RECORD]);
EndRecord decode_end(const uint8_t in[END_RECORD]);

// Why a block header cannot belong to the frame with this header, or nothing
// when it can. Checked before anything is allocated for the block.
std::optional<std::string> check_block_header(const BlockHeader& b, const Header& h);

// The filters a header may name (vorlex_filter values; 0, none, is never
// written: an unfiltered frame has no filter fields).
inline constexpr uint8_t MAX_FILTER = 4;
inline constexpr uint8_t FILTER_AUTO = 4;
// Why a header's filter and typesize are refused, or nothing.
std::optional<std::string> check_filter_fields(uint8_t filter, uint8_t typesize);
// Whether a block of a frame with this header filter may carry code
// (auto: any code this library knows; else only the filter's own).
bool block_code_allowed(uint8_t filter, uint8_t code);

}  // namespace vorlex::frame::format
