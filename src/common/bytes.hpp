// Byte order and unaligned access for the codecs: the only place that knows
// how multi-byte fields are laid out. Every helper works at any address; the
// shifts spell out the order and compile to single loads and stores.
// Header-only and free of the C++ runtime, so plug-ins can include it.
#pragma once

#include <stdint.h>
#include <string.h>

namespace vorlex::bytes {

inline uint16_t load_le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint16_t load_be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint64_t load_le64(const uint8_t* p) {
    return uint64_t(load_le32(p)) | uint64_t(load_le32(p + 4)) << 32;
}

inline void store_le16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void store_be16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void store_le32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline void store_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void store_le64(uint8_t* p, uint64_t v) {
    store_le32(p, uint32_t(v));
    store_le32(p + 4, uint32_t(v >> 32));
}

// Native-order loads for hashing and match comparison, where only equality
// of bytes matters, not their numeric value. memcpy keeps them legal at any
// alignment and compiles to one move.
inline uint32_t load_u32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, sizeof v);
    return v;
}
inline uint64_t load_u64(const uint8_t* p) {
    uint64_t v;
    memcpy(&v, p, sizeof v);
    return v;
}
inline void store_u64(uint8_t* p, uint64_t v) { memcpy(p, &v, sizeof v); }

}  // namespace vorlex::bytes
