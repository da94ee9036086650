// libvorlex's streaming frame reader fed in pieces: input and output handed
// over a few bytes at a time (down to one), on one or several threads, ends
// exactly as the whole input decoded at once: the same bytes, or the same
// failure status and message with the same blocks written before it.
//
// Input: frame bytes, then [u8 mode][u8 in_piece][u8 out_piece][u8 threads].
// mode bit 0: rewrite the first header's checksum to match; pieces are
// 1 + the byte; threads 1 to 4.
#include <cstdint>
#include <vector>

#include "support/check.hpp"
#include "support/frame.hpp"
#include "support/host.hpp"
#include "support/input.hpp"

namespace {
constexpr size_t MAX_OUT = size_t(16) << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlex::fuzz::codec("copy");
    vorlex::fuzz::Input input(data, size);
    const uint8_t mode = input.take_u8();
    const size_t in_piece = size_t(input.take_u8()) + 1;
    const size_t out_piece = size_t(input.take_u8()) + 1;
    const unsigned threads = 1 + input.take_u8() % 4;
    std::vector<uint8_t> d(input.data(), input.data() + input.size());
    if ((mode & 1) != 0) vorlex::fuzz::repair_header_checksum(d);

    const vorlex::fuzz::Decoded whole = vorlex::fuzz::stream_decode(d, 1, 0, 0, MAX_OUT);
    if (whole.out.size() > MAX_OUT) return 0;
    const vorlex::fuzz::Decoded pieces =
        vorlex::fuzz::stream_decode(d, threads, in_piece, out_piece, MAX_OUT);
    FUZZ_CHECK(pieces.status == whole.status);
    FUZZ_CHECK(pieces.error == whole.error);
    FUZZ_CHECK(pieces.out == whole.out);
    return 0;
}
