/*
 * The vorlex HDF5 filter: every vorlex codec inside HDF5 datasets.
 *
 * libvorlex-hdf5.so is an HDF5 filter plug-in, installed in
 * <libdir>/hdf5/plugin; HDF5 loads it from HDF5_PLUGIN_PATH or its default
 * plug-in folder when a dataset names the filter. Each chunk is stored as one
 * vorlex frame (docs/format.md), which names its codec and block size and
 * carries checksums: reading needs none of the values below, and a damaged
 * chunk fails to read instead of returning wrong data.
 *
 * Client data values (cd_values) when writing, all optional:
 *   [VORLEX_H5Z_CD_CODEC]       the codec number: 1 quicklz, 2 brieflz,
 *                               3 fari, 4 lzjb, 5 copy, 6 lz4, 7 zstd,
 *                               8 gzip, 9 snappy; 0 or absent: quicklz
 *   [VORLEX_H5Z_CD_BLOCK_KIB]   block size in KiB, 1 to 65536; 0 or absent:
 *                               the frame's default (1 MiB)
 *   [VORLEX_H5Z_CD_LEVEL]       compression level, for codecs that have
 *                               levels (lz4, zstd, gzip), as a signed int
 *                               cast to unsigned; 0 or absent: the codec's
 *                               default
 *   [VORLEX_H5Z_CD_FILTER]      typed-array filter (vorlex_filter): 1 shuffle,
 *                               2 bitshuffle, 3 delta, 4 auto; 0 or absent:
 *                               none
 *   [VORLEX_H5Z_CD_TYPESIZE]    the filter's element size, 1 to 255; 0 or
 *                               absent: the dataset type's size, filled in
 *                               when the dataset is created
 *   [VORLEX_H5Z_CD_CHUNK_BYTES] the chunk's size in bytes: written by the
 *                               filter itself when the dataset is created
 *                               (any value given is replaced)
 * Values the filter does not know are refused when the dataset is created.
 * Whatever the user gave, the dataset records VORLEX_H5Z_CD_MAX values.
 *
 * Reading checks every chunk's frame (its checksums, and that it holds
 * exactly VORLEX_H5Z_CD_CHUNK_BYTES bytes) before HDF5 sees a byte of it.
 * Datasets written before the chunk size was recorded (3 values or fewer)
 * still read; for them the size check cannot be made (see docs/hdf5.md).
 *
 * In C:
 *   unsigned values[] = {4, 256};   (lzjb, 256 KiB blocks)
 *   H5Pset_filter(dcpl, VORLEX_H5Z_FILTER, H5Z_FLAG_OPTIONAL, 2, values);
 *   unsigned shuffled[] = {6, 0, 0, 4};   (lz4, auto filter, the type's size)
 *   H5Pset_filter(dcpl, VORLEX_H5Z_FILTER, H5Z_FLAG_OPTIONAL, 4, shuffled);
 *
 * This header needs no HDF5 header; it is valid C99 and C++.
 */
#ifndef VORLEX_VORLEX_HDF5_H
#define VORLEX_VORLEX_HDF5_H

/* The filter id. HDF5 keeps 256 to 511 for filters that are not registered
 * with it; this one is provisional until the id is registered. */
#define VORLEX_H5Z_FILTER 400

/* Positions in cd_values. */
#define VORLEX_H5Z_CD_CODEC 0
#define VORLEX_H5Z_CD_BLOCK_KIB 1
#define VORLEX_H5Z_CD_LEVEL 2
#define VORLEX_H5Z_CD_FILTER 3
#define VORLEX_H5Z_CD_TYPESIZE 4
#define VORLEX_H5Z_CD_CHUNK_BYTES 5
/* The most client data values the filter accepts, and how many a dataset
 * created by this version records. */
#define VORLEX_H5Z_CD_MAX 6

#endif
