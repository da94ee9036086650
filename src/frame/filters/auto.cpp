// The auto filter's choice for one block: a few pieces of the block (whole
// elements, spread over it) make a sample of at most SAMPLE bytes; each
// candidate filter is applied to the sample and the codec, with the frame's
// options, compresses it; the smallest output wins. Costlier filters must
// win by a margin, since they also cost more to undo. A trial is a small
// fraction of a real compression (32 KiB of a 1 MiB block), and a block no
// larger than the sample is tried whole.
//
// Most candidates lose by far (a byte order left as it is against a bit
// shuffle of 16-bit samples, say), and those are also the slowest for a
// fast codec to compress. So a first round tries every candidate on one
// piece from the middle of the sample (a quarter of it), and only those
// within 1/PRUNE of that round's best go on to the whole sample; when one
// is left, it is the choice. On the arrays of the benchmark this halves
// the trial's cost or better and picks what the full trial picks.
#include <cstring>

#include "../block_codec.hpp"
#include "block.hpp"
#include "filters.hpp"

namespace vorlex::frame::filters {

namespace {

constexpr size_t PIECES = 4;
constexpr size_t PIECE = 8 << 10;
constexpr size_t SAMPLE = PIECES * PIECE;
// The first round keeps the candidates within 1/PRUNE of its best.
constexpr size_t PRUNE = 8;

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

    // The candidates that apply: with one-byte elements a byte shuffle
    // changes nothing.
    uint8_t codes[sizeof CANDIDATES];
    size_t count = 0;
    for (const uint8_t code : CANDIDATES) {
        if (typesize == 1 && (code & CODE_REORDER_MASK) == CODE_SHUFFLE) continue;
        codes[count++] = code;
    }
    auto trial = [&](uint8_t code, const uint8_t* sample, size_t bytes) {
        const uint8_t* filtered =
            apply(code, typesize, sample, bytes, work.sample_a.data(), work.sample_b.data());
        const size_t size = compress_payload(codec, block_form, filtered, bytes, work.trial.data(),
                                             capacity, options);
        return size != 0 ? size : bytes;  // 0: did not shrink
    };

    // The first round, when the sample is more than two pieces long.
    const size_t group = 8 * typesize;
    const size_t piece = PIECE / group * group;
    if (length > 2 * piece) {
        const size_t offset = (length - piece) / 2 / group * group;
        size_t sizes[sizeof CANDIDATES];
        size_t least = SIZE_MAX;
        for (size_t i = 0; i < count; ++i) {
            sizes[i] = trial(codes[i], work.sample.data() + offset, piece);
            if (sizes[i] < least) least = sizes[i];
        }
        size_t kept = 0;
        for (size_t i = 0; i < count; ++i) {
            if (sizes[i] <= least + least / PRUNE) codes[kept++] = codes[i];
        }
        count = kept;
        if (count == 1) return codes[0];
    }

    uint8_t best = CODE_NONE;
    size_t best_size = SIZE_MAX;
    for (size_t i = 0; i < count; ++i) {
        const size_t size = trial(codes[i], work.sample.data(), length);
        if (best_size == SIZE_MAX || size + size / 64 < best_size) {
            best = codes[i];
            best_size = size;
        }
    }
    return best;
}

}  // namespace vorlex::frame::filters
