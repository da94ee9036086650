// lz4's block form: one LZ4 block, as LZ4_compress_* write it and
// LZ4_decompress_safe reads it, with no frame around it. The container
// that holds it records the sizes and checks every block with its own
// checksum, which the LZ4 frame would only repeat (a header, block lengths
// and an XXH32 of the content), and a block decoded in one call needs none
// of the frame's linked 64 KiB pieces. Each block is independent, and its
// state is fully initialised for it (the *_extState functions), so the
// output depends on the input alone, never on the blocks before it.
#include <limits.h>

#include "lz4_glue.h"

namespace vorlex::lz4_codec {

namespace {

// liblz4 counts in int.
constexpr size_t MAX_BLOCK = LZ4_MAX_INPUT_SIZE;

int clamp_capacity(size_t capacity) { return capacity > INT_MAX ? INT_MAX : int(capacity); }

}  // namespace

vorlex_status compress_block(vorlex_codec*, size_t* compressed_length, uint8_t* compressed,
                             size_t uncompressed_length, const uint8_t* uncompressed,
                             vorlex_options* options) {
    if (uncompressed_length > MAX_BLOCK) return vorlex_error(VORLEX_STATUS_FAILED);
    const int level = vorlex_options_get_level(options, DEFAULT_LEVEL);
    const auto* src = reinterpret_cast<const char*>(uncompressed);
    auto* dst = reinterpret_cast<char*>(compressed);
    const int n = int(uncompressed_length);
    const int capacity = clamp_capacity(*compressed_length);
    Lz4Contexts* c = thread_contexts();
    int produced;
    if (level < LZ4HC_CLEVEL_MIN) {
        LZ4_stream_t* state = get_fast_state(c);
        if (state == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
        produced = LZ4_compress_fast_extState(state, src, dst, n, capacity, 1);
        put_fast_state(c, state);
    } else {
        LZ4_streamHC_t* state = get_hc_state(c);
        if (state == nullptr) return vorlex_error(VORLEX_STATUS_NO_MEMORY);
        produced = LZ4_compress_HC_extStateHC(state, src, dst, n, capacity, level);
        put_hc_state(c, state);
    }
    // 0: it did not fit (an empty input makes one byte).
    if (produced <= 0) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    *compressed_length = size_t(produced);
    return VORLEX_STATUS_OK;
}

vorlex_status decompress_block(vorlex_codec*, size_t* decompressed_length,
                               uint8_t* decompressed, size_t compressed_length,
                               const uint8_t* compressed, vorlex_options*) {
    const size_t expected = *decompressed_length;
    if (compressed_length > size_t(INT_MAX) || expected > MAX_BLOCK) {
        return vorlex_error(VORLEX_STATUS_FAILED);
    }
    const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(compressed),
                                      reinterpret_cast<char*>(decompressed),
                                      int(compressed_length), int(expected));
    if (n < 0 || size_t(n) != expected) return vorlex_error(VORLEX_STATUS_FAILED);
    return VORLEX_STATUS_OK;
}

}  // namespace vorlex::lz4_codec
