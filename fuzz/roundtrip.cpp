// Compression by FUZZ_CODEC through the host, then decompression, on
// arbitrary input: what comes back equals what went in, through buffers and
// through streams with small windows.
//
// Compression gets a buffer of exactly get_max_compressed_size bytes, then
// one of exactly the compressed length and one smaller still, each ending
// where its capacity ends, so a single byte written too far is caught. At the
// bound it must succeed (brieflz and fari may report VORLEX_STATUS_OUTPUT_FULL,
// their bound covering ordinary data only; a codec may refuse an empty
// input); any success, at any capacity, fits and decompresses to the input.
// Every codec but quicklz (whose short blocks carry filler the compressor
// leaves as it found it) writes the same bytes on every call.
//
// Input: data, then [u8 in_step][u8 out_step][u32 smaller][u16 lead]. lead
// mod 1024 moves the input's address (lzjb's output depends on it); smaller
// picks the capacity below the compressed length; the steps size the stream
// calls.
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

void check_decodes(vorlex_codec* c, const uint8_t* z, size_t z_len, const ExactBuffer& original) {
    ExactBuffer in(z, z_len);
    ExactBuffer out(original.size());
    size_t n = out.size();
    const vorlex_status st = vorlex_decompress(c, out.data(), &n, in.data(), in.size(), nullptr);
    FUZZ_CHECK(st == VORLEX_STATUS_OK);
    FUZZ_CHECK(n == original.size());
    FUZZ_CHECK(n == 0 || std::memcmp(out.data(), original.data(), n) == 0);
}

// Compresses into a buffer of exactly capacity bytes filled with garbage.
vorlex_status compress(vorlex_codec* c, const ExactBuffer& in, size_t capacity, uint8_t garbage,
                       std::vector<uint8_t>& z) {
    ExactBuffer out(capacity);
    out.fill(garbage);
    size_t len = capacity;
    const vorlex_status st = vorlex_compress(c, out.data(), &len, in.data(), in.size(), nullptr);
    FUZZ_CHECK(vorlex::fuzz::is_known_status(st));
    z.clear();
    if (st == VORLEX_STATUS_OK) {
        FUZZ_CHECK(len <= capacity);
        z.assign(out.data(), out.data() + len);
    }
    return st;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* name = FUZZ_CODEC;
    vorlex_codec* c = vorlex::fuzz::codec(name);
    vorlex::fuzz::Input input(data, size);
    const size_t in_step = 1 + size_t(input.take_u8()) * 13;
    const size_t out_step = 1 + size_t(input.take_u8()) * 7;
    const uint32_t smaller = input.take_u32();
    const size_t lead = input.take_u16() % 1024;
    const ExactBuffer in(input.data(), input.size(), lead);
    const size_t n = in.size();
    const bool same_bytes_every_time = std::strcmp(name, "quicklz") != 0;

    const size_t bound = vorlex_get_max_compressed_size(c, n);
    FUZZ_CHECK(bound != 0 || n == 0);
    std::vector<uint8_t> z;
    const vorlex_status st = compress(c, in, bound, 0xA5, z);
    if (st != VORLEX_STATUS_OK) {
        FUZZ_CHECK((n == 0 && st == VORLEX_STATUS_FAILED) ||
                   (!vorlex::fuzz::bound_is_exact(name) && st == VORLEX_STATUS_OUTPUT_FULL));
        return 0;
    }
    check_decodes(c, z.data(), z.size(), in);

    // Exactly the compressed length, then less: a codec may need more room
    // than it ends up using, but whatever succeeds must fit, decode, and be
    // what the first call wrote (the buffers held other garbage).
    std::vector<uint8_t> z2;
    const size_t capacities[] = {z.size(), z.empty() ? 0 : smaller % z.size()};
    for (const size_t cap : capacities) {
        if (compress(c, in, cap, 0xC3, z2) != VORLEX_STATUS_OK) continue;
        check_decodes(c, z2.data(), z2.size(), in);
        if (same_bytes_every_time) FUZZ_CHECK(z2 == z);
    }

    std::vector<uint8_t> streamed;
    const vorlex_status sst = vorlex::fuzz::drive_stream(c, VORLEX_STREAM_COMPRESS, in.data(), n,
                                                         in_step, out_step, streamed);
    if (sst == VORLEX_STATUS_OK) {
        check_decodes(c, streamed.data(), streamed.size(), in);
        if (!vorlex_codec_needs_exact_size(c)) {
            std::vector<uint8_t> back;
            FUZZ_CHECK(vorlex::fuzz::drive_stream(c, VORLEX_STREAM_DECOMPRESS, streamed.data(),
                                                  streamed.size(), in_step, out_step,
                                                  back) == VORLEX_STATUS_OK);
            FUZZ_CHECK(back.size() == n && (n == 0 || std::memcmp(back.data(), in.data(), n) == 0));
        }
    } else {
        FUZZ_CHECK((n == 0 && sst == VORLEX_STATUS_FAILED) ||
                   (!vorlex::fuzz::bound_is_exact(name) && sst == VORLEX_STATUS_OUTPUT_FULL));
    }
    return 0;
}
