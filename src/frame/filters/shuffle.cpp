// Byte shuffle: byte j of element e goes to out[j * count + e]. The kernels
// take typesizes 2, 4, 8 and 16 in whole vectors; every other typesize, and
// the elements after the last vector, take the portable loops.
#include <cstring>

#include "filters.hpp"
#include "kernels.hpp"

namespace vorlex::frame::filters {

void shuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize) {
    const size_t count = n / typesize;
    if (typesize <= 1 || count <= 1) {
        copy_bytes(out, in, n);
        return;
    }
    const size_t done = kernels().shuffle(in, out, count, typesize);
    for (size_t j = 0; j < typesize; ++j) {
        const uint8_t* from = in + j;
        uint8_t* to = out + j * count;
        for (size_t e = done; e < count; ++e) to[e] = from[e * typesize];
    }
    const size_t whole = count * typesize;
    copy_bytes(out + whole, in + whole, n - whole);  // the tail stays as it is
}

void unshuffle(const uint8_t* in, uint8_t* out, size_t n, size_t typesize) {
    const size_t count = n / typesize;
    if (typesize <= 1 || count <= 1) {
        copy_bytes(out, in, n);
        return;
    }
    const size_t done = kernels().unshuffle(in, out, count, typesize);
    for (size_t j = 0; j < typesize; ++j) {
        const uint8_t* from = in + j * count;
        uint8_t* to = out + j;
        for (size_t e = done; e < count; ++e) to[e * typesize] = from[e];
    }
    const size_t whole = count * typesize;
    copy_bytes(out + whole, in + whole, n - whole);
}

}  // namespace vorlex::frame::filters
