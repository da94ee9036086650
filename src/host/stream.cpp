// Streams. Codecs with native streams (VORLEX_INFO_NATIVE_STREAMS) create and
// step their own stream objects; the host keeps the running totals and, on
// release, calls the destroy function the plug-in registered, then frees the
// record. Every other codec works on whole buffers, so its stream gathers the
// input and runs the buffer call at FINISH, then hands the result out as the
// caller's output space allows.
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <vorlex/vorlex.h>

#include "codec.hpp"
#include "host_allocator.hpp"

namespace {

using vorlex::host::HostBytes;
using vorlex::host::HostFree;

constexpr uint32_t HOST_BUFFERED = 1u << 0;
// FINISH has been asked for: from then on the only input a step may be given
// is what the FINISH call left unconsumed, whose end host_private records.
constexpr uint32_t HOST_FINISHING = 1u << 1;

bool is_operation(vorlex_operation op) {
    return op == VORLEX_OPERATION_PROCESS || op == VORLEX_OPERATION_FLUSH ||
           op == VORLEX_OPERATION_FINISH;
}

// Input after FINISH: more than the rest of what FINISH was given.
bool input_after_finish(const vorlex_stream* s) {
    if ((s->host_flags & HOST_FINISHING) == 0 || s->in_avail == 0) return false;
    return s->in_next + s->in_avail != static_cast<const uint8_t*>(s->host_private);
}

// The most a stream offers a decoder whose data records no size: 1 GiB, or
// 64 times the input when that is more. Growth must stop well short of
// exhausting memory: a decoder reports a stream cut short inside an item as
// a full output too (lzjb), and no capacity ever satisfies such a stream.
size_t max_guessed_output(size_t input) {
    const size_t floor = size_t(1) << 30;
    return input > floor / 64 ? (input > SIZE_MAX / 64 ? SIZE_MAX : input * 64) : floor;
}

struct Buffered {
    HostBytes input;
    HostBytes output;
    size_t handed_out = 0;
    bool done = false;
};

struct BufferedStream {
    vorlex_stream base;
    Buffered state;
};

Buffered& state_of(vorlex_stream* s) { return reinterpret_cast<BufferedStream*>(s)->state; }

void buffered_destroy(vorlex_stream* s) {
    reinterpret_cast<BufferedStream*>(s)->state.~Buffered();
    vorlex_stream_destroy(s);
}

vorlex_status compress_all(vorlex_codec* codec, vorlex_options* options, Buffered& b) {
    size_t cap = vorlex_get_max_compressed_size(codec, b.input.size());
    if (cap == 0) return VORLEX_STATUS_UNSUPPORTED;
    b.output.resize(cap);
    const vorlex_status st =
        vorlex_compress(codec, b.output.data(), &cap, b.input.data(), b.input.size(), options);
    if (st == VORLEX_STATUS_OK) b.output.resize(cap);
    return st;
}

vorlex_status decompress_all(vorlex_codec* codec, vorlex_options* options, Buffered& b) {
    if (vorlex_codec_needs_exact_size(codec)) return VORLEX_STATUS_UNSUPPORTED;
    size_t cap = 0;
    const bool sized = vorlex_codec_records_size(codec) != 0;
    if (sized) {
        const vorlex_status st =
            vorlex_get_uncompressed_size(codec, b.input.data(), b.input.size(), &cap);
        if (st != VORLEX_STATUS_OK) return st;
    } else {
        cap = b.input.size() < (size_t(1) << 16) ? size_t(1) << 16 : b.input.size() * 4;
    }
    // Without a recorded size, grow the output until the data fits. Each
    // trial buffer is left uninitialised, so a trial costs the memory the
    // decoder writes, not the capacity offered: a hostile size in a header,
    // or a stream that fits no capacity, does not exhaust memory.
    const size_t limit = max_guessed_output(b.input.size());
    for (;;) {
        std::unique_ptr<uint8_t, HostFree> trial(static_cast<uint8_t*>(vorlex_malloc(cap)));
        if (trial == nullptr) return VORLEX_STATUS_NO_MEMORY;
        size_t produced = cap;
        const vorlex_status st = vorlex_decompress(codec, trial.get(), &produced,
                                                   b.input.data(), b.input.size(), options);
        if (st == VORLEX_STATUS_OK) {
            b.output.assign(trial.get(), trial.get() + produced);
            return st;
        }
        if (sized || st != VORLEX_STATUS_OUTPUT_FULL || cap >= limit) return st;
        cap = cap > limit / 2 ? limit : cap * 2;
    }
}

vorlex_status buffered_step(vorlex_stream* s, vorlex_operation op) {
    Buffered& b = state_of(s);
    if (!b.done) {
        if (s->in_avail != 0) {
            b.input.insert(b.input.end(), s->in_next, s->in_next + s->in_avail);
            s->in_next += s->in_avail;
            s->in_avail = 0;
        }
        if (op != VORLEX_OPERATION_FINISH) return VORLEX_STATUS_OK;
        const vorlex_status st = s->type == VORLEX_STREAM_COMPRESS
                                     ? compress_all(s->codec, s->options, b)
                                     : decompress_all(s->codec, s->options, b);
        if (st != VORLEX_STATUS_OK) return st;
        b.done = true;
        HostBytes().swap(b.input);
    } else if (s->in_avail != 0) {
        return VORLEX_STATUS_INVALID;  // input after FINISH
    }
    const size_t left = b.output.size() - b.handed_out;
    const size_t n = left < s->out_avail ? left : s->out_avail;
    if (n != 0) {
        std::memcpy(s->out_next, b.output.data() + b.handed_out, n);
        b.handed_out += n;
        s->out_next += n;
        s->out_avail -= n;
    }
    return b.handed_out == b.output.size() ? VORLEX_STATUS_OK : VORLEX_STATUS_PROCESSING;
}

}  // namespace

extern "C" {

void vorlex_stream_init(vorlex_stream* stream, vorlex_codec* codec, vorlex_stream_type type,
                        vorlex_options* options, vorlex_stream_destroy_func destroy) {
    if (stream == nullptr) return;
    stream->codec = codec;
    stream->options = options;
    stream->type = type;
    stream->host_flags = 0;
    stream->in_next = nullptr;
    stream->in_avail = 0;
    stream->total_in = 0;
    stream->out_next = nullptr;
    stream->out_avail = 0;
    stream->total_out = 0;
    stream->destroy = destroy;
    stream->host_private = nullptr;
}

void vorlex_stream_destroy(vorlex_stream* stream) {
    if (stream == nullptr) return;
    stream->destroy = nullptr;
    stream->host_private = nullptr;
}

vorlex_status vorlex_stream_new(vorlex_codec* codec, vorlex_stream_type type,
                                vorlex_options* options, vorlex_stream** out) {
    if (out == nullptr) return VORLEX_STATUS_INVALID;
    *out = nullptr;
    if (codec == nullptr || (type != VORLEX_STREAM_COMPRESS && type != VORLEX_STREAM_DECOMPRESS)) {
        return VORLEX_STATUS_INVALID;
    }
    if (type == VORLEX_STREAM_COMPRESS && has_filter(options)) return VORLEX_STATUS_INVALID;
    if (type == VORLEX_STREAM_COMPRESS &&
        vorlex_codec_check_options(codec, options) != VORLEX_STATUS_OK) {
        return VORLEX_STATUS_BAD_LEVEL;
    }
    const vorlex_codec_funcs& f = codec->funcs;
    if ((f.info_flags & VORLEX_INFO_NATIVE_STREAMS) != 0 && f.create_stream != nullptr &&
        f.process_stream != nullptr) {
        vorlex_stream* s = f.create_stream(codec, type, options);
        if (s == nullptr) return VORLEX_STATUS_NO_MEMORY;
        *out = s;
        return VORLEX_STATUS_OK;
    }
    const bool can = type == VORLEX_STREAM_COMPRESS
                         ? (f.compress_buffer != nullptr || f.compress_buffer_presized != nullptr)
                         : f.decompress_buffer != nullptr;
    if (!can) return VORLEX_STATUS_UNSUPPORTED;
    void* mem = vorlex_malloc(sizeof(BufferedStream));
    if (mem == nullptr) return VORLEX_STATUS_NO_MEMORY;
    auto* bs = static_cast<BufferedStream*>(mem);
    vorlex_stream_init(&bs->base, codec, type, options, buffered_destroy);
    new (&bs->state) Buffered();
    bs->base.host_flags = HOST_BUFFERED;
    *out = &bs->base;
    return VORLEX_STATUS_OK;
}

vorlex_status vorlex_stream_process(vorlex_stream* s, vorlex_operation op) {
    if (s == nullptr || !is_operation(op) || (s->in_next == nullptr && s->in_avail != 0) ||
        (s->out_next == nullptr && s->out_avail != 0) || input_after_finish(s)) {
        return VORLEX_STATUS_INVALID;
    }
    const size_t in_before = s->in_avail;
    const size_t out_before = s->out_avail;
    vorlex_status st;
    try {
        st = (s->host_flags & HOST_BUFFERED) != 0 ? buffered_step(s, op)
                                                   : s->codec->funcs.process_stream(s, op);
    } catch (const std::bad_alloc&) {
        st = VORLEX_STATUS_NO_MEMORY;
    } catch (...) {
        st = VORLEX_STATUS_FAILED;
    }
    s->total_in += in_before - s->in_avail;
    s->total_out += out_before - s->out_avail;
    if (op == VORLEX_OPERATION_FINISH || (s->host_flags & HOST_FINISHING) != 0) {
        s->host_flags |= HOST_FINISHING;
        s->host_private = const_cast<uint8_t*>(s->in_next + s->in_avail);
    }
    return st;
}

void vorlex_stream_free(vorlex_stream* s) {
    if (s == nullptr) return;
    if (s->destroy != nullptr) s->destroy(s);
    vorlex_free(s);
}

}  // extern "C"
