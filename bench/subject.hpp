// A codec under measurement: one of ours, called through the host exactly as
// an application calls it (codecs.hpp), or a well-known peer library called
// through its own one-shot buffer functions (peers.hpp). The runner sees only
// this interface, so ours and the peers are timed by the same loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "buffer.hpp"

namespace vorlex::bench {

class Subject {
public:
    Subject(std::string name, bool peer) : name_(std::move(name)), peer_(peer) {}
    virtual ~Subject() = default;
    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;

    const std::string& name() const { return name_; }
    bool is_peer() const { return peer_; }

    // An output capacity that compressing n bytes of ordinary data fits in.
    virtual size_t compress_capacity(size_t n) const = 0;

    // Compress in into out[0..out.size()); *produced on success. Returns
    // nullptr on success, else a short reason that stays valid for the
    // process (no allocation on either path: these run inside timed loops).
    virtual const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) = 0;

    // Decompress in into out, whose size is the original size (what a codec
    // whose data records no size must be told). Same result convention.
    virtual const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) = 0;

private:
    std::string name_;
    bool peer_;
};

}  // namespace vorlex::bench
