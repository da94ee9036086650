/*
 * The codec plug-in contract of libvorlex.
 *
 * A plug-in is a shared library that exports vorlex_plugin_init_codec. The
 * host calls it with a codec handle and an empty callback table; the plug-in
 * compares the codec's name with its own and, on a match, fills the slots it
 * provides. From then on the host calls those callbacks directly.
 *
 * This header is all a plug-in needs: it is valid C11 and C++, and it declares
 * the few host functions a plug-in may call. The application-facing API lives
 * in <vorlex/vorlex.h>.
 */
#ifndef VORLEX_PLUGIN_H
#define VORLEX_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define VORLEX_EXPORT __declspec(dllexport)
#else
#define VORLEX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of every callback and host function: positive is success. */
typedef int vorlex_status;
enum {
    VORLEX_STATUS_OK = 1,            /* success; stream: all input consumed */
    VORLEX_STATUS_PROCESSING = 2,    /* stream: input or output remains, call again */
    VORLEX_STATUS_FAILED = -1,       /* corrupt data or any other failure */
    VORLEX_STATUS_NO_SUCH_CODEC = -2,/* the plug-in does not provide that codec */
    VORLEX_STATUS_INVALID = -3,      /* host only: a bad argument from the application */
    VORLEX_STATUS_UNSUPPORTED = -4,  /* host only: the codec cannot do what was asked */
    VORLEX_STATUS_NO_MEMORY = -5,    /* an allocation failed */
    VORLEX_STATUS_OUTPUT_FULL = -6,  /* the output buffer is too small */
    VORLEX_STATUS_INPUT_TRUNCATED = -7,/* compressed input shorter than its header requires */
    VORLEX_STATUS_CORRUPT = -8,      /* host only: a frame's records or checksums do not match */
    VORLEX_STATUS_TRAILING_DATA = -9,/* bytes after a frame (or gzip member) that are not another */
    VORLEX_STATUS_TOO_LARGE = -10,   /* host only: a size that does not fit its type */
    VORLEX_STATUS_MEMORY_LIMIT = -11,/* data needs more memory than allowed (a frame's blocks,
                                        a zstd window) */
    VORLEX_STATUS_BAD_LEVEL = -12    /* host only: a compression level the codec does not have */
};

typedef int vorlex_stream_type;
enum {
    VORLEX_STREAM_COMPRESS = 1,
    VORLEX_STREAM_DECOMPRESS = 2
};

/* What the application asks of a stream step. Plug-ins may ignore it. */
typedef int vorlex_operation;
enum {
    VORLEX_OPERATION_PROCESS = 0, /* consume input, produce what is ready */
    VORLEX_OPERATION_FLUSH = 1,   /* as PROCESS, and produce everything buffered */
    VORLEX_OPERATION_FINISH = 2   /* no more input will come: complete the stream */
};

/* Opaque handles. Plug-ins only hand them back to the host. */
typedef struct vorlex_codec vorlex_codec;
typedef struct vorlex_options vorlex_options;

typedef struct vorlex_stream vorlex_stream;
typedef void (*vorlex_stream_destroy_func)(vorlex_stream* stream);

/*
 * The record at the start of every stream object. Plug-ins touch only
 * in_next, in_avail, out_next and out_avail; the application sets those four
 * before each step and reads them after. Every other field is the host's.
 */
struct vorlex_stream {
    vorlex_codec* codec;          /* host */
    vorlex_options* options;      /* host */
    vorlex_stream_type type;      /* host */
    uint32_t host_flags;          /* host */

    const uint8_t* in_next;       /* next input byte */
    size_t in_avail;              /* input bytes left at in_next */
    uint64_t total_in;            /* host: input consumed so far */
    uint8_t* out_next;            /* next output byte */
    size_t out_avail;             /* output space left at out_next */

    uint64_t total_out;           /* host: output produced so far */
    vorlex_stream_destroy_func destroy; /* host: registered by vorlex_stream_init */
    void* host_private;           /* host */
};

/* Callback types of the table below. */
typedef vorlex_stream* (*vorlex_create_stream_func)(vorlex_codec* codec,
                                                    vorlex_stream_type stream_type,
                                                    vorlex_options* options);
typedef vorlex_status (*vorlex_process_stream_func)(vorlex_stream* stream,
                                                    vorlex_operation operation);
/* Buffer callbacks: *out_length holds the output capacity on entry and, on
 * success, the number of bytes produced. */
typedef vorlex_status (*vorlex_buffer_func)(vorlex_codec* codec, size_t* out_length,
                                            uint8_t* out, size_t in_length,
                                            const uint8_t* in, vorlex_options* options);
typedef size_t (*vorlex_get_uncompressed_size_func)(vorlex_codec* codec,
                                                    size_t compressed_length,
                                                    const uint8_t* compressed);
typedef size_t (*vorlex_get_max_compressed_size_func)(vorlex_codec* codec,
                                                      size_t uncompressed_length);
typedef void (*vorlex_host_slot_func)(void);

/* Meaning of the info_flags bits to the host. */
enum {
    VORLEX_INFO_NATIVE_STREAMS = 1u << 0, /* create_stream/process_stream are real streams */
    VORLEX_INFO_EXACT_SIZE = 1u << 2      /* decompression needs the exact decompressed size */
};

/*
 * The callback table, owned by the host. A plug-in writes the slots it
 * provides and leaves the others alone; the two host slots are never touched
 * by a plug-in.
 */
typedef struct vorlex_codec_funcs {
    uint32_t info_flags;
    vorlex_host_slot_func host_slot_2;
    vorlex_create_stream_func create_stream;
    vorlex_process_stream_func process_stream;
    vorlex_host_slot_func host_slot_5;
    vorlex_buffer_func decompress_buffer;
    vorlex_buffer_func compress_buffer;
    /* Called only with a capacity of at least get_max_compressed_size. */
    vorlex_buffer_func compress_buffer_presized;
    vorlex_get_uncompressed_size_func get_uncompressed_size;
    vorlex_get_max_compressed_size_func get_max_compressed_size;
} vorlex_codec_funcs;

/* Host functions a plug-in may call. */

/* The codec's NUL-terminated name; NULL for a NULL codec. */
VORLEX_EXPORT const char* vorlex_codec_get_name(vorlex_codec* codec);
/* Returns status unchanged; plug-ins route failures through it. */
VORLEX_EXPORT vorlex_status vorlex_error(vorlex_status status);
/* Allocate through the host's (replaceable) memory functions; NULL on failure. */
VORLEX_EXPORT void* vorlex_malloc(size_t size);
/* Release a block from vorlex_malloc; NULL is accepted. */
VORLEX_EXPORT void vorlex_free(void* block);
/* Initialise the host fields of a freshly allocated stream record and register
 * destroy, called with the stream when the host releases it. NULL stream: no-op. */
VORLEX_EXPORT void vorlex_stream_init(vorlex_stream* stream, vorlex_codec* codec,
                                      vorlex_stream_type stream_type,
                                      vorlex_options* options,
                                      vorlex_stream_destroy_func destroy);
/* Release what vorlex_stream_init set up (not the record's memory). NULL: no-op. */
VORLEX_EXPORT void vorlex_stream_destroy(vorlex_stream* stream);

/*
 * Compression levels. A plug-in whose codec has levels declares them from
 * vorlex_plugin_init_codec, on a match: every level from min_level to
 * max_level is valid and default_level is used when the application sets
 * none. The host refuses any other level before a compress callback or a
 * compressing create_stream is called, so a plug-in may trust the level it
 * reads. Codecs that declare nothing take no level.
 */
VORLEX_EXPORT void vorlex_codec_set_levels(vorlex_codec* codec, int min_level, int max_level,
                                           int default_level);
/* The block size frames of the codec get when the application gives none,
 * declared by vorlex_plugin_init_codec: a codec whose matches reach far
 * (zstd's windows are MiBs long) loses ratio at every block start, and
 * declares the size at which the loss stays small. Without it, or with a
 * size out of range (1 to 64 MiB), frames use 1 MiB blocks. */
VORLEX_EXPORT void vorlex_codec_set_frame_block_size(vorlex_codec* codec, size_t block_size);
/* The level set in options, or default_level when options is NULL or sets
 * none. */
VORLEX_EXPORT int vorlex_options_get_level(const vorlex_options* options, int default_level);
/* The memory limit set in options for a decompressing stream, or
 * default_limit when options is NULL or sets none. */
VORLEX_EXPORT uint64_t vorlex_options_get_memory_limit(const vorlex_options* options,
                                                       uint64_t default_limit);

/*
 * Block form. A codec whose format wraps its data (a frame header, its own
 * checksums, linked blocks) may offer a leaner form for one block whose size
 * the caller records elsewhere, as the .vlx container does with its own
 * lengths and checksums. A plug-in that has one declares it from
 * vorlex_plugin_init_codec, on a match, as it declares levels:
 * - compress_block: as compress_buffer (any capacity; OUTPUT_FULL or FAILED
 *   rather than writing past it), in the block form, at the level in options.
 *   get_max_compressed_size bounds the block form too.
 * - decompress_block: *decompressed_length holds the exact size the block
 *   decodes to; anything that does not decode to exactly that many bytes is
 *   a failure. Safe on arbitrary bytes.
 * The block form of a codec never changes once data has been written in it:
 * containers record only that a block is in "the codec's block form".
 */
VORLEX_EXPORT void vorlex_codec_set_block_form(vorlex_codec* codec, vorlex_buffer_func compress_block,
                                               vorlex_buffer_func decompress_block);

/*
 * Memory a plug-in keeps between calls (library contexts reused per thread)
 * must go back through the functions that allocated it. A plug-in that keeps
 * any registers a function that releases all of it, for every thread; the
 * host calls it before the memory functions change and from
 * vorlex_release_cached_memory, while no other thread is in a call.
 */
typedef void (*vorlex_release_func)(void);
VORLEX_EXPORT void vorlex_codec_set_release(vorlex_codec* codec, vorlex_release_func release);

/* A codec's recorded size is unknown to this data (a stream of unknown
 * length): get_uncompressed_size may return this, the host reports it as
 * VORLEX_STATUS_UNSUPPORTED. */
#define VORLEX_SIZE_UNKNOWN ((size_t)-1)

/* The one symbol every plug-in exports. Returns VORLEX_STATUS_OK after filling
 * funcs, or VORLEX_STATUS_NO_SUCH_CODEC leaving it untouched. */
VORLEX_EXPORT vorlex_status vorlex_plugin_init_codec(vorlex_codec* codec,
                                                     vorlex_codec_funcs* funcs);
typedef vorlex_status (*vorlex_plugin_init_codec_func)(vorlex_codec* codec,
                                                       vorlex_codec_funcs* funcs);

#ifdef __cplusplus
}
#endif

#endif
