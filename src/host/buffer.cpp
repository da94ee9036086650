// One-call compression and decompression for every codec, whichever buffer
// slots its plug-in fills. A codec that only offers compress_buffer_presized
// (it may assume the worst-case capacity) is given that capacity: directly
// when the caller's buffer is large enough, else through a temporary buffer
// whose result is copied out only if it fits.
#include <cstring>

#include <vorlex/vorlex.h>

#include "codec.hpp"

namespace {

// Plug-ins may hand pointers to memcpy, which wants them non-null even for
// zero lengths; empty buffers get a harmless stand-in.
uint8_t empty_byte;

const uint8_t* in_or_empty(const uint8_t* p) { return p != nullptr ? p : &empty_byte; }
uint8_t* out_or_empty(uint8_t* p) { return p != nullptr ? p : &empty_byte; }

bool buffers_ok(const uint8_t* out, const size_t* out_length, const uint8_t* in,
                size_t in_length) {
    if (out_length == nullptr) return false;
    if (out == nullptr && *out_length != 0) return false;
    return in != nullptr || in_length == 0;
}

}  // namespace

extern "C" {

size_t vorlex_get_max_compressed_size(vorlex_codec* codec, size_t uncompressed_length) {
    if (codec == nullptr || codec->funcs.get_max_compressed_size == nullptr) return 0;
    const size_t bound = codec->funcs.get_max_compressed_size(codec, uncompressed_length);
    // A bound that wrapped around is no bound.
    return bound < uncompressed_length ? 0 : bound;
}

vorlex_status vorlex_compress(vorlex_codec* codec, uint8_t* out, size_t* out_length,
                              const uint8_t* in, size_t in_length, vorlex_options* options) {
    if (codec == nullptr || !buffers_ok(out, out_length, in, in_length)) {
        return VORLEX_STATUS_INVALID;
    }
    if (has_filter(options)) return VORLEX_STATUS_INVALID;  // a frame feature
    if (vorlex_codec_check_options(codec, options) != VORLEX_STATUS_OK) {
        return VORLEX_STATUS_BAD_LEVEL;
    }
    const vorlex_codec_funcs& f = codec->funcs;
    in = in_or_empty(in);
    out = out_or_empty(out);
    if (f.compress_buffer != nullptr) {
        return f.compress_buffer(codec, out_length, out, in_length, in, options);
    }
    if (f.compress_buffer_presized == nullptr) return VORLEX_STATUS_UNSUPPORTED;

    const size_t bound = vorlex_get_max_compressed_size(codec, in_length);
    if (bound == 0) return VORLEX_STATUS_UNSUPPORTED;
    if (*out_length >= bound) {
        return f.compress_buffer_presized(codec, out_length, out, in_length, in, options);
    }
    auto* tmp = static_cast<uint8_t*>(vorlex_malloc(bound));
    if (tmp == nullptr) return VORLEX_STATUS_NO_MEMORY;
    size_t produced = bound;
    vorlex_status st = f.compress_buffer_presized(codec, &produced, tmp, in_length, in, options);
    if (st == VORLEX_STATUS_OK) {
        if (produced > *out_length) {
            st = VORLEX_STATUS_OUTPUT_FULL;
        } else {
            if (produced != 0) std::memcpy(out, tmp, produced);
            *out_length = produced;
        }
    }
    vorlex_free(tmp);
    return st;
}

vorlex_status vorlex_decompress(vorlex_codec* codec, uint8_t* out, size_t* out_length,
                                const uint8_t* in, size_t in_length, vorlex_options* options) {
    if (codec == nullptr || !buffers_ok(out, out_length, in, in_length)) {
        return VORLEX_STATUS_INVALID;
    }
    if (codec->funcs.decompress_buffer == nullptr) return VORLEX_STATUS_UNSUPPORTED;
    return codec->funcs.decompress_buffer(codec, out_length, out_or_empty(out), in_length,
                                          in_or_empty(in), options);
}

vorlex_status vorlex_compress_block(vorlex_codec* codec, uint8_t* out, size_t* out_length,
                                    const uint8_t* in, size_t in_length, vorlex_options* options) {
    if (codec == nullptr || !buffers_ok(out, out_length, in, in_length)) {
        return VORLEX_STATUS_INVALID;
    }
    if (codec->compress_block == nullptr) return VORLEX_STATUS_UNSUPPORTED;
    if (has_filter(options)) return VORLEX_STATUS_INVALID;  // a frame feature
    if (vorlex_codec_check_options(codec, options) != VORLEX_STATUS_OK) {
        return VORLEX_STATUS_BAD_LEVEL;
    }
    return codec->compress_block(codec, out_length, out_or_empty(out), in_length, in_or_empty(in),
                                 options);
}

vorlex_status vorlex_decompress_block(vorlex_codec* codec, uint8_t* out, size_t* out_length,
                                      const uint8_t* in, size_t in_length) {
    if (codec == nullptr || !buffers_ok(out, out_length, in, in_length)) {
        return VORLEX_STATUS_INVALID;
    }
    if (codec->decompress_block == nullptr) return VORLEX_STATUS_UNSUPPORTED;
    return codec->decompress_block(codec, out_length, out_or_empty(out), in_length,
                                   in_or_empty(in), nullptr);
}

vorlex_status vorlex_get_uncompressed_size(vorlex_codec* codec, const uint8_t* in,
                                           size_t in_length, size_t* size) {
    if (codec == nullptr || size == nullptr || (in == nullptr && in_length != 0)) {
        return VORLEX_STATUS_INVALID;
    }
    if (codec->funcs.get_uncompressed_size == nullptr) return VORLEX_STATUS_UNSUPPORTED;
    // The callback can only answer 0 for data it cannot read (input shorter
    // than a header); the reason goes through vorlex_error.
    vorlex::host::clear_reported_failure();
    const size_t recorded = codec->funcs.get_uncompressed_size(codec, in_length, in_or_empty(in));
    const vorlex_status failed = vorlex::host::reported_failure();
    if (recorded == 0 && failed != VORLEX_STATUS_OK) return failed;
    // Frames written by a stream may leave their size out.
    if (recorded == VORLEX_SIZE_UNKNOWN) return VORLEX_STATUS_UNSUPPORTED;
    *size = recorded;
    return VORLEX_STATUS_OK;
}

}  // extern "C"
