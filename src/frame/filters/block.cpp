// Filtered blocks: the filter stage around the codec.
#include "block.hpp"

#include <cstdio>
#include <string>

#include "../block_codec.hpp"
#include "../checksum.hpp"
#include "../error.hpp"
#include "filters.hpp"

namespace vorlex::frame::filters {

namespace {

uint8_t code_of(uint8_t filter) {
    switch (filter) {
        case 1: return CODE_SHUFFLE;
        case 2: return CODE_BITSHUFFLE;
        case 3: return CODE_DELTA;
        default: return CODE_NONE;
    }
}

}  // namespace

format::BlockHeader encode_filtered_block(vorlex_codec* codec, bool block_form, Setting setting,
                                          const uint8_t* in, size_t n, uint8_t* payload,
                                          size_t capacity, vorlex_options* options, Work& work) {
    format::BlockHeader r;
    r.original_length = uint32_t(n);
    r.checksum = block_checksum(in, n);
    r.kind = format::KIND_STORED;
    r.stored_length = uint32_t(n);

    const uint8_t code = setting.filter == format::FILTER_AUTO
                             ? choose_code(codec, block_form, setting.typesize, in, n, options, work)
                             : code_of(setting.filter);
    const uint8_t* filtered = in;
    if (code != CODE_NONE) {
        work.a.reserve(n);
        work.b.reserve(n);
        filtered = apply(code, setting.typesize, in, n, work.a.data(), work.b.data());
    }
    const size_t produced = compress_payload(codec, block_form, filtered, n, payload + CODE_BYTES,
                                             capacity - CODE_BYTES, options);
    if (produced != 0 && produced + CODE_BYTES < n) {
        payload[0] = code;
        r.kind = format::KIND_COMPRESSED;
        r.stored_length = uint32_t(produced + CODE_BYTES);
    }
    return r;
}

void decode_filtered_block(vorlex_codec* codec, bool block_form, Setting setting,
                           const format::BlockHeader& r, const uint8_t* payload, uint8_t* out,
                           uint8_t* temp) {
    if (r.kind == format::KIND_STORED) {
        decode_block(codec, block_form, r, payload, out);
        return;
    }
    const uint8_t code = payload[0];
    if (!format::block_code_allowed(setting.filter, code)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", code);
        fail(is_known_code(code) ? VORLEX_STATUS_CORRUPT : VORLEX_STATUS_UNSUPPORTED,
             std::string("unknown filter code ") + hex + " for filter " +
                 std::to_string(setting.filter));
    }
    const size_t n = r.original_length;
    decompress_payload(codec, block_form, payload + CODE_BYTES, r.stored_length - CODE_BYTES,
                       decode_target(code, out, temp), n);
    undo(code, setting.typesize, out, n, temp);
    check_block(r, out);
}

}  // namespace vorlex::frame::filters
