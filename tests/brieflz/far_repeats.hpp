// An input whose stream outgrows blz_max_packed_size: K distinct words, a
// gap of 8 MiB of literals that never touches those words' table entries,
// and the words again in another order. Each word then comes back as a
// 4-byte match 8 MiB away, which costs 41 bits where the bound allows 36.
#pragma once

#include <random>

#include "brieflz_format.h"
#include "support/test_data.hpp"

namespace brieflz_test {

inline uint32_t slot_of(const uint8_t* p) {
    const uint32_t w = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                       uint32_t(p[3]) << 24;
    return (w * vorlex::brieflz::HASH_MULTIPLIER) >> (32 - vorlex::brieflz::HASH_BITS);
}

inline vorlex::test::Bytes far_repeats() {
    constexpr size_t WORDS = 8192, GAP = size_t(8) << 20;
    std::mt19937 rng(2024);
    std::vector<bool> taken(vorlex::brieflz::HASH_ENTRIES);
    vorlex::test::Bytes in;
    in.reserve(WORDS * 8 + GAP);
    std::vector<size_t> words;
    while (words.size() < WORDS) {
        uint8_t w[4];
        for (auto& b : w) b = uint8_t(rng());
        if (taken[slot_of(w)]) continue;
        taken[slot_of(w)] = true;
        words.push_back(in.size());
        in.insert(in.end(), w, w + 4);
    }
    // Gap bytes are drawn until the 4 bytes ending at each one hash elsewhere.
    for (size_t i = 0; i < GAP; ++i) {
        in.push_back(uint8_t(rng()));
        while (taken[slot_of(&in[in.size() - 4])]) in.back() = uint8_t(rng());
    }
    // Every other word, twice over: no two neighbours were neighbours before.
    for (size_t k = 0; k < 2; ++k) {
        for (size_t i = k; i < WORDS; i += 2) {
            const size_t at = words[i];
            in.insert(in.end(), in.begin() + long(at), in.begin() + long(at + 4));
        }
    }
    return in;
}

}  // namespace brieflz_test
