// Helpers for the lzjb tests: hex vectors, and inputs placed at a chosen
// address modulo 1024, since the compressor's output depends on it.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace lzjb_test {

using Bytes = std::vector<uint8_t>;

inline Bytes hex(const std::string& s) {
    Bytes out;
    for (size_t i = 0; i + 1 < s.size(); i += 3)
        out.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
    return out;
}

// FNV-1a over b, continuing from h: a fingerprint of streams that must not
// change by a single byte.
inline uint64_t fnv1a(std::span<const uint8_t> b, uint64_t h = 0xcbf29ce484222325u) {
    for (uint8_t x : b) h = (h ^ x) * 0x100000001b3u;
    return h;
}

// A copy of data whose first byte lies at an address congruent to
// residue modulo 1024.
class Placed {
public:
    Placed(std::span<const uint8_t> data, size_t residue) : store_(data.size() + 2048) {
        const auto addr = reinterpret_cast<uintptr_t>(store_.data());
        data_ = store_.data() + ((residue - addr) & 1023);
        if (!data.empty()) std::memcpy(data_, data.data(), data.size());
        size_ = data.size();
    }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    Bytes store_;
    uint8_t* data_;
    size_t size_;
};

}  // namespace lzjb_test
