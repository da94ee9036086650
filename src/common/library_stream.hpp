// Shared rules of the plug-ins whose native streams wrap a library's own
// incremental coder (lz4, zstd, gzip): the room a library may always write
// to, how a decoder step's end becomes a vorlex_status, and how a whole
// buffer runs through a stream step. Header-only and free of the C++
// runtime, so plug-ins can include it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vorlex/plugin.h>

namespace vorlex::plugin {

// Libraries want a non-null output pointer even for zero bytes of room.
inline uint8_t* out_or_dummy(vorlex_stream* s) {
    static uint8_t dummy;
    return s->out_next != nullptr ? s->out_next : &dummy;
}

// After a decoder has gone as far as it can with the input and room it was
// given. at_boundary: the last frame (or member) is complete and nothing of
// another one has been read; a stream that ends anywhere else is cut short.
inline vorlex_status decode_outcome(const vorlex_stream* s, vorlex_operation op,
                                    bool at_boundary) {
    if (s->in_avail != 0) {
        // Input left over is only ever waiting for room; a decoder that
        // stops with room to spare is stuck on data it cannot take.
        return s->out_avail == 0 ? VORLEX_STATUS_PROCESSING : vorlex_error(VORLEX_STATUS_FAILED);
    }
    // A full output may hide decoded bytes the library still holds.
    if (s->out_avail == 0 && !at_boundary) return VORLEX_STATUS_PROCESSING;
    if (op == VORLEX_OPERATION_FINISH && !at_boundary) {
        return vorlex_error(VORLEX_STATUS_INPUT_TRUNCATED);
    }
    return VORLEX_STATUS_OK;
}

// A buffer call as one FINISH step over the whole input into the caller's
// capacity: a step that wants more room means the output did not fit.
// *out_length is set only on success.
template <class Step>
vorlex_status run_whole_buffer(vorlex_stream& s, size_t* out_length, uint8_t* out,
                               size_t in_length, const uint8_t* in, Step step) {
    s.in_next = in;
    s.in_avail = in_length;
    s.out_next = out;
    s.out_avail = *out_length;
    const vorlex_status st = step(&s, VORLEX_OPERATION_FINISH);
    if (st == VORLEX_STATUS_PROCESSING) return vorlex_error(VORLEX_STATUS_OUTPUT_FULL);
    if (st == VORLEX_STATUS_OK) *out_length -= s.out_avail;
    return st;
}

// A magic number that starts a frame (or member), little-endian, with the
// bits that must match: skippable frames take a range of values.
struct Magic {
    uint32_t value;
    uint32_t mask;
    size_t length;  // bytes of it, 2 to 4
};

// Whether the n bytes at p (n >= 1) can be the start of a frame: they agree
// with the first bytes of one of the magic numbers.
inline bool may_start_frame(const uint8_t* p, size_t n, const Magic* magics, size_t count) {
    for (size_t m = 0; m < count; ++m) {
        bool agrees = true;
        for (size_t i = 0; i < n && i < magics[m].length && agrees; ++i) {
            const uint8_t want = uint8_t(magics[m].value >> (8 * i));
            const uint8_t mask = uint8_t(magics[m].mask >> (8 * i));
            agrees = ((p[i] ^ want) & mask) == 0;
        }
        if (agrees) return true;
    }
    return false;
}

// Checked by a decoder step before it hands the library bytes that follow a
// complete frame: bytes that cannot start another frame are trailing data,
// said as such, where the library would call them a truncated or unknown
// frame (or a buffer call would run out of room for them).
inline bool trailing_data(const vorlex_stream* s, bool after_frame, bool at_boundary,
                          const Magic* magics, size_t count) {
    return after_frame && at_boundary && s->in_avail != 0 &&
           !may_start_frame(s->in_next, s->in_avail, magics, count);
}

// Advances a stream's four fields by what a library call took and gave.
inline void advance(vorlex_stream* s, size_t consumed, size_t produced) {
    s->in_next += consumed;
    s->in_avail -= consumed;
    if (s->out_next != nullptr) s->out_next += produced;
    s->out_avail -= produced;
}

}  // namespace vorlex::plugin
