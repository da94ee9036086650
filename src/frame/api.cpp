// The frame layer's C API: argument checks, the one-shot functions (a writer
// or reader run once over the caller's buffers), and the stream objects.
// Nothing thrown inside gets past these functions.
#include <cstring>
#include <new>

#include <vorlex/vorlex.h>

#include "error.hpp"
#include "format.hpp"
#include "index.hpp"
#include "reader.hpp"
#include "writer.hpp"

using namespace vorlex::frame;

struct vorlex_frame_writer {
    vorlex_frame_writer(vorlex_codec* codec, uint32_t block_size, unsigned threads)
        : impl(codec, block_size, threads) {}
    Writer impl;
    StickyError sticky;
};

struct vorlex_frame_reader {
    vorlex_frame_reader(unsigned threads, size_t memory_limit, uint32_t flags)
        : impl(threads, memory_limit, flags, false) {}
    Reader impl;
    StickyError sticky;
};

namespace {

constexpr uint32_t KNOWN_READER_FLAGS = VORLEX_FRAME_SCAN | VORLEX_FRAME_STOP_AT_END;

[[noreturn]] void invalid(const char* what) { fail(VORLEX_STATUS_INVALID, what); }

// 0 means the codec's default; anything else must be a size a header can hold.
uint32_t checked_block_size(vorlex_codec* codec, size_t block_size) {
    if (block_size == 0) return uint32_t(vorlex_frame_default_block_size(codec));
    if (block_size > format::MAX_BLOCK_SIZE) {
        fail(VORLEX_STATUS_INVALID, "block size " + std::to_string(block_size) +
                                        " out of range (1 to " +
                                        std::to_string(format::MAX_BLOCK_SIZE) + ")");
    }
    return uint32_t(block_size);
}

void check_buffers(const uint8_t* out, const size_t* out_length, const void* in,
                   size_t in_length) {
    if (out_length == nullptr) invalid("out_length is NULL");
    if (out == nullptr && *out_length != 0) invalid("out is NULL");
    if (in == nullptr && in_length != 0) invalid("in is NULL");
}

void check_stream_buffers(const vorlex_frame_buffers* b, vorlex_operation op) {
    if (b == nullptr) invalid("buffers is NULL");
    if (b->in_next == nullptr && b->in_avail != 0) invalid("in_next is NULL");
    if (b->out_next == nullptr && b->out_avail != 0) invalid("out_next is NULL");
    if (op != VORLEX_OPERATION_PROCESS && op != VORLEX_OPERATION_FLUSH &&
        op != VORLEX_OPERATION_FINISH) {
        invalid("unknown operation");
    }
}

void check_threads(unsigned threads) {
    if (threads > VORLEX_FRAME_MAX_THREADS) {
        fail(VORLEX_STATUS_INVALID, "thread count " + std::to_string(threads) +
                                        " out of range (0 to " +
                                        std::to_string(VORLEX_FRAME_MAX_THREADS) + ")");
    }
}

}  // namespace

extern "C" {

size_t vorlex_frame_compress_bound(vorlex_codec* codec, size_t in_length, size_t block_size) {
    if (codec == nullptr || block_size > format::MAX_BLOCK_SIZE) return 0;
    if (block_size == 0) block_size = vorlex_frame_default_block_size(codec);
    // A filter adds its fields to the header; a filtered block that does
    // not shrink is stored as any other.
    const size_t fixed = format::HEADER_FIXED + std::strlen(vorlex_codec_get_name(codec)) +
                         format::HEADER_TAIL + format::FILTER_FIELDS + format::END_RECORD +
                         index::FIXED;
    // A block that does not shrink is stored: no block costs more than its
    // own bytes and its record header.
    const size_t blocks = in_length / block_size + (in_length % block_size != 0 ? 1 : 0);
    // Each block costs its record header and its index entry.
    constexpr size_t per_block = format::BLOCK_HEADER + index::ENTRY;
    if (blocks > (SIZE_MAX - fixed) / per_block) return 0;
    const size_t records = fixed + blocks * per_block;
    if (in_length > SIZE_MAX - records) return 0;
    return records + in_length;
}

vorlex_status vorlex_frame_compress(vorlex_codec* codec, size_t block_size, uint8_t* out,
                                    size_t* out_length, const uint8_t* in, size_t in_length) {
    return vorlex_frame_compress_with_options(codec, nullptr, block_size, out, out_length, in,
                                              in_length);
}

vorlex_status vorlex_frame_compress_with_options(vorlex_codec* codec,
                                                 const vorlex_options* options,
                                                 size_t block_size, uint8_t* out,
                                                 size_t* out_length, const uint8_t* in,
                                                 size_t in_length) {
    return guard([&]() -> vorlex_status {
        if (codec == nullptr) invalid("codec is NULL");
        check_buffers(out, out_length, in, in_length);
        const uint32_t size = checked_block_size(codec, block_size);
        if (vorlex_frame_compress_bound(codec, in_length, size) == 0) {
            fail(VORLEX_STATUS_TOO_LARGE, "an input of " + std::to_string(in_length) +
                                              " bytes makes a frame too large for a size_t");
        }
        Writer writer(codec, size, 1);
        writer.set_options(options);
        vorlex_frame_buffers b{in, in_length, out, *out_length};
        if (writer.process(b, VORLEX_OPERATION_FINISH) != VORLEX_STATUS_OK) {
            vorlex_frame_info info;
            writer.info(info);
            fail(VORLEX_STATUS_OUTPUT_FULL,
                 "output buffer of " + std::to_string(*out_length) +
                     " bytes too small: full at block " + std::to_string(info.frame_blocks) +
                     " (" + std::to_string(info.total_in) + " of " +
                     std::to_string(in_length) + " input bytes taken)");
        }
        *out_length -= b.out_avail;
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_content_size(const uint8_t* in, size_t in_length, uint64_t* size) {
    return guard([&]() -> vorlex_status {
        if (size == nullptr) invalid("size is NULL");
        if (in == nullptr && in_length != 0) invalid("in is NULL");
        Reader reader(1, SIZE_MAX, VORLEX_FRAME_SCAN, true);
        vorlex_frame_buffers b{in, in_length, nullptr, 0};
        reader.process(b, VORLEX_OPERATION_FINISH);
        *size = reader.total_content();
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_decompress(uint8_t* out, size_t* out_length, const uint8_t* in,
                                      size_t in_length) {
    return guard([&]() -> vorlex_status {
        check_buffers(out, out_length, in, in_length);
        Reader reader(1, SIZE_MAX, 0, true);
        vorlex_frame_buffers b{in, in_length, out, *out_length};
        reader.process(b, VORLEX_OPERATION_FINISH);
        *out_length -= b.out_avail;
        return VORLEX_STATUS_OK;
    });
}

const char* vorlex_frame_last_error(void) { return last_error(); }

// ---- Writers ---------------------------------------------------------------

vorlex_status vorlex_frame_writer_new(vorlex_codec* codec, size_t block_size, unsigned threads,
                                      vorlex_frame_writer** writer) {
    if (writer != nullptr) *writer = nullptr;
    return guard([&]() -> vorlex_status {
        if (writer == nullptr) invalid("writer is NULL");
        if (codec == nullptr) invalid("codec is NULL");
        check_threads(threads);
        *writer = new vorlex_frame_writer(codec, checked_block_size(codec, block_size), threads);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_writer_set_options(vorlex_frame_writer* w,
                                              const vorlex_options* options) {
    return guard([&]() -> vorlex_status {
        if (w == nullptr) invalid("writer is NULL");
        if (w->sticky.set()) return w->sticky.raise();
        w->impl.set_options(options);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_writer_set_index(vorlex_frame_writer* w, int indexed) {
    return guard([&]() -> vorlex_status {
        if (w == nullptr) invalid("writer is NULL");
        if (w->sticky.set()) return w->sticky.raise();
        w->impl.set_indexed(indexed != 0);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_writer_process(vorlex_frame_writer* w, vorlex_frame_buffers* b,
                                          vorlex_operation op) {
    if (w != nullptr && w->sticky.set()) return w->sticky.raise();
    return guard([&]() -> vorlex_status {
        if (w == nullptr) invalid("writer is NULL");
        check_stream_buffers(b, op);
        return guard([&]() -> vorlex_status { return w->impl.process(*b, op); }, &w->sticky);
    });
}

vorlex_status vorlex_frame_writer_get_info(const vorlex_frame_writer* w, vorlex_frame_info* info) {
    return guard([&]() -> vorlex_status {
        if (w == nullptr || info == nullptr) invalid("writer or info is NULL");
        w->impl.info(*info);
        return VORLEX_STATUS_OK;
    });
}

void vorlex_frame_writer_free(vorlex_frame_writer* w) { delete w; }

// ---- Readers ---------------------------------------------------------------

vorlex_status vorlex_frame_reader_new(unsigned threads, size_t memory_limit, uint32_t flags,
                                      vorlex_frame_reader** reader) {
    if (reader != nullptr) *reader = nullptr;
    return guard([&]() -> vorlex_status {
        if (reader == nullptr) invalid("reader is NULL");
        check_threads(threads);
        if ((flags & ~KNOWN_READER_FLAGS) != 0) invalid("unknown reader flags");
        *reader = new vorlex_frame_reader(threads, memory_limit, flags);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_reader_process(vorlex_frame_reader* r, vorlex_frame_buffers* b,
                                          vorlex_operation op) {
    if (r != nullptr && r->sticky.set()) return r->sticky.raise();
    return guard([&]() -> vorlex_status {
        if (r == nullptr) invalid("reader is NULL");
        check_stream_buffers(b, op);
        return guard([&]() -> vorlex_status { return r->impl.process(*b, op); }, &r->sticky);
    });
}

vorlex_status vorlex_frame_reader_get_info(const vorlex_frame_reader* r, vorlex_frame_info* info) {
    return guard([&]() -> vorlex_status {
        if (r == nullptr || info == nullptr) invalid("reader or info is NULL");
        r->impl.info(*info);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_reader_get_filter(const vorlex_frame_reader* r, int* filter,
                                             unsigned* typesize) {
    return guard([&]() -> vorlex_status {
        if (r == nullptr) invalid("reader is NULL");
        const filters::Setting f = r->impl.filter();
        if (filter != nullptr) *filter = f.filter;
        if (typesize != nullptr) *typesize = f.filter != 0 ? f.typesize : 0;
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_reader_skip(vorlex_frame_reader* r, uint64_t length) {
    return guard([&]() -> vorlex_status {
        if (r == nullptr) invalid("reader is NULL");
        if (r->sticky.set()) return r->sticky.raise();
        r->impl.skip(length);
        return VORLEX_STATUS_OK;
    });
}

void vorlex_frame_reader_free(vorlex_frame_reader* r) { delete r; }

}  // extern "C"
