// lz4, zstd, gzip and snappy through libvorlex as an application calls
// them: levels (range, effect, refusal), native streams fed and drained one
// byte at a time, sequences of frames, sizes recorded or not, and decoders
// that stay inside their output on short capacities and cut input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace {

using vorlex::test::Bytes;
using vorlex::test::GuardedBuffer;

vorlex::Codec codec(const char* name) {
    vorlex::Codec c = vorlex::Codec::find(name);
    EXPECT_TRUE(c) << name << ": " << vorlex::Codec::load_error(name);
    return c;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A stream over all of in, in_step bytes offered and out_step bytes of room
// per call; the status of the first failure, or OK with out filled.
vorlex_status run_stream(const vorlex::Codec& c, vorlex_stream_type type, const Bytes& in,
                         size_t in_step, size_t out_step, Bytes& out,
                         const vorlex::Options& options = {}) {
    vorlex::StreamPtr s;
    vorlex_status st = vorlex::make_stream(c, type, s, options);
    if (st != VORLEX_STATUS_OK) return st;
    out.clear();
    std::vector<uint8_t> room(out_step);
    size_t fed = 0;
    for (;;) {
        const size_t n = std::min(in_step, in.size() - fed);
        const bool last = fed + n == in.size();
        s->in_next = in.data() + fed;
        s->in_avail = n;
        do {
            s->out_next = room.data();
            s->out_avail = room.size();
            st = vorlex_stream_process(s.get(), last ? VORLEX_OPERATION_FINISH
                                                     : VORLEX_OPERATION_PROCESS);
            out.insert(out.end(), room.data(), room.data() + (room.size() - s->out_avail));
            if (st <= 0) return st;
        } while (st == VORLEX_STATUS_PROCESSING || s->in_avail != 0);
        fed += n;
        if (last) return st;
    }
}

const char* const STREAMING[] = {"lz4", "zstd", "gzip"};
const char* const MODERN[] = {"lz4", "zstd", "gzip", "snappy"};

TEST(Modern, LevelsAreDeclaredAndChecked) {
    const struct {
        const char* name;
        bool has;
        int min, max, def;
    } cases[] = {
        {"lz4", true, 1, 12, 1},    {"zstd", true, -131072, 22, 3}, {"gzip", true, 0, 9, 6},
        {"snappy", false, 0, 0, 0}, {"quicklz", false, 0, 0, 0},    {"copy", false, 0, 0, 0},
    };
    const Bytes data = vorlex::test::text_bytes(5000, 3);
    for (const auto& t : cases) {
        const vorlex::Codec c = codec(t.name);
        ASSERT_TRUE(c);
        const auto levels = c.levels();
        ASSERT_EQ(levels.has_value(), t.has) << t.name;
        Bytes out;
        // No options, and options with nothing set, are every codec's defaults.
        EXPECT_EQ(c.compress(data, out, vorlex::Options()), VORLEX_STATUS_OK) << t.name;
        vorlex_options* empty = vorlex_options_new();
        ASSERT_NE(empty, nullptr);
        EXPECT_EQ(vorlex_codec_check_options(c.get(), empty), VORLEX_STATUS_OK) << t.name;
        vorlex_options_free(empty);

        std::vector<int> refused;
        if (t.has) {
            EXPECT_EQ(levels->min, t.min) << t.name;
            EXPECT_EQ(levels->max, t.max) << t.name;
            EXPECT_EQ(levels->default_level, t.def) << t.name;
            refused = {t.min - 1, t.max + 1};
            for (int level : {t.min, t.def, t.max}) {
                Bytes packed, back;
                ASSERT_EQ(c.compress(data, packed, vorlex::Options::with_level(level)),
                          VORLEX_STATUS_OK) << t.name << " " << level;
                ASSERT_EQ(c.decompress(packed, back, data.size()), VORLEX_STATUS_OK);
                EXPECT_EQ(back, data) << t.name << " " << level;
            }
        } else {
            // No levels: any level is ignored, as every option is.
            for (int level : {0, 1, 19}) {
                const vorlex::Options o = vorlex::Options::with_level(level);
                Bytes plain, leveled;
                ASSERT_EQ(c.compress(data, plain), VORLEX_STATUS_OK) << t.name;
                ASSERT_EQ(c.compress(data, leveled, o), VORLEX_STATUS_OK) << t.name << " " << level;
                EXPECT_EQ(leveled, plain) << t.name << " " << level;
            }
        }
        for (int level : refused) {
            const vorlex::Options o = vorlex::Options::with_level(level);
            uint8_t buf[64];
            size_t len = sizeof buf;
            EXPECT_EQ(vorlex_compress(c.get(), buf, &len, data.data(), data.size(), o.get()),
                      VORLEX_STATUS_BAD_LEVEL) << t.name << " " << level;
            EXPECT_EQ(len, sizeof buf);
            vorlex::StreamPtr s;
            EXPECT_EQ(vorlex::make_stream(c, VORLEX_STREAM_COMPRESS, s, o), VORLEX_STATUS_BAD_LEVEL)
                << t.name << " " << level;
            EXPECT_EQ(s, nullptr);
            // Decompression takes no level: options are ignored there.
            EXPECT_EQ(vorlex::make_stream(c, VORLEX_STREAM_DECOMPRESS, s, o), VORLEX_STATUS_OK)
                << t.name;
        }
    }
}

TEST(Modern, HigherLevelsCompressSmaller) {
    const Bytes data = vorlex::test::text_bytes(100000, 11);
    const struct {
        const char* name;
        int low, high;
    } cases[] = {{"zstd", 1, 19}, {"lz4", 1, 12}, {"gzip", 1, 9}};
    for (const auto& t : cases) {
        const vorlex::Codec c = codec(t.name);
        ASSERT_TRUE(c);
        Bytes low, high, dflt;
        ASSERT_EQ(c.compress(data, low, vorlex::Options::with_level(t.low)), VORLEX_STATUS_OK);
        ASSERT_EQ(c.compress(data, high, vorlex::Options::with_level(t.high)), VORLEX_STATUS_OK);
        EXPECT_LT(high.size(), low.size()) << t.name;
        // The level reaches streams too.
        Bytes streamed;
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, data, 30000, 30000, streamed,
                             vorlex::Options::with_level(t.high)),
                  VORLEX_STATUS_OK);
        EXPECT_LT(streamed.size(), low.size()) << t.name;
    }
}

TEST(Modern, StreamsOneByteAtATime) {
    const Bytes data = vorlex::test::mixed_bytes(20000, 5);
    for (const char* name : MODERN) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        SCOPED_TRACE(name);
        Bytes packed, back, whole;
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, data, 1, 1, packed), VORLEX_STATUS_OK);
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_DECOMPRESS, packed, 1, 1, back), VORLEX_STATUS_OK);
        EXPECT_EQ(back, data);
        // Stream output is ordinary data for the buffer call.
        ASSERT_EQ(c.decompress(packed, whole, data.size()), VORLEX_STATUS_OK);
        EXPECT_EQ(whole, data);
        // And buffer output for a stream.
        Bytes buffered;
        ASSERT_EQ(c.compress(data, buffered), VORLEX_STATUS_OK);
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_DECOMPRESS, buffered, 1, 1, back), VORLEX_STATUS_OK);
        EXPECT_EQ(back, data);
    }
}

TEST(Modern, EmptyInputRoundTrips) {
    for (const char* name : MODERN) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        Bytes packed, back;
        ASSERT_EQ(c.compress(Bytes{}, packed), VORLEX_STATUS_OK) << name;
        EXPECT_FALSE(packed.empty()) << name;
        ASSERT_EQ(c.decompress(packed, back, 0), VORLEX_STATUS_OK) << name;
        EXPECT_TRUE(back.empty());
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, Bytes{}, 1, 1, packed), VORLEX_STATUS_OK);
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_DECOMPRESS, packed, 1, 1, back), VORLEX_STATUS_OK);
        EXPECT_TRUE(back.empty()) << name;
    }
}

TEST(Modern, SequencesOfFramesDecodeWhole) {
    const Bytes a = vorlex::test::text_bytes(30000, 1), b = vorlex::test::random_bytes(5000, 2);
    for (const char* name : STREAMING) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        SCOPED_TRACE(name);
        Bytes pa, pb, back;
        ASSERT_EQ(c.compress(a, pa), VORLEX_STATUS_OK);
        ASSERT_EQ(c.compress(b, pb), VORLEX_STATUS_OK);
        const Bytes both = concat(pa, pb), want = concat(a, b);
        ASSERT_EQ(c.decompress(both, back, want.size()), VORLEX_STATUS_OK);
        EXPECT_EQ(back, want);
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_DECOMPRESS, both, 777, 4096, back), VORLEX_STATUS_OK);
        EXPECT_EQ(back, want);
        if (c.records_size()) {
            size_t size = 0;
            ASSERT_EQ(vorlex_get_uncompressed_size(c.get(), both.data(), both.size(), &size),
                      VORLEX_STATUS_OK);
            EXPECT_EQ(size, want.size());
        }
        // Bytes after the last frame that start no other are an error.
        const Bytes junk = concat(pa, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
        EXPECT_LT(c.decompress(junk, back, a.size() + 8), 0);
    }
}

// Bytes after the last frame that cannot start another are reported as
// trailing data, through every door: the size query, the buffer call and
// a stream fed in small pieces. Bytes that could start another frame are a
// truncated frame instead, and a frame that is itself damaged stays
// "corrupt" however it ends.
TEST(Modern, TrailingDataIsSaidSo) {
    const Bytes data = vorlex::test::text_bytes(20000, 3);
    struct Case {
        const char* codec;
        Bytes tail;
        vorlex_status want;
    };
    const Case cases[] = {
        {"zstd", {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!'}, VORLEX_STATUS_TRAILING_DATA},
        {"zstd", {0}, VORLEX_STATUS_TRAILING_DATA},
        {"zstd", {0x28, 0xB5}, VORLEX_STATUS_INPUT_TRUNCATED},  // the start of a magic
        {"lz4", {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!'}, VORLEX_STATUS_TRAILING_DATA},
        {"lz4", {0}, VORLEX_STATUS_TRAILING_DATA},
        {"gzip", {0}, VORLEX_STATUS_TRAILING_DATA},
        {"gzip", {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!'}, VORLEX_STATUS_TRAILING_DATA},
        {"gzip", {0x1f}, VORLEX_STATUS_INPUT_TRUNCATED},
    };
    for (const Case& c : cases) {
        const vorlex::Codec codec_ = codec(c.codec);
        ASSERT_TRUE(codec_);
        SCOPED_TRACE(std::string(c.codec) + " + " + std::to_string(c.tail.size()) + " bytes");
        Bytes packed, back;
        ASSERT_EQ(codec_.compress(data, packed), VORLEX_STATUS_OK);
        const Bytes in = concat(packed, c.tail);
        size_t size = 0;
        if (codec_.records_size() && c.want == VORLEX_STATUS_TRAILING_DATA) {
            EXPECT_EQ(vorlex_get_uncompressed_size(codec_.get(), in.data(), in.size(), &size),
                      c.want);
        }
        // Room for the content and the tail: the fault is the data's.
        back.resize(data.size() + 64);
        size = back.size();
        const vorlex_status buffer =
            vorlex_decompress(codec_.get(), back.data(), &size, in.data(), in.size(), nullptr);
        if (c.want == VORLEX_STATUS_TRAILING_DATA) {
            EXPECT_EQ(buffer, c.want);
        } else {
            EXPECT_LT(buffer, 0);
        }
        EXPECT_EQ(run_stream(codec_, VORLEX_STREAM_DECOMPRESS, in, 3, 4096, back), c.want);
        EXPECT_STREQ(vorlex_status_to_string(VORLEX_STATUS_TRAILING_DATA),
                     "trailing data after the last frame");
    }
}

// An LZ4 block of literals only, the simplest valid block for any bytes.
Bytes lz4_literal_block(const Bytes& data) {
    Bytes b{uint8_t(std::min<size_t>(data.size(), 15) << 4)};
    if (data.size() >= 15) {
        size_t rest = data.size() - 15;
        for (; rest >= 255; rest -= 255) b.push_back(255);
        b.push_back(uint8_t(rest));
    }
    return concat(b, data);
}

// What `lz4 -l` writes: the legacy magic, then each block's length and bytes.
Bytes lz4_legacy(const std::vector<Bytes>& blocks) {
    Bytes out{0x02, 0x21, 0x4c, 0x18};
    for (const Bytes& data : blocks) {
        const Bytes block = lz4_literal_block(data);
        const uint32_t n = uint32_t(block.size());
        out = concat(out, Bytes{uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
        out = concat(out, block);
    }
    return out;
}

// The tools' other files: lz4's legacy format read alone and among frames,
// whatever the pieces; gzip members followed by other bytes end with
// TRAILING_DATA, everything before them decoded.
TEST(Modern, Lz4LegacyAndGzipTrailingData) {
    const Bytes a = vorlex::test::text_bytes(3000, 1), b = vorlex::test::mixed_bytes(700, 2);
    const vorlex::Codec lz4 = codec("lz4"), gzip = codec("gzip");
    ASSERT_TRUE(lz4 && gzip);
    Bytes frame, member;
    ASSERT_EQ(lz4.compress(a, frame), VORLEX_STATUS_OK);
    ASSERT_EQ(gzip.compress(a, member), VORLEX_STATUS_OK);
    const Bytes legacy = lz4_legacy({a, b});
    const struct {
        const char* what;
        const vorlex::Codec& codec;
        Bytes data;
        vorlex_status status;
        Bytes want;  // what comes out before the status
    } cases[] = {
        {"legacy", lz4, legacy, VORLEX_STATUS_OK, concat(a, b)},
        {"legacy, frame", lz4, concat(legacy, frame), VORLEX_STATUS_OK, concat(concat(a, b), a)},
        {"frame, legacy", lz4, concat(frame, legacy), VORLEX_STATUS_OK, concat(a, concat(a, b))},
        {"legacy twice", lz4, concat(legacy, legacy), VORLEX_STATUS_OK,
         concat(concat(a, b), concat(a, b))},
        {"magic only", lz4, Bytes(legacy.begin(), legacy.begin() + 4), VORLEX_STATUS_OK, {}},
        {"magic cut", lz4, Bytes(legacy.begin(), legacy.begin() + 2),
         VORLEX_STATUS_INPUT_TRUNCATED, {}},
        {"block cut", lz4, Bytes(legacy.begin(), legacy.end() - 10),
         VORLEX_STATUS_INPUT_TRUNCATED, a},
        {"bad block", lz4, concat(lz4_legacy({}), Bytes{5, 0, 0, 0, 0xf0, 0xff, 0xff, 1, 2}),
         VORLEX_STATUS_FAILED, {}},
        {"gzip junk", gzip, concat(member, Bytes{'j', 'u', 'n', 'k'}),
         VORLEX_STATUS_TRAILING_DATA, a},
        {"gzip, member, junk", gzip, concat(concat(member, member), Bytes{0x1f, 0x00}),
         VORLEX_STATUS_TRAILING_DATA, concat(a, a)},
        {"gzip, magic's first byte", gzip, concat(member, Bytes{0x1f}),
         VORLEX_STATUS_INPUT_TRUNCATED, a},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const size_t step : {size_t(1), size_t(5), size_t(1) << 20}) {
            Bytes out;
            EXPECT_EQ(run_stream(c.codec, VORLEX_STREAM_DECOMPRESS, c.data, step, step, out),
                      c.status) << step;
            EXPECT_EQ(out, c.want) << step;
        }
        if (c.status == VORLEX_STATUS_OK) {
            Bytes whole;
            ASSERT_EQ(c.codec.decompress(c.data, whole, c.want.size()), VORLEX_STATUS_OK);
            EXPECT_EQ(whole, c.want);
        }
    }
}

TEST(Modern, RecordedSizes) {
    const Bytes data = vorlex::test::text_bytes(10000, 9);
    for (const char* name : MODERN) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        // gzip stores the size modulo 2^32 at the end of each member: no
        // usable size for what follows.
        EXPECT_EQ(c.records_size(), std::strcmp(name, "gzip") != 0) << name;
        if (!c.records_size()) continue;
        Bytes packed, streamed;
        ASSERT_EQ(c.compress(data, packed), VORLEX_STATUS_OK);
        size_t size = 0;
        ASSERT_EQ(vorlex_get_uncompressed_size(c.get(), packed.data(), packed.size(), &size),
                  VORLEX_STATUS_OK);
        EXPECT_EQ(size, data.size()) << name;
        if (!c.native_streams()) continue;
        // Frames written by a stream leave the size out: said so, not guessed.
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, data, 4096, 4096, streamed),
                  VORLEX_STATUS_OK);
        size = 12345;
        EXPECT_EQ(vorlex_get_uncompressed_size(c.get(), streamed.data(), streamed.size(), &size),
                  VORLEX_STATUS_UNSUPPORTED) << name;
        EXPECT_EQ(size, 12345u);
    }
}

TEST(Modern, DecodersStayInsideShortOutputAndCutInput) {
    const Bytes data = vorlex::test::mixed_bytes(3000, 4);
    for (const char* name : MODERN) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        SCOPED_TRACE(name);
        Bytes packed;
        ASSERT_EQ(c.compress(data, packed), VORLEX_STATUS_OK);
        for (size_t cap : {data.size(), data.size() - 1, size_t(0)}) {
            GuardedBuffer out(cap);
            size_t len = cap;
            const vorlex_status st =
                vorlex_decompress(c.get(), out.data(), &len, packed.data(), packed.size(), nullptr);
            if (cap == data.size()) {
                EXPECT_EQ(st, VORLEX_STATUS_OK);
                EXPECT_EQ(len, data.size());
            } else {
                EXPECT_EQ(st, VORLEX_STATUS_OUTPUT_FULL) << cap;
                EXPECT_EQ(len, cap);
            }
        }
        // Every cut of the data ends in a failure (no bytes at all are no frames:
        // empty output), and flipped bytes never make a decoder overstep.
        for (size_t n = 1; n < packed.size(); ++n) {
            GuardedBuffer in(std::span<const uint8_t>(packed.data(), n));
            GuardedBuffer out(data.size());
            size_t len = data.size();
            EXPECT_LT(vorlex_decompress(c.get(), out.data(), &len, in.data(), n, nullptr), 0) << n;
        }
        for (size_t i = 0; i < packed.size(); i += 37) {
            Bytes bad = packed;
            bad[i] ^= 0x5A;
            GuardedBuffer in(bad);
            GuardedBuffer out(data.size());
            size_t len = data.size();
            (void)vorlex_decompress(c.get(), out.data(), &len, in.data(), bad.size(), nullptr);
            EXPECT_LE(len, data.size());
        }
    }
}

// Buffer calls reuse one library context per thread: a call that fails
// half way through a frame (one recording its size) must leave nothing
// behind for the next, here a frame written by a stream (no size recorded).
TEST(Modern, AFailedDecodeLeavesNothingForTheNextCall) {
    const Bytes data = vorlex::test::mixed_bytes(5000, 6);
    for (const char* name : STREAMING) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        SCOPED_TRACE(name);
        Bytes sized, streamed;
        ASSERT_EQ(c.compress(data, sized), VORLEX_STATUS_OK);
        ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, data, data.size(), 1 << 16, streamed),
                  VORLEX_STATUS_OK);
        for (size_t cut : {sized.size() / 2, sized.size() - 1}) {
            Bytes out(data.size());
            size_t len = out.size();
            ASSERT_LT(vorlex_decompress(c.get(), out.data(), &len, sized.data(), cut, nullptr), 0);
            len = out.size();
            EXPECT_EQ(vorlex_decompress(c.get(), out.data(), &len, streamed.data(),
                                        streamed.size(), nullptr),
                      VORLEX_STATUS_OK)
                << "after a cut at " << cut;
            EXPECT_TRUE(len == data.size() && out == data);
        }
    }
}

// Buffer calls keep library contexts per thread, but what they write must
// be a function of the input and level alone: the same bytes from a thread
// that compressed nothing before as after other inputs at other levels.
TEST(Modern, OutputDoesNotDependOnEarlierCalls) {
    const struct {
        const char* name;
        std::vector<int> levels;
    } cases[] = {
        {"lz4", {1, 2, 3, 9, 12}}, {"zstd", {1, 3, 9}}, {"gzip", {1, 6, 9}}, {"snappy", {0}}};
    const size_t sizes[] = {200, 1500, 4096, 65536, 65537, 150000};
    auto options = [](int level) {
        return level == 0 ? vorlex::Options() : vorlex::Options::with_level(level);
    };
    for (const auto& t : cases) {
        const vorlex::Codec c = codec(t.name);
        ASSERT_TRUE(c);
        struct Case {
            Bytes data, fresh;
            int level;
        };
        std::vector<Case> all;
        for (size_t n : sizes) {
            for (int level : t.levels) {
                Bytes data = concat(vorlex::test::text_bytes(n / 2, uint32_t(n)),
                                    vorlex::test::mixed_bytes(n - n / 2, 3));
                // Four bytes of the start recur with another fifth: where a
                // coder hashes five bytes but compares four, a cleared table
                // and a stale one part ways.
                for (size_t i = 0; i + 5 <= n; i += 997) {
                    memcpy(&data[i], "The ", 4);
                    data[i + 4] = uint8_t('a' + i / 997 % 26);
                }
                all.push_back({std::move(data), {}, level});
                Case& k = all.back();
                std::thread([&] {
                    EXPECT_EQ(c.compress(k.data, k.fresh, options(level)), VORLEX_STATUS_OK);
                }).join();
            }
        }
        // On this thread every case now follows others at other levels.
        for (const Case& k : all) {
            Bytes scratch;
            ASSERT_EQ(c.compress(k.data, scratch, options(k.level)), VORLEX_STATUS_OK);
        }
        for (auto k = all.rbegin(); k != all.rend(); ++k) {
            Bytes after;
            ASSERT_EQ(c.compress(k->data, after, options(k->level)), VORLEX_STATUS_OK);
            EXPECT_TRUE(after == k->fresh)
                << t.name << " level " << k->level << ", " << k->data.size() << " bytes";
        }
    }
}

TEST(Modern, CompressionReportsAFullOutput) {
    const Bytes data = vorlex::test::random_bytes(4000, 8);
    for (const char* name : MODERN) {
        const vorlex::Codec c = codec(name);
        ASSERT_TRUE(c);
        Bytes packed;
        ASSERT_EQ(c.compress(data, packed), VORLEX_STATUS_OK);
        GuardedBuffer out(packed.size() - 1);
        size_t len = out.size();
        EXPECT_EQ(vorlex_compress(c.get(), out.data(), &len, data.data(), data.size(), nullptr),
                  VORLEX_STATUS_OUTPUT_FULL) << name;
        EXPECT_EQ(len, out.size()) << name;
    }
}

}  // namespace
