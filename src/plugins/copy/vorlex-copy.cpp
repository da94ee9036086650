// The "copy" codec: the identity transform. Its compressed form is the input
// itself, which makes it the reference for measuring the host's own overhead
// and the one codec with native streams: a stream step moves as many bytes
// as both sides allow and keeps no state outside the host's stream record.
//
// Buffer copy serves both directions; the stored size of copy data is its
// own length, so get_uncompressed_size never reads the data.

#include <assert.h>
#include <string.h>

#include <vorlex/plugin.h>

#include "common/plugin_name.hpp"

namespace {

const char CODEC_NAME[] = "copy";

// One operation for compress and decompress: *out_length is the capacity.
vorlex_status copy_buffer(vorlex_codec*, size_t* out_length, uint8_t* out, size_t in_length,
                          const uint8_t* in, vorlex_options*) {
    if (*out_length < in_length) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    if (in_length != 0) memcpy(out, in, in_length);
    *out_length = in_length;
    return VORLEX_STATUS_OK;
}

size_t copy_get_uncompressed_size(vorlex_codec*, size_t compressed_length, const uint8_t*) {
    return compressed_length;
}

size_t copy_get_max_compressed_size(vorlex_codec*, size_t uncompressed_length) {
    return uncompressed_length;
}

// Every operation behaves alike: move min(in_avail, out_avail) bytes.
vorlex_status copy_stream_step(vorlex_stream* stream, vorlex_operation) {
    const size_t n = stream->in_avail < stream->out_avail ? stream->in_avail : stream->out_avail;
    if (n != 0) {
        memcpy(stream->out_next, stream->in_next, n);
        stream->in_next += n;
        stream->out_next += n;
        stream->in_avail -= n;
        stream->out_avail -= n;
    }
    return stream->in_avail == 0 ? VORLEX_STATUS_OK : VORLEX_STATUS_PROCESSING;
}

// A copy stream owns nothing beyond the host's fields; the host frees the
// record after this returns.
void copy_stream_destroy(vorlex_stream* stream) { vorlex_stream_destroy(stream); }

}  // namespace

extern "C" {

// Creates a copy stream: a bare vorlex_stream record, initialised by the host
// and released by it (the host calls copy_stream_destroy, then frees the
// memory). Returns NULL when the record cannot be allocated; the host reports
// that as VORLEX_STATUS_NO_MEMORY. The host only ever passes a codec and one
// of the two stream types, so anything else is a broken caller.
vorlex_stream* vorlex_copy_stream_new(vorlex_codec* codec, vorlex_stream_type stream_type,
                                      vorlex_options* options) {
    assert(codec != NULL);
    assert(stream_type == VORLEX_STREAM_COMPRESS || stream_type == VORLEX_STREAM_DECOMPRESS);
    auto* stream = static_cast<vorlex_stream*>(vorlex_malloc(sizeof(vorlex_stream)));
    if (stream == nullptr) return nullptr;
    vorlex_stream_init(stream, codec, stream_type, options, copy_stream_destroy);
    return stream;
}

vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec, vorlex_codec_funcs* funcs) {
    if (!vorlex::plugin::codec_is(codec, CODEC_NAME)) {
        return vorlex_error(VORLEX_STATUS_NO_SUCH_CODEC);
    }
    funcs->info_flags = VORLEX_INFO_NATIVE_STREAMS;
    funcs->create_stream = vorlex_copy_stream_new;
    funcs->process_stream = copy_stream_step;
    funcs->decompress_buffer = copy_buffer;
    funcs->compress_buffer = copy_buffer;
    funcs->get_uncompressed_size = copy_get_uncompressed_size;
    funcs->get_max_compressed_size = copy_get_max_compressed_size;
    return VORLEX_STATUS_OK;
}

}  // extern "C"
