// libvorlex-hdf5.so's two exports: what HDF5's plug-in loader looks up in
// every library of its plug-in path, and the filter's class.
#include <H5PLextern.h>

#include <vorlex/vorlex_hdf5.h>

#include "filter.hpp"

namespace {

const H5Z_class2_t VORLEX_H5Z_CLASS = {
    H5Z_CLASS_T_VERS,
    VORLEX_H5Z_FILTER,
    1,  // encoder present
    1,  // decoder present
    "vorlex: one frame per chunk (libvorlex-hdf5.so)",
    vorlex::hdf5::can_apply,
    vorlex::hdf5::set_local,  // records the chunk size, which reading checks
    vorlex::hdf5::filter,
};

}  // namespace

extern "C" H5PL_type_t H5PLget_plugin_type(void) {
    return H5PL_TYPE_FILTER;
}

extern "C" const void* H5PLget_plugin_info(void) {
    return &VORLEX_H5Z_CLASS;
}
