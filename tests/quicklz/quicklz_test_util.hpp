// Helpers shared by the quicklz suites: hex vectors, and a builder for
// hand-made blocks (control words computed from the item list) so damaged
// blocks read as what they contain.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "quicklz.h"
#include "support/test_data.hpp"

namespace qlz_test {

using vorlex::test::Bytes;

inline Bytes from_hex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline uint32_t hash_of(const char* three) {
    return qlz_position_hash(uint32_t(uint8_t(three[0])) | uint32_t(uint8_t(three[1])) << 8 |
                             uint32_t(uint8_t(three[2])) << 16);
}

// One item of a hand-made body: a literal byte, or a token naming hash h with
// length len (short form for 3..17, long form otherwise, so lengths 0..2 make
// damaged long tokens).
struct Item {
    bool match;
    uint8_t literal;
    uint32_t h;
    uint32_t len;
};
inline Item lit(char c) { return {false, uint8_t(c), 0, 0}; }
inline Item token(uint32_t h, uint32_t len) { return {true, 0, h, len}; }
inline std::vector<Item> lits(const std::string& s) {
    std::vector<Item> v;
    for (char c : s) v.push_back(lit(c));
    return v;
}
template <class T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Groups of 31 items behind their control words.
inline Bytes body_of(const std::vector<Item>& items) {
    Bytes body;
    for (size_t g = 0; g < items.size(); g += 31) {
        const size_t slot = body.size();
        body.resize(slot + 4);
        uint32_t cw = 0x80000000u;
        for (size_t i = g; i < items.size() && i < g + 31; ++i) {
            const Item& it = items[i];
            if (!it.match) {
                body.push_back(it.literal);
                continue;
            }
            cw |= 1u << (i - g);
            const bool short_form = it.len >= 3 && it.len <= 17;
            const uint16_t t = uint16_t(it.h << 4 | (short_form ? it.len - 2 : 0));
            body.push_back(uint8_t(t));
            body.push_back(uint8_t(t >> 8));
            if (!short_form) body.push_back(uint8_t(it.len));
        }
        for (int b = 0; b < 4; ++b) body[slot + b] = uint8_t(cw >> (8 * b));
    }
    return body;
}

// A compressed block with a short header. A total given explicitly is written
// into the header, and the block is cut to it (never below its header).
inline Bytes short_block(size_t n, const Bytes& body, int total = -1) {
    const size_t t = total < 0 ? 3 + body.size() : size_t(total);
    Bytes b(3 + body.size());
    b[0] = 0x45;
    b[1] = uint8_t(t);
    b[2] = uint8_t(n);
    std::copy(body.begin(), body.end(), b.begin() + 3);
    b.resize(std::max<size_t>(3, std::min(t, b.size())));
    return b;
}

// Sets the header's total-length field.
inline void set_total(Bytes& block, size_t total) {
    if (block[0] & 2) {
        for (int b = 0; b < 4; ++b) block[1 + b] = uint8_t(total >> (8 * b));
    } else {
        block[1] = uint8_t(total);
    }
}

}  // namespace qlz_test
