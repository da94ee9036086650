// The FastARI coder on its own: pinned streams in both directions, every
// stop of the decoder, round trips over lengths and data shapes, the bounded
// encoder at and below the stream length, data built to outgrow the reported
// bound, and damaged streams decoded between guard pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "fari_test_util.hpp"

namespace {

using namespace fari_test;
using vorlex::test::from_string;

struct Golden {
    const char* name;
    Bytes in;
    const char* stream;
};

TEST(FariGolden, EncodesAndDecodesPinnedStreams) {
    const Golden cases[] = {
        {"empty", {}, "00 00 00 00 00"},
        {"a", from_string("a"), "78 ff 00 06 00"},
        {"zero byte", {0x00}, "fc 0c 10 91 00"},
        {"ff byte: six bytes", {0xff}, "00 00 00 01 00 00"},
        {"abcabcabc", from_string("abcabcabc"), "79 b7 f1 81 44 43 6e bb 79 3c b4 02 00"},
        {"8 x ff: starts with three zeros", Bytes(8, 0xff), "00 00 00 01 01 02 04 00"},
        {"2 x ff", Bytes(2, 0xff), "00 00 00 01 01 00 00"},
        {"1000 x ff", Bytes(1000, 0xff), "00 00 00 01 01 02 43 a4 00"},
        {"16 x 00", Bytes(16, 0x00), "ff fa 7a 91 d3 00"},
        {"text", from_string("Hello, FastARI!"),
         "e6 fa 90 63 7c a0 97 1f c4 7e fe a4 4e c7 a3 49 86 06 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes want = hex(c.stream);
        EXPECT_EQ(compress(c.in), want);
        for (size_t capacity : {c.in.size(), c.in.size() + 7}) {
            const Decoded d = decompress(want, capacity);
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.length, c.in.size());
            EXPECT_EQ(d.bytes, c.in);
        }
    }
}

// A run of 0xff drives low towards 0 at once, so the stream opens with zero
// bytes; its code value is still at least 1, never the empty stream's 0.
TEST(FariGolden, FfRunsStartWithZeroBytesYetAreNotEmpty) {
    for (size_t n = 1; n <= 200; ++n) {
        const Bytes data(n, 0xff);
        const Bytes s = compress(data);
        ASSERT_GE(s.size(), 6u) << n;
        EXPECT_EQ(s[0] | s[1] | s[2], 0) << n;
        EXPECT_NE(vorlex::bytes::load_be32(s.data()), 0u) << n;
        EXPECT_EQ(decompress(s, n).bytes, data) << n;
    }
}

const Bytes ABC = from_string("abcabcabc");
const Bytes ABC_STREAM = hex("79 b7 f1 81 44 43 6e bb 79 3c b4 02 00");

// The end test comes before the next capacity check, so a capacity of exactly
// the data length suffices; anything less is result 2 with *out_len intact
// and the first capacity bytes written.
TEST(FariDecoder, StopsAtTheCapacity) {
    for (size_t capacity = 0; capacity <= 12; ++capacity) {
        SCOPED_TRACE(capacity);
        const Decoded d = decompress(ABC_STREAM, capacity);
        if (capacity < ABC.size()) {
            EXPECT_EQ(d.result, 2);
            EXPECT_EQ(d.length, capacity);
            EXPECT_EQ(d.bytes, Bytes(ABC.begin(), ABC.begin() + long(capacity)));
        } else {
            EXPECT_EQ(d.result, 0);
            EXPECT_EQ(d.bytes, ABC);
        }
    }
}

// Every fetch is a true stream byte, so a cut stream decodes to a prefix, and
// a longer cut never to less. Inputs under four bytes decode to nothing
// rather than read a code value from beyond them.
TEST(FariDecoder, CutStreamsDecodeToAPrefix) {
    const struct {
        size_t keep, produced;
    } pinned[] = {{0, 0}, {1, 0}, {3, 0}, {5, 1}, {12, 8}, {13, 9}};
    for (const auto& p : pinned) {
        const Decoded d = decompress({ABC_STREAM.data(), p.keep}, 100);
        EXPECT_EQ(d.result, 0) << p.keep;
        EXPECT_EQ(d.length, p.produced) << p.keep;
    }

    const Bytes inputs[] = {ABC, vorlex::test::text_bytes(700, 3), vorlex::test::random_bytes(300, 4),
                            Bytes(500, 0xff)};
    for (const Bytes& data : inputs) {
        const Bytes s = compress(data);
        size_t previous = 0;
        for (size_t keep = 0; keep <= s.size(); ++keep) {
            const Decoded d = decompress({s.data(), keep}, data.size());
            ASSERT_EQ(d.result, 0) << keep;
            ASSERT_GE(d.length, previous) << keep;
            ASSERT_TRUE(std::equal(d.bytes.begin(), d.bytes.end(), data.begin())) << keep;
            previous = d.length;
        }
        EXPECT_EQ(previous, data.size());
    }
}

TEST(FariDecoder, NeverReadsTheClosingByteOrWhatFollows) {
    for (unsigned last = 0; last < 256; ++last) {
        Bytes s = ABC_STREAM;
        s.back() = uint8_t(last);
        ASSERT_EQ(decompress(s, 9).bytes, ABC) << last;
    }
    Bytes longer = ABC_STREAM;
    longer.insert(longer.end(), {0x12, 0xff, 0x00, 0x80});
    EXPECT_EQ(decompress(longer, 9).bytes, ABC);
}

TEST(FariDecoder, StopsOfTheEntryAndTheCapacity) {
    const struct {
        const char* name;
        Bytes stream;
        size_t capacity;
        int result;
        size_t length;
    } cases[] = {
        {"empty stream", hex("00 00 00 00 00"), 0, 0, 0},
        {"zero code, garbage after", hex("00 00 00 00 7f 33 91"), 0, 0, 0},
        {"zero code, bare", hex("00 00 00 00"), 50, 0, 0},
        {"code only, capacity 0: nothing left to read", hex("79 b7 f1 81"), 0, 0, 0},
        {"one byte more, capacity 0: full", hex("79 b7 f1 81 44"), 0, 2, 0},
        {"nothing at all", {}, 0, 0, 0},
        {"two bytes", hex("79 b7"), 10, 0, 0},
    };
    for (const auto& c : cases) {
        const Decoded d = decompress(c.stream, c.capacity);
        EXPECT_EQ(d.result, c.result) << c.name;
        EXPECT_EQ(d.length, c.length) << c.name;
    }
}

TEST(FariCoder, NullTableLeavesEverythingAlone) {
    uint8_t out[16];
    std::memset(out, 0xEE, sizeof out);
    size_t len = 12345;
    EXPECT_EQ(fa_compress(ABC.data(), out, ABC.size(), &len, nullptr), 1);
    EXPECT_EQ(fa_compress_bounded(ABC.data(), out, ABC.size(), 16, &len, nullptr), 1);
    EXPECT_EQ(len, 12345u);
    len = 9;
    EXPECT_EQ(fa_decompress(ABC_STREAM.data(), out, ABC_STREAM.size(), &len, nullptr), 1);
    EXPECT_EQ(len, 9u);
    EXPECT_EQ(out[0], 0xEE);
    EXPECT_EQ(mask, 0x0001ffffu);
}

// The coders update with one formula and a selected target; it must agree
// with the two documented updates for every probability.
TEST(FariCoder, OneUpdateFormulaForBothBits) {
    for (uint32_t p = 0; p <= 0xffff; ++p) {
        ASSERT_EQ(fari::adapt_towards(p, fari::TARGET_AFTER_ONE), p + ((0xffff - p) >> 4)) << p;
        ASSERT_EQ(fari::adapt_towards(p, fari::TARGET_AFTER_ZERO), p - (p >> 4)) << p;
    }
}

// Every call resets the table: leftovers from another call or plain garbage
// must not change a single byte.
TEST(FariCoder, StaleTableContentsDoNotMatter) {
    const Bytes data = vorlex::test::mixed_bytes(5000, 8);
    const Bytes want = compress(data);
    std::vector<uint16_t> table(fari::TABLE_ENTRIES);
    for (size_t i = 0; i < table.size(); ++i) table[i] = uint16_t(i * 40503u);
    Bytes s(stream_limit(data.size()));
    size_t len = 0;
    ASSERT_EQ(fa_compress(data.data(), s.data(), data.size(), &len, table.data()), 0);
    s.resize(len);
    EXPECT_EQ(s, want);
    Bytes back(data.size());
    len = back.size();
    ASSERT_EQ(fa_decompress(s.data(), back.data(), s.size(), &len, table.data()), 0);
    EXPECT_EQ(back, data);
}

TEST(FariRoundTrip, EveryLengthAndShape) {
    struct Shape {
        const char* name;
        Bytes (*make)(size_t);
    };
    const Shape shapes[] = {
        {"random", [](size_t n) { return vorlex::test::random_bytes(n, uint32_t(n)); }},
        {"zeros", [](size_t n) { return Bytes(n, 0x00); }},
        {"ff", [](size_t n) { return Bytes(n, 0xff); }},
        {"text", [](size_t n) { return vorlex::test::text_bytes(n, uint32_t(n)); }},
        {"mixed", [](size_t n) { return vorlex::test::mixed_bytes(n, uint32_t(n)); }},
    };
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (size_t n : {1023, 4096, 65537, 300000}) lengths.push_back(n);
    for (const auto& shape : shapes) {
        for (size_t n : lengths) {
            const Bytes data = shape.make(n);
            const Bytes s = compress(data);
            ASSERT_LE(s.size(), fari::fari_bound(n)) << shape.name << " " << n;
            const Decoded d = decompress(s, n);
            ASSERT_EQ(d.result, 0) << shape.name << " " << n;
            ASSERT_EQ(d.bytes, data) << shape.name << " " << n << " seed " << n;
        }
    }
}

TEST(FariRoundTrip, SizesFollowTheModel) {
    const size_t n = 100000;
    const size_t random = compress(vorlex::test::random_bytes(n, 11)).size();
    EXPECT_GT(random, n);
    EXPECT_LT(random, n + n / 50) << "random data costs about 1 % more";
    EXPECT_LT(compress(Bytes(n, 'x')).size(), n / 100) << "a run costs almost nothing";
}

// The stream must not touch out[capacity] for any capacity below its
// length, and must come out byte for byte the same once it fits.
TEST(FariEncoder, BoundedWriterStopsAtTheCapacity) {
    const Bytes inputs[] = {{}, ABC, Bytes(8, 0xff), vorlex::test::random_bytes(1000, 5),
                            vorlex::test::text_bytes(1000, 6)};
    for (const Bytes& data : inputs) {
        const Bytes want = compress(data);
        for (size_t capacity = 0; capacity <= want.size(); ++capacity) {
            if (want.size() > 64 && capacity % 17 != 0 && capacity + 40 < want.size()) continue;
            GuardedBuffer out(capacity);
            size_t len = 777;
            const int r = fa_compress_bounded(data.data(), out.data(), data.size(), capacity, &len,
                                              scratch_table().data());
            if (capacity < want.size()) {
                ASSERT_EQ(r, 2) << data.size() << " " << capacity;
                ASSERT_EQ(len, 777u);
            } else {
                ASSERT_EQ(r, 0);
                ASSERT_EQ(Bytes(out.data(), out.data() + len), want);
            }
        }
    }
}

// Data chosen against the model outgrows n + n/34 + 8: the bounded encoder
// must refuse it at that capacity, and code it exactly given the room.
TEST(FariEncoder, DataAgainstTheModelOutgrowsTheReportedBound) {
    const size_t n = 4096;
    const Bytes data = against_the_model(n);
    const Bytes s = compress(data);
    ASSERT_FALSE(s.empty());
    EXPECT_GT(s.size(), fari::fari_bound(n));
    EXPECT_LT(s.size(), n + n / 10);
    EXPECT_EQ(decompress(s, n).bytes, data);

    for (size_t capacity : {fari::fari_bound(n), s.size() - 1, s.size()}) {
        GuardedBuffer out(capacity);
        size_t len = 0;
        const int r = fa_compress_bounded(data.data(), out.data(), n, capacity, &len,
                                          scratch_table().data());
        EXPECT_EQ(r, capacity < s.size() ? 2 : 0) << capacity;
    }
}

// Damaged streams decode to whatever the bit steps give, but always end in a
// result, within the input and within the capacity.
TEST(FariDecoder, DamagedStreamsStayInBounds) {
    const Bytes inputs[] = {ABC, vorlex::test::text_bytes(600, 9), vorlex::test::random_bytes(300, 10),
                            Bytes(300, 0x00)};
    for (const Bytes& data : inputs) {
        const Bytes s = compress(data);
        for (size_t i = 0; i < s.size(); ++i) {
            for (uint8_t flip : {0x01, 0x80, 0xff}) {
                Bytes bad = s;
                bad[i] ^= flip;
                for (size_t capacity : {data.size(), data.size() / 2}) {
                    const Decoded d = decompress(bad, capacity);
                    ASSERT_TRUE(d.result == 0 || d.result == 2) << i;
                    if (d.result == 0) {
                        ASSERT_LE(d.length, capacity) << i;
                    }
                }
            }
        }
    }
}

TEST(FariDecoder, ArbitraryBytesStayInBounds) {
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const Bytes junk = vorlex::test::random_bytes(seed % 64, seed);
        const Decoded d = decompress(junk, seed % 40);
        ASSERT_TRUE(d.result == 0 || d.result == 2) << seed;
    }
}

}  // namespace
