#include "filter.hpp"

#include <stdint.h>
#include <stdio.h>

#include <vorlex/vorlex.h>
#include <vorlex/vorlex_hdf5.h>

#include "values.hpp"

namespace vorlex::hdf5 {

namespace {

// HDF5 never makes a chunk of 4 GiB or more: a frame claiming more is damaged.
constexpr uint64_t MAX_CHUNK_BYTES = UINT32_MAX;

// Pushes "vorlex filter: <what>" onto the HDF5 error stack. Called after
// everything else on a failure path, so that no HDF5 call made while
// cleaning up can clear it.
void push_error(const char* function, hid_t minor, const char* what) {
    H5Epush2(H5E_DEFAULT, __FILE__, function, __LINE__, H5E_ERR_CLS, H5E_PLINE, minor,
             "vorlex filter: %s", what);
}

// The codec the settings name, or nullptr after writing why into why.
vorlex_codec* load_codec(const Settings& s, char* why, size_t why_size) {
    vorlex_codec* codec = vorlex_get_codec(s.codec);
    if (codec == nullptr) {
        snprintf(why, why_size, "codec '%s' cannot be loaded: %s", s.codec,
                 vorlex_get_codec_error(s.codec));
    }
    return codec;
}

// Whether the codec has the settings' level (0, its default, it always has);
// else writes why into why. A codec without levels ignores one, as it does
// in every other door (HDF5 has no way to warn).
bool check_level(vorlex_codec* codec, const Settings& s, char* why, size_t why_size) {
    if (s.level == 0) return true;
    int low = 0;
    int high = 0;
    if (vorlex_codec_get_levels(codec, &low, &high, nullptr) != VORLEX_STATUS_OK) return true;
    if (s.level < low || s.level > high) {
        snprintf(why, why_size, "compression level %d in cd_values[%d] out of range for %s (%d to %d)",
                 s.level, VORLEX_H5Z_CD_LEVEL, s.codec, low, high);
        return false;
    }
    return true;
}

// One frame of in into out, at the settings' level, through their filter.
vorlex_status compress_frame(vorlex_codec* codec, const Settings& s, uint8_t* out,
                             size_t* out_length, const uint8_t* in, size_t in_length) {
    if (s.level == 0 && s.filter == VORLEX_FILTER_NONE) {
        return vorlex_frame_compress(codec, s.block_size, out, out_length, in, in_length);
    }
    vorlex_options* options = vorlex_options_new();
    if (options == nullptr) return VORLEX_STATUS_NO_MEMORY;
    vorlex_status st = s.level != 0 ? vorlex_options_set_level(options, s.level) : VORLEX_STATUS_OK;
    if (st == VORLEX_STATUS_OK && s.filter != VORLEX_FILTER_NONE) {
        // set_local gave the typesize when the dataset was made.
        st = vorlex_options_set_filter(options, s.filter, s.typesize);
    }
    if (st == VORLEX_STATUS_OK) {
        st = vorlex_frame_compress_with_options(codec, options, s.block_size, out, out_length, in,
                                                in_length);
    }
    vorlex_options_free(options);
    return st;
}

size_t encode(unsigned flags, size_t cd_nelmts, const unsigned cd_values[], size_t nbytes,
              size_t* buf_size, void** buf) {
    char why[512];
    Settings s{};
    if (!parse_values(cd_nelmts, cd_values, &s, why, sizeof why)) {
        push_error(__func__, H5E_BADVALUE, why);
        return 0;
    }
    vorlex_codec* codec = load_codec(s, why, sizeof why);
    if (codec == nullptr || !check_level(codec, s, why, sizeof why)) {
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    if (s.filter != VORLEX_FILTER_NONE && s.typesize == 0) {
        // set_local fills it in; values without it never came from HDF5.
        snprintf(why, sizeof why, "a filter without a typesize in cd_values[%d]",
                 VORLEX_H5Z_CD_TYPESIZE);
        push_error(__func__, H5E_BADVALUE, why);
        return 0;
    }
    // A frame of another size would be refused when read back: better no
    // chunk than one that cannot be read.
    if (s.chunk_bytes != 0 && nbytes != s.chunk_bytes) {
        snprintf(why, sizeof why, "a chunk of %zu bytes where the dataset's chunks are %u bytes",
                 nbytes, s.chunk_bytes);
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    const size_t bound = vorlex_frame_compress_bound(codec, nbytes, s.block_size);
    if (bound == 0) {
        snprintf(why, sizeof why, "a chunk of %zu bytes is too large for a frame", nbytes);
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    void* out = H5allocate_memory(bound, false);
    if (out == nullptr) {
        snprintf(why, sizeof why, "out of memory for a frame of %zu bytes", bound);
        push_error(__func__, H5E_CANTALLOC, why);
        return 0;
    }
    size_t length = bound;
    const vorlex_status st = compress_frame(codec, s, static_cast<uint8_t*>(out), &length,
                                            static_cast<const uint8_t*>(*buf), nbytes);
    if (st != VORLEX_STATUS_OK) {
        H5free_memory(out);
        snprintf(why, sizeof why, "%s cannot compress the chunk: %s", s.codec, vorlex_frame_last_error());
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    // A frame that does not shrink the chunk is still a valid chunk, and a
    // mandatory filter must store it. An optional filter gives way instead:
    // on a 0 HDF5 stores the chunk as it is and marks it unfiltered, so
    // readers never call the filter for it. That is no error, so none is
    // pushed.
    if ((flags & H5Z_FLAG_OPTIONAL) != 0 && length >= nbytes) {
        H5free_memory(out);
        return 0;
    }
    H5free_memory(*buf);
    *buf = out;
    *buf_size = bound;
    return length;
}

// The frame names its codec and block size; of the values only the chunk
// size matters. HDF5 takes the returned length on trust and copies a whole
// chunk out of the buffer: a frame holding fewer bytes would hand it heap
// memory past the buffer's end, one holding more would be cut silently. So
// a frame must hold exactly the recorded chunk size, checked before
// anything is allocated for it. Datasets from before the size was recorded
// (expected 0) get the frame's own checks only.
size_t decode(uint32_t expected, size_t nbytes, size_t* buf_size, void** buf) {
    char why[512];
    const uint8_t* in = static_cast<const uint8_t*>(*buf);
    uint64_t size = 0;
    vorlex_status st = vorlex_frame_content_size(in, nbytes, &size);
    if (st != VORLEX_STATUS_OK) {
        snprintf(why, sizeof why, "damaged chunk of %zu bytes: %s", nbytes, vorlex_frame_last_error());
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    if (expected != 0 && size != expected) {
        snprintf(why, sizeof why,
                 "damaged chunk: the frame holds %llu bytes, the dataset's chunks are %u bytes "
                 "(cd_values[%d])",
                 static_cast<unsigned long long>(size), expected, VORLEX_H5Z_CD_CHUNK_BYTES);
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    if (size == 0 || size > MAX_CHUNK_BYTES) {
        snprintf(why, sizeof why, "damaged chunk: the frame holds %llu bytes, not 1 to %llu",
                 static_cast<unsigned long long>(size),
                 static_cast<unsigned long long>(MAX_CHUNK_BYTES));
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    void* out = H5allocate_memory(size_t(size), false);
    if (out == nullptr) {
        snprintf(why, sizeof why, "out of memory for a chunk of %llu bytes",
                 static_cast<unsigned long long>(size));
        push_error(__func__, H5E_CANTALLOC, why);
        return 0;
    }
    size_t length = size_t(size);
    st = vorlex_frame_decompress(static_cast<uint8_t*>(out), &length, in, nbytes);
    if (st != VORLEX_STATUS_OK || length != size) {
        H5free_memory(out);
        if (st == VORLEX_STATUS_OK) {
            snprintf(why, sizeof why, "damaged chunk: %zu bytes decoded, %llu recorded", length,
                     static_cast<unsigned long long>(size));
        } else {
            snprintf(why, sizeof why, "damaged chunk of %zu bytes: %s", nbytes, vorlex_frame_last_error());
        }
        push_error(__func__, H5E_CANTFILTER, why);
        return 0;
    }
    H5free_memory(*buf);
    *buf = out;
    *buf_size = length;
    return length;
}

}  // namespace

htri_t can_apply(hid_t dcpl, hid_t, hid_t) {
    unsigned flags = 0;
    unsigned config = 0;
    unsigned values[VORLEX_H5Z_CD_MAX] = {};
    size_t count = VORLEX_H5Z_CD_MAX;  // in: room in values; out: how many the dataset has
    if (H5Pget_filter_by_id2(dcpl, VORLEX_H5Z_FILTER, &flags, &count, values, 0, nullptr,
                             &config) < 0) {
        push_error(__func__, H5E_CANTGET, "cannot read the filter's values");
        return -1;
    }
    char why[512];
    Settings s{};
    vorlex_codec* codec = nullptr;
    if (!parse_values(count, values, &s, why, sizeof why) ||
        (codec = load_codec(s, why, sizeof why)) == nullptr ||
        !check_level(codec, s, why, sizeof why)) {
        push_error(__func__, H5E_BADVALUE, why);
        return -1;
    }
    return 1;
}

herr_t set_local(hid_t dcpl, hid_t type, hid_t) {
    unsigned flags = 0;
    unsigned config = 0;
    unsigned values[VORLEX_H5Z_CD_MAX] = {};  // the user's values, padded with 0
    size_t count = VORLEX_H5Z_CD_MAX;
    if (H5Pget_filter_by_id2(dcpl, VORLEX_H5Z_FILTER, &flags, &count, values, 0, nullptr,
                             &config) < 0) {
        push_error(__func__, H5E_CANTGET, "cannot read the filter's values");
        return -1;
    }
    // A filter without a typesize takes the dataset type's size.
    if (values[VORLEX_H5Z_CD_FILTER] != 0 && values[VORLEX_H5Z_CD_TYPESIZE] == 0) {
        const size_t size = H5Tget_size(type);
        if (size == 0 || size > VORLEX_FILTER_MAX_TYPESIZE) {
            char why[256];
            snprintf(why, sizeof why,
                     "the dataset's elements are %zu bytes, over the filters' %d: give a "
                     "typesize in cd_values[%d]",
                     size, VORLEX_FILTER_MAX_TYPESIZE, VORLEX_H5Z_CD_TYPESIZE);
            push_error(__func__, H5E_BADVALUE, why);
            return -1;
        }
        values[VORLEX_H5Z_CD_TYPESIZE] = unsigned(size);
    }
    // The chunk's size as HDF5 hands chunks to the filter: every element of
    // the chunk's shape at the dataset type's stored size (edge chunks are
    // passed whole too).
    hsize_t dims[H5S_MAX_RANK] = {};
    const int rank = H5Pget_chunk(dcpl, H5S_MAX_RANK, dims);
    const size_t element = H5Tget_size(type);
    if (rank <= 0 || element == 0) {
        push_error(__func__, H5E_CANTGET, "cannot read the dataset's chunk shape and type size");
        return -1;
    }
    uint64_t bytes = element;
    for (int i = 0; i < rank; ++i) {
        if (dims[i] == 0 || bytes > MAX_CHUNK_BYTES / dims[i]) {
            push_error(__func__, H5E_BADVALUE, "the chunk is too large for the filter (4 GiB or more)");
            return -1;
        }
        bytes *= dims[i];
    }
    values[VORLEX_H5Z_CD_CHUNK_BYTES] = unsigned(bytes);
    if (H5Pmodify_filter(dcpl, VORLEX_H5Z_FILTER, flags, VORLEX_H5Z_CD_MAX, values) < 0) {
        push_error(__func__, H5E_CANTSET, "cannot record the chunk size in the filter's values");
        return -1;
    }
    return 0;
}

size_t filter(unsigned flags, size_t cd_nelmts, const unsigned cd_values[], size_t nbytes,
              size_t* buf_size, void** buf) {
    if ((flags & H5Z_FLAG_REVERSE) != 0) {
        return decode(recorded_chunk_bytes(cd_nelmts, cd_values), nbytes, buf_size, buf);
    }
    return encode(flags, cd_nelmts, cd_values, nbytes, buf_size, buf);
}

}  // namespace vorlex::hdf5
