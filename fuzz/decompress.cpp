// Decompression of arbitrary bytes by FUZZ_CODEC through the host. The output
// is a buffer of exactly the capacity (or, for brieflz, the exact size) that
// the input's parameters ask for, or of the size a quicklz header records, so
// one byte written too far is caught. Whatever the bytes, the call returns a
// status; a success produces no more than the capacity (exactly the recorded
// or requested size where the codec has one), and decoding the same bytes
// again into a buffer holding other garbage gives the same result, so no
// output byte comes from memory the decoder never wrote.
//
// Input: stream bytes, then [u8 flags][u32 size, little-endian]. flags bit 0:
// use the size from the input even where the data records one; bit 1: also
// decode through a stream with small windows (codecs that need no exact
// size); bit 3: sizes up to 256 KiB rather than 16 KiB.
#include <cstdint>
#include <cstring>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/buffer.hpp"
#include "support/check.hpp"
#include "support/codec_traits.hpp"
#include "support/host.hpp"
#include "support/input.hpp"
#include "support/stream.hpp"

namespace {

using vorlex::fuzz::ExactBuffer;

// Capacities above these cost time without finding more.
constexpr size_t SMALL_CAPACITY = size_t(1) << 14;
constexpr size_t MAX_CAPACITY = size_t(1) << 18;

struct Result {
    vorlex_status status;
    size_t length;
};

Result decode(vorlex_codec* c, const ExactBuffer& in, ExactBuffer& out, uint8_t garbage) {
    out.fill(garbage);
    size_t length = out.size();
    const vorlex_status st =
        vorlex_decompress(c, out.data(), &length, in.data(), in.size(), nullptr);
    FUZZ_CHECK(vorlex::fuzz::is_known_status(st));
    return {st, length};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlex_codec* c = vorlex::fuzz::codec(FUZZ_CODEC);
    vorlex::fuzz::Input input(data, size);
    const uint8_t flags = input.take_u8();
    const size_t asked = input.take_u32() % (((flags & 8) != 0 ? MAX_CAPACITY : SMALL_CAPACITY) + 1);
    const ExactBuffer in(input.data(), input.size());

    const bool exact = vorlex_codec_needs_exact_size(c) != 0;
    bool recorded = false;
    bool plausible = true;  // the size the data records, if any, is one we can afford
    bool sized = false;     // the data records its size
    size_t capacity = asked;
    if (vorlex_codec_records_size(c)) {
        size_t n = 0;
        const vorlex_status size_st = vorlex_get_uncompressed_size(c, in.data(), in.size(), &n);
        // zstd and lz4 frames may leave their size out; input shorter than
        // the header that holds the size says so, and bytes after the last
        // frame that cannot start another are trailing data.
        FUZZ_CHECK(size_st == VORLEX_STATUS_OK || size_st == VORLEX_STATUS_UNSUPPORTED ||
                   size_st == VORLEX_STATUS_INPUT_TRUNCATED ||
                   size_st == VORLEX_STATUS_TRAILING_DATA);
        sized = size_st == VORLEX_STATUS_OK;
        plausible = !sized || n <= MAX_CAPACITY;
        if ((flags & 1) == 0 && sized && plausible) {
            capacity = n;
            recorded = true;
        }
    }

    ExactBuffer out(capacity);
    const Result first = decode(c, in, out, 0xA5);
    if (first.status == VORLEX_STATUS_OK) {
        FUZZ_CHECK(first.length <= capacity);
        if (exact || recorded) FUZZ_CHECK(first.length == capacity);
    }
    std::vector<uint8_t> kept(out.data(), out.data() + (first.status == VORLEX_STATUS_OK ? first.length : 0));

    const Result again = decode(c, in, out, 0x5A);
    FUZZ_CHECK(again.status == first.status);
    if (first.status == VORLEX_STATUS_OK) {
        FUZZ_CHECK(again.length == first.length);
        FUZZ_CHECK(kept.empty() || std::memcmp(kept.data(), out.data(), kept.size()) == 0);
    }

    // A stream trusts a recorded size (up to 4 GiB for quicklz) and allocates
    // it, as a caller of vorlex_get_uncompressed_size would; that is left to
    // the buffer calls above. Data that did not fit the capacity may fit no
    // capacity at all (lzjb cut inside an item): the stream then tries up to
    // its 1 GiB limit, which is slow under ASan and proves nothing new; data
    // that filled the capacity exactly may go on for long (fari), so the
    // stream is tried only where its work is bounded by the buffer call's.
    const bool filled = first.status == VORLEX_STATUS_OK && first.length == capacity && !recorded;
    if ((flags & 2) != 0 && !exact && plausible && !filled &&
        first.status != VORLEX_STATUS_OUTPUT_FULL) {
        std::vector<uint8_t> streamed;
        const vorlex_status st = vorlex::fuzz::drive_stream(
            c, VORLEX_STREAM_DECOMPRESS, in.data(), in.size(), 1 + (flags >> 4) * 97,
            1 + ((flags >> 2) & 1) * 3000, streamed);
        FUZZ_CHECK(vorlex::fuzz::is_known_status(st));
        // Where the buffer call had the last word, the stream agrees with it:
        // room to spare (or the recorded size) means the same bytes, and data
        // refused for what it holds is refused.
        // libzstd decodes a frame it has whole in one pass, and one it gets
        // in pieces through its window, and the two differ at the edges:
        // pieces refuse blocks and windows beyond the stream's limits, and do
        // not hold a frame that ends in an empty block to its recorded size
        // (its checksum still covers what was decoded). There, stream and
        // buffer call agree where both succeed.
        const bool paths_differ = vorlex::fuzz::stream_and_buffer_paths_differ(FUZZ_CODEC);
        if (first.status == VORLEX_STATUS_OK && (recorded || (!sized && first.length < capacity))) {
            if (paths_differ) {
                FUZZ_CHECK(st != VORLEX_STATUS_OK || streamed == kept);
            } else {
                FUZZ_CHECK(st == VORLEX_STATUS_OK && streamed == kept);
            }
        }
        if (first.status < 0 && (recorded || !sized) && !paths_differ) {
            FUZZ_CHECK(st != VORLEX_STATUS_OK);
        }
    }
    return 0;
}
