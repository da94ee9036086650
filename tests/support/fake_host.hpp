// A stand-in for libvorlex that binding tests link instead of the real host:
// it counts vorlex_error calls, allocations and frees, and can make the k-th
// allocation fail, so a test can check exactly which host calls a callback
// made. The codec record holds only a name.
#pragma once

#include <cstddef>
#include <vorlex/plugin.h>

struct vorlex_codec {
    const char* name;
};

namespace fake_host {

struct Counters {
    int errors = 0;                  // vorlex_error calls
    vorlex_status last_error = 0;    // its last argument
    int mallocs = 0;                 // vorlex_malloc calls
    int frees = 0;                   // vorlex_free calls, NULL included
    int null_frees = 0;              // vorlex_free(NULL) calls
    int stream_inits = 0;
    int stream_destroys = 0;
    long live = 0;                   // blocks allocated and not freed
    int fail_malloc_at = 0;          // fail the k-th vorlex_malloc (1-based); 0: never
};

Counters& counters();
void reset();

// Calls the plug-in's entry point for name with a table pre-filled with a
// pattern (so untouched slots stay recognisable); returns its status.
vorlex_status init(const char* name, vorlex_codec_funcs& funcs);

// The pattern init() writes before calling the entry point.
vorlex_codec_funcs untouched_table();

// A codec record named name, valid for the life of the process.
vorlex_codec* codec(const char* name);

}  // namespace fake_host
