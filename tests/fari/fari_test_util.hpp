// Helpers shared by the fari test suites: one-call wrappers around the coder
// with a table of their own, and an input built bit by bit against the model.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.hpp"
#include "fari.h"
#include "fari_format.h"
#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace fari_test {

using vorlex::test::Bytes;
using vorlex::test::GuardedBuffer;

// The registers alone limit a stream to four bytes per bit, one per byte
// boundary and five at the end.
inline size_t stream_limit(size_t n) { return n == 0 ? 5 : 33 * n + 4; }

inline std::vector<uint16_t>& scratch_table() {
    static std::vector<uint16_t> table(fari::TABLE_ENTRIES);
    return table;
}

inline Bytes compress(std::span<const uint8_t> in) {
    Bytes out(stream_limit(in.size()));
    size_t len = 0;
    const int r = fa_compress(in.data(), out.data(), in.size(), &len, scratch_table().data());
    if (r != 0 || len > out.size()) return {};
    out.resize(len);
    return out;
}

struct Decoded {
    int result;
    size_t length;  // *out_len after the call
    Bytes bytes;    // the first min(length, capacity) output bytes
};

// Decodes with the stream at the very end of its mapping and the output
// ending exactly at the capacity, so any overread or overrun faults.
inline Decoded decompress(std::span<const uint8_t> stream, size_t capacity) {
    GuardedBuffer in(stream);
    GuardedBuffer out(capacity);
    size_t len = capacity;
    const int r = fa_decompress(in.data(), out.data(), stream.size(), &len, scratch_table().data());
    const size_t shown = len < capacity ? len : capacity;
    return {r, len, Bytes(out.data(), out.data() + shown)};
}

inline Bytes hex(const std::string& s) {
    Bytes b;
    for (size_t i = 0; i + 1 < s.size(); i += 3) b.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
    return b;
}

// Each bit is the one the model finds less likely (a 1 at a tie, as a 1
// takes the lower, never larger, side of the split). Only the probability
// table and the context decide the choice, so the model is all that needs
// simulating. Such data costs about 4 % more than its length.
inline Bytes against_the_model(size_t n) {
    std::vector<uint16_t> p(fari::TABLE_ENTRIES, fari::PROBABILITY_START);
    uint32_t context = 0;
    Bytes data(n);
    for (auto& byte : data) {
        unsigned value = 0;
        for (unsigned k = 0; k < 8; ++k) {
            const uint32_t q = p[context];
            const uint32_t bit = q <= 0x8000 ? 1 : 0;
            p[context] = uint16_t(bit ? q + ((0xffff - q) >> 4) : q - (q >> 4));
            context = ((context << 1) | bit) & fari::CONTEXT_MASK;
            value |= bit << k;
        }
        byte = uint8_t(value);
    }
    return data;
}

}  // namespace fari_test
