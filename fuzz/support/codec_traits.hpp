// What the targets may expect of each codec beyond what the host reports.
#pragma once

#include <cstring>

namespace vorlex::fuzz {

// get_max_compressed_size is a true bound for copy, quicklz and lzjb. For
// brieflz and fari it covers ordinary data only: compressing into exactly the
// bound may report VORLEX_STATUS_OUTPUT_FULL, but must never write past it.
inline bool bound_is_exact(const char* codec) {
    return std::strcmp(codec, "brieflz") != 0 && std::strcmp(codec, "fari") != 0;
}

// A zstd decompression stream limits its window (128 MiB), where a buffer
// call decodes straight into the caller's memory and needs none.
inline bool stream_limits_window(const char* codec) { return std::strcmp(codec, "zstd") == 0; }

}  // namespace vorlex::fuzz
