// The codec numbers of the HDF5 filter's cd_values[0]. A number is stored in
// every file written with it, so a number once given keeps its codec for
// good: numbers are only ever added. A codec whose plug-in is missing at run
// time is refused when a dataset asks for it.
#pragma once

#include <stddef.h>

namespace vorlex::hdf5 {

struct CodecNumber {
    unsigned number;
    const char* name;
};

inline constexpr CodecNumber CODEC_NUMBERS[] = {
    {1, "quicklz"},
    {2, "brieflz"},
    {3, "fari"},
    {4, "lzjb"},
    {5, "copy"},
    {6, "lz4"},
    {7, "zstd"},
    {8, "gzip"},
    {9, "snappy"},
};

// cd_values[0] == 0, or no value at all.
inline constexpr unsigned DEFAULT_CODEC_NUMBER = 1;

// The codec's name, or nullptr for a number that has none.
constexpr const char* codec_name(unsigned number) {
    if (number == 0) number = DEFAULT_CODEC_NUMBER;
    for (const CodecNumber& c : CODEC_NUMBERS) {
        if (c.number == number) return c.name;
    }
    return nullptr;
}

}  // namespace vorlex::hdf5
