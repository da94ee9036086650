// The BriefLZ coder on its own: golden streams in both directions, round
// trips over lengths and data shapes, the capacity-bounded writer, the
// compressor's limits for huge inputs, every decoder failure cause (with
// hand-built streams), and truncations and byte flips decoded into buffers
// that end at an inaccessible page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "brieflz.h"
#include "brieflz_format.h"
#include "brieflz_reader.h"
#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace {

using namespace vorlex::test;
namespace blz = vorlex::brieflz;

Bytes hex(const char* s) {
    Bytes b;
    for (; *s; ++s) {
        if (*s == ' ') continue;
        b.push_back(uint8_t(std::stoi(std::string(s, 2), nullptr, 16)));
        ++s;
    }
    return b;
}

struct Workmem {
    std::vector<const uint8_t*> table = std::vector<const uint8_t*>(blz::HASH_ENTRIES);
    void* get() { return table.data(); }
};

Bytes pack(const Bytes& in) {
    Workmem wm;
    Bytes out(blz_max_packed_size(in.size()));
    out.resize(blz_pack(in.data(), out.data(), in.size(), wm.get()));
    return out;
}

// Decodes into a buffer of exactly size bytes that ends at a guard page.
size_t depack(const Bytes& stream, size_t size, Bytes* out = nullptr) {
    GuardedBuffer in(stream), dst(size);
    const size_t r = blz_depack_safe(in.data(), in.size(), dst.data(), size);
    if (out) out->assign(dst.data(), dst.data() + size);
    return r;
}

// Builds streams bit by bit with the tag-word ordering rule, for inputs the
// compressor would never write.
struct StreamBuilder {
    Bytes s;
    size_t slot = 0;
    unsigned used = blz::TAG_BITS;
    explicit StreamBuilder(uint8_t first) : s{first} {}
    StreamBuilder& bit(unsigned b) {
        if (used == blz::TAG_BITS) {
            slot = s.size();
            s.insert(s.end(), {0, 0});
            used = 0;
        }
        if (b) s[slot + (used < 8 ? 1 : 0)] |= uint8_t(0x80 >> (used % 8));
        ++used;
        return *this;
    }
    // A gamma code with the given digits after the leading 1, most significant first.
    StreamBuilder& gamma(const std::vector<unsigned>& digits) {
        for (size_t i = 0; i < digits.size(); ++i) bit(digits[i]).bit(i + 1 < digits.size());
        return *this;
    }
    StreamBuilder& byte(uint8_t b) {
        s.push_back(b);
        return *this;
    }
};
std::vector<unsigned> digits_of(uint64_t v) {  // v >= 2
    std::vector<unsigned> d;
    for (int i = 62 - __builtin_clzll(v); i >= 0; --i) d.push_back(unsigned(v >> i) & 1);
    return d;
}

TEST(BriefLZGolden, EncodesAndDecodesByteExact) {
    const struct {
        const char* in;
        const char* stream;
    } cases[] = {
        {"", ""},
        {"a", "61"},
        {"ab", "61 0000 62"},
        {"abcde", "61 0000 62 63 64 65"},
        {"aaaaa", "61 0000 61 61 61 61"},
        {"aaaaaa", "61 00C0 00"},
        {"aaaaaaaaaa", "61 00F0 00"},
        {"abcabcabc", "61 0028 62 63 02"},
        {"abcdeabcde", "61 000C 62 63 64 65 04"},
        {"abcdeabcd", "61 0000 62 63 64 65 61 62 63 64"},
        // The match flag is the last bit of the first tag word; its gamma codes
        // fill the top of a second one, reserved behind the literal p.
        {"abcdefghijklmnopabcdefghijklmnop",
         "61 0100 62636465666768696A6B6C6D6E6F70 00F0 0F"},
        {"abcdefghijklmnopabcdxyzzy", "61 0100 62636465666768696A6B6C6D6E6F70 0000 0F 78797A7A79"},
        // The length's gamma code (13: 1 1 0 1 1 0) is split after its first bit.
        {"abcdefghijklmnoabcdefghijklmno", "61 0300 62636465666768696A6B6C6D6E6F 00B0 0E"},
    };
    for (const auto& c : cases) {
        const Bytes in = from_string(c.in), want = hex(c.stream);
        EXPECT_EQ(pack(in), want) << c.in;
        Bytes out;
        EXPECT_EQ(depack(want, in.size(), &out), in.size()) << c.in;
        EXPECT_EQ(out, in) << c.in;
    }
}

TEST(BriefLZGolden, FarOffsetsCodeTheirHighPart) {
    // 1000 random bytes, their first 4 again, and one more literal. Offset
    // 1000 = 3 * 256 + 231 + 1: the high part 3 is coded as gamma 5 and the
    // low byte is E7.
    Bytes in = random_bytes(1000, 7);
    in.insert(in.end(), {in[0], in[1], in[2], in[3], uint8_t(~in[4])});
    const Bytes s = pack(in);
    ASSERT_EQ(s.size(), 1 + 999 + 63 * 2 + 1 + 1u);
    // The 63rd tag word, behind 992 literals and 62 words: 7 literal flags,
    // 1 (match), 0 0 (length 4), 0 1 1 0 (gamma 5), 0 (literal), 1 bit padding.
    EXPECT_EQ(s[1117], 0x18);
    EXPECT_EQ(s[1118], 0x01);
    EXPECT_EQ(s[s.size() - 2], 0xE7);
    Bytes out;
    EXPECT_EQ(depack(s, in.size(), &out), in.size());
    EXPECT_EQ(out, in);
}

TEST(BriefLZRoundTrip, EveryShortLengthAndShape) {
    for (size_t n = 0; n <= 300; ++n) {
        for (const Bytes& in : {run_bytes(n, 'x'), random_bytes(n, uint32_t(n)),
                                text_bytes(n, uint32_t(n)), mixed_bytes(n, uint32_t(n))}) {
            const Bytes s = pack(in);
            Bytes out;
            ASSERT_EQ(depack(s, n, &out), n) << "n=" << n;
            ASSERT_EQ(out, in) << "n=" << n;
            ASSERT_LE(s.size(), blz_max_packed_size(n));
            if (n >= 1) {
                ASSERT_EQ(depack(s, n + 1), BLZ_DEPACK_FAILED) << "too large a size, n=" << n;
            }
            if (n >= 2 && n <= 5) {
                ASSERT_EQ(s.size(), n + 2) << "literals only";
            }
        }
    }
}

TEST(BriefLZRoundTrip, LargeInputsAndDirtyWorkmem) {
    const size_t n = 3 << 20;
    for (const Bytes& in : {random_bytes(n, 1), text_bytes(n, 2), mixed_bytes(n, 3),
                            run_bytes(n, 0)}) {
        const Bytes s = pack(in);
        Bytes out;
        ASSERT_EQ(depack(s, n, &out), n);
        ASSERT_TRUE(out == in);
        // The table is cleared on entry: leftovers from another input change nothing.
        Workmem wm;
        Bytes other = random_bytes(4096, 9), scratch(blz_max_packed_size(n));
        blz_pack(other.data(), scratch.data(), other.size(), wm.get());
        scratch.resize(blz_pack(in.data(), scratch.data(), n, wm.get()));
        ASSERT_TRUE(scratch == s) << "deterministic";
    }
}

TEST(BriefLZRoundTrip, CorpusFiles) {
    const auto files = corpus_files();
    VORLEX_REQUIRE_CORPUS(files);
    for (const auto& f : files) {
        const Bytes in = read_file(f.path);
        const Bytes s = pack(in);
        Bytes out;
        EXPECT_EQ(depack(s, in.size(), &out), in.size()) << f.name;
        EXPECT_TRUE(out == in) << f.name;
    }
}

TEST(BriefLZPack, EmptyInputTouchesNothing) {
    Workmem wm;
    wm.table.assign(wm.table.size(), reinterpret_cast<const uint8_t*>(&wm));
    uint8_t dst[4] = {9, 9, 9, 9};
    EXPECT_EQ(blz_pack("", dst, 0, wm.get()), 0u);
    EXPECT_EQ(dst[0], 9);
    EXPECT_EQ(wm.table[0], reinterpret_cast<const uint8_t*>(&wm));
    EXPECT_EQ(blz_workmem_size(0), 0x100000u);
    EXPECT_EQ(blz_workmem_size(SIZE_MAX), 0x100000u);
    EXPECT_EQ(blz_max_packed_size(0), 64u);
    EXPECT_EQ(blz_max_packed_size(1), 65u);
    EXPECT_EQ(blz_max_packed_size(1 << 20), 1179712u);
}

TEST(BriefLZPack, BoundedWriterStopsAtItsCapacity) {
    std::vector<Bytes> inputs = {from_string("a"), from_string("ab"), from_string("abcabcabc"),
                                 from_string("abcdefghijklmnopabcdefghijklmnop")};
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        inputs.push_back(random_bytes(300, seed));
        inputs.push_back(mixed_bytes(2000, seed));
    }
    Workmem wm;
    for (const Bytes& in : inputs) {
        const Bytes want = pack(in);
        // Every capacity short of the stream fails; the exact one gives the same bytes.
        for (size_t cap = 0; cap <= want.size(); ++cap) {
            GuardedBuffer dst(cap);
            const size_t r = blz_pack_bounded(in.data(), dst.data(), cap, in.size(), wm.get());
            if (cap < want.size()) {
                ASSERT_EQ(r, BLZ_PACK_NO_ROOM) << "cap " << cap << " of " << want.size();
            } else {
                ASSERT_EQ(r, want.size());
                ASSERT_EQ(std::memcmp(dst.data(), want.data(), r), 0);
            }
        }
    }
}

TEST(BriefLZPack, LimitsKeepHugeInputsDecodable) {
    // Below 4 GiB the limits never bind, so streams stay byte-exact.
    EXPECT_EQ(blz::match_limit(5), 5u);
    EXPECT_EQ(blz::match_limit(0xFFFFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(blz::match_limit(size_t(1) << 32), size_t(1) << 32);
    // Beyond, a match stops where its length code reaches the decoder's gamma limit.
    EXPECT_EQ(blz::match_limit(size_t(1) << 33), 0x100000001u);
    EXPECT_EQ(blz::match_limit(SIZE_MAX), 0x100000001u);
    EXPECT_EQ(blz::match_limit(SIZE_MAX) - blz::LENGTH_BIAS, blz::MAX_GAMMA);
    EXPECT_TRUE(blz::offset_in_reach(1));
    EXPECT_TRUE(blz::offset_in_reach(0xFFFFFF00));
    EXPECT_FALSE(blz::offset_in_reach(0xFFFFFF01));
    EXPECT_FALSE(blz::offset_in_reach(size_t(5) << 32));
    // The farthest offset codes the largest high part the decoder accepts.
    EXPECT_EQ((blz::MAX_OFFSET - 1) >> 8, blz::MAX_OFFSET_HIGH);
    // The longest item fits the per-item reserve, even starting on a full tag word.
    const unsigned bits = 1 + blz::gamma_bits(blz::MAX_GAMMA) +
                          blz::gamma_bits(blz::MAX_OFFSET_HIGH + blz::OFFSET_HIGH_BIAS);
    EXPECT_EQ(bits, 111u);
    EXPECT_GE(blz::MAX_ITEM_BYTES, (bits + 15) / 16 * blz::TAG_BYTES + 1);
}

TEST(BriefLZDepack, EveryFailureCause) {
    std::vector<unsigned> digits32(32, 0), digits64(64, 0);
    digits32[30] = digits64[62] = 1;  // low bits 2: a wrapping reader would see length 4
    const struct {
        const char* why;
        Bytes stream;
        size_t size;
        size_t want;
        const char* prefix;  // what dst holds afterwards
    } cases[] = {
        {"empty stream, size 0", {}, 0, 0, ""},
        {"one byte", hex("61"), 1, 1, "61"},
        {"a four-byte run", hex("61 0080 00"), 5, 5, "6161616161"},
        {"a prefix ending on an item boundary", hex("61 0000 62"), 1, 1, "61"},
        {"trailing bytes are ignored", hex("61 0000 62 FF FF"), 2, 2, "6162"},
        {"empty stream", {}, 3, BLZ_DEPACK_FAILED, ""},
        {"no tag word", hex("61"), 2, BLZ_DEPACK_FAILED, "61"},
        {"half a tag word", hex("61 00"), 2, BLZ_DEPACK_FAILED, "61"},
        {"literal byte missing", hex("61 0000"), 2, BLZ_DEPACK_FAILED, "61"},
        {"padding asks for a literal", hex("61 0000 62"), 3, BLZ_DEPACK_FAILED, "6162"},
        {"offset low byte missing", hex("61 0080"), 5, BLZ_DEPACK_FAILED, "61"},
        {"offset before the first byte", hex("61 0080 05"), 5, BLZ_DEPACK_FAILED, "61"},
        {"length past the size", hex("61 00F0 00"), 9, BLZ_DEPACK_FAILED, "61"},
        {"size inside a match", hex("61 0028 62 63 02"), 8, BLZ_DEPACK_FAILED, "616263"},
        {"gamma bits run out", hex("61 0050"), 5, BLZ_DEPACK_FAILED, "61"},
        {"offset high part 0xFFFFFF",
         StreamBuilder(0x61).bit(1).gamma({0}).gamma(digits_of(0x1000001)).byte(0).s, 5,
         BLZ_DEPACK_FAILED, "61"},
        {"32-digit length", StreamBuilder(0x61).bit(1).gamma(digits32).gamma({0}).byte(0).s, 5,
         BLZ_DEPACK_FAILED, "61"},
        {"64-digit length", StreamBuilder(0x61).bit(1).gamma(digits64).gamma({0}).byte(0).s, 5,
         BLZ_DEPACK_FAILED, "61"},
    };
    for (const auto& c : cases) {
        Bytes out;
        EXPECT_EQ(depack(c.stream, c.size, &out), c.want) << c.why;
        const Bytes prefix = hex(c.prefix);
        ASSERT_GE(out.size(), prefix.size()) << c.why;
        EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), out.begin())) << c.why;
    }
    // A size of 0 never looks at the stream.
    EXPECT_EQ(blz_depack_safe(nullptr, 0, nullptr, 0), 0u);
    EXPECT_EQ(blz_depack_safe(nullptr, 5, nullptr, 0), 0u);
}

TEST(BriefLZDepack, GammaTakesAtMost31Digits) {
    for (const size_t ndigits : {size_t(1), size_t(15), size_t(16), size_t(30), size_t(31),
                                 size_t(32)}) {
        StreamBuilder b(0);
        b.s.clear();  // the reader alone: no first byte
        b.gamma(std::vector<unsigned>(ndigits, 1)).bit(1).bit(0).bit(1);
        blz::blz_depack_state s{b.s.data(), nullptr, b.s.size(), 0, 0, 0};
        uint64_t v = 0;
        const bool ok = blz::blz_read_gamma(s, v);
        if (ndigits <= 31) {
            EXPECT_TRUE(ok) << ndigits;
            EXPECT_EQ(v, (uint64_t(1) << (ndigits + 1)) - 1) << ndigits;
            uint32_t bit;
            ASSERT_TRUE(blz::blz_read_bit(s, bit));
            EXPECT_EQ(bit, 1u) << "the code ends at its last continuation bit";
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(v, 0u) << "untouched on failure";
            // Refused at the 32nd digit: 31 digit/continuation pairs and that digit.
            EXPECT_EQ(blz::TAG_BITS * (b.s.size() - s.input_left) / 2 - s.tag_bits, 63u);
        }
    }
}

TEST(BriefLZDepack, HandBuiltStreamsWithLongCodesAtEveryAlignment) {
    // Random items the compressor would rarely write: long lengths and far
    // offsets whose codes span several tag words, starting at any bit of a
    // tag word, checked against the format's plain meaning.
    std::mt19937 rng(11);
    for (int round = 0; round < 8; ++round) {
        Bytes want = {uint8_t(rng())};
        StreamBuilder b(want[0]);
        while (want.size() < (size_t(3) << 20)) {
            if (rng() % 3 == 0) {
                for (unsigned i = rng() % 20; i-- > 0;) {
                    want.push_back(uint8_t(rng()));
                    b.bit(0).byte(want.back());
                }
                continue;
            }
            const size_t length = 4 + (rng() >> (16 + rng() % 16));
            const size_t offset = 1 + rng() % std::min<size_t>(want.size(), 3 << 20);
            b.bit(1).gamma(digits_of(length - 2)).gamma(digits_of(((offset - 1) >> 8) + 2));
            b.byte(uint8_t(offset - 1));
            for (size_t i = 0; i < length; ++i) want.push_back(want[want.size() - offset]);
        }
        Bytes out;
        ASSERT_EQ(depack(b.s, want.size(), &out), want.size()) << round;
        ASSERT_TRUE(out == want) << round;
    }
}

TEST(BriefLZDepack, DamagedStreamsStayInsideTheBuffers) {
    std::vector<Bytes> inputs = {from_string("abcdefghijklmnopabcdefghijklmnop"),
                                 text_bytes(700, 5), mixed_bytes(900, 6), run_bytes(300, 1)};
    for (const Bytes& in : inputs) {
        const Bytes s = pack(in);
        // A stream ends right after its last item: every truncation fails.
        for (size_t len = 0; len < s.size(); ++len) {
            ASSERT_EQ(depack(Bytes(s.begin(), s.begin() + long(len)), in.size()), BLZ_DEPACK_FAILED)
                << len;
        }
        for (size_t i = 0; i < s.size(); ++i) {
            for (const uint8_t flip : {0x01, 0x80, 0xFF}) {
                Bytes bad = s;
                bad[i] ^= flip;
                const size_t r = depack(bad, in.size());
                ASSERT_TRUE(r == in.size() || r == BLZ_DEPACK_FAILED) << i;
            }
        }
    }
}

}  // namespace
