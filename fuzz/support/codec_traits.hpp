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

// libzstd decodes whole frames in one pass and frames fed in pieces through a
// window of limited size; the two paths disagree on some damaged or extreme
// frames (see decompress.cpp).
inline bool stream_and_buffer_paths_differ(const char* codec) {
    return std::strcmp(codec, "zstd") == 0;
}

}  // namespace vorlex::fuzz
