// The filter's callbacks, as HDF5 calls them (H5Z_can_apply_func_t and
// H5Z_func_t): the dataset-creation check, the values recorded then, and
// the chunk transform in both directions.
#pragma once

#include <hdf5.h>

namespace vorlex::hdf5 {

// At dataset creation: 1 when the dataset's cd_values are ones the filter
// knows and their codec loads; otherwise pushes an HDF5 error naming the
// problem and returns -1, which refuses the dataset even for an optional
// filter (for which HDF5 would quietly keep a filter that answered 0).
htri_t can_apply(hid_t dcpl, hid_t type, hid_t space);

// At dataset creation, after can_apply: records the chunk's size in bytes
// in cd_values[VORLEX_H5Z_CD_CHUNK_BYTES], padding the values the user left
// out with 0, so that every dataset created from now on holds
// VORLEX_H5Z_CD_MAX values; a filter in cd_values without a typesize gets
// the dataset type's size (refused over 255 bytes). 0, or -1 with an HDF5
// error.
herr_t set_local(hid_t dcpl, hid_t type, hid_t space);

// One chunk, *buf[0..nbytes), into one vorlex frame, or (H5Z_FLAG_REVERSE in
// flags) one frame back into the chunk's bytes. On success *buf is replaced
// by a new block of *buf_size bytes and the length of the result is
// returned; on failure *buf is left as it was, an HDF5 error says why, and 0
// is returned.
size_t filter(unsigned flags, size_t cd_nelmts, const unsigned cd_values[], size_t nbytes,
              size_t* buf_size, void** buf);

}  // namespace vorlex::hdf5
