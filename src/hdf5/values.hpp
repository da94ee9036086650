// The filter's client data values (cd_values), checked: what a dataset asks
// for, or why it cannot have it. Knows nothing of HDF5 or of the codecs'
// plug-ins, so the same check serves dataset creation and every chunk.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace vorlex::hdf5 {

struct Settings {
    const char* codec;  // the codec's name
    size_t block_size;  // bytes; 0 for the frame's default
    int level;          // 0 for the codec's default; whether the codec has it is not checked here
    int filter;         // vorlex_filter; 0 for none
    unsigned typesize;  // 1 to 255 with a filter; 0: the dataset type's size (set_local fills it)
    uint32_t chunk_bytes;  // the dataset's chunk size; 0 when not recorded (older datasets)
};

// Reads count values (only the first VORLEX_H5Z_CD_MAX are looked at: more is
// refused anyway). On success fills *settings and returns true; otherwise
// writes a one-line reason naming the value into why[0..why_size) and
// returns false.
bool parse_values(size_t count, const unsigned* values, Settings* settings, char* why,
                  size_t why_size);

// The chunk size a dataset recorded in its values, or 0 when it has none
// (created before the filter recorded it). Reading needs nothing else of the
// values: the frame names its codec and block size.
uint32_t recorded_chunk_bytes(size_t count, const unsigned* values);

}  // namespace vorlex::hdf5
