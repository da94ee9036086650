# Finds HDF5's C library for the HDF5 filter (src/hdf5) and its tests.
# Sets VORLEX_HDF5_TARGET to a target to link, or leaves it empty when HDF5
# is not there: then the filter is not built. pkg-config comes first (Debian's
# hdf5.pc names the serial build in /usr/lib/<arch>/hdf5/serial), then
# CMake's FindHDF5. Included from the top folder so that the imported target
# is seen by every folder below.
set(VORLEX_HDF5_TARGET "")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(VORLEX_HDF5 QUIET IMPORTED_TARGET hdf5)
  if(TARGET PkgConfig::VORLEX_HDF5)
    set(VORLEX_HDF5_TARGET PkgConfig::VORLEX_HDF5)
  endif()
endif()
if(NOT VORLEX_HDF5_TARGET)
  find_package(HDF5 QUIET COMPONENTS C)
  if(HDF5_FOUND AND TARGET hdf5::hdf5)
    set(VORLEX_HDF5_TARGET hdf5::hdf5)
    set(VORLEX_HDF5_VERSION ${HDF5_VERSION})
  endif()
endif()
if(VORLEX_HDF5_TARGET)
  message(STATUS "HDF5 ${VORLEX_HDF5_VERSION}: building the HDF5 filter libvorlex-hdf5.so")
else()
  message(STATUS "HDF5 not found (Debian: libhdf5-dev): the HDF5 filter is not built")
endif()
