#include "values.hpp"

#include <stdio.h>

#include <vorlex/vorlex.h>
#include <vorlex/vorlex_hdf5.h>

#include "codec_numbers.hpp"

namespace vorlex::hdf5 {

namespace {

// The frame's largest block in the KiB the values count in.
constexpr unsigned MAX_BLOCK_KIB = VORLEX_FRAME_MAX_BLOCK_SIZE / 1024;

// "1 quicklz, 2 brieflz, ..." for messages.
void list_codecs(char* out, size_t size) {
    size_t used = 0;
    out[0] = '\0';
    for (const CodecNumber& c : CODEC_NUMBERS) {
        const int n = snprintf(out + used, size - used, "%s%u %s", used == 0 ? "" : ", ",
                               c.number, c.name);
        if (n < 0 || size_t(n) >= size - used) return;
        used += size_t(n);
    }
}

}  // namespace

bool parse_values(size_t count, const unsigned* values, Settings* settings, char* why,
                  size_t why_size) {
    if (count > VORLEX_H5Z_CD_MAX) {
        snprintf(why, why_size,
                 "%zu client data values given, at most %d are known "
                 "(codec number, block size in KiB, level, filter, typesize, chunk bytes)",
                 count, VORLEX_H5Z_CD_MAX);
        return false;
    }
    const unsigned number = count > VORLEX_H5Z_CD_CODEC ? values[VORLEX_H5Z_CD_CODEC] : 0;
    const char* name = codec_name(number);
    if (name == nullptr) {
        char known[256];
        list_codecs(known, sizeof known);
        snprintf(why, why_size, "unknown codec number %u in cd_values[%d] (known: %s; 0: %s)",
                 number, VORLEX_H5Z_CD_CODEC, known, codec_name(0));
        return false;
    }
    const unsigned kib = count > VORLEX_H5Z_CD_BLOCK_KIB ? values[VORLEX_H5Z_CD_BLOCK_KIB] : 0;
    if (kib > MAX_BLOCK_KIB) {
        snprintf(why, why_size,
                 "block size %u KiB in cd_values[%d] out of range (1 to %u KiB; 0: the default)",
                 kib, VORLEX_H5Z_CD_BLOCK_KIB, MAX_BLOCK_KIB);
        return false;
    }
    // A level is a signed number stored in an unsigned value (zstd's fast
    // levels are negative), 0 meaning the codec's default.
    const unsigned level = count > VORLEX_H5Z_CD_LEVEL ? values[VORLEX_H5Z_CD_LEVEL] : 0;
    const unsigned filter = count > VORLEX_H5Z_CD_FILTER ? values[VORLEX_H5Z_CD_FILTER] : 0;
    if (filter > VORLEX_FILTER_AUTO) {
        snprintf(why, why_size,
                 "unknown filter %u in cd_values[%d] (1 shuffle, 2 bitshuffle, 3 delta, "
                 "4 auto; 0: none)",
                 filter, VORLEX_H5Z_CD_FILTER);
        return false;
    }
    const unsigned typesize = count > VORLEX_H5Z_CD_TYPESIZE ? values[VORLEX_H5Z_CD_TYPESIZE] : 0;
    if (typesize > VORLEX_FILTER_MAX_TYPESIZE) {
        snprintf(why, why_size,
                 "typesize %u in cd_values[%d] out of range (1 to %d; 0: the type's size)",
                 typesize, VORLEX_H5Z_CD_TYPESIZE, VORLEX_FILTER_MAX_TYPESIZE);
        return false;
    }
    settings->filter = int(filter);
    settings->typesize = typesize;
    settings->codec = name;
    settings->block_size = size_t(kib) * 1024;
    settings->level = static_cast<int>(level);
    settings->chunk_bytes = recorded_chunk_bytes(count, values);
    return true;
}

uint32_t recorded_chunk_bytes(size_t count, const unsigned* values) {
    return count > VORLEX_H5Z_CD_CHUNK_BYTES ? values[VORLEX_H5Z_CD_CHUNK_BYTES] : 0;
}

}  // namespace vorlex::hdf5
