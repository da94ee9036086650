// libvorlex's random access over arbitrary bytes: vorlex_frame_read_at never
// reads out of bounds, and whenever the whole input decodes, the bytes it
// gives at any offset are those of the whole decode. Inputs that do not
// decode may still give the blocks that are sound, never wrong bytes of a
// block: each is checked against its checksum.
//
// Input: frame bytes, then [u8 mode][u16 offset][u8 length].
// mode bit 0: rewrite the first header's checksum to match; the read asks
// for 1 + 37 * length bytes.
#include <cstdint>
#include <cstring>
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
    const uint64_t offset = input.take_u16();
    const size_t want = 1 + 37 * size_t(input.take_u8());
    std::vector<uint8_t> d(input.data(), input.data() + input.size());
    if ((mode & 1) != 0) vorlex::fuzz::repair_header_checksum(d);

    std::vector<uint8_t> got(want);
    size_t n = want;
    const vorlex_status st = vorlex_frame_read_at(d.data(), d.size(), offset, got.data(), &n);
    FUZZ_CHECK(st != VORLEX_STATUS_OK || n <= want);
    const vorlex::fuzz::Decoded whole = vorlex::fuzz::stream_decode(d, 1, 0, 0, MAX_OUT);
    if (whole.status != VORLEX_STATUS_OK || whole.out.size() > MAX_OUT) return 0;
    FUZZ_CHECK(st == VORLEX_STATUS_OK);
    const size_t expect =
        offset >= whole.out.size() ? 0 : std::min<size_t>(want, whole.out.size() - offset);
    FUZZ_CHECK(n == expect);
    FUZZ_CHECK(n == 0 || std::memcmp(got.data(), whole.out.data() + offset, n) == 0);
    return 0;
}
