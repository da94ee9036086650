/*
 * Frame API example, in C99: compress standard input into one .vlx frame
 * with any codec, the same bytes as `vorlex -c`, or decode frames back. The
 * one-shot functions hold the whole input in memory; `stream` decodes with
 * a vorlex_frame_reader instead, in memory bounded by the block size.
 *
 *   vorlex-frame-example c CODEC [BLOCK_SIZE] < in > in.vlx
 *   vorlex-frame-example d < in.vlx > in
 *   vorlex-frame-example stream [THREADS] < in.vlx > in
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vorlex/vorlex.h>

static int fail(const char* what, vorlex_status st) {
    fprintf(stderr, "vorlex-frame-example: %s: %s (%s)\n", what, vorlex_frame_last_error(),
            vorlex_status_to_string(st));
    return 1;
}

/* All of standard input; NULL when memory runs out. */
static uint8_t* read_all(size_t* length) {
    size_t cap = 1 << 20, n = 0, got;
    uint8_t* data = malloc(cap);
    while (data != NULL && (got = fread(data + n, 1, cap - n, stdin)) != 0) {
        n += got;
        if (n == cap) {
            uint8_t* more = realloc(data, cap *= 2);
            if (more == NULL) free(data);
            data = more;
        }
    }
    *length = n;
    return data;
}

static int compress(const char* name, size_t block_size) {
    vorlex_codec* codec = vorlex_get_codec(name);
    size_t in_length, out_length;
    uint8_t *in, *out;
    vorlex_status st;
    if (codec == NULL) {
        fprintf(stderr, "vorlex-frame-example: %s\n", vorlex_get_codec_error(name));
        return 1;
    }
    in = read_all(&in_length);
    out_length = vorlex_frame_compress_bound(codec, in_length, block_size);
    out = malloc(out_length != 0 ? out_length : 1);
    if (in == NULL || out == NULL) return fail("out of memory", VORLEX_STATUS_NO_MEMORY);
    st = vorlex_frame_compress(codec, block_size, out, &out_length, in, in_length);
    if (st < 0) return fail("compress", st);
    fwrite(out, 1, out_length, stdout);
    free(in);
    free(out);
    return 0;
}

static int decompress(void) {
    size_t in_length, out_length;
    uint64_t size;
    uint8_t *in = read_all(&in_length), *out;
    vorlex_status st;
    if (in == NULL) return fail("out of memory", VORLEX_STATUS_NO_MEMORY);
    /* The records say how much room the content needs. */
    st = vorlex_frame_content_size(in, in_length, &size);
    if (st < 0) return fail("read", st);
    out_length = (size_t)size;
    out = malloc(out_length != 0 ? out_length : 1);
    if (out == NULL) return fail("out of memory", VORLEX_STATUS_NO_MEMORY);
    st = vorlex_frame_decompress(out, &out_length, in, in_length);
    if (st < 0) return fail("decompress", st);
    fwrite(out, 1, out_length, stdout);
    free(in);
    free(out);
    return 0;
}

static int stream(unsigned threads) {
    static uint8_t in[1 << 16], out[1 << 16];
    vorlex_frame_reader* reader;
    vorlex_frame_buffers b;
    vorlex_status st = vorlex_frame_reader_new(threads, 0, 0, &reader);
    int done = 0;
    if (st < 0) return fail("reader", st);
    while (!done) {
        const size_t n = fread(in, 1, sizeof in, stdin);
        /* A short read is the end of the input: FINISH checks that the
         * last frame is complete. */
        const vorlex_operation op = n < sizeof in ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
        done = op == VORLEX_OPERATION_FINISH;
        b.in_next = in;
        b.in_avail = n;
        do {
            b.out_next = out;
            b.out_avail = sizeof out;
            st = vorlex_frame_reader_process(reader, &b, op);
            /* Blocks before a fault are good: written even on failure. */
            fwrite(out, 1, sizeof out - b.out_avail, stdout);
        } while (st == VORLEX_STATUS_PROCESSING);
        if (st < 0) {
            vorlex_frame_reader_free(reader);
            return fail("decompress", st);
        }
    }
    vorlex_frame_reader_free(reader);
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "c") == 0) {
        return compress(argv[2], argc >= 4 ? (size_t)strtoul(argv[3], NULL, 10) : 0);
    }
    if (argc == 2 && strcmp(argv[1], "d") == 0) return decompress();
    if (argc >= 2 && strcmp(argv[1], "stream") == 0) {
        return stream(argc >= 3 ? (unsigned)strtoul(argv[2], NULL, 10) : 1);
    }
    fprintf(stderr, "usage: vorlex-frame-example c CODEC [BLOCK_SIZE] | d | stream [THREADS]\n");
    return 2;
}
