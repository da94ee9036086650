// The HDF5 filter's read direction on arbitrary bytes, as HDF5 hands over a
// stored chunk: a block of exactly the input's size from H5allocate_memory,
// replaced by the filter on success and left alone on failure. Whatever the
// bytes, the call returns; a success yields exactly what the library's own
// frame decoder makes of them, in a block the filter owns, and HDF5's error
// stack holds a message for every failure.
//
// Input: the stored chunk, then [u8 mode]; mode bit 0: rewrite the first
// header's checksum to match, so mutations reach the blocks; mode bit 1:
// the dataset records a chunk size, a [u32] before the mode byte (a size near the
// frame's own when bit 2 is set: its content size plus the u32's low bits,
// minus 2), and only frames of exactly that size may decode. Frames that
// claim more than 64 MiB
// of content are passed over: the filter allocates what a frame claims
// (up to HDF5's 4 GiB chunk limit) before decoding it, which costs the
// fuzzer time, not the filter safety.
#include <cstdint>
#include <cstring>
#include <vector>

#include <hdf5.h>
#include <vorlex/vorlex.h>
#include <vorlex/vorlex_hdf5.h>

#include "filter.hpp"
#include "support/check.hpp"
#include "support/frame.hpp"
#include "support/host.hpp"
#include "support/input.hpp"

namespace {

constexpr uint64_t MAX_CONTENT = uint64_t(64) << 20;

size_t error_count() {
    const ssize_t n = H5Eget_num(H5E_DEFAULT);
    return n < 0 ? 0 : size_t(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        vorlex::fuzz::codec("copy");  // points the host at this build's plug-ins
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
        return true;
    }();
    (void)ready;

    vorlex::fuzz::Input input(data, size);
    const uint8_t mode = input.take_u8();
    const uint32_t recorded = (mode & 2) != 0 ? input.take_u32() : 0;
    std::vector<uint8_t> chunk(input.data(), input.data() + input.size());
    if ((mode & 1) != 0) vorlex::fuzz::repair_header_checksum(chunk);
    data = chunk.data();
    size = chunk.size();

    uint64_t content = 0;
    if (vorlex_frame_content_size(data, size, &content) == VORLEX_STATUS_OK &&
        content > MAX_CONTENT) {
        return 0;
    }
    unsigned values[VORLEX_H5Z_CD_MAX] = {};
    if ((mode & 2) != 0) {
        values[VORLEX_H5Z_CD_CHUNK_BYTES] =
            (mode & 4) != 0 ? unsigned(content + (recorded & 3)) - 2 : recorded;
    }
    const uint32_t expected_size = values[VORLEX_H5Z_CD_CHUNK_BYTES];
    // What the library's decoder makes of the bytes, for comparison.
    std::vector<uint8_t> expected(size_t(content) + 1);
    size_t expected_length = size_t(content);
    const bool decodes =
        content != 0 && (expected_size == 0 || content == expected_size) &&
        vorlex_frame_decompress(expected.data(), &expected_length, data, size) ==
            VORLEX_STATUS_OK;

    void* buf = H5allocate_memory(size == 0 ? 1 : size, false);
    FUZZ_CHECK(buf != nullptr);
    if (size != 0) std::memcpy(buf, data, size);
    void* const given = buf;
    size_t buf_size = size;
    H5Eclear2(H5E_DEFAULT);
    const size_t n = vorlex::hdf5::filter(H5Z_FLAG_REVERSE, (mode & 2) != 0 ? VORLEX_H5Z_CD_MAX : 0,
                                          values, size, &buf_size, &buf);
    if (n == 0) {
        FUZZ_CHECK(!decodes);
        FUZZ_CHECK(buf == given && buf_size == size);
        FUZZ_CHECK(error_count() > 0);
    } else {
        FUZZ_CHECK(decodes);
        FUZZ_CHECK(buf != given && n == expected_length && buf_size >= n);
        FUZZ_CHECK(std::memcmp(buf, expected.data(), n) == 0);
    }
    H5free_memory(buf);
    H5Eclear2(H5E_DEFAULT);
    return 0;
}
