// The real host as the targets use it: plug-ins come from this build's
// plug-in folder (instrumented like the target itself) unless the caller's
// VORLEX_PLUGIN_PATH says otherwise, and a codec a target was built for must
// load.
#pragma once

#include <cstdio>
#include <cstdlib>

#include <vorlex/vorlex.h>

namespace vorlex::fuzz {

inline vorlex_codec* codec(const char* name) {
    static const bool path_set = [] {
        setenv("VORLEX_PLUGIN_PATH", VORLEX_FUZZ_PLUGIN_DIR, 0);
        return true;
    }();
    (void)path_set;
    vorlex_codec* c = vorlex_get_codec(name);
    if (c == nullptr) {
        std::fprintf(stderr, "fuzz: codec '%s' does not load: %s\n", name,
                     vorlex_get_codec_error(name));
        std::abort();
    }
    return c;
}

// The statuses a buffer call may return; anything else is a broken contract.
inline bool is_known_status(vorlex_status st) {
    switch (st) {
    case VORLEX_STATUS_OK:
    case VORLEX_STATUS_FAILED:
    case VORLEX_STATUS_NO_MEMORY:
    case VORLEX_STATUS_OUTPUT_FULL:
    case VORLEX_STATUS_INPUT_TRUNCATED:
    case VORLEX_STATUS_UNSUPPORTED:
    case VORLEX_STATUS_TRAILING_DATA:  // lz4, zstd, gzip: bytes after the last frame or member
    case VORLEX_STATUS_MEMORY_LIMIT:   // zstd streams: a window beyond the stream's limit
        return true;
    default:
        return false;
    }
}

}  // namespace vorlex::fuzz
