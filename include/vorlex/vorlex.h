/*
 * libvorlex: load codec plug-ins at run time and compress or decompress with
 * them, in one call per buffer or through streams.
 *
 * Codecs are found by name: the codec NAME is provided by the shared library
 * libvorlex-plugin-NAME.so, searched in the folders of VORLEX_PLUGIN_PATH
 * (colon-separated), then in the installed plug-in folder, then in the build
 * tree's plug-in folder. A codec is loaded once, on first request, from any
 * thread; it stays loaded until the process ends.
 *
 * Every function here is thread-safe unless it says otherwise. Lengths are in
 * bytes. Failures are returned as negative vorlex_status values; nothing aborts
 * on bad data.
 */
#ifndef VORLEX_VORLEX_H
#define VORLEX_VORLEX_H

#include <vorlex/plugin.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, "MAJOR.MINOR.PATCH". */
VORLEX_EXPORT const char* vorlex_version_string(void);

/* A short English description of a status ("output buffer too small"). */
VORLEX_EXPORT const char* vorlex_status_to_string(vorlex_status status);

/* ---- Memory ------------------------------------------------------------ */

typedef void* (*vorlex_alloc_func)(void* opaque, size_t size);
typedef void (*vorlex_dealloc_func)(void* opaque, void* block);

/*
 * Replace the functions behind vorlex_malloc/vorlex_free (used by the host and
 * by every plug-in). Pass NULL for both to restore malloc/free. Not
 * thread-safe: call it while no other thread uses the library, and never free
 * a block with other functions than the ones that allocated it.
 */
VORLEX_EXPORT void vorlex_set_memory_functions(vorlex_alloc_func alloc,
                                               vorlex_dealloc_func dealloc, void* opaque);

/* ---- Codecs ------------------------------------------------------------ */

/*
 * The codec called name, loading its plug-in on first use; NULL when it
 * cannot be had. Names are made of a-z, 0-9, '_' and '-' (at most 64): any
 * other name is refused before a file is looked at. The handle is valid until
 * the process ends.
 */
VORLEX_EXPORT vorlex_codec* vorlex_get_codec(const char* name);

/* Why vorlex_get_codec(name) returned NULL, or NULL if it did not. The text
 * stays valid until the process ends. A name with no plug-in file in any
 * folder gets a fixed text that does not repeat the name, and looking it up
 * keeps nothing: names from untrusted data cannot make the process grow. */
VORLEX_EXPORT const char* vorlex_get_codec_error(const char* name);

/*
 * Find every codec whose plug-in is present and loads, in name order. Stores
 * up to capacity handles into codecs (which may be NULL when capacity is 0)
 * and returns how many there are.
 */
VORLEX_EXPORT size_t vorlex_list_codecs(vorlex_codec** codecs, size_t capacity);

/* The file the codec was loaded from. */
VORLEX_EXPORT const char* vorlex_codec_get_path(vorlex_codec* codec);
/* The plug-in's info flags (VORLEX_INFO_*). */
VORLEX_EXPORT uint32_t vorlex_codec_get_info_flags(vorlex_codec* codec);
/* 1 when the codec's data records its decompressed size (vorlex_get_uncompressed_size
 * works), else 0. */
VORLEX_EXPORT int vorlex_codec_records_size(vorlex_codec* codec);
/* 1 when decompression must be given the exact decompressed size rather than
 * a capacity (brieflz), else 0. */
VORLEX_EXPORT int vorlex_codec_needs_exact_size(vorlex_codec* codec);

/* ---- Buffers ----------------------------------------------------------- */

/* The most bytes compressing uncompressed_length bytes can take; 0 if the
 * codec does not say. For some codecs (brieflz, fari) this covers ordinary
 * data but not every input: compression then reports VORLEX_STATUS_OUTPUT_FULL
 * rather than overrun. */
VORLEX_EXPORT size_t vorlex_get_max_compressed_size(vorlex_codec* codec,
                                                    size_t uncompressed_length);

/*
 * Compress in[0..in_length) into out with options (NULL: defaults; a level
 * the codec does not have: VORLEX_STATUS_BAD_LEVEL). *out_length: capacity
 * on entry, bytes produced on success; on failure out may hold garbage and
 * *out_length is unchanged or, for codecs whose format defines it so
 * (quicklz, lzjb), 0. Any capacity is accepted: VORLEX_STATUS_OUTPUT_FULL (or FAILED, for codecs that
 * cannot tell the two apart) when the result does not fit. Some codecs refuse
 * an empty input (VORLEX_STATUS_FAILED).
 */
VORLEX_EXPORT vorlex_status vorlex_compress(vorlex_codec* codec, uint8_t* out,
                                            size_t* out_length, const uint8_t* in,
                                            size_t in_length, vorlex_options* options);

/*
 * Decompress in[0..in_length) into out. *out_length on entry is the output's
 * capacity, or for codecs that need it (vorlex_codec_needs_exact_size) the
 * exact decompressed size; on success it holds the bytes produced. On failure
 * the output may hold a partial result.
 */
VORLEX_EXPORT vorlex_status vorlex_decompress(vorlex_codec* codec, uint8_t* out,
                                              size_t* out_length, const uint8_t* in,
                                              size_t in_length, vorlex_options* options);

/* The decompressed size recorded in compressed data, for codecs that record
 * one. VORLEX_STATUS_UNSUPPORTED for the others, and for data that leaves it
 * out (zstd and lz4 frames written by a stream); *size is then untouched. */
VORLEX_EXPORT vorlex_status vorlex_get_uncompressed_size(vorlex_codec* codec,
                                                         const uint8_t* in, size_t in_length,
                                                         size_t* size);

/* ---- Streams ----------------------------------------------------------- */

/*
 * Streams work for every codec. Codecs with native streams (copy, lz4, zstd,
 * gzip) process as data arrives, in bounded memory, and decode any sequence
 * of frames or members; input after a finished compression stream starts
 * another. For the others the stream gathers all input and does the work at
 * VORLEX_OPERATION_FINISH, then hands out the result as output space allows.
 * A compressing stream with options it cannot take fails here with
 * VORLEX_STATUS_BAD_LEVEL. Decompressing raw brieflz data needs its exact
 * size, which a stream does not have: such streams fail with
 * VORLEX_STATUS_UNSUPPORTED.
 *
 * Set in_next/in_avail and out_next/out_avail, then call vorlex_stream_process.
 * It returns VORLEX_STATUS_OK when all input is consumed (and, for FINISH, all
 * output produced), VORLEX_STATUS_PROCESSING when it must be called again with
 * more output space (or the rest of the input), or a failure.
 */
VORLEX_EXPORT vorlex_status vorlex_stream_new(vorlex_codec* codec, vorlex_stream_type type,
                                              vorlex_options* options, vorlex_stream** stream);
VORLEX_EXPORT vorlex_status vorlex_stream_process(vorlex_stream* stream,
                                                  vorlex_operation operation);
/* Release a stream and everything it holds; NULL is accepted. */
VORLEX_EXPORT void vorlex_stream_free(vorlex_stream* stream);

/* ---- Options ----------------------------------------------------------- */

/*
 * Settings for compression, passed as the options argument above (NULL
 * means every default). Nothing is recorded in the compressed data:
 * decompression ignores options. An options object may be shared by any
 * number of calls and streams at once, but must not be changed or freed
 * while one of them uses it (a stream uses it until it is freed).
 */

/* A new options object with nothing set; NULL when out of memory. */
VORLEX_EXPORT vorlex_options* vorlex_options_new(void);
/* Release options; NULL is accepted. */
VORLEX_EXPORT void vorlex_options_free(vorlex_options* options);
/* Set the compression level. Any value is stored; it is checked against the
 * codec when compressing, which fails with VORLEX_STATUS_BAD_LEVEL for a
 * level the codec does not have (see vorlex_codec_get_levels). Returns
 * VORLEX_STATUS_INVALID for NULL options. */
VORLEX_EXPORT vorlex_status vorlex_options_set_level(vorlex_options* options, int level);
/* Forget the level, so each codec uses its default. */
VORLEX_EXPORT vorlex_status vorlex_options_clear_level(vorlex_options* options);

/* The codec's levels: every level from *min_level to *max_level is valid,
 * *default_level is used when none is set (any pointer may be NULL).
 * VORLEX_STATUS_UNSUPPORTED, leaving them untouched, for a codec without
 * levels (the legacy codecs, snappy), which refuses any level. */
VORLEX_EXPORT vorlex_status vorlex_codec_get_levels(vorlex_codec* codec, int* min_level,
                                                    int* max_level, int* default_level);
/* VORLEX_STATUS_OK when codec can compress with options (NULL included),
 * else VORLEX_STATUS_BAD_LEVEL. vorlex_compress and compressing streams make
 * this check themselves. */
VORLEX_EXPORT vorlex_status vorlex_codec_check_options(vorlex_codec* codec,
                                                       const vorlex_options* options);

#ifdef __cplusplus
}
#endif

#endif
