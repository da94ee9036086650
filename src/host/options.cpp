// Compression options and the levels plug-ins declare. An options object is
// a plain record the application fills; the host checks it against a codec
// before any compress callback sees it, so plug-ins read a valid level.
#include <cstring>
#include <new>

#include <vorlex/vorlex.h>

#include "codec.hpp"

struct vorlex_options {
    bool has_level = false;
    int level = 0;
    int filter = VORLEX_FILTER_NONE;  // a frame feature: raw codec calls refuse it
    unsigned typesize = 0;
    uint64_t memory_limit = 0;  // 0: the codec's default
};

namespace {

constexpr const char* FILTER_NAMES[] = {"none", "shuffle", "bitshuffle", "delta", "auto"};
constexpr unsigned MAX_TYPESIZE = 255;

}  // namespace

extern "C" {

vorlex_options* vorlex_options_new(void) {
    void* mem = vorlex_malloc(sizeof(vorlex_options));
    return mem != nullptr ? new (mem) vorlex_options() : nullptr;
}

void vorlex_options_free(vorlex_options* options) {
    if (options == nullptr) return;
    options->~vorlex_options();
    vorlex_free(options);
}

vorlex_status vorlex_options_set_level(vorlex_options* options, int level) {
    if (options == nullptr) return VORLEX_STATUS_INVALID;
    options->has_level = true;
    options->level = level;
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_options_clear_level(vorlex_options* options) {
    if (options == nullptr) return VORLEX_STATUS_INVALID;
    options->has_level = false;
    options->level = 0;
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_options_set_filter(vorlex_options* options, int filter, unsigned typesize) {
    if (options == nullptr || filter < VORLEX_FILTER_NONE || filter > VORLEX_FILTER_AUTO) {
        return VORLEX_STATUS_INVALID;
    }
    if (filter != VORLEX_FILTER_NONE && (typesize == 0 || typesize > MAX_TYPESIZE)) {
        return VORLEX_STATUS_INVALID;
    }
    options->filter = filter;
    options->typesize = filter != VORLEX_FILTER_NONE ? typesize : 0;
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_options_get_filter(const vorlex_options* options, int* filter,
                                        unsigned* typesize) {
    if (filter != nullptr) *filter = options != nullptr ? options->filter : VORLEX_FILTER_NONE;
    if (typesize != nullptr) *typesize = options != nullptr ? options->typesize : 0;
    return VORLEX_STATUS_OK;
}

const char* vorlex_filter_name(int filter) {
    if (filter < VORLEX_FILTER_NONE || filter > VORLEX_FILTER_AUTO) return nullptr;
    return FILTER_NAMES[filter];
}

int vorlex_filter_from_name(const char* name) {
    if (name == nullptr) return -1;
    for (int f = VORLEX_FILTER_NONE; f <= VORLEX_FILTER_AUTO; ++f) {
        if (std::strcmp(name, FILTER_NAMES[f]) == 0) return f;
    }
    return -1;
}

vorlex_status vorlex_options_set_memory_limit(vorlex_options* options, uint64_t bytes) {
    if (options == nullptr) return VORLEX_STATUS_INVALID;
    options->memory_limit = bytes;
    return VORLEX_STATUS_OK;
}

uint64_t vorlex_options_get_memory_limit(const vorlex_options* options, uint64_t default_limit) {
    return options != nullptr && options->memory_limit != 0 ? options->memory_limit
                                                            : default_limit;
}

int vorlex_options_get_level(const vorlex_options* options, int default_level) {
    return options != nullptr && options->has_level ? options->level : default_level;
}

void vorlex_codec_set_levels(vorlex_codec* codec, int min_level, int max_level,
                             int default_level) {
    // A plug-in that declares an empty range, or a default outside it, has no
    // usable levels: treat it as declaring none rather than trust either bound.
    const bool sane = min_level <= max_level && default_level >= min_level &&
                      default_level <= max_level;
    codec->has_levels = sane;
    codec->level_min = sane ? min_level : 0;
    codec->level_max = sane ? max_level : 0;
    codec->level_default = sane ? default_level : 0;
}

void vorlex_codec_set_frame_block_size(vorlex_codec* codec, size_t block_size) {
    if (codec == nullptr) return;
    const bool sane = block_size >= 1 && block_size <= VORLEX_FRAME_MAX_BLOCK_SIZE;
    codec->frame_block_size = sane ? block_size : 0;
}

size_t vorlex_frame_default_block_size(vorlex_codec* codec) {
    if (codec == nullptr) return 0;
    return codec->frame_block_size != 0 ? codec->frame_block_size
                                        : VORLEX_FRAME_DEFAULT_BLOCK_SIZE;
}

vorlex_status vorlex_codec_get_levels(vorlex_codec* codec, int* min_level, int* max_level,
                                      int* default_level) {
    if (codec == nullptr) return VORLEX_STATUS_INVALID;
    if (!codec->has_levels) return VORLEX_STATUS_UNSUPPORTED;
    if (min_level != nullptr) *min_level = codec->level_min;
    if (max_level != nullptr) *max_level = codec->level_max;
    if (default_level != nullptr) *default_level = codec->level_default;
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_codec_check_options(vorlex_codec* codec, const vorlex_options* options) {
    if (codec == nullptr) return VORLEX_STATUS_INVALID;
    // Codecs without levels (the legacy ones, whose formats fix everything,
    // and snappy) ignore a level, as they ignore every option.
    if (options == nullptr || !options->has_level || !codec->has_levels) return VORLEX_STATUS_OK;
    const bool ok = options->level >= codec->level_min && options->level <= codec->level_max;
    return ok ? VORLEX_STATUS_OK : VORLEX_STATUS_BAD_LEVEL;
}

}  // extern "C"
