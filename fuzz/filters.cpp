// The typed-array filters on any bytes: every code, any typesize (1 to 255)
// and any length round-trip, and each set of kernels this machine has
// (portable, SSE2, AVX2) writes the same filtered bytes.
//
// Input: data, then [u8 typesize - 1][u8 code]; the code is taken modulo the
// known codes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/filters/filters.hpp"
#include "support/check.hpp"
#include "support/input.hpp"

namespace flt = vorlex::frame::filters;

namespace {

constexpr uint8_t CODES[] = {flt::CODE_SHUFFLE, flt::CODE_BITSHUFFLE, flt::CODE_DELTA,
                             flt::CODE_DELTA | flt::CODE_SHUFFLE,
                             flt::CODE_DELTA | flt::CODE_BITSHUFFLE};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorlex::fuzz::Input input(data, size);
    const size_t typesize = size_t(input.take_u8()) + 1;
    const uint8_t code = CODES[input.take_u8() % sizeof CODES];
    const size_t n = input.size();
    const std::vector<uint8_t> in(input.data(), input.data() + n);
    std::vector<uint8_t> a(n + 1), b(n + 1), reference;
    for (const char* kernels : {"portable", "sse2", "avx2"}) {
        if (!flt::use_kernels(kernels)) continue;
        const uint8_t* f = flt::apply(code, typesize, in.data(), n, a.data(), b.data());
        const std::vector<uint8_t> coded(f, f + n);
        if (reference.empty() && n != 0) reference = coded;
        FUZZ_CHECK(coded == reference || n == 0);
        std::vector<uint8_t> out(n + 1), temp(n + 1);
        std::copy(coded.begin(), coded.end(), flt::decode_target(code, out.data(), temp.data()));
        flt::undo(code, typesize, out.data(), n, temp.data());
        FUZZ_CHECK(n == 0 || std::memcmp(out.data(), in.data(), n) == 0);
    }
    flt::use_kernels("");
    return 0;
}
