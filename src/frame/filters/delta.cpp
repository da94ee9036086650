// Delta: element e becomes element e minus element e - 1, both read as
// little-endian integers of typesize bytes, modulo 2^(8 typesize); element 0
// is kept (its predecessor counts as zero). Decoding is the running sum. The
// usual sizes go through native integers, which the compiler vectorises for
// encoding (decoding, a chain of additions, has kernels for 2-, 4- and 8-byte
// elements); every other size borrows and carries byte by byte.
#include <cstring>

#include "filters.hpp"
#include "kernels.hpp"

namespace vorlex::frame::filters {

namespace {

template <class T>
inline T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
inline void store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

template <class T>
void encode_native(const uint8_t* __restrict in, uint8_t* __restrict out, size_t count) {
    store<T>(out, load<T>(in));
    for (size_t e = 1; e < count; ++e) {
        store<T>(out + e * sizeof(T), T(load<T>(in + e * sizeof(T)) - load<T>(in + (e - 1) * sizeof(T))));
    }
}

// From element `done` on, the elements before it being summed already.
template <class T>
void decode_native(uint8_t* buf, size_t done, size_t count) {
    T sum = done != 0 ? load<T>(buf + (done - 1) * sizeof(T)) : T(0);
    for (size_t e = done; e < count; ++e) {
        sum = T(sum + load<T>(buf + e * sizeof(T)));
        store<T>(buf + e * sizeof(T), sum);
    }
}

void encode_bytes(const uint8_t* in, uint8_t* out, size_t count, size_t typesize) {
    std::memcpy(out, in, typesize);
    for (size_t e = 1; e < count; ++e) {
        const uint8_t* cur = in + e * typesize;
        const uint8_t* prev = cur - typesize;
        unsigned borrow = 0;
        for (size_t b = 0; b < typesize; ++b) {
            const unsigned d = unsigned(cur[b]) - prev[b] - borrow;
            out[e * typesize + b] = uint8_t(d);
            borrow = (d >> 8) & 1;
        }
    }
}

void decode_bytes(uint8_t* buf, size_t count, size_t typesize) {
    for (size_t e = 1; e < count; ++e) {
        uint8_t* cur = buf + e * typesize;
        const uint8_t* prev = cur - typesize;
        unsigned carry = 0;
        for (size_t b = 0; b < typesize; ++b) {
            const unsigned s = unsigned(cur[b]) + prev[b] + carry;
            cur[b] = uint8_t(s);
            carry = s >> 8;
        }
    }
}

}  // namespace

void delta_encode(const uint8_t* in, uint8_t* out, size_t n, size_t typesize) {
    const size_t count = n / typesize;
    if (count != 0) {
        switch (typesize) {
            case 1: encode_native<uint8_t>(in, out, count); break;
            case 2: encode_native<uint16_t>(in, out, count); break;
            case 4: encode_native<uint32_t>(in, out, count); break;
            case 8: encode_native<uint64_t>(in, out, count); break;
            default: encode_bytes(in, out, count, typesize); break;
        }
    }
    const size_t whole = count * typesize;
    copy_bytes(out + whole, in + whole, n - whole);
}

void delta_decode(uint8_t* buf, size_t n, size_t typesize) {
    const size_t count = n / typesize;
    if (count == 0) return;
    const size_t done = kernels().delta_decode(buf, count, typesize);
    switch (typesize) {
        case 1: decode_native<uint8_t>(buf, done, count); break;
        case 2: decode_native<uint16_t>(buf, done, count); break;
        case 4: decode_native<uint32_t>(buf, done, count); break;
        case 8: decode_native<uint64_t>(buf, done, count); break;
        default: decode_bytes(buf, count, typesize); break;
    }
}

}  // namespace vorlex::frame::filters
