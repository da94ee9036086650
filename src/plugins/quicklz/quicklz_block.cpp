// The header helpers and build settings the plug-in exports beside the coder.
// They read the header without checking anything beyond the length bit: the
// binding checks the block's length before it calls them.
#include "quicklz.h"

namespace {

// qlz_get_setting by index: level, both record sizes, streaming buffer (none),
// two unused slots, memory-safe decompression, format version 1.5.0.
constexpr int QLZ_SETTINGS[] = {1, int(QLZ_STATE_SIZE), int(QLZ_STATE_SIZE), 0, -1, -1, 1, 1, 5, 0};

const uint8_t* bytes_of(const char* block) { return reinterpret_cast<const uint8_t*>(block); }

}  // namespace

extern "C" {

size_t qlz_size_header(const char* block) { return qlz_block::header_length(bytes_of(block)); }

size_t qlz_size_compressed(const char* block) { return qlz_block::total_length(bytes_of(block)); }

size_t qlz_size_decompressed(const char* block) {
    return qlz_block::decompressed_length(bytes_of(block));
}

int qlz_get_setting(int index) {
    // Compared as unsigned, so negative indices fall outside like large ones.
    const unsigned i = unsigned(index);
    return i < sizeof QLZ_SETTINGS / sizeof QLZ_SETTINGS[0] ? QLZ_SETTINGS[i] : -1;
}

}  // extern "C"
