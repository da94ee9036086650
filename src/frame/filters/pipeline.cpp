// A block's filter code as steps: delta first, then a rearrangement; undone
// in the opposite order. Where each step writes is chosen so that the
// decoder needs one block of work memory and the encoder two.
#include "filters.hpp"

namespace vorlex::frame::filters {

bool is_known_code(uint8_t code) {
    return (code & ~(CODE_DELTA | CODE_REORDER_MASK)) == 0 &&
           (code & CODE_REORDER_MASK) != CODE_REORDER_MASK;
}

const uint8_t* apply(uint8_t code, size_t typesize, const uint8_t* in, size_t n, uint8_t* a,
                     uint8_t* b) {
    const bool delta = (code & CODE_DELTA) != 0;
    switch (code & CODE_REORDER_MASK) {
        case CODE_SHUFFLE:
            if (delta) {
                delta_encode(in, b, n, typesize);
                in = b;
            }
            shuffle(in, a, n, typesize);
            return a;
        case CODE_BITSHUFFLE:
            if (delta) {
                delta_encode(in, a, n, typesize);
                in = a;
            }
            bitshuffle(in, a, n, typesize, b);
            return a;
        default:
            if (!delta) return in;
            delta_encode(in, a, n, typesize);
            return a;
    }
}

uint8_t* decode_target(uint8_t code, uint8_t* out, uint8_t* temp) {
    return (code & CODE_REORDER_MASK) == CODE_SHUFFLE ? temp : out;
}

void undo(uint8_t code, size_t typesize, uint8_t* out, size_t n, uint8_t* temp) {
    switch (code & CODE_REORDER_MASK) {
        case CODE_SHUFFLE:
            unshuffle(temp, out, n, typesize);
            break;
        case CODE_BITSHUFFLE:
            bitunshuffle(out, out, n, typesize, temp);
            break;
        default:
            break;
    }
    if ((code & CODE_DELTA) != 0) delta_decode(out, n, typesize);
}

}  // namespace vorlex::frame::filters
