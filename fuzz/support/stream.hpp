// Drives a host stream over a whole input in steps of at most in_step input
// bytes and out_step bytes of output window, as an application with small
// buffers would, and checks the bookkeeping of every step.
#pragma once

#include <cstdint>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/buffer.hpp"
#include "support/check.hpp"

namespace vorlex::fuzz {

inline vorlex_status drive_stream(vorlex_codec* codec, vorlex_stream_type type,
                                  const uint8_t* in, size_t n, size_t in_step, size_t out_step,
                                  std::vector<uint8_t>& out) {
    vorlex_stream* s = nullptr;
    vorlex_status st = vorlex_stream_new(codec, type, nullptr, &s);
    if (st != VORLEX_STATUS_OK) {
        FUZZ_CHECK(s == nullptr);
        return st;
    }
    ExactBuffer window(out_step);
    size_t pos = 0;
    for (;;) {
        const size_t give = n - pos < in_step ? n - pos : in_step;
        const bool last = pos + give == n;
        s->in_next = in + pos;
        s->in_avail = give;
        s->out_next = window.data();
        s->out_avail = window.size();
        const uint64_t total_in = s->total_in;
        const uint64_t total_out = s->total_out;
        st = vorlex_stream_process(s, last ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS);
        FUZZ_CHECK(s->in_avail <= give && s->out_avail <= window.size());
        const size_t consumed = give - s->in_avail;
        const size_t produced = window.size() - s->out_avail;
        FUZZ_CHECK(s->in_next == in + pos + consumed);
        FUZZ_CHECK(s->out_next == window.data() + produced);
        FUZZ_CHECK(s->total_in == total_in + consumed && s->total_out == total_out + produced);
        out.insert(out.end(), window.data(), window.data() + produced);
        pos += consumed;
        if (st < 0) break;
        FUZZ_CHECK(st == VORLEX_STATUS_OK || st == VORLEX_STATUS_PROCESSING);
        // OK means all input consumed (and, at FINISH, all output handed
        // out); a step that asks to be called again must have moved something.
        FUZZ_CHECK(st != VORLEX_STATUS_OK || s->in_avail == 0);
        if (last && st == VORLEX_STATUS_OK) break;
        FUZZ_CHECK(st == VORLEX_STATUS_OK || consumed != 0 || produced != 0);
    }
    vorlex_stream_free(s);
    return st;
}

}  // namespace vorlex::fuzz
