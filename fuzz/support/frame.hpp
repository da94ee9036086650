// Helpers of the frame targets: crafted-header repair, and the library's
// frame reader run over a whole input with chosen piece sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "frame/format.hpp"

namespace vorlex::fuzz {

// Rewrite the first header's checksum to match, so mutations get past the
// header into the blocks.
inline void repair_header_checksum(std::vector<uint8_t>& d) {
    namespace fmt = vorlex::frame::format;
    if (d.size() < fmt::HEADER_FIXED) return;
    const size_t before = fmt::HEADER_FIXED + d[6] + 4 + fmt::flag_fields(d[5]);
    if (d.size() < before + 4) return;
    const uint32_t sum = fmt::header_checksum(d.data(), before);
    for (int i = 0; i < 4; ++i) d[before + size_t(i)] = uint8_t(sum >> (8 * i));
}

struct Decoded {
    vorlex_status status = 0;
    std::string error;  // the library's message on failure
    std::vector<uint8_t> out;
};

// The whole input through a streaming reader, in_piece input bytes and
// out_piece output bytes per call (0: all at once), ending with FINISH.
// Output stops growing past max_out bytes (a legitimate bomb is not a bug).
inline Decoded stream_decode(const std::vector<uint8_t>& d, unsigned threads, size_t in_piece,
                             size_t out_piece, size_t max_out) {
    Decoded r;
    vorlex_frame_reader* reader = nullptr;
    r.status = vorlex_frame_reader_new(threads, 0, 0, &reader);
    if (r.status <= 0) {
        r.error = vorlex_frame_last_error();
        return r;
    }
    size_t at = 0;
    if (out_piece == 0) out_piece = size_t(1) << 16;
    for (;;) {
        const size_t n = in_piece == 0 || d.size() - at < in_piece ? d.size() - at : in_piece;
        const vorlex_operation op =
            at + n == d.size() ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
        vorlex_frame_buffers b{d.data() + at, n, nullptr, 0};
        do {
            const size_t had = r.out.size();
            r.out.resize(had + out_piece);
            b.out_next = r.out.data() + had;
            b.out_avail = out_piece;
            r.status = vorlex_frame_reader_process(reader, &b, op);
            r.out.resize(r.out.size() - b.out_avail);
        } while ((r.status == VORLEX_STATUS_PROCESSING || (r.status > 0 && b.in_avail != 0)) &&
                 r.out.size() <= max_out);
        at += n - b.in_avail;
        if (r.status <= 0 || r.out.size() > max_out || op == VORLEX_OPERATION_FINISH) break;
    }
    if (r.status <= 0) r.error = vorlex_frame_last_error();
    vorlex_frame_reader_free(reader);
    return r;
}

}  // namespace vorlex::fuzz
