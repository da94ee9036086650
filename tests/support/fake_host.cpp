#include "fake_host.hpp"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace fake_host {

Counters& counters() {
    static Counters c;
    return c;
}

void reset() { counters() = Counters{}; }

vorlex_codec* codec(const char* name) {
    static std::deque<std::string> names;
    static std::deque<vorlex_codec> codecs;
    names.emplace_back(name);
    codecs.push_back(vorlex_codec{names.back().c_str()});
    return &codecs.back();
}

vorlex_codec_funcs untouched_table() {
    vorlex_codec_funcs f;
    std::memset(&f, 0xA5, sizeof f);
    return f;
}

vorlex_status init(const char* name, vorlex_codec_funcs& funcs) {
    funcs = untouched_table();
    return vorlex_plugin_init_codec(codec(name), &funcs);
}

}  // namespace fake_host

extern "C" {

const char* vorlex_codec_get_name(vorlex_codec* codec) { return codec->name; }

vorlex_status vorlex_error(vorlex_status status) {
    auto& c = fake_host::counters();
    ++c.errors;
    c.last_error = status;
    return status;
}

void* vorlex_malloc(size_t size) {
    auto& c = fake_host::counters();
    ++c.mallocs;
    if (c.fail_malloc_at != 0 && c.mallocs == c.fail_malloc_at) return nullptr;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) ++c.live;
    return p;
}

void vorlex_free(void* block) {
    auto& c = fake_host::counters();
    ++c.frees;
    if (block == nullptr) {
        ++c.null_frees;
        return;
    }
    --c.live;
    std::free(block);
}

void vorlex_stream_init(vorlex_stream* stream, vorlex_codec* codec, vorlex_stream_type type,
                        vorlex_options* options, vorlex_stream_destroy_func destroy) {
    ++fake_host::counters().stream_inits;
    std::memset(stream, 0, sizeof *stream);
    stream->codec = codec;
    stream->type = type;
    stream->options = options;
    stream->destroy = destroy;
}

void vorlex_stream_destroy(vorlex_stream* stream) {
    ++fake_host::counters().stream_destroys;
    stream->destroy = nullptr;
}

}  // extern "C"
