// The host's record behind a vorlex_codec handle, and the registry that owns
// the records. Shared by the loader, the buffer API and the streams; nothing
// here is visible outside libvorlex.
#pragma once

#include <string>

#include <vorlex/vorlex.h>

struct vorlex_codec {
    std::string name;
    std::string path;          // file the plug-in was loaded from
    vorlex_codec_funcs funcs{};
    // Compression levels, declared by the plug-in (vorlex_codec_set_levels).
    bool has_levels = false;
    int level_min = 0;
    int level_max = 0;
    int level_default = 0;
    // The block size of its frames by default (vorlex_codec_set_frame_block_size); 0: 1 MiB.
    size_t frame_block_size = 0;
    // The codec's block form (vorlex_codec_set_block_form): both or neither.
    vorlex_buffer_func compress_block = nullptr;
    vorlex_buffer_func decompress_block = nullptr;
    // Frees what the plug-in keeps between calls (vorlex_codec_set_release).
    vorlex_release_func release = nullptr;
};

namespace vorlex::host {

// Names we look up: [a-z0-9_-]{1,64}. Anything else never reaches the file
// system, so a name cannot climb out of a plug-in folder or pick a hidden file.
bool is_valid_codec_name(const char* name);

// Calls the release function of every loaded plug-in that registered one.
void release_plugin_memory();

// The last failure a plug-in on this thread passed to vorlex_error since the
// last clear_reported_failure(), or VORLEX_STATUS_OK.
void clear_reported_failure();
vorlex_status reported_failure();

}  // namespace vorlex::host

// Whether options ask for a filter: a frame feature, which raw codec calls
// (vorlex_compress, compressing streams) refuse as VORLEX_STATUS_INVALID.
inline bool has_filter(const vorlex_options* options) {
    int filter = 0;
    vorlex_options_get_filter(options, &filter, nullptr);
    return filter != 0;
}
