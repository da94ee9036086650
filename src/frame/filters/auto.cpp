// The auto filter's choice for one block: a few pieces of the block (whole
// elements, spread over it) make a sample of at most SAMPLE bytes; each
// candidate filter is applied to the sample and the codec, with the frame's
// options, compresses it; the smallest output wins. Costlier filters must
// win by a margin, since they also cost more to undo. A trial is a small
// fraction of a real compression (32 KiB of a 1 MiB block), and a block no
// larger than the sample is tried whole.
#include <cstring>

#include "../block_codec.hpp"
#include "block.hpp"
#include "filters.hpp"

namespace vorlex::frame::filters {

namespace {

constexpr size_t PIECES = 4;
constexpr size_t PIECE = 8 << 10;
constexpr size_t SAMPLE = PIECES * PIECE;

// Cheapest first (to undo as well as to apply).
constexpr uint8_t CANDIDATES[] = {
    CODE_NONE,  CODE_SHUFFLE,    CODE_DELTA, CODE_DELTA | CODE_SHUFFLE,
    CODE_BITSHUFFLE, CODE_DELTA | CODE_BITSHUFFLE,
};

// Gathers the sample into work.sample; returns its length.
size_t gather(const uint8_t* in, size_t n, size_t typesize, Work& work) {
    work.sample.reserve(SAMPLE);
    if (n <= SAMPLE) {
        copy_bytes(work.sample.data(), in, n);
        return n;
    }
    // Pieces of whole groups of 8 elements, so that bitshuffle sees them as
    // it sees the block; a typesize of 255 still fits 4 groups in a piece.
    const size_t group = 8 * typesize;
    const size_t piece = PIECE / group * group;
    const size_t elements = n / typesize;
    size_t length = 0;
    for (size_t i = 0; i < PIECES; ++i) {
        const size_t first = (elements - piece / typesize) * i / (PIECES - 1);
        std::memcpy(work.sample.data() + length, in + first * typesize, piece);
        length += piece;
    }
    return length;
}

}  // namespace

uint8_t choose_code(vorlex_codec* codec, bool block_form, size_t typesize, const uint8_t* in,
                    size_t n, vorlex_options* options, Work& work) {
    const size_t length = gather(in, n, typesize, work);
    work.sample_a.reserve(SAMPLE);
    work.sample_b.reserve(SAMPLE);
    const size_t capacity = compress_capacity(codec, SAMPLE);
    work.trial.reserve(capacity);

    uint8_t best = CODE_NONE;
    size_t best_size = SIZE_MAX;
    for (const uint8_t code : CANDIDATES) {
        // With one-byte elements a byte shuffle changes nothing.
        if (typesize == 1 && (code & CODE_REORDER_MASK) == CODE_SHUFFLE) continue;
        const uint8_t* filtered = apply(code, typesize, work.sample.data(), length,
                                        work.sample_a.data(), work.sample_b.data());
        size_t size = compress_payload(codec, block_form, filtered, length, work.trial.data(),
                                       capacity, options);
        if (size == 0) size = length;  // did not shrink
        if (best_size == SIZE_MAX || size + size / 64 < best_size) {
            best = code;
            best_size = size;
        }
    }
    return best;
}

}  // namespace vorlex::frame::filters
