/*
 * libvorlex: load codec plug-ins at run time and compress or decompress with
 * them, in one call per buffer or through streams.
 *
 * Codecs are found by name: the codec NAME is provided by the shared library
 * libvorlex-plugin-NAME.so, searched in the folders of VORLEX_PLUGIN_PATH
 * (colon-separated absolute paths; empty and relative entries are skipped,
 * and set-user-ID or set-group-ID programs ignore the variable), then in the
 * folder vorlex/plugins beside the loaded libvorlex, then in that of the
 * prefix the library's real file lies in. No other folder is searched. A
 * plug-in file is refused, with the reason, when it is not a regular file or
 * when it, or a folder above it, can be written by group or others (a folder
 * owned by root with the sticky bit, like /tmp, is accepted for what we or
 * root own in it). A codec is loaded once, on first request, from any
 * thread; it stays loaded until the process ends.
 *
 * Every function here is thread-safe unless it says otherwise. Lengths are in
 * bytes. Failures are returned as negative vorlex_status values; nothing aborts
 * on bad data. Every function taking a codec or a stream accepts NULL and
 * returns the failure value it names (VORLEX_STATUS_INVALID for those
 * returning a status).
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
 * a block with other functions than the ones that allocated it. What plug-ins
 * keep between calls is released first (vorlex_release_cached_memory).
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

/* Why vorlex_get_codec(name) returned NULL, or NULL if it did not: each
 * candidate file refused or failed and why, and the folders searched. The
 * text stays valid until the process ends. A name with no plug-in file in any
 * folder gets a text that does not repeat the name (the same for every such
 * name while the folders stay the same), and looking it up keeps nothing:
 * names from untrusted data cannot make the process grow. */
VORLEX_EXPORT const char* vorlex_get_codec_error(const char* name);

/* A report for people, several lines: the plug-in folders in search order,
 * the entries of VORLEX_PLUGIN_PATH not searched and why, and every plug-in
 * file passed over and why (loading each codec present). The text stays
 * valid until the process ends. */
VORLEX_EXPORT const char* vorlex_plugin_search_report(void);

/*
 * Find every codec whose plug-in is present and loads, in name order. Stores
 * up to capacity handles into codecs and returns how many there are. With
 * codecs NULL nothing is stored, whatever capacity says.
 */
VORLEX_EXPORT size_t vorlex_list_codecs(vorlex_codec** codecs, size_t capacity);

/* The file the codec was loaded from; NULL for a NULL codec. (The name:
 * vorlex_codec_get_name in <vorlex/plugin.h>, NULL for a NULL codec too.) */
VORLEX_EXPORT const char* vorlex_codec_get_path(vorlex_codec* codec);
/* The plug-in's info flags (VORLEX_INFO_*); 0 for a NULL codec. */
VORLEX_EXPORT uint32_t vorlex_codec_get_info_flags(vorlex_codec* codec);
/* 1 when the codec's data records its decompressed size (vorlex_get_uncompressed_size
 * works), else 0 (and for a NULL codec). */
VORLEX_EXPORT int vorlex_codec_records_size(vorlex_codec* codec);
/* 1 when decompression must be given the exact decompressed size rather than
 * a capacity (brieflz), else 0 (and for a NULL codec). */
VORLEX_EXPORT int vorlex_codec_needs_exact_size(vorlex_codec* codec);

/* ---- Buffers ----------------------------------------------------------- */

/* The most bytes compressing uncompressed_length bytes can take; 0 if the
 * codec does not say (or is NULL). For some codecs (brieflz, fari) this covers ordinary
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
 * an empty input (VORLEX_STATUS_FAILED). VORLEX_STATUS_INVALID for a NULL
 * codec or out_length, or a NULL buffer with a non-zero length.
 */
VORLEX_EXPORT vorlex_status vorlex_compress(vorlex_codec* codec, uint8_t* out,
                                            size_t* out_length, const uint8_t* in,
                                            size_t in_length, vorlex_options* options);

/*
 * Decompress in[0..in_length) into out. *out_length on entry is the output's
 * capacity, or for codecs that need it (vorlex_codec_needs_exact_size) the
 * exact decompressed size; on success it holds the bytes produced. On failure
 * the output may hold a partial result. VORLEX_STATUS_TRAILING_DATA (lz4,
 * zstd, gzip) for bytes after the last frame or member that cannot start
 * another. VORLEX_STATUS_INVALID as for vorlex_compress.
 */
VORLEX_EXPORT vorlex_status vorlex_decompress(vorlex_codec* codec, uint8_t* out,
                                              size_t* out_length, const uint8_t* in,
                                              size_t in_length, vorlex_options* options);

/* The decompressed size recorded in compressed data, for codecs that record
 * one. VORLEX_STATUS_UNSUPPORTED for the others, and for data that leaves it
 * out (zstd and lz4 frames written by a stream); VORLEX_STATUS_INPUT_TRUNCATED
 * when the input is shorter than the header that holds the size (quicklz: 3
 * or 9 bytes); VORLEX_STATUS_TRAILING_DATA (lz4) for bytes after the last
 * frame that cannot start another; VORLEX_STATUS_INVALID for a NULL codec or size, or NULL in
 * with a non-zero length. *size is untouched on every failure. */
VORLEX_EXPORT vorlex_status vorlex_get_uncompressed_size(vorlex_codec* codec,
                                                         const uint8_t* in, size_t in_length,
                                                         size_t* size);

/*
 * Block form: the leanest form a codec's library offers for one block whose
 * size and integrity the caller records itself (the .vlx container's form
 * under its "block form" flag, see docs/format.md): lz4's block format,
 * a zstd frame without its checksum, raw deflate for gzip. Not a format any
 * outside tool reads. vorlex_codec_has_block_form: 1 when the codec has one
 * (0 for a NULL codec). vorlex_compress_block: as vorlex_compress, in that
 * form (vorlex_get_max_compressed_size bounds it). vorlex_decompress_block:
 * *out_length on entry is the exact size the block decodes to, and anything
 * else is a failure. Both: VORLEX_STATUS_UNSUPPORTED for a codec without a
 * block form, VORLEX_STATUS_INVALID as for vorlex_compress.
 */
VORLEX_EXPORT int vorlex_codec_has_block_form(vorlex_codec* codec);
VORLEX_EXPORT vorlex_status vorlex_compress_block(vorlex_codec* codec, uint8_t* out,
                                                  size_t* out_length, const uint8_t* in,
                                                  size_t in_length, vorlex_options* options);
VORLEX_EXPORT vorlex_status vorlex_decompress_block(vorlex_codec* codec, uint8_t* out,
                                                    size_t* out_length, const uint8_t* in,
                                                    size_t in_length);

/*
 * The lz4, zstd and gzip plug-ins keep their library's contexts per thread
 * between calls, and the frame functions keep up to four block buffers of
 * 64 KiB or more (64 MiB at most) per thread (docs/performance.md): a thread
 * that has used them holds them until it ends. This releases them for every
 * thread now (they are made again when next needed). Not thread-safe: call
 * it while no other thread uses the library. vorlex_set_memory_functions
 * does it first by itself.
 */
VORLEX_EXPORT void vorlex_release_cached_memory(void);

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
 *
 * vorlex_stream_new returns VORLEX_STATUS_INVALID (and *stream NULL) for a
 * NULL codec or type other than VORLEX_STREAM_COMPRESS/DECOMPRESS, and for a
 * NULL stream pointer. vorlex_stream_process returns VORLEX_STATUS_INVALID,
 * doing nothing, for a NULL stream, an operation other than the three
 * VORLEX_OPERATION_* values, a NULL buffer with a non-zero length, and input
 * after FINISH: once FINISH has been asked for, a step may only be given the
 * rest of the input that FINISH left unconsumed (ending where it ended).
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
 * means every default). Nothing is recorded in the compressed data, and
 * decompression needs none of it; a decompressing stream reads only the
 * memory limit. An options object may be shared by any
 * number of calls and streams at once, but must not be changed or freed
 * while one of them uses it (a stream uses it until it is freed).
 */

/* A new options object with nothing set; NULL when out of memory. */
VORLEX_EXPORT vorlex_options* vorlex_options_new(void);
/* Release options; NULL is accepted. */
VORLEX_EXPORT void vorlex_options_free(vorlex_options* options);
/* Set the compression level. Any value is stored; it is checked against the
 * codec when compressing, which fails with VORLEX_STATUS_BAD_LEVEL for a
 * level outside the codec's range (see vorlex_codec_get_levels); codecs
 * without levels ignore it, as they ignore every option. Returns
 * VORLEX_STATUS_INVALID for NULL options. */
VORLEX_EXPORT vorlex_status vorlex_options_set_level(vorlex_options* options, int level);
/* Forget the level, so each codec uses its default. */
VORLEX_EXPORT vorlex_status vorlex_options_clear_level(vorlex_options* options);
/* The most memory a decompressing stream may hold for the data's sake, in
 * bytes (0: the codec's default). It bounds what the data asks for, not what
 * the codec needs anyway: zstd frames name the window their decoder keeps,
 * up to 2 GiB (--long=31), and a stream refuses one over the limit with
 * VORLEX_STATUS_MEMORY_LIMIT (default 128 MiB, the zstd tool's own).
 * Codecs whose streams hold a bounded amount ignore it. Returns
 * VORLEX_STATUS_INVALID for NULL options. */
VORLEX_EXPORT vorlex_status vorlex_options_set_memory_limit(vorlex_options* options,
                                                            uint64_t bytes);

/*
 * Typed-array filters, for frames only (vorlex_frame_compress_with_options,
 * vorlex_frame_writer_set_options): each block is rearranged before the
 * codec sees it and put back after decoding, which lets numeric arrays
 * compress far better. typesize is the element size in bytes, 1 to 255.
 *   VORLEX_FILTER_SHUFFLE     the bytes of every element grouped by
 *                             significance (byte 0 of all, then byte 1, ...)
 *   VORLEX_FILTER_BITSHUFFLE  the same for bits
 *   VORLEX_FILTER_DELTA       each element minus the previous one, as
 *                             little-endian integers (for integer data)
 *   VORLEX_FILTER_AUTO        per block, whichever of none, shuffle,
 *                             bitshuffle and delta (alone or before a shuffle)
 *                             shrinks a sample of the block most with the
 *                             frame's codec and options
 * The frame records the filter; decoding needs no options. Bytes after the
 * last whole element stay as they are. Raw codec calls (vorlex_compress,
 * vorlex_compress_block, vorlex_stream_new for compression) refuse options
 * with a filter: VORLEX_STATUS_INVALID.
 */
typedef enum vorlex_filter {
    VORLEX_FILTER_NONE = 0,
    VORLEX_FILTER_SHUFFLE = 1,
    VORLEX_FILTER_BITSHUFFLE = 2,
    VORLEX_FILTER_DELTA = 3,
    VORLEX_FILTER_AUTO = 4
} vorlex_filter;
#define VORLEX_FILTER_MAX_TYPESIZE 255

/* Set the filter and the typesize it works on (ignored for
 * VORLEX_FILTER_NONE, which removes any filter). VORLEX_STATUS_INVALID, and
 * nothing changed, for NULL options, an unknown filter, or a typesize out of
 * 1 to 255 with a filter. */
VORLEX_EXPORT vorlex_status vorlex_options_set_filter(vorlex_options* options, int filter,
                                                      unsigned typesize);
/* The filter and typesize set (VORLEX_FILTER_NONE and 0 for NULL options or
 * none set); either pointer may be NULL. Returns VORLEX_STATUS_OK. */
VORLEX_EXPORT vorlex_status vorlex_options_get_filter(const vorlex_options* options, int* filter,
                                                      unsigned* typesize);
/* "none", "shuffle", "bitshuffle", "delta", "auto"; NULL for another value. */
VORLEX_EXPORT const char* vorlex_filter_name(int filter);
/* The filter of that name, or -1 when there is none. */
VORLEX_EXPORT int vorlex_filter_from_name(const char* name);

/* The codec's levels: every level from *min_level to *max_level is valid,
 * *default_level is used when none is set (any pointer may be NULL).
 * VORLEX_STATUS_UNSUPPORTED, leaving them untouched, for a codec without
 * levels (the legacy codecs, snappy), which ignores any level. */
VORLEX_EXPORT vorlex_status vorlex_codec_get_levels(vorlex_codec* codec, int* min_level,
                                                    int* max_level, int* default_level);
/* VORLEX_STATUS_OK when codec can compress with options (NULL included, and
 * any options for a codec without levels, which ignores a level as it
 * ignores every option), else VORLEX_STATUS_BAD_LEVEL. vorlex_compress and compressing streams make
 * this check themselves. */
VORLEX_EXPORT vorlex_status vorlex_codec_check_options(vorlex_codec* codec,
                                                       const vorlex_options* options);

/* ---- Frames ------------------------------------------------------------ */

/*
 * A frame is self-describing compressed data, the .vlx format the vorlex tool
 * writes (docs/format.md): a header naming the codec and the block size, the
 * input cut into blocks that are each compressed (or stored, when they do not
 * shrink) with their lengths and an XXH3-64 checksum, and an end record with
 * the totals. It adds what some codecs' raw data lacks: the size (brieflz,
 * fari and lzjb record none) and the detection of damage. Frames can be
 * concatenated; a reader decodes them one after the other. The bytes written
 * depend on the input, the codec and the block size only: never on the
 * thread count or on how the input was handed over.
 *
 * A frame function that fails returns one of these statuses, and
 * vorlex_frame_last_error() then says what was wrong and where, naming the
 * block and the byte offset ("block 3 at byte 2071: checksum mismatch"):
 *   VORLEX_STATUS_CORRUPT          damaged data: no frame magic, a checksum,
 *                                  length or total that does not match, a
 *                                  payload the codec refuses
 *   VORLEX_STATUS_INPUT_TRUNCATED  the input ends inside a frame (or is empty)
 *   VORLEX_STATUS_TRAILING_DATA    bytes after a frame that are not another frame
 *   VORLEX_STATUS_NO_SUCH_CODEC    the codec a header names cannot be loaded
 *   VORLEX_STATUS_UNSUPPORTED      a newer format version, or unknown header flags
 *   VORLEX_STATUS_OUTPUT_FULL      the output buffer is too small
 *   VORLEX_STATUS_TOO_LARGE        a size that does not fit its type
 *   VORLEX_STATUS_MEMORY_LIMIT     a block larger than the reader's memory limit
 *   VORLEX_STATUS_NO_MEMORY        an allocation failed
 *   VORLEX_STATUS_INVALID          a bad argument (NULL, block size out of range, ...)
 * Every frame function is thread-safe; a writer or reader object is used by
 * one thread at a time.
 */

#define VORLEX_FRAME_DEFAULT_BLOCK_SIZE ((size_t)1 << 20)
#define VORLEX_FRAME_MAX_BLOCK_SIZE ((size_t)64 << 20)
#define VORLEX_FRAME_MAX_CODEC_NAME 64
#define VORLEX_FRAME_MAX_THREADS 256
#define VORLEX_FRAME_DEFAULT_MEMORY_LIMIT ((size_t)512 << 20)

/* The block size of codec's frames when block_size is 0: the size at which a
 * frame's ratio stays within 1 % of the codec's own tool on ordinary data,
 * as its plug-in declares it (16 MiB for zstd), else
 * VORLEX_FRAME_DEFAULT_BLOCK_SIZE (1 MiB). 0 for a NULL codec. */
VORLEX_EXPORT size_t vorlex_frame_default_block_size(vorlex_codec* codec);

/* Worst-case size of a frame holding in_length bytes cut into block_size blocks (0: the codec's default).
 * Enough for any options. For input that does not shrink it is the exact size
 * of a frame with a filter (header with the filter's 2 bytes, one 17-byte
 * record per block, the blocks' bytes, end record), 2 bytes more than one
 * without. 0 when codec is NULL, block_size is over
 * VORLEX_FRAME_MAX_BLOCK_SIZE, or the size does not fit a size_t. */
VORLEX_EXPORT size_t vorlex_frame_compress_bound(vorlex_codec* codec, size_t in_length,
                                                 size_t block_size);

/* One frame of in[0..in_length), byte-identical to what `vorlex -B block_size --codec NAME` writes.
 * block_size 0 is the codec's default (vorlex_frame_default_block_size); otherwise 1 to VORLEX_FRAME_MAX_BLOCK_SIZE.
 * *out_length: capacity on entry, bytes produced on success, unchanged on
 * failure (out then holds garbage). A capacity of vorlex_frame_compress_bound()
 * always suffices; a smaller one is VORLEX_STATUS_OUTPUT_FULL if the frame
 * does not fit. Single-threaded; memory: about two blocks. */
VORLEX_EXPORT vorlex_status vorlex_frame_compress(vorlex_codec* codec, size_t block_size,
                                                  uint8_t* out, size_t* out_length,
                                                  const uint8_t* in, size_t in_length);

/* vorlex_frame_compress() with compression options (NULL: the codec's
 * defaults; see vorlex_options_new). Nothing of them is recorded: the frame
 * decodes without them. VORLEX_STATUS_BAD_LEVEL for a level the codec does
 * not have. */
VORLEX_EXPORT vorlex_status vorlex_frame_compress_with_options(vorlex_codec* codec,
                                                               const vorlex_options* options,
                                                               size_t block_size, uint8_t* out,
                                                               size_t* out_length,
                                                               const uint8_t* in,
                                                               size_t in_length);

/* The total decompressed size of the frames in in[0..in_length): walks and checks the records, decodes nothing.
 * Headers, lengths, totals and the content checksums over the block
 * checksums are checked; the blocks' data is not (that needs decoding), and
 * no codec is loaded. *size is unchanged on failure. */
VORLEX_EXPORT vorlex_status vorlex_frame_content_size(const uint8_t* in, size_t in_length,
                                                      uint64_t* size);

/* Decode every frame (concatenated frames too); each header names its codec, every checksum is verified.
 * *out_length: capacity on entry, bytes produced on success, unchanged on
 * failure (out then holds the blocks before the fault, and garbage after
 * them). vorlex_frame_content_size() gives the capacity needed. Decodes
 * straight from in into out: no memory beyond the codecs' own. */
VORLEX_EXPORT vorlex_status vorlex_frame_decompress(uint8_t* out, size_t* out_length,
                                                    const uint8_t* in, size_t in_length);

/* What the last failing frame function of the calling thread said ("block 3
 * at byte 2071: checksum mismatch", "output buffer too small ..."), or "" if
 * none has failed. Successful calls leave it alone, as with errno. Valid
 * until the thread's next frame call; never NULL. */
VORLEX_EXPORT const char* vorlex_frame_last_error(void);

/* ---- Frame streams ------------------------------------------------------ */

/*
 * A writer makes one frame and a reader decodes frames, from input and into
 * output given in pieces of any size, down to one byte. Set in_next/in_avail
 * and out_next/out_avail, call the process function; it advances both.
 * Memory stays bounded by the block size and the thread count, whatever the
 * length of the data. With threads > 1 the blocks are worked on by that many
 * worker threads (started at the first block, with every signal blocked);
 * the bytes produced are the same as with one. Blocks under 64 KiB are
 * decoded by the calling thread, which costs less than a hand-off. In the
 * child of a fork() the workers do not exist: the next process call there
 * starts them again and redoes the blocks they held.
 *
 * The process functions return
 *   VORLEX_STATUS_OK          all input consumed, and for FLUSH and FINISH all
 *                             output produced (a reader with
 *                             VORLEX_FRAME_STOP_AT_END may also stop after a
 *                             frame, with input left: see there);
 *   VORLEX_STATUS_PROCESSING  output is waiting: call again with more output
 *                             space, and the input not consumed yet;
 *   a failure, which every later call on the object returns again.
 * With PROCESS, blocks still being worked on by other threads come out in
 * later calls; FLUSH and FINISH wait for them.
 */
typedef struct vorlex_frame_buffers {
    const uint8_t* in_next; /* next input byte */
    size_t in_avail;        /* input bytes left at in_next */
    uint8_t* out_next;      /* next output byte */
    size_t out_avail;       /* output space left at out_next */
} vorlex_frame_buffers;

/* Where a writer or reader stands. */
typedef struct vorlex_frame_info {
    /* The frame being read or written, or the last one completed. */
    char codec[VORLEX_FRAME_MAX_CODEC_NAME + 1]; /* its codec; "" before any header */
    uint32_t block_size;
    uint64_t frame_offset;        /* where it starts in the reader's input (writer: 0) */
    uint64_t frame_length;        /* its bytes so far: all of them once complete */
    uint64_t frame_content;       /* original bytes of its blocks so far */
    uint64_t frame_blocks;        /* its blocks so far */
    uint64_t frame_stored_blocks; /* those stored as they were (they did not shrink) */
    int frame_complete;           /* 1 once its end record was read or written */
    /* The whole run. */
    uint64_t frames;              /* frames completed */
    uint64_t total_blocks;        /* blocks read or written */
    uint64_t total_in;            /* input bytes consumed */
    uint64_t total_out;           /* output bytes produced */
    uint64_t skippable;           /* reader with VORLEX_FRAME_SCAN: payload bytes next in
                                     the input, which may be skipped unread
                                     (vorlex_frame_reader_skip); else 0 */
} vorlex_frame_info;

typedef struct vorlex_frame_writer vorlex_frame_writer;

/*
 * A writer of one frame with codec, cut into block_size blocks (0: the
 * codec's default, vorlex_frame_default_block_size), byte-identical to vorlex_frame_compress() of the whole
 * input when nothing is flushed. threads 0 or 1: all work in the calling
 * thread; 2 to VORLEX_FRAME_MAX_THREADS: worker threads. Memory: about
 * (threads + 2) blocks and their worst-case output. *writer is NULL on
 * failure.
 */
VORLEX_EXPORT vorlex_status vorlex_frame_writer_new(vorlex_codec* codec, size_t block_size,
                                                    unsigned threads,
                                                    vorlex_frame_writer** writer);
/*
 * PROCESS: take input, write the records that are ready. FLUSH: also end
 * the current block early and write out every block so far, so a reader can
 * decode all input given until now (the frame then has shorter blocks in the
 * middle, which every reader accepts). FINISH: the input is complete: write
 * the rest and the end record. After a FINISH that returned OK the frame is
 * done and more input is VORLEX_STATUS_INVALID. Any other operation value is
 * VORLEX_STATUS_INVALID.
 */
/* Compress the blocks with options (NULL: the codec's defaults), copied: the
 * caller's object may be freed at once. Only before the first process call
 * (VORLEX_STATUS_INVALID after it); VORLEX_STATUS_BAD_LEVEL for a level the
 * codec does not have. */
VORLEX_EXPORT vorlex_status vorlex_frame_writer_set_options(vorlex_frame_writer* writer,
                                                            const vorlex_options* options);
/* Write the frame's index record (indexed 1, the default) or leave it out
 * (0: the bytes earlier versions wrote, for readers that predate indexes).
 * Only before the first process call (VORLEX_STATUS_INVALID after it). */
VORLEX_EXPORT vorlex_status vorlex_frame_writer_set_index(vorlex_frame_writer* writer,
                                                          int indexed);
VORLEX_EXPORT vorlex_status vorlex_frame_writer_process(vorlex_frame_writer* writer,
                                                        vorlex_frame_buffers* buffers,
                                                        vorlex_operation operation);
VORLEX_EXPORT vorlex_status vorlex_frame_writer_get_info(const vorlex_frame_writer* writer,
                                                         vorlex_frame_info* info);
/* Release a writer, stopping its threads; NULL is accepted. */
VORLEX_EXPORT void vorlex_frame_writer_free(vorlex_frame_writer* writer);

typedef struct vorlex_frame_reader vorlex_frame_reader;

/* Reader flags. */
enum {
    /* Walk the records only: decode nothing, produce no output, load no
     * codec. Checks what vorlex_frame_content_size() checks. */
    VORLEX_FRAME_SCAN = 1u << 0,
    /* Return VORLEX_STATUS_OK after each frame's end record, once its output
     * is out, even with input left: info.frame_complete then describes that
     * frame, and the next call goes on with the rest of the input. */
    VORLEX_FRAME_STOP_AT_END = 1u << 1
};

/*
 * A reader of concatenated frames, each decoded with the codec its header
 * names. threads as for the writer. memory_limit bounds the memory for
 * blocks of all threads together (0: VORLEX_FRAME_DEFAULT_MEMORY_LIMIT,
 * SIZE_MAX: none), and keeps to it: a block in flight holds up to twice
 * the frame's block size plus 2 KiB (its payload and its decoded bytes), so
 * fewer blocks are in flight (fewer threads work) when a frame's blocks are
 * large, and a frame whose one block in flight would exceed the limit fails
 * with VORLEX_STATUS_MEMORY_LIMIT. The codecs' own working memory comes on
 * top. Checks as vorlex_frame_decompress()
 * does; the blocks before a fault come out before the fault is reported.
 * FINISH declares the end of the input: a frame cut short is then
 * VORLEX_STATUS_INPUT_TRUNCATED, and so is an input without any frame.
 * *reader is NULL on failure.
 */
VORLEX_EXPORT vorlex_status vorlex_frame_reader_new(unsigned threads, size_t memory_limit,
                                                    uint32_t flags,
                                                    vorlex_frame_reader** reader);
VORLEX_EXPORT vorlex_status vorlex_frame_reader_process(vorlex_frame_reader* reader,
                                                        vorlex_frame_buffers* buffers,
                                                        vorlex_operation operation);
VORLEX_EXPORT vorlex_status vorlex_frame_reader_get_info(const vorlex_frame_reader* reader,
                                                         vorlex_frame_info* info);
/* The typed-array filter (VORLEX_FILTER_*) and typesize of the frame being
 * read, or of the last one completed: VORLEX_FILTER_NONE and 0 for an
 * unfiltered frame or before any header. Either pointer may be NULL. */
VORLEX_EXPORT vorlex_status vorlex_frame_reader_get_filter(const vorlex_frame_reader* reader,
                                                           int* filter, unsigned* typesize);
/* With VORLEX_FRAME_SCAN: the caller skipped length <= info.skippable input
 * bytes without passing them (it seeked past a payload); VORLEX_STATUS_INVALID
 * otherwise. */
VORLEX_EXPORT vorlex_status vorlex_frame_reader_skip(vorlex_frame_reader* reader,
                                                     uint64_t length);
/* Release a reader, stopping its threads; NULL is accepted. */
VORLEX_EXPORT void vorlex_frame_reader_free(vorlex_frame_reader* reader);

/* ---- Random access ------------------------------------------------------ */

/*
 * Reading content at any offset without decoding what comes before it. A
 * frame's index record (written by default) says where each block lies and
 * is found from the tail of the data with one read; frames without one
 * (written before indexes existed, or with vorlex_frame_writer_set_index 0)
 * are mapped by walking their record headers, skipping every payload
 * unread. Only the blocks holding the bytes asked for are decoded, each
 * checked against its checksum: a damaged block fails the reads that need
 * it, naming the block and its offset ("block 7 at byte 6291613: checksum
 * mismatch"), and no other.
 */

/* Content bytes of the frames in frame[0..frame_length) from offset into
 * out: *out_length is on entry how many are wanted, on return how many were
 * produced (fewer only at the end of the content; 0 at or past it).
 * *out_length is left alone on failure. Maps the frames on every call: to
 * read many times, open a vorlex_frame_file over the bytes instead. */
VORLEX_EXPORT vorlex_status vorlex_frame_read_at(const uint8_t* frame, size_t frame_length,
                                                 uint64_t offset, uint8_t* out,
                                                 size_t* out_length);

/* A seekable reader of a file of frames the caller does not hold in memory.
 * The map is made once, when the file is opened; a read then costs the
 * reads and decodes of the blocks it touches, and the last block decoded
 * is kept, so small reads in order decode each block once. One thread at a
 * time per object; open one per thread to read in parallel. */
typedef struct vorlex_frame_file vorlex_frame_file;

/* Reads up to length bytes of the file from offset into out; returns how
 * many (fewer only at the end of the file), or -1 when the file cannot be
 * read (the read fails with VORLEX_STATUS_FAILED). */
typedef int64_t (*vorlex_frame_read_fn)(void* context, uint64_t offset, uint8_t* out,
                                        size_t length);

/* Open over a read function and the file's size in bytes. Fails only when
 * the file does not even start with a readable header (status and last
 * error as for vorlex_frame_decompress); a fault further in leaves the
 * blocks before it readable (see vorlex_frame_file_info.complete). *file is
 * NULL on failure. */
VORLEX_EXPORT vorlex_status vorlex_frame_file_open(vorlex_frame_read_fn read, void* context,
                                                   uint64_t size, vorlex_frame_file** file);
/* Open over a file descriptor (not owned; kept open by the caller while the
 * object lives), read with pread, its size taken once with fstat. */
VORLEX_EXPORT vorlex_status vorlex_frame_file_open_fd(int fd, vorlex_frame_file** file);
/* As vorlex_frame_read_at. */
VORLEX_EXPORT vorlex_status vorlex_frame_file_read_at(vorlex_frame_file* file, uint64_t offset,
                                                      uint8_t* out, size_t* out_length);

typedef struct vorlex_frame_file_info {
    uint64_t content_size;  /* content bytes mapped: all of them when complete */
    uint64_t blocks;        /* blocks mapped */
    uint64_t frames;        /* frames mapped */
    uint64_t indexed_frames; /* of those, mapped from their index record */
    int complete;           /* 0 when a fault stopped the map: reads from
                               content_size on fail with it, and
                               vorlex_frame_file_fault() says what it was */
    uint64_t blocks_decoded; /* counters since the open: blocks decoded, */
    uint64_t reads;          /* calls of the read function, */
    uint64_t bytes_read;     /* and the bytes they returned */
} vorlex_frame_file_info;

typedef struct vorlex_frame_block_info {
    uint64_t content_offset;  /* its first content byte */
    uint64_t record_offset;   /* its record's first byte in the file */
    uint32_t record_length;   /* the whole record: fixed part and payload */
    uint32_t original_length; /* content bytes it holds */
    uint64_t frame;           /* the frame it belongs to, from 0 */
    uint64_t number;          /* its number in that frame, from 1, as messages name it */
} vorlex_frame_block_info;

VORLEX_EXPORT vorlex_status vorlex_frame_file_get_info(const vorlex_frame_file* file,
                                                       vorlex_frame_file_info* info);
/* Block `block` (from 0, across frames) of the map; VORLEX_STATUS_INVALID
 * past the last. */
VORLEX_EXPORT vorlex_status vorlex_frame_file_get_block(const vorlex_frame_file* file,
                                                        uint64_t block,
                                                        vorlex_frame_block_info* info);
/* The block (from 0) holding content byte offset; VORLEX_STATUS_INVALID at or
 * past content_size. */
VORLEX_EXPORT vorlex_status vorlex_frame_file_find_block(const vorlex_frame_file* file,
                                                         uint64_t offset, uint64_t* block);
/* The fault that stopped the map ("" when complete); valid while file lives. */
VORLEX_EXPORT const char* vorlex_frame_file_fault(const vorlex_frame_file* file);
/* Release; NULL is accepted. */
VORLEX_EXPORT void vorlex_frame_file_free(vorlex_frame_file* file);

#ifdef __cplusplus
}
#endif

#endif
