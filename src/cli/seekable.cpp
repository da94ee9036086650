// Random access through vorlex_frame_file.
#include "seekable.hpp"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include <vorlex/vorlex.h>

#include "failure.hpp"
#include "options.hpp"

namespace vorlex::cli {

namespace {

constexpr size_t CHUNK = size_t(1) << 20;

struct FileFree {
    void operator()(vorlex_frame_file* f) const { vorlex_frame_file_free(f); }
};
using File = std::unique_ptr<vorlex_frame_file, FileFree>;

File open_file(int fd) {
    vorlex_frame_file* f = nullptr;
    const vorlex_status st = vorlex_frame_file_open_fd(fd, &f);
    if (st != VORLEX_STATUS_OK) throw Failure(vorlex_frame_last_error());
    return File(f);
}

vorlex_frame_file_info info_of(const vorlex_frame_file* f) {
    vorlex_frame_file_info i;
    vorlex_frame_file_get_info(f, &i);
    return i;
}

}  // namespace

Totals read_range(int fd, Sink& out, const Range& range) {
    File f = open_file(fd);
    std::vector<uint8_t> buffer(CHUNK);
    uint64_t at = range.offset, left = range.length.value_or(UINT64_MAX);
    while (left != 0) {
        size_t n = left < buffer.size() ? size_t(left) : buffer.size();
        if (vorlex_frame_file_read_at(f.get(), at, buffer.data(), &n) != VORLEX_STATUS_OK) {
            out.flush();
            throw Failure(vorlex_frame_last_error());
        }
        if (n == 0) break;
        out.write(buffer.data(), n);
        at += n;
        left -= n;
    }
    out.flush();
    const vorlex_frame_file_info i = info_of(f.get());
    return {at - range.offset, i.bytes_read, i.blocks_decoded};
}

Totals salvage(int fd, Sink& out, std::vector<LostRange>& lost) {
    File f = open_file(fd);
    const vorlex_frame_file_info info = info_of(f.get());
    std::vector<uint8_t> buffer;
    uint64_t written = 0;
    for (uint64_t i = 0; i < info.blocks; ++i) {
        vorlex_frame_block_info b;
        vorlex_frame_file_get_block(f.get(), i, &b);
        buffer.resize(b.original_length);
        size_t n = buffer.size();
        if (vorlex_frame_file_read_at(f.get(), b.content_offset, buffer.data(), &n) !=
            VORLEX_STATUS_OK) {
            const std::string why = vorlex_frame_last_error();
            // Neighbouring damaged blocks make one range.
            if (!lost.empty() && lost.back().length &&
                lost.back().offset + *lost.back().length == b.content_offset) {
                *lost.back().length += b.original_length;
            } else {
                lost.push_back({b.content_offset, b.original_length, why});
            }
            std::fill(buffer.begin(), buffer.end(), 0);
            n = buffer.size();
        }
        out.write(buffer.data(), n);
        written += n;
    }
    if (!info.complete) lost.push_back({info.content_size, std::nullopt, vorlex_frame_file_fault(f.get())});
    out.flush();
    return {written, info.bytes_read, info.blocks};
}

void print_index(int fd, const std::string& name) {
    File f = open_file(fd);
    const vorlex_frame_file_info info = info_of(f.get());
    std::printf("%s: %" PRIu64 " frame%s (%" PRIu64 " indexed), %" PRIu64 " blocks, %" PRIu64
                " content bytes%s\n",
                name.c_str(), info.frames, info.frames == 1 ? "" : "s", info.indexed_frames,
                info.blocks, info.content_size, info.complete ? "" : " before a fault");
    std::printf("%8s %8s %16s %16s %10s %10s\n", "frame", "block", "content offset",
                "file offset", "original", "record");
    for (uint64_t i = 0; i < info.blocks; ++i) {
        vorlex_frame_block_info b;
        vorlex_frame_file_get_block(f.get(), i, &b);
        std::printf("%8" PRIu64 " %8" PRIu64 " %16" PRIu64 " %16" PRIu64 " %10" PRIu32
                    " %10" PRIu32 "\n",
                    b.frame + 1, b.number, b.content_offset, b.record_offset, b.original_length,
                    b.record_length);
    }
    if (!info.complete) std::printf("%s: %s\n", name.c_str(), vorlex_frame_file_fault(f.get()));
    std::fflush(stdout);
}

}  // namespace vorlex::cli
