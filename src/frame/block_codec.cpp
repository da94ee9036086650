// Codec calls for single blocks, shared by the frame writer and reader.
#include "block_codec.hpp"

#include <algorithm>
#include <cstring>

#include "checksum.hpp"
#include "error.hpp"

namespace vorlex::frame {

namespace {
// Filler sits within the first header + 9 bytes of a block; 64 covers it.
constexpr size_t ZEROED_HEAD = 64;
}  // namespace

std::string codec_unavailable(const std::string& name) {
    const char* why = vorlex_get_codec_error(name.c_str());
    return "unknown codec '" + name + "'" + (why != nullptr ? std::string(" (") + why + ")" : "");
}

size_t compress_capacity(vorlex_codec* codec, size_t n) {
    const size_t bound = vorlex_get_max_compressed_size(codec, n);
    return bound != 0 ? bound : n + n / 16 + 1024;
}

size_t compress_payload(vorlex_codec* codec, bool block_form, const uint8_t* in, size_t n,
                        uint8_t* payload, size_t capacity, vorlex_options* options) {
    std::memset(payload, 0, std::min(capacity, ZEROED_HEAD));
    size_t produced = capacity;
    const vorlex_status st =
        block_form ? vorlex_compress_block(codec, payload, &produced, in, n, options)
                   : vorlex_compress(codec, payload, &produced, in, n, options);
    if (st > 0) return produced < n ? produced : 0;
    if (st != VORLEX_STATUS_FAILED && st != VORLEX_STATUS_OUTPUT_FULL) {
        // A refusal or a worst case that was too small leaves the block
        // stored; anything else is a fault of this run, not of the data.
        fail(st == VORLEX_STATUS_NO_MEMORY ? st : VORLEX_STATUS_FAILED,
             std::string(vorlex_codec_get_name(codec)) + ": " + vorlex_status_to_string(st));
    }
    return 0;
}

format::BlockHeader encode_block(vorlex_codec* codec, bool block_form, const uint8_t* in, size_t n,
                                 uint8_t* payload, size_t capacity, vorlex_options* options) {
    format::BlockHeader r;
    r.original_length = uint32_t(n);
    r.checksum = block_checksum(in, n);  // still in cache from the copy in
    r.kind = format::KIND_STORED;
    r.stored_length = uint32_t(n);
    const size_t produced = compress_payload(codec, block_form, in, n, payload, capacity, options);
    if (produced != 0) {
        r.kind = format::KIND_COMPRESSED;
        r.stored_length = uint32_t(produced);
    }
    return r;
}

void check_block(const format::BlockHeader& r, const uint8_t* out) {
    if (block_checksum(out, r.original_length) != r.checksum) {
        fail(VORLEX_STATUS_CORRUPT, "checksum mismatch");
    }
}

void decompress_payload(vorlex_codec* codec, bool block_form, const uint8_t* payload,
                        size_t length, uint8_t* out, size_t n) {
    // The exact size for the block form and brieflz, a capacity for the rest.
    size_t produced = n;
    const vorlex_status st =
        block_form ? vorlex_decompress_block(codec, out, &produced, payload, length)
                   : vorlex_decompress(codec, out, &produced, payload, length, nullptr);
    if (st == VORLEX_STATUS_NO_MEMORY) fail(st, "out of memory");
    if (st <= 0) {
        fail(VORLEX_STATUS_CORRUPT, std::string("cannot decode (") + vorlex_codec_get_name(codec) +
                                        ": " + vorlex_status_to_string(st) + ")");
    }
    if (produced != n) {
        fail(VORLEX_STATUS_CORRUPT,
             "decoded to " + std::to_string(produced) + " bytes, expected " + std::to_string(n));
    }
}

void decode_block(vorlex_codec* codec, bool block_form, const format::BlockHeader& r,
                  const uint8_t* payload, uint8_t* out) {
    if (r.kind == format::KIND_STORED) {
        std::memcpy(out, payload, r.original_length);
    } else {
        decompress_payload(codec, block_form, payload, r.stored_length, out, r.original_length);
    }
    check_block(r, out);
}

}  // namespace vorlex::frame
