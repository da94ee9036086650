// libvorlex's frame layer on arbitrary bytes: the one-shot decoder, the size
// walk and the streaming reader on one and two threads either all succeed
// with the same bytes, or fail with a failure status and a message, the same
// from each; nothing is read or written out of bounds, and no length is
// trusted before it is checked, so a hostile length allocates nothing
// (libFuzzer's malloc limit turns a memory bomb into a crash). When decoding
// succeeds, the size walk agrees, and one byte less of output room is
// VORLEX_STATUS_OUTPUT_FULL.
//
// Input: frame bytes, then [u8 mode]. mode bit 0: rewrite the first header's
// checksum to match, so mutations get past the header into blocks.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/check.hpp"
#include "support/frame.hpp"
#include "support/host.hpp"
#include "support/input.hpp"

namespace {

// Decoded output the target is willing to hold: a frame of 1-byte payloads
// can legitimately claim 64 MiB a block.
constexpr size_t MAX_OUT = size_t(64) << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlex::fuzz::codec("copy");  // points the host at this build's plug-ins
    vorlex::fuzz::Input input(data, size);
    const uint8_t mode = input.take_u8();
    // An exact-size copy: the reader sees nothing past the input.
    std::vector<uint8_t> d(input.data(), input.data() + input.size());
    if ((mode & 1) != 0) vorlex::fuzz::repair_header_checksum(d);

    uint64_t content = 0;
    const vorlex_status sized = vorlex_frame_content_size(d.data(), d.size(), &content);
    FUZZ_CHECK(sized == VORLEX_STATUS_OK || (sized < 0 && vorlex_frame_last_error()[0] != '\0'));

    const vorlex::fuzz::Decoded one = vorlex::fuzz::stream_decode(d, 1, 0, 0, MAX_OUT);
    if (one.out.size() > MAX_OUT) return 0;
    FUZZ_CHECK(one.status == VORLEX_STATUS_OK || (one.status < 0 && !one.error.empty()));
    const vorlex::fuzz::Decoded two = vorlex::fuzz::stream_decode(d, 2, 0, 0, MAX_OUT);
    FUZZ_CHECK(two.status == one.status);
    FUZZ_CHECK(two.error == one.error);
    FUZZ_CHECK(two.out == one.out);

    if (one.status == VORLEX_STATUS_OK) {
        FUZZ_CHECK(sized == VORLEX_STATUS_OK && content == one.out.size());
    } else if (sized != VORLEX_STATUS_OK) {
        // The walk checks a subset of what decoding checks.
        return 0;
    }
    if (content > MAX_OUT) return 0;

    // The one-shot decoder, given exactly the room the walk names, finds
    // what the stream found; with one byte less, a success does not fit.
    std::vector<uint8_t> out(content);
    size_t length = out.size();
    const vorlex_status st = vorlex_frame_decompress(out.data(), &length, d.data(), d.size());
    FUZZ_CHECK(st == one.status);
    if (st == VORLEX_STATUS_OK) {
        FUZZ_CHECK(length == content &&
                   (length == 0 || std::memcmp(out.data(), one.out.data(), length) == 0));
        if (content != 0) {
            length = out.size() - 1;
            FUZZ_CHECK(vorlex_frame_decompress(out.data(), &length, d.data(), d.size()) ==
                       VORLEX_STATUS_OUTPUT_FULL);
            FUZZ_CHECK(length == out.size() - 1);
        }
    } else {
        FUZZ_CHECK(vorlex_frame_last_error() == one.error);
        FUZZ_CHECK(length == out.size());
    }
    return 0;
}
