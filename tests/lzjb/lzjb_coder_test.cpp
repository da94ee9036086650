// The LZJB coder on its own: fixed streams at fixed input addresses, the
// address dependence of the match table, the group capacity rule, every
// decoder stop, round trips, and damaged streams decoded between guard pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "lzjb.h"
#include "lzjb_format.h"
#include "lzjb_test_util.hpp"
#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace {

using namespace lzjb_test;
using vorlex::lzjb::lzjb_bound;
using vorlex::test::GuardedBuffer;

Bytes str(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string repeat(const std::string& s, size_t n) {
    std::string r;
    while (n--) r += s;
    return r;
}

// Compresses data placed at residue (mod 1024) into a capacity of `capacity`
// bytes ending at a guard page; an empty result means 0 was returned.
Bytes compress_at(const Bytes& data, size_t residue, size_t capacity) {
    const Placed in(data, residue);
    GuardedBuffer out(capacity);
    const size_t n = lzjb_compress(in.data(), out.data(), in.size(), capacity);
    EXPECT_LE(n, capacity);
    return Bytes(out.data(), out.data() + n);
}
Bytes compress_at(const Bytes& data, size_t residue) {
    return compress_at(data, residue, lzjb_bound(data.size()));
}

// Decodes stream (ending at a guard page) into a guarded output of capacity
// bytes pre-filled with '#'; out gets the whole output buffer.
int decode(const Bytes& stream, size_t capacity, Bytes& out, size_t& len) {
    GuardedBuffer in(stream);
    GuardedBuffer dst(capacity);
    memset(dst.data(), '#', capacity);
    len = capacity;
    const int r = lzjb_decompress(in.data(), dst.data(), stream.size(), &len);
    out.assign(dst.data(), dst.data() + capacity);
    return r;
}

// These streams do not depend on the input's address: no candidate named
// by an unused table entry passes the byte check.
TEST(LzjbGolden, CompressesToFixedStreamsAndBack) {
    const struct {
        const char* name;
        Bytes input;
        std::string stream;
    } cases[] = {
        {"short input: literals only", str("abcabcabc"), "00 61 62 63 61 62 63 61 62 00 63"},
        {"run of 70", str(std::string(70, 'a')), "02 61 FC 01 61 61 61"},
        {"run of 66: one search, at 0, which cannot match", str(std::string(66, 'a')),
         repeat("00 61 61 61 61 61 61 61 61 ", 8) + "00 61 61"},
        {"run of 67: longest match to the last byte", str(std::string(67, 'a')), "02 61 FC 01"},
        {"abc x 30", str(repeat("abc", 30)),
         "08 61 62 63 FC 03 61 62 63 61 00 62 63 61 62 63 61 62 63 "
         "00 61 62 63 61 62 63 61 62 00 63"},
        {"offset above 255; matches cut short by the data",
         str("XYZ" + std::string(300, 'a') + "XYZ" + std::string(70, 'b')),
         "F0 58 59 5A 61 FC 01 FC 42 FC 42 FC 42 0B 80 42 01 2F 62 FC 01 62 62 62"},
    };
    for (const auto& t : cases) {
        for (size_t residue : {0, 1, 513, 1023}) {
            EXPECT_EQ(compress_at(t.input, residue), hex(t.stream)) << t.name << " @" << residue;
        }
        Bytes out;
        size_t len;
        ASSERT_EQ(decode(hex(t.stream), t.input.size(), out, len), LZJB_DECODED) << t.name;
        EXPECT_EQ(out, t.input) << t.name;
    }
}

TEST(LzjbAddress, AnUnusedEntryNamesTheLatestAlignedPosition) {
    // Position 1024 ends a match, so it is never searched; its bytes "aBC"
    // come back at 1027, where their table entry is still 0. At a 1024-aligned
    // input that entry names position 1024, a 3-byte match; one byte further
    // on it names 1023, which does not match.
    const Bytes input = str(std::string(1025, 'a') + "BCaBC" + std::string(70, 'x'));
    const Bytes aligned = compress_at(input, 0), shifted = compress_at(input, 1);
    EXPECT_LT(aligned.size(), shifted.size());
    for (const Bytes& s : {aligned, shifted}) {
        Bytes out;
        size_t len;
        ASSERT_EQ(decode(s, input.size(), out, len), LZJB_DECODED);
        EXPECT_EQ(out, input);
    }
}

TEST(LzjbCompress, GroupsStartOnlyWithRoomForAFullGroup) {
    // Every capacity from 0 to the bound: the result is the whole stream or
    // nothing, and never a byte beyond the capacity (guard page).
    const struct {
        Bytes input;
        size_t smallest;  // smallest capacity that succeeds
    } cases[] = {
        {str("abcabcabc"), 27},  // second group begins at 9: 9 + 17 < capacity
        {str("a"), 18},
        {vorlex::test::random_bytes(8 * 20 + 1, 7), lzjb_bound(161)},  // no matches: bound is tight
        {vorlex::test::random_bytes(8 * 20, 7), 8 * 20 + 20 + 9},
        {vorlex::test::text_bytes(700, 3), 0},  // 0: only check whole-or-nothing
    };
    for (const auto& t : cases) {
        const Placed in(t.input, 0);
        const Bytes full = compress_at(t.input, 0);
        for (size_t cap = 0; cap <= lzjb_bound(t.input.size()); ++cap) {
            GuardedBuffer out(cap);
            const size_t n = lzjb_compress(in.data(), out.data(), in.size(), cap);
            if (n != 0) {
                EXPECT_EQ(Bytes(out.data(), out.data() + n), full) << cap;
            }
            if (t.smallest != 0) {
                EXPECT_EQ(n != 0, cap >= t.smallest) << t.input.size() << " " << cap;
            }
        }
    }
    uint8_t unused = 0;
    EXPECT_EQ(lzjb_compress(&unused, &unused, 0, 1), 0u) << "empty input";
}

TEST(LzjbDecompress, StopsExactlyWhereTheStreamOrOutputEnds) {
    const struct {
        const char* why;
        std::string stream;
        size_t capacity;
        int result;
        std::string output;  // the whole output buffer afterwards
    } cases[] = {
        {"empty stream", "", 0, LZJB_DECODED, ""},
        {"empty stream, room to spare", "", 3, LZJB_DECODED, "###"},
        {"no room at all", "00 61", 0, LZJB_OVERRUN, ""},
        {"only a copy map", "00", 2, LZJB_OVERRUN, "##"},
        {"match with one byte", "01 00", 4, LZJB_OVERRUN, "####"},
        {"cut after a match's first byte", "02 61 00", 4, LZJB_OVERRUN, "a###"},
        {"match at offset 1", "02 61 00 01", 4, LZJB_DECODED, "aaaa"},
        {"match is copied whole or not at all", "02 61 00 01", 3, LZJB_OVERRUN, "a##"},
        {"match before the output start", "02 61 00 02", 4, LZJB_BAD_OFFSET, "a###"},
        {"offset 1023 after one byte", "02 61 03 FF", 4, LZJB_BAD_OFFSET, "a###"},
        {"offset 0 is corrupt, not a self-copy", "02 61 00 00", 10, LZJB_BAD_OFFSET, "a#########"},
        {"overlapping copy repeats the last offset bytes", "04 61 62 04 02", 6, LZJB_DECODED,
         "ababab"},
        {"longest match", "02 61 FC 01 61 61 61", 70, LZJB_DECODED, std::string(70, 'a')},
        {"longest match, one byte short", "02 61 FC 01 61 61 61", 69, LZJB_OVERRUN,
         std::string(69, 'a')},
        {"output full with stream left", "00 61 62", 1, LZJB_OVERRUN, "a"},
        {"stream end is checked before output end", "00 61 62", 2, LZJB_DECODED, "ab"},
        {"cut after a second copy map", "00 61 62 63 64 65 66 67 68 00", 9, LZJB_OVERRUN,
         "abcdefgh#"},
        {"second group", "00 61 62 63 64 65 66 67 68 00 69", 9, LZJB_DECODED, "abcdefghi"},
        {"map bits past the last item are ignored", "F0 61 62", 2, LZJB_DECODED, "ab"},
        {"short stream tail after word-wide copies: nothing past it touched",
         "00 61 62 63 64 65 66 67 68 FF" + repeat(" 00 08", 8) + " 00 69 6A 6B 6C 6D 6E 6F", 600,
         LZJB_DECODED, repeat("abcdefgh", 4) + "ijklmno" + std::string(561, '#')},
        {"ends in a group of longest matches",
         "FE 61" + repeat(" FC 01", 7) + " FF" + repeat(" FC 01", 8), 1591, LZJB_DECODED,
         std::string(991, 'a') + std::string(600, '#')},
    };
    for (const auto& t : cases) {
        Bytes out;
        size_t len;
        EXPECT_EQ(decode(hex(t.stream), t.capacity, out, len), t.result) << t.why;
        EXPECT_EQ(std::string(out.begin(), out.end()), t.output) << t.why;
        const std::string produced = t.output.substr(0, t.output.find('#'));
        EXPECT_EQ(len, t.result == LZJB_DECODED ? produced.size() : t.capacity) << t.why;
    }
}

TEST(LzjbRoundTrip, EveryShortLengthAndShapeAtUnalignedAddresses) {
    using namespace vorlex::test;
    // The streams' fingerprints per shape, at these lengths and addresses,
    // pin every output byte (lengths around 600 are where word-wide coding
    // of whole groups starts).
    const std::vector<std::tuple<const char*, Bytes (*)(size_t, uint32_t), uint64_t>> shapes = {
        {"random", random_bytes, 13532058790961336470u},
        {"text", text_bytes, 8721699366374521722u},
        {"mixed", mixed_bytes, 12967220064633257347u},
        {"run", [](size_t n, uint32_t seed) { return run_bytes(n, uint8_t(seed)); },
         15634081753562710925u},
        {"period 2..8",
         [](size_t n, uint32_t seed) {
             Bytes b(n);
             for (size_t i = 0; i < n; ++i) b[i] = uint8_t('a' + i % (2 + seed % 7));
             return b;
         },
         2676891222792833029u},
    };
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 300; ++n) lengths.push_back(n);
    for (size_t n = 590; n <= 610; ++n) lengths.push_back(n);
    for (size_t k : {100, 1000, 8191}) lengths.push_back(8 * k + 1);
    lengths.insert(lengths.end(), {65536 + 66, 300000});
    for (const auto& [name, make, fingerprint] : shapes) {
        uint64_t sum = fnv1a({});
        for (size_t n : lengths) {
            const Bytes data = make(n, uint32_t(n));
            const size_t residue = (n * 37 + 5) % 1024;
            const Bytes stream = compress_at(data, residue);
            sum = fnv1a(stream, sum);
            ASSERT_EQ(stream.empty(), n == 0) << name << " " << n;
            Bytes out;
            size_t len;
            ASSERT_EQ(decode(stream, n, out, len), LZJB_DECODED) << name << " " << n;
            ASSERT_EQ(len, n);
            ASSERT_EQ(out, data) << name << " " << n << " @" << residue;
            // With room to spare, nothing past the output is touched.
            ASSERT_EQ(decode(stream, n + 600, out, len), LZJB_DECODED);
            ASSERT_TRUE(std::equal(data.begin(), data.end(), out.begin())) << name << " " << n;
            ASSERT_EQ(std::count(out.begin() + ptrdiff_t(n), out.end(), '#'), 600) << name << n;
        }
        EXPECT_EQ(sum, fingerprint) << name;
    }
}

TEST(LzjbDecompress, DamagedStreamsStayInsideTheirBuffers) {
    using namespace vorlex::test;
    for (const Bytes& data : {text_bytes(3000, 1), mixed_bytes(3000, 2), run_bytes(900, 'r')}) {
        const Bytes stream = compress_at(data, 0);
        Bytes out;
        size_t len;
        // Cut anywhere: a prefix of what was encoded, or cut inside an item.
        for (size_t cut = 0; cut <= stream.size(); ++cut) {
            const int r = decode(Bytes(stream.begin(), stream.begin() + ptrdiff_t(cut)),
                                 data.size(), out, len);
            ASSERT_NE(r, LZJB_BAD_OFFSET) << cut;
            if (r == LZJB_DECODED) {
                ASSERT_TRUE(std::equal(out.begin(), out.begin() + ptrdiff_t(len), data.begin()));
            }
        }
        for (size_t i = 0; i < stream.size(); ++i) {
            for (uint8_t flip : {0x01, 0x04, 0x80, 0xFF}) {
                Bytes bad = stream;
                bad[i] ^= flip;
                const int r = decode(bad, data.size(), out, len);
                ASSERT_TRUE(r == LZJB_DECODED || r == LZJB_BAD_OFFSET || r == LZJB_OVERRUN);
                if (r == LZJB_DECODED) {
                    ASSERT_LE(len, data.size());
                }
            }
        }
    }
}

}  // namespace
