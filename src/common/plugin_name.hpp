// The entry-point name check shared by every plug-in. The host's name is
// compared with the plug-in's like strcmp: byte by byte up to and including
// the terminating NUL, stopping at the first difference, so a shorter name is
// never read past its end and only the exact name matches.
#pragma once

#include <vorlex/plugin.h>

namespace vorlex::plugin {

inline bool name_matches(const char* requested, const char* own) {
    if (requested == nullptr) return false;
    for (;; ++requested, ++own) {
        if (*requested != *own) return false;
        if (*own == '\0') return true;
    }
}

inline bool codec_is(vorlex_codec* codec, const char* own) {
    return name_matches(vorlex_codec_get_name(codec), own);
}

}  // namespace vorlex::plugin
