// The typed-array filters: each one against a plain statement of its layout,
// the vectorised kernels against the portable ones byte for byte, every code
// round-tripping over typesizes and lengths (tails included); then filtered
// frames through every door of the frame API, and what readers refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "frame/filters/filters.hpp"
#include "frame/format.hpp"
#include "support/test_data.hpp"

namespace {

namespace flt = vorlex::frame::filters;
namespace fmt = vorlex::frame::format;
using Bytes = std::vector<uint8_t>;

// Elements that grow slowly, with a little noise: what the filters are for.
Bytes ramp(size_t n, size_t typesize, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    uint64_t v = rng();
    for (size_t e = 0; e * typesize < n; ++e) {
        v += rng() % 5;
        for (size_t j = 0; j < typesize && e * typesize + j < n; ++j) {
            b[e * typesize + j] = uint8_t(j < 8 ? v >> (8 * j) : rng() % 3);
        }
    }
    return b;
}

Bytes filtered(uint8_t code, size_t typesize, const Bytes& in) {
    Bytes a(in.size() + 1), b(in.size() + 1);
    const uint8_t* f = flt::apply(code, typesize, in.data(), in.size(), a.data(), b.data());
    return Bytes(f, f + in.size());
}

Bytes restored(uint8_t code, size_t typesize, const Bytes& coded) {
    Bytes out(coded.size() + 1), temp(coded.size() + 1);
    uint8_t* target = flt::decode_target(code, out.data(), temp.data());
    std::copy(coded.begin(), coded.end(), target);
    flt::undo(code, typesize, out.data(), coded.size(), temp.data());
    out.resize(coded.size());
    return out;
}

// The kernels called name for as long as it lives (false when missing).
struct UseKernels {
    explicit UseKernels(const char* name) : ok(flt::use_kernels(name)) {}
    ~UseKernels() { flt::use_kernels(""); }
    bool ok;
};

constexpr uint8_t CODES[] = {
    flt::CODE_SHUFFLE, flt::CODE_BITSHUFFLE, flt::CODE_DELTA,
    flt::CODE_DELTA | flt::CODE_SHUFFLE, flt::CODE_DELTA | flt::CODE_BITSHUFFLE,
};

TEST(Filters, LayoutsAreWhatTheFormatSays) {
    for (size_t ts : {1, 2, 3, 4, 8, 16, 255}) {
        // Three bit shuffle groups, the last one short, 5 elements left
        // over, and a tail.
        const size_t g = flt::bitshuffle_group(ts);
        ASSERT_EQ(g, 32768 / ts / 8 * 8);
        const size_t n = (2 * g + 16 + 5) * ts + ts / 2;
        const Bytes in = vorlex::test::random_bytes(n, uint32_t(ts));
        const size_t count = n / ts, m = count / 8 * 8;
        const Bytes s = filtered(flt::CODE_SHUFFLE, ts, in);
        const Bytes bs = filtered(flt::CODE_BITSHUFFLE, ts, in);
        const Bytes d = filtered(flt::CODE_DELTA, ts, in);
        for (size_t e = 0; e < count; ++e) {
            unsigned borrow = 0;
            for (size_t j = 0; j < ts; ++j) {
                const uint8_t x = in[e * ts + j];
                ASSERT_EQ(s[j * count + e], x) << "shuffle ts " << ts;
                if (e < m) {
                    const size_t first = e / g * g, size = std::min(g, m - first), i = e - first;
                    for (size_t k = 0; k < 8; ++k) {
                        const size_t plane = first * ts + (8 * j + k) * (size / 8);
                        ASSERT_EQ((bs[plane + i / 8] >> (i % 8)) & 1, (x >> k) & 1)
                            << "bitshuffle ts " << ts << " element " << e;
                    }
                }
                const unsigned prev = e == 0 ? 0 : in[(e - 1) * ts + j];
                const unsigned diff = x - prev - borrow;
                ASSERT_EQ(d[e * ts + j], uint8_t(diff)) << "delta ts " << ts;
                borrow = (diff >> 8) & 1;
            }
        }
        for (size_t i = m * ts; i < n; ++i) ASSERT_EQ(bs[i], in[i]) << "bitshuffle keeps the rest";
        for (size_t i = count * ts; i < n; ++i) {
            ASSERT_EQ(s[i], in[i]);
            ASSERT_EQ(d[i], in[i]);
        }
    }
}

TEST(Filters, EveryCodeRoundTripsAndTheKernelsAgree) {
    std::vector<size_t> typesizes;
    for (size_t ts = 1; ts <= 33; ++ts) typesizes.push_back(ts);
    for (size_t ts : {63, 64, 100, 128, 255}) typesizes.push_back(ts);
    std::printf("kernels: %s\n", flt::kernel_name());
    for (size_t ts : typesizes) {
        std::vector<size_t> lengths = {0, 1, ts - 1, ts, 8 * ts, 31 * ts + 1, 64 * ts + ts - 1, 17000};
        if (ts <= 4 || ts == 8 || ts == 16) lengths.push_back(70001);  // bit shuffle groups
        for (size_t n : lengths) {
            const Bytes in = ramp(n, ts, uint32_t(ts * 7919 + n));
            for (const uint8_t code : CODES) {
                Bytes reference;
                {
                    UseKernels portable("portable");
                    reference = filtered(code, ts, in);
                }
                for (const char* kernels : {"portable", "sse2", "avx2"}) {
                    UseKernels use(kernels);
                    if (!use.ok) continue;
                    SCOPED_TRACE(std::string(kernels) + " code " + std::to_string(code) + " ts " +
                                 std::to_string(ts) + " n " + std::to_string(n));
                    ASSERT_EQ(filtered(code, ts, in), reference);
                    ASSERT_EQ(restored(code, ts, reference), in);
                }
            }
        }
    }
}

// ---- Frames -----------------------------------------------------------------

Bytes frame_with(vorlex_codec* c, const Bytes& in, int filter, unsigned typesize,
                 size_t block_size = 0) {
    vorlex::Options options;
    EXPECT_EQ(options.set_filter(filter, typesize), VORLEX_STATUS_OK);
    size_t n = vorlex_frame_compress_bound(c, in.size(), block_size);
    Bytes out(n);
    EXPECT_EQ(vorlex_frame_compress_with_options(c, options.get(), block_size, out.data(), &n,
                                                 in.data(), in.size()),
              VORLEX_STATUS_OK)
        << vorlex_frame_last_error();
    out.resize(n);
    return out;
}

vorlex_status decode(const Bytes& frame, Bytes& out) {
    uint64_t size = 0;
    vorlex_status st = vorlex_frame_content_size(frame.data(), frame.size(), &size);
    if (st != VORLEX_STATUS_OK) return st;
    out.resize(size_t(size));
    size_t n = out.size();
    st = vorlex_frame_decompress(out.data(), &n, frame.data(), frame.size());
    out.resize(n);
    return st;
}

// Every filter and codec, blocks that shrink and blocks that do not, a tail.
TEST(FilteredFrames, RoundTripThroughOneShotAndStreams) {
    Bytes in = ramp(300000 + 3, 4, 1);
    const Bytes noise = vorlex::test::random_bytes(70000, 2);
    in.insert(in.begin() + 65536, noise.begin(), noise.end());
    for (const char* name : {"lz4", "zstd", "quicklz", "brieflz", "lzjb", "copy"}) {
        vorlex_codec* c = vorlex_get_codec(name);
        if (c == nullptr) continue;
        for (int filter = VORLEX_FILTER_SHUFFLE; filter <= VORLEX_FILTER_AUTO; ++filter) {
            SCOPED_TRACE(std::string(name) + " " + vorlex_filter_name(filter));
            const Bytes frame = frame_with(c, in, filter, 4, 65536);
            ASSERT_EQ(frame[5] & fmt::FLAG_FILTERED, fmt::FLAG_FILTERED);
            Bytes out;
            ASSERT_EQ(decode(frame, out), VORLEX_STATUS_OK) << vorlex_frame_last_error();
            ASSERT_EQ(out, in);
            // Compressed where it lies, at an odd address: the same frame.
            {
                Bytes shifted(in.size() + 1);
                std::copy(in.begin(), in.end(), shifted.begin() + 1);
                vorlex::Options options;
                options.set_filter(filter, 4);
                Bytes again(frame.size() + 64);
                size_t n = again.size();
                ASSERT_EQ(vorlex_frame_compress_with_options(c, options.get(), 65536, again.data(),
                                                             &n, shifted.data() + 1, in.size()),
                          VORLEX_STATUS_OK);
                again.resize(n);
                ASSERT_EQ(again, frame);
            }
            // The stream, a few bytes at a time on two threads, writes the
            // same frame and reads it back.
            vorlex::FrameWriter w;
            vorlex::Options options;
            options.set_filter(filter, 4);
            ASSERT_EQ(w.open(vorlex::Codec(c), 65536, 2, options), VORLEX_STATUS_OK);
            Bytes streamed(frame.size() + 64);
            vorlex_frame_buffers b{in.data(), in.size(), streamed.data(), streamed.size()};
            ASSERT_EQ(w.process(b, VORLEX_OPERATION_FINISH), VORLEX_STATUS_OK);
            streamed.resize(streamed.size() - b.out_avail);
            ASSERT_EQ(streamed, frame);
            vorlex::FrameReader r;
            ASSERT_EQ(r.open(2, 0), VORLEX_STATUS_OK);
            Bytes back(in.size());
            size_t at = 0, out_at = 0;
            vorlex_status st = VORLEX_STATUS_OK;
            while (at < frame.size() || st == VORLEX_STATUS_PROCESSING) {
                const size_t k = std::min<size_t>(7777, frame.size() - at);
                vorlex_frame_buffers rb{frame.data() + at, k, back.data() + out_at,
                                        back.size() - out_at};
                st = r.process(rb, at + k == frame.size() ? VORLEX_OPERATION_FINISH
                                                          : VORLEX_OPERATION_PROCESS);
                ASSERT_TRUE(vorlex::ok(st)) << vorlex_frame_last_error();
                at += k - rb.in_avail;
                out_at = back.size() - rb.out_avail;
            }
            ASSERT_EQ(back, in);
        }
    }
}

TEST(FilteredFrames, OptionsAreCheckedAndRawCodecsRefuseFilters) {
    vorlex::Options options;
    EXPECT_EQ(options.set_filter(5, 4), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_options_set_filter(options.get(), VORLEX_FILTER_SHUFFLE, 0),
              VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_options_set_filter(options.get(), VORLEX_FILTER_SHUFFLE, 256),
              VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_options_set_filter(nullptr, VORLEX_FILTER_SHUFFLE, 4), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_filter_from_name("bitshuffle"), VORLEX_FILTER_BITSHUFFLE);
    EXPECT_EQ(vorlex_filter_from_name("Shuffle"), -1);
    EXPECT_EQ(vorlex_filter_name(7), nullptr);

    ASSERT_EQ(vorlex_options_set_filter(options.get(), VORLEX_FILTER_DELTA, 8), VORLEX_STATUS_OK);
    vorlex_codec* c = vorlex_get_codec("copy");
    uint8_t in[64] = {}, out[256];
    size_t n = sizeof out;
    EXPECT_EQ(vorlex_compress(c, out, &n, in, sizeof in, options.get()), VORLEX_STATUS_INVALID);
    vorlex_stream* s = nullptr;
    EXPECT_EQ(vorlex_stream_new(c, VORLEX_STREAM_COMPRESS, options.get(), &s),
              VORLEX_STATUS_INVALID);
    // NONE takes the filter away again: plain frames, byte for byte.
    ASSERT_EQ(vorlex_options_set_filter(options.get(), VORLEX_FILTER_NONE, 0), VORLEX_STATUS_OK);
    EXPECT_EQ(vorlex_compress(c, out, &n, in, sizeof in, options.get()), VORLEX_STATUS_OK);
    const Bytes data = ramp(5000, 2, 3);
    size_t a = vorlex_frame_compress_bound(c, data.size(), 0), b = a;
    Bytes plain(a), with_none(b);
    ASSERT_EQ(vorlex_frame_compress(c, 0, plain.data(), &a, data.data(), data.size()),
              VORLEX_STATUS_OK);
    ASSERT_EQ(vorlex_frame_compress_with_options(c, options.get(), 0, with_none.data(), &b,
                                                 data.data(), data.size()),
              VORLEX_STATUS_OK);
    plain.resize(a);
    with_none.resize(b);
    EXPECT_EQ(plain, with_none);
    EXPECT_EQ(plain[5] & fmt::FLAG_FILTERED, 0);
}

// Rewrites the header checksum after a change to the header's fields.
void reseal(Bytes& frame) {
    const size_t end = fmt::HEADER_FIXED + frame[6] + 4 + fmt::flag_fields(frame[5]);
    const uint32_t sum = fmt::header_checksum(frame.data(), end);
    for (int i = 0; i < 4; ++i) frame[end + size_t(i)] = uint8_t(sum >> (8 * i));
}

TEST(FilteredFrames, ReadersRefuseWhatTheyDoNotKnow) {
    vorlex_codec* c = vorlex_get_codec("lz4") != nullptr ? vorlex_get_codec("lz4")
                                                         : vorlex_get_codec("quicklz");
    const Bytes in = ramp(20000, 2, 4);
    const Bytes good = frame_with(c, in, VORLEX_FILTER_SHUFFLE, 2);
    const size_t fields = fmt::HEADER_FIXED + good[6] + 4;
    const size_t first_record = fields + fmt::FILTER_FIELDS + 4;
    ASSERT_EQ(good[first_record], fmt::KIND_COMPRESSED);
    struct Case {
        const char* what;
        size_t at;
        uint8_t value;
        bool reseal;
        vorlex_status status;
        const char* message;
    } cases[] = {
        {"filter from a newer writer", fields, 9, true, VORLEX_STATUS_UNSUPPORTED,
         "header: unknown filter 9"},
        {"typesize 0", fields + 1, 0, true, VORLEX_STATUS_CORRUPT, "header: typesize 0"},
        {"unknown flag", 5, uint8_t(good[5] | 0x40), true, VORLEX_STATUS_UNSUPPORTED,
         "header: unknown flags 0x4"},
        {"damaged filter field", fields, 2, false, VORLEX_STATUS_CORRUPT,
         "header checksum mismatch"},
        {"block code unknown", first_record + fmt::BLOCK_HEADER, 0x17, false,
         VORLEX_STATUS_UNSUPPORTED, "block 1 at byte"},
        {"block code of another filter", first_record + fmt::BLOCK_HEADER, flt::CODE_DELTA, false,
         VORLEX_STATUS_CORRUPT, "unknown filter code 0x04 for filter 1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Bytes bad = good;
        bad[k.at] = k.value;
        if (k.reseal) reseal(bad);
        Bytes out(in.size());
        size_t n = out.size();
        EXPECT_EQ(vorlex_frame_decompress(out.data(), &n, bad.data(), bad.size()), k.status);
        EXPECT_NE(std::string(vorlex_frame_last_error()).find(k.message), std::string::npos)
            << vorlex_frame_last_error();
    }
}

}  // namespace
