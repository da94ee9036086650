// The C API of random access: vorlex_frame_read_at over bytes in memory,
// and vorlex_frame_file over a read function or a file descriptor. Nothing
// thrown inside gets past these functions.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include <vorlex/vorlex.h>

#include "error.hpp"
#include "random_access.hpp"

using namespace vorlex::frame;

struct vorlex_frame_file {
    vorlex_frame_file(ReadAtFn read, uint64_t size) : impl(std::move(read), size) {}
    RandomAccess impl;
};

namespace {

[[noreturn]] void invalid(const char* what) { fail(VORLEX_STATUS_INVALID, what); }

ReadAtFn memory_reader(const uint8_t* data, size_t length) {
    return [data, length](uint64_t offset, uint8_t* out, size_t n) -> size_t {
        if (offset >= length) return 0;
        const size_t k = length - offset < n ? size_t(length - offset) : n;
        std::memcpy(out, data + offset, k);
        return k;
    };
}

ReadAtFn callback_reader(vorlex_frame_read_fn read, void* context) {
    return [read, context](uint64_t offset, uint8_t* out, size_t n) -> size_t {
        size_t done = 0;
        while (done < n) {
            const int64_t got = read(context, offset + done, out + done, n - done);
            if (got < 0 || uint64_t(got) > n - done) {
                fail(VORLEX_STATUS_FAILED, "cannot read the file at byte " +
                                               std::to_string(offset + done));
            }
            if (got == 0) break;
            done += size_t(got);
        }
        return done;
    };
}

ReadAtFn fd_reader(int fd) {
    return [fd](uint64_t offset, uint8_t* out, size_t n) -> size_t {
        size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, out + done, n - done, off_t(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) {
                fail(VORLEX_STATUS_FAILED, "cannot read the file at byte " +
                                               std::to_string(offset + done) + ": " +
                                               std::strerror(errno));
            }
            if (got == 0) break;
            done += size_t(got);
        }
        return done;
    };
}

void read_into(RandomAccess& r, uint64_t offset, uint8_t* out, size_t* out_length) {
    if (out_length == nullptr) invalid("out_length is NULL");
    if (out == nullptr && *out_length != 0) invalid("out is NULL");
    size_t n = *out_length;
    r.read(offset, out, n);
    *out_length = n;
}

}  // namespace

extern "C" {

vorlex_status vorlex_frame_read_at(const uint8_t* frame, size_t frame_length, uint64_t offset,
                                   uint8_t* out, size_t* out_length) {
    return guard([&]() -> vorlex_status {
        if (frame == nullptr && frame_length != 0) invalid("frame is NULL");
        if (out_length == nullptr) invalid("out_length is NULL");
        RandomAccess r(memory_reader(frame, frame_length), frame_length);
        read_into(r, offset, out, out_length);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_open(vorlex_frame_read_fn read, void* context, uint64_t size,
                                     vorlex_frame_file** file) {
    if (file != nullptr) *file = nullptr;
    return guard([&]() -> vorlex_status {
        if (file == nullptr) invalid("file is NULL");
        if (read == nullptr) invalid("read is NULL");
        *file = new vorlex_frame_file(callback_reader(read, context), size);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_open_fd(int fd, vorlex_frame_file** file) {
    if (file != nullptr) *file = nullptr;
    return guard([&]() -> vorlex_status {
        if (file == nullptr) invalid("file is NULL");
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            fail(VORLEX_STATUS_INVALID, std::string("cannot stat the file: ") + std::strerror(errno));
        }
        if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
            fail(VORLEX_STATUS_INVALID, "not a regular file: random access needs one");
        }
        *file = new vorlex_frame_file(fd_reader(fd), uint64_t(st.st_size));
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_read_at(vorlex_frame_file* file, uint64_t offset, uint8_t* out,
                                        size_t* out_length) {
    return guard([&]() -> vorlex_status {
        if (file == nullptr) invalid("file is NULL");
        read_into(file->impl, offset, out, out_length);
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_get_info(const vorlex_frame_file* file,
                                         vorlex_frame_file_info* info) {
    return guard([&]() -> vorlex_status {
        if (file == nullptr || info == nullptr) invalid("file or info is NULL");
        const RandomAccess& r = file->impl;
        *info = vorlex_frame_file_info{};
        info->content_size = r.content_size();
        info->blocks = r.blocks().size();
        info->frames = r.frames().size();
        for (const auto& f : r.frames()) info->indexed_frames += f.indexed ? 1 : 0;
        info->complete = r.fault() ? 0 : 1;
        info->blocks_decoded = r.counters().blocks_decoded;
        info->reads = r.counters().reads;
        info->bytes_read = r.counters().bytes_read;
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_get_block(const vorlex_frame_file* file, uint64_t block,
                                          vorlex_frame_block_info* info) {
    return guard([&]() -> vorlex_status {
        if (file == nullptr || info == nullptr) invalid("file or info is NULL");
        const auto& blocks = file->impl.blocks();
        if (block >= blocks.size()) invalid("no such block");
        const RandomAccess::Block& b = blocks[size_t(block)];
        *info = {b.content_offset, b.record_offset, b.record_length, b.original_length, b.frame,
                 b.number};
        return VORLEX_STATUS_OK;
    });
}

vorlex_status vorlex_frame_file_find_block(const vorlex_frame_file* file, uint64_t offset,
                                           uint64_t* block) {
    return guard([&]() -> vorlex_status {
        if (file == nullptr || block == nullptr) invalid("file or block is NULL");
        const std::optional<uint64_t> i = file->impl.find(offset);
        if (!i) invalid("offset at or past the end of the content");
        *block = *i;
        return VORLEX_STATUS_OK;
    });
}

const char* vorlex_frame_file_fault(const vorlex_frame_file* file) {
    if (file == nullptr || !file->impl.fault()) return "";
    return file->impl.fault()->message().c_str();
}

void vorlex_frame_file_free(vorlex_frame_file* file) { delete file; }

}  // extern "C"
