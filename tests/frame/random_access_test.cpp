// Random access: reads at any offset of indexed, unindexed and concatenated
// frames (a file written before indexes existed among them) match the
// content; a read costs the blocks it touches and an open of an indexed file
// two reads; damage fails only the reads that need the damaged block; the
// streaming reader checks the index record as strictly as the rest.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "common/bytes.hpp"
#include "frame/format.hpp"
#include "frame/index.hpp"
#include "support/test_data.hpp"

namespace {

namespace fmt = vorlex::frame::format;
using vorlex::test::Bytes;

Bytes frame_of(const char* codec, const Bytes& in, size_t block_size, bool indexed = true,
               int filter = VORLEX_FILTER_NONE) {
    vorlex_codec* c = vorlex_get_codec(codec);
    EXPECT_NE(c, nullptr) << codec;
    vorlex_frame_writer* w = nullptr;
    EXPECT_EQ(vorlex_frame_writer_new(c, block_size, 1, &w), VORLEX_STATUS_OK);
    EXPECT_EQ(vorlex_frame_writer_set_index(w, indexed ? 1 : 0), VORLEX_STATUS_OK);
    if (filter != VORLEX_FILTER_NONE) {
        vorlex_options* o = vorlex_options_new();
        EXPECT_EQ(vorlex_options_set_filter(o, filter, 4), VORLEX_STATUS_OK);
        EXPECT_EQ(vorlex_frame_writer_set_options(w, o), VORLEX_STATUS_OK);
        vorlex_options_free(o);
    }
    Bytes out(vorlex_frame_compress_bound(c, in.size(), block_size));
    vorlex_frame_buffers b{in.data(), in.size(), out.data(), out.size()};
    EXPECT_EQ(vorlex_frame_writer_process(w, &b, VORLEX_OPERATION_FINISH), VORLEX_STATUS_OK);
    out.resize(out.size() - b.out_avail);
    vorlex_frame_writer_free(w);
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A file object over memory, as a caller's read function sees it.
struct MemoryFile {
    const Bytes* data;
    static int64_t read(void* context, uint64_t offset, uint8_t* out, size_t n) {
        const Bytes& d = *static_cast<MemoryFile*>(context)->data;
        if (offset >= d.size()) return 0;
        const size_t k = std::min<uint64_t>(n, d.size() - offset);
        std::memcpy(out, d.data() + offset, k);
        return int64_t(k);
    }
};

struct Opened {
    MemoryFile source;
    vorlex_frame_file* file = nullptr;
    explicit Opened(const Bytes& d) : source{&d} {
        EXPECT_EQ(vorlex_frame_file_open(&MemoryFile::read, &source, d.size(), &file),
                  VORLEX_STATUS_OK)
            << vorlex_frame_last_error();
    }
    ~Opened() { vorlex_frame_file_free(file); }
    vorlex_frame_file_info info() const {
        vorlex_frame_file_info i{};
        vorlex_frame_file_get_info(file, &i);
        return i;
    }
};

struct ReadResult {
    vorlex_status status;
    Bytes out;
    std::string error;
};

ReadResult read_at(vorlex_frame_file* f, uint64_t offset, size_t n) {
    ReadResult r{0, Bytes(n), ""};
    size_t got = n;
    r.status = vorlex_frame_file_read_at(f, offset, r.out.data(), &got);
    if (r.status == VORLEX_STATUS_OK) {
        r.out.resize(got);
    } else {
        r.error = vorlex_frame_last_error();
    }
    return r;
}

Bytes slice(const Bytes& b, uint64_t offset, size_t n) {
    if (offset >= b.size()) return {};
    return Bytes(b.begin() + long(offset), b.begin() + long(std::min<uint64_t>(b.size(), offset + n)));
}

Bytes fixture(const char* name) {
    return vorlex::test::read_file(std::string(VORLEX_FIXTURE_DIR) + "/" + name);
}

TEST(RandomAccess, ReadsAnywhereMatchTheContent) {
    const Bytes a = vorlex::test::mixed_bytes(20000, 1), b = vorlex::test::text_bytes(7000, 2);
    const struct {
        const char* what;
        Bytes frames, content;
        uint64_t indexed_frames;
    } cases[] = {
        {"indexed", frame_of("quicklz", a, 1024), a, 1},
        {"without index", frame_of("quicklz", a, 1024, false), a, 0},
        // Filtered blocks are unfiltered on the way out, stored ones not.
        {"shuffled, indexed", frame_of("lz4", a, 1024, true, VORLEX_FILTER_SHUFFLE), a, 1},
        {"auto filter, unindexed", frame_of("zstd", a, 1024, false, VORLEX_FILTER_AUTO), a, 0},
        {"indexed, unindexed, indexed",
         cat({frame_of("copy", a, 4096), frame_of("lzjb", b, 1000, false),
              frame_of("quicklz", b, 512)}),
         cat({a, b, b}), 1},  // the walk over the first two reads no index
        {"empty frames", cat({frame_of("copy", {}, 1024, false), frame_of("copy", b, 1024),
                              frame_of("copy", {}, 1024)}),
         b, 2},
        {"written before indexes", fixture("legacy-two-frames.vlx"),
         fixture("legacy-two-frames.txt"), 0},
    };
    for (const auto& c : cases) {
        Opened f(c.frames);
        const vorlex_frame_file_info info = f.info();
        EXPECT_EQ(info.content_size, c.content.size()) << c.what;
        EXPECT_EQ(info.indexed_frames, c.indexed_frames) << c.what;
        EXPECT_EQ(info.complete, 1) << c.what;
        const uint64_t size = c.content.size();
        const uint64_t offsets[] = {0, 1, 1023, 1024, 4095, size / 2, size - 1, size, size + 5};
        for (const uint64_t o : offsets) {
            for (const size_t n : {size_t(0), size_t(1), size_t(1500), size_t(5000)}) {
                const ReadResult r = read_at(f.file, o, n);
                ASSERT_EQ(r.status, VORLEX_STATUS_OK) << c.what << " @" << o << ": " << r.error;
                EXPECT_EQ(r.out, slice(c.content, o, n)) << c.what << " @" << o << "+" << n;
                Bytes whole(n);
                size_t got = n;
                ASSERT_EQ(vorlex_frame_read_at(c.frames.data(), c.frames.size(), o, whole.data(),
                                               &got),
                          VORLEX_STATUS_OK);
                whole.resize(got);
                EXPECT_EQ(whole, r.out) << c.what;
            }
        }
    }
}

// The goal behind the index: the tail and the header to open, then the
// blocks a read touches and no other.
TEST(RandomAccess, AReadCostsTheBlocksItTouches) {
    const Bytes content = vorlex::test::text_bytes(64 * 1024, 3);
    const Bytes frames = frame_of("quicklz", content, 4096);
    Opened f(frames);
    EXPECT_EQ(f.info().reads, 2u) << "the tail (with the index) and the header";
    const struct {
        uint64_t offset;
        size_t n;
        uint64_t decodes;
    } cases[] = {{100, 10, 1}, {4090, 10, 2}, {4096 * 7, 4096, 1}, {4096 * 7 + 1, 4096, 2},
                 {4096 * 9 + 5, 4096 * 2, 3}};
    for (const auto& c : cases) {
        const uint64_t before = f.info().blocks_decoded;
        read_at(f.file, 60000, 1);  // another block, so the next read decodes afresh
        const uint64_t mid = f.info().blocks_decoded;
        const ReadResult r = read_at(f.file, c.offset, c.n);
        EXPECT_EQ(r.out, slice(content, c.offset, c.n));
        EXPECT_EQ(f.info().blocks_decoded - mid, c.decodes) << c.offset << "+" << c.n;
        EXPECT_LE(mid - before, 1u);
    }
}

TEST(RandomAccess, DamageFailsOnlyTheReadsThatNeedIt) {
    const Bytes content = vorlex::test::random_bytes(10 * 1024, 4);  // stored blocks
    const Bytes good = frame_of("copy", content, 1024);
    const size_t header = fmt::HEADER_FIXED + 4 + fmt::HEADER_TAIL;
    const size_t record = fmt::BLOCK_HEADER + 1024;
    const size_t block3 = header + 2 * record;
    const size_t index_at = good.size() - fmt::END_RECORD - vorlex::frame::index::record_length(10);

    const struct {
        const char* what;
        size_t flip;  // byte to change, or SIZE_MAX
        size_t cut;   // length to cut the file to, or 0
        uint64_t indexed_frames;
        int complete;
        uint64_t bad_from, bad_to;  // content bytes whose reads fail
        const char* message;
    } cases[] = {
        {"payload of block 3", block3 + fmt::BLOCK_HEADER + 7, 0, 1, 1, 2048, 3072,
         "block 3 at byte "},
        {"length of block 3", block3 + 2, 0, 1, 1, 2048, 3072, "block 3 at byte "},
        // Walked instead, every block found; the walk stops at the index.
        {"index entry", index_at + 1 + 8 * 4, 0, 0, 0, 0, 0, ""},
        {"cut in block 6", SIZE_MAX, header + 5 * record + 100, 0, 0, 5 * 1024, 10 * 1024,
         "truncated"},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        if (c.flip != SIZE_MAX) bad[c.flip] ^= 0x40;
        if (c.cut != 0) bad.resize(c.cut);
        Opened f(bad);
        const vorlex_frame_file_info info = f.info();
        EXPECT_EQ(info.indexed_frames, c.indexed_frames) << c.what;
        EXPECT_EQ(info.complete, c.complete) << c.what;
        for (uint64_t o = 0; o < content.size(); o += 512) {
            const ReadResult r = read_at(f.file, o, 512);
            if (o >= c.bad_from && o < c.bad_to) {
                EXPECT_NE(r.status, VORLEX_STATUS_OK) << c.what << " @" << o;
                EXPECT_NE(r.error.find(c.message), std::string::npos) << c.what << ": " << r.error;
                if (std::string(c.message) == "block 3 at byte ") {
                    EXPECT_NE(r.error.find(std::to_string(block3)), std::string::npos) << r.error;
                }
            } else {
                ASSERT_EQ(r.status, VORLEX_STATUS_OK) << c.what << " @" << o << ": " << r.error;
                EXPECT_EQ(r.out, slice(content, o, 512)) << c.what << " @" << o;
            }
        }
    }
}

// The index record is checked as the rest is, by every reader.
TEST(RandomAccess, TheStreamingReaderChecksTheIndex) {
    const Bytes content = vorlex::test::text_bytes(5000, 5);
    const Bytes good = frame_of("copy", content, 1024);
    const size_t index_length = vorlex::frame::index::record_length(5);
    const size_t index_at = good.size() - fmt::END_RECORD - index_length;
    const auto edit = [&](auto f) {
        Bytes b = good;
        f(b);
        return b;
    };
    const struct {
        const char* what;
        Bytes frame;
        const char* message;
    } cases[] = {
        {"entry changed", edit([&](Bytes& b) { b[index_at + 1] ^= 1; }), "entries disagree"},
        {"member length changed", edit([&](Bytes& b) { b[index_at + 1 + 40] ^= 1; }),
         "member length"},
        {"checksum changed", edit([&](Bytes& b) { b[good.size() - fmt::END_RECORD - 1] ^= 1; }),
         "index checksum mismatch"},
        {"index left out", edit([&](Bytes& b) {
             b.erase(b.begin() + long(index_at), b.begin() + long(index_at + index_length));
         }),
         "the index record is missing"},
        {"index cut short", Bytes(good.begin(), good.begin() + long(index_at + 20)),
         "index record at byte"},
        {"index where no flag says so",
         cat({frame_of("copy", content, 1024, false)}),  // patched below
         "unknown record kind 0x04"},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        Bytes frame = cases[k].frame;
        if (k + 1 == std::size(cases)) {
            // An unflagged frame with an index record inserted before its end.
            const Bytes idx(good.begin() + long(index_at), good.end() - long(fmt::END_RECORD));
            frame.insert(frame.end() - long(fmt::END_RECORD), idx.begin(), idx.end());
        }
        Bytes out(content.size());
        size_t n = out.size();
        EXPECT_EQ(vorlex_frame_decompress(out.data(), &n, frame.data(), frame.size()),
                  cases[k].what == std::string("index cut short") ? VORLEX_STATUS_INPUT_TRUNCATED
                                                                  : VORLEX_STATUS_CORRUPT)
            << cases[k].what;
        EXPECT_NE(std::string(vorlex_frame_last_error()).find(cases[k].message), std::string::npos)
            << cases[k].what << ": " << vorlex_frame_last_error();
    }
}

TEST(RandomAccess, MisuseIsInvalidNeverACrash) {
    uint8_t out[4];
    size_t n = sizeof out;
    EXPECT_EQ(vorlex_frame_read_at(nullptr, 1, 0, out, &n), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_frame_read_at(out, 0, 0, out, nullptr), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_frame_read_at(out, 0, 0, out, &n), VORLEX_STATUS_INPUT_TRUNCATED);
    const Bytes junk = vorlex::test::from_string("not a frame at all");
    EXPECT_EQ(vorlex_frame_read_at(junk.data(), junk.size(), 0, out, &n), VORLEX_STATUS_CORRUPT);
    EXPECT_EQ(n, sizeof out) << "left alone on failure";

    vorlex_frame_file* f = reinterpret_cast<vorlex_frame_file*>(1);
    EXPECT_EQ(vorlex_frame_file_open(nullptr, nullptr, 0, &f), VORLEX_STATUS_INVALID);
    EXPECT_EQ(f, nullptr);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    EXPECT_EQ(vorlex_frame_file_open_fd(fds[0], &f), VORLEX_STATUS_INVALID);
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(vorlex_frame_file_read_at(nullptr, 0, out, &n), VORLEX_STATUS_INVALID);
    vorlex_frame_block_info b;
    EXPECT_EQ(vorlex_frame_file_get_block(nullptr, 0, &b), VORLEX_STATUS_INVALID);
    EXPECT_STREQ(vorlex_frame_file_fault(nullptr), "");
    vorlex_frame_file_free(nullptr);

    const Bytes one = frame_of("copy", vorlex::test::from_string("abc"), 1024);
    Opened o(one);
    EXPECT_EQ(vorlex_frame_file_get_block(o.file, 1, &b), VORLEX_STATUS_INVALID);
    uint64_t i = 0;
    EXPECT_EQ(vorlex_frame_file_find_block(o.file, 3, &i), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_frame_file_find_block(o.file, 2, &i), VORLEX_STATUS_OK);
    EXPECT_EQ(i, 0u);
}

}  // namespace
