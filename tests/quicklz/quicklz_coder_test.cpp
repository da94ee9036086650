// The QuickLZ coder on its own: golden blocks (encode and decode), round
// trips over every short length and the header switch, the size bound with
// the output ending at an unmapped page, every way a damaged block is
// refused, and sweeps of truncated and bit-flipped blocks decoded into
// buffers placed exactly at capacity.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "quicklz_test_util.hpp"
#include "support/guarded_buffer.hpp"
#include "support/test_data.hpp"

namespace {

using namespace qlz_test;
using vorlex::test::GuardedBuffer;
using vorlex::test::from_string;

constexpr uint8_t PREFILL = 0xEE;

// Compresses into an output of exactly size + 400 bytes that ends at an
// unmapped page and starts filled with PREFILL.
struct Compressed {
    size_t total = 0;
    Bytes block;   // the first `total` bytes
    Bytes after;   // what followed the block in the output buffer
};

Compressed compress(const Bytes& in, uint8_t state_fill = 0x5A) {
    GuardedBuffer out(in.size() + QLZ_BOUND_EXTRA);
    std::memset(out.data(), PREFILL, out.size());
    qlz_encoder_state state;
    std::memset(&state, state_fill, sizeof state);
    Compressed c;
    c.total = qlz_compress(in.data(), reinterpret_cast<char*>(out.data()), in.size(), &state);
    if (c.total != 0) {
        EXPECT_EQ(state.stream_counter, 0u);
    }
    const size_t end = std::min(c.total, out.size());
    c.block.assign(out.data(), out.data() + end);
    c.after.assign(out.data() + end, out.data() + out.size());
    return c;
}

// Decodes a block held in a buffer of exactly its length into an output of
// exactly its decompressed length; returns qlz_decompress's result.
size_t decompress(const Bytes& block, Bytes* out = nullptr, uint8_t state_fill = 0x5A) {
    GuardedBuffer in(block);
    const size_t n = qlz_size_decompressed(reinterpret_cast<const char*>(block.data()));
    GuardedBuffer dst(n);
    qlz_decoder_state state;
    std::memset(&state, state_fill, sizeof state);
    const size_t r = qlz_decompress(reinterpret_cast<const char*>(in.data()), dst.data(), &state);
    EXPECT_EQ(state.stream_counter, 0u);
    if (out != nullptr) out->assign(dst.data(), dst.data() + n);
    return r;
}

Bytes repeat(char c, size_t n) { return Bytes(n, uint8_t(c)); }

// Runs of 20 random literals between 30-byte repeats: compressible, but
// with literal runs long enough for the decoder's whole-run copies.
Bytes literal_runs(size_t n) {
    const Bytes noise = vorlex::test::random_bytes(n, 8);
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = i % 50 < 20 ? noise[i] : uint8_t('=');
    return b;
}

Bytes stored(const Bytes& in) {
    Bytes b;
    if (in.size() < QLZ_LONG_HEADER_FROM) {
        b = {0x44, uint8_t(in.size() + 3), uint8_t(in.size())};
    } else {
        const uint32_t total = uint32_t(in.size() + 9), n = uint32_t(in.size());
        b = {0x46};
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(total >> (8 * i)));
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(n >> (8 * i)));
    }
    b.insert(b.end(), in.begin(), in.end());
    return b;
}

const Bytes TEN_RANDOM = from_hex("c67e816b4bfbe2fb54f6");

struct Golden {
    const char* name;
    Bytes input;
    Bytes block;     // the block, filler excluded
    size_t filler;   // bytes padding the body to its minimum, left as the output held them
};

std::vector<Golden> goldens() {
    const Bytes r120 = vorlex::test::random_bytes(120, 1);
    const Bytes r215 = vorlex::test::random_bytes(215, 2);
    const Bytes r216 = vorlex::test::random_bytes(216, 3);
    return {
        // One group holding one literal; body padded from 5 to 9 bytes.
        {"one_byte", from_string("a"), from_hex("450c0100000080" "61"), 4},
        // Four literals (position 0 is never a source), a short token for
        // "bca" 3 back with L = 10 (stopped 4 bytes before the end), four
        // literals; control word bit 4 marks the token.
        {"abc_repeats", from_string("abcabcabcabcabcabc"),
         from_hex("451112" "10000080" "61626361" "4857" "63616263"), 0},
        // Literals at 0-3, then the run exception at distance 1 (L = 255),
        // two tokens at distance 255 (L = 255, 82), four literals.
        {"run_600", repeat('q', 600),
         from_hex("471e000000" "58020000" "70000080" "71717171" "6066ff" "6066ff" "606652"
                  "71717171"),
         0},
        // Ten bytes: no match search at all, one group of literals.
        {"ten_random", TEN_RANDOM, from_hex("45110a" "00000080" "c67e816b4bfbe2fb54f6"), 0},
        // Every repeat is 2 bytes back: never taken, all literals.
        {"distance_two", from_string("ababababababababab"),
         from_hex("451912" "00000080" "616261626162616261626162616261626162"), 0},
        // Three-byte matches: the fourth bytes differ.
        {"three_byte_tokens", from_string("-abc1-abc2-abc3-abc4 end of line."),
         from_hex("452321" "40050080" "2d616263312d" "7145" "32" "b270" "33" "b270"
                  "3420656e64206f66206c696e652e"),
         0},
        // More than 31 items: a second control word.
        {"two_groups",
         from_string("the quick brown fox jumps over the lazy dog; the quick brown fox jumps "
                     "over the lazy dog again and again and again."),
         from_hex("454b73000000807468652071756963"
                  "6b2062726f776e20666f78206a756d"
                  "7073206f766572200218808074e176"
                  "6c617a7920646f673b732a603e2720"
                  "616761696e20616e646b7561696e2e"),
         0},
        // The run exception needs three literals since the last match and
        // s > 3: here at position 4, after "abcd".
        {"run_after_literals", from_string("abcdddddddddddddddddddddddddddddd"),
         from_hex("451421" "40000080" "61626364" "646420" "2217" "64646464"), 0},
        // 215 bytes still take the 3-byte header, 216 the 9-byte one.
        {"run_215", repeat('q', 215), from_hex("4512d7" "10000080" "71717171" "6066cf" "71717171"),
         0},
        {"run_216", repeat('q', 216),
         from_hex("4718000000d8000000" "10000080" "71717171" "6066d0" "71717171"), 0},
        {"self_overlap", from_string("0123456789abcdef0123456789abcdef0123"),
         from_hex("451e24" "00000280" "30313233343536373839616263646566" "302d" "10" "30313233"),
         0},
        // The give-up test fires at the first full group past the middle:
        // the input is stored behind the header.
        {"stored_120", r120, stored(r120), 0},
        {"stored_215", r215, stored(r215), 0},
        {"stored_216", r216, stored(r216), 0},
    };
}

TEST(QuicklzGolden, EncodesAndDecodesByteExactly) {
    for (const Golden& g : goldens()) {
        SCOPED_TRACE(g.name);
        const Compressed c = compress(g.input);
        ASSERT_EQ(c.total, g.block.size() + g.filler);
        EXPECT_EQ(Bytes(c.block.begin(), c.block.begin() + long(g.block.size())), g.block);
        for (size_t i = g.block.size(); i < c.total; ++i) {
            EXPECT_EQ(c.block[i], PREFILL) << "filler byte " << i << " was written";
        }
        EXPECT_EQ(c.after, Bytes(c.after.size(), PREFILL)) << "written past the block";

        Bytes out;
        EXPECT_EQ(decompress(c.block, &out), g.input.size());
        EXPECT_EQ(out, g.input);
    }
}

TEST(QuicklzGolden, FillerIsNeverRead) {
    // The one-byte block decodes whatever the filler holds; without it (body
    // shortened to 5 bytes) the 4 bytes a token could need are missing.
    for (uint8_t fill : {0x00, 0x01, 0xFF}) {
        Bytes block = from_hex("450c010000008061");
        block.resize(12, fill);
        Bytes out;
        EXPECT_EQ(decompress(block, &out), 1u);
        EXPECT_EQ(out, from_string("a"));
    }
    EXPECT_EQ(decompress(from_hex("4508010000008061")), 0u);
}

// Pins for larger inputs: total length and FNV-1a of the block, as an
// independent encoder written from the format description produced them.
// Any change here is a change of the format's output.
uint64_t fnv1a(const Bytes& b) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t x : b) h = (h ^ x) * 1099511628211ull;
    return h;
}

TEST(QuicklzGolden, LargerInputsKeepTheirBlocks) {
    const struct {
        const char* name;
        std::function<Bytes()> make;
        size_t total;
        uint64_t hash;
    } cases[] = {
        {"mixed_1M", [] { return vorlex::test::mixed_bytes(1 << 20, 7); }, 298825, 0x29689ffaa24e5b78},
        {"text_1M", [] { return vorlex::test::text_bytes(1 << 20, 3); }, 363527, 0xe4f50d7e1389a1e0},
        {"random_100k", [] { return vorlex::test::random_bytes(100000, 5); }, 100009, 0xa586690af42a7f09},
        {"run_100k", [] { return vorlex::test::run_bytes(100000, 0); }, 1248, 0x7ed591fc90e459b6},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        const Bytes in = t.make();
        const Compressed c = compress(in);
        EXPECT_EQ(c.total, t.total);
        EXPECT_EQ(fnv1a(c.block), t.hash) << std::hex << fnv1a(c.block);
    }
}

// Every block the compressor writes: right header form, within its bounds,
// nothing written past it, and decoded back exactly.
void check_round_trip(const Bytes& in, const std::string& what) {
    SCOPED_TRACE(what + ", length " + std::to_string(in.size()));
    const Compressed c = compress(in);
    if (in.empty()) {
        EXPECT_EQ(c.total, 0u);
        EXPECT_EQ(c.after, Bytes(c.after.size(), PREFILL)) << "nothing written";
        return;
    }
    ASSERT_GT(c.total, 0u);
    ASSERT_LE(c.total, in.size() + QLZ_BOUND_EXTRA);
    const char* block = reinterpret_cast<const char*>(c.block.data());
    const bool long_header = in.size() >= QLZ_LONG_HEADER_FROM;
    EXPECT_EQ(qlz_size_header(block), long_header ? 9u : 3u);
    EXPECT_EQ(c.block[0] & 0xFC, 0x44) << "level 1, no streaming buffer";
    EXPECT_EQ(qlz_size_compressed(block), c.total);
    EXPECT_EQ(qlz_size_decompressed(block), in.size());
    if ((c.block[0] & 1) != 0) {
        EXPECT_GE(c.total, qlz_size_header(block) + QLZ_MIN_BODY);
    } else {
        EXPECT_EQ(c.total, qlz_size_header(block) + in.size());
    }
    EXPECT_EQ(c.after, Bytes(c.after.size(), PREFILL)) << "written past the block";

    Bytes out;
    ASSERT_EQ(decompress(c.block, &out), in.size());
    EXPECT_EQ(out, in);
}

TEST(QuicklzRoundTrip, EveryLengthUpTo300) {
    for (size_t n = 0; n <= 300; ++n) {
        check_round_trip(vorlex::test::random_bytes(n, uint32_t(n)), "random");
        check_round_trip(vorlex::test::run_bytes(n, 'z'), "run");
        check_round_trip(vorlex::test::text_bytes(n, uint32_t(n)), "text");
        check_round_trip(vorlex::test::mixed_bytes(n, uint32_t(n)), "mixed");
    }
}

TEST(QuicklzRoundTrip, SpecialLengths) {
    for (size_t n : {size_t(215), size_t(216), size_t(217), size_t(4095), size_t(4096),
                     size_t(65535), size_t(65536), size_t(65537), size_t(1) << 20}) {
        check_round_trip(vorlex::test::random_bytes(n, 11), "random");
        check_round_trip(vorlex::test::run_bytes(n, 0), "run");
        check_round_trip(vorlex::test::text_bytes(n, 12), "text");
        check_round_trip(vorlex::test::mixed_bytes(n, 13), "mixed");
    }
    // Periodic data: matches at every small distance, the run exception and
    // lengths hitting 17/18 and 255 (the token forms' limits).
    for (size_t period = 1; period <= 20; ++period) {
        Bytes in(3000);
        for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t('a' + i % period);
        check_round_trip(in, "period " + std::to_string(period));
    }
    // Incompressible first half, runs in the second, and the reverse: the
    // give-up test looks only past the middle.
    Bytes a = vorlex::test::random_bytes(5000, 21), b = vorlex::test::run_bytes(5000, 7);
    Bytes ab = a, ba = b;
    ab.insert(ab.end(), b.begin(), b.end());
    ba.insert(ba.end(), a.begin(), a.end());
    check_round_trip(ab, "random then run");
    check_round_trip(ba, "run then random");
    for (size_t n : {size_t(1000), size_t(100000)}) check_round_trip(literal_runs(n), "literal runs");
}

TEST(QuicklzCompress, OutputDependsOnTheInputAlone) {
    // The compressor resets only the positions of its record; whatever the
    // rest held must not show in the block.
    for (const Bytes& in : {vorlex::test::mixed_bytes(20000, 3), vorlex::test::run_bytes(999, 1)}) {
        const Compressed a = compress(in, 0x00), b = compress(in, 0xFF);
        EXPECT_EQ(a.block, b.block);
    }
}

TEST(QuicklzCompress, RefusesEmptyAndOversizedInput) {
    qlz_encoder_state state;
    char out[16];
    std::memset(out, PREFILL, sizeof out);
    const char in[1] = {'x'};
    EXPECT_EQ(qlz_compress(in, out, 0, &state), 0u);
    // Above the limit the size alone decides; the input is not read.
    EXPECT_EQ(qlz_compress(in, out, QLZ_MAX_INPUT + 1, &state), 0u);
    EXPECT_EQ(qlz_compress(in, out, SIZE_MAX, &state), 0u);
    for (char c : out) EXPECT_EQ(uint8_t(c), PREFILL);
    EXPECT_EQ(QLZ_MAX_INPUT, 4294966895u);
}

// ---- Damaged blocks -----------------------------------------------------

// "abcdefgh" as literals enters positions 0..5 in the table.
const std::vector<Item> ABCDEFGH = lits("abcdefgh");

// Each block below is consistent but for the one fault it is named after, so
// a decoder missing that one check would accept it.
struct Damaged {
    const char* why;
    Bytes block;
};

std::vector<Damaged> damaged_blocks() {
    const uint32_t abc = hash_of("abc");
    return {
        {"total length shorter than the header", from_hex("450205")},
        {"no room for the first control word", from_hex("45050a0000")},
        {"token cut short by the block end",
         short_block(13, body_of(ABCDEFGH + std::vector<Item>{token(abc, 5)}), 3 + 4 + 8 + 1)},
        {"literals cut short after their control word", short_block(3, from_hex("00000080616263"))},
        {"first item is a token: no source yet",
         short_block(13, body_of(std::vector<Item>{token(abc, 5)} + lits("xxxxxxxx")))},
        {"token names a hash never entered",
         short_block(16, body_of(ABCDEFGH + std::vector<Item>{token(hash_of("xyz"), 4)} +
                                 lits("wxyz")))},
        {"source 0 bytes back (long token of length 0)",
         short_block(22, body_of(ABCDEFGH + std::vector<Item>{token(abc, 0), token(abc, 4)} +
                                 lits("0123456789")))},
        {"source 1 byte back (long token of length 1)",
         short_block(23, body_of(ABCDEFGH + std::vector<Item>{token(abc, 1), token(abc, 4)} +
                                 lits("0123456789")))},
        {"source 2 bytes back (long token of length 2)",
         short_block(24, body_of(ABCDEFGH + std::vector<Item>{token(abc, 2), token(abc, 4)} +
                                 lits("0123456789")))},
        {"match reaches into the last 4 bytes",
         short_block(20, body_of(ABCDEFGH + std::vector<Item>{token(abc, 9)} + lits("wxyz")))},
        {"long match reaches past the end",
         short_block(40, body_of(ABCDEFGH + std::vector<Item>{token(abc, 200)} +
                                 lits("wxyz")))},
        {"tail literal past the block end",
         short_block(40, body_of(lits(std::string(40, 'k'))), 50)},
        {"stored block shorter than it claims", from_hex("44080a" "0102030405")},
        {"long stored block shorter than it claims",
         from_hex("460e000000" "0a000000" "0102030405")},
    };
}

TEST(QuicklzDecompress, RefusesDamagedBlocks) {
    for (const Damaged& t : damaged_blocks()) {
        SCOPED_TRACE(t.why);
        // The decoder reads the header even when total says less.
        EXPECT_EQ(decompress(t.block), 0u);
    }
}

TEST(QuicklzDecompress, AcceptsTheLimitsOfThoseRules) {
    const uint32_t abc = hash_of("abc");
    const struct {
        const char* why;
        Bytes block;
        std::string want;
    } cases[] = {
        {"match ending exactly 4 bytes before the end",
         short_block(20, body_of(ABCDEFGH + std::vector<Item>{token(abc, 8)} + lits("wxyz"))),
         "abcdefghabcdefghwxyz"},
        {"source exactly 3 bytes back, overlapping the copy",
         short_block(24, body_of(lits("abc") + std::vector<Item>{token(abc, 17)} + lits("wxyz"))),
         "abcabcabcabcabcabcabwxyz"},
        {"tail ends exactly at the block end",
         short_block(40, body_of(lits(std::string(40, 'k'))), 51), std::string(40, 'k')},
        {"empty compressed block", from_hex("450300"), ""},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.why);
        Bytes out;
        EXPECT_EQ(decompress(t.block, &out), t.want.size());
        EXPECT_EQ(out, from_string(t.want));
    }
}

TEST(QuicklzDecompress, ResultDependsOnTheBlockAlone) {
    // Table entries from before the call never count, whatever the record
    // held: damaged blocks fail and valid ones decode alike.
    std::vector<Bytes> blocks;
    for (const Damaged& t : damaged_blocks()) blocks.push_back(t.block);
    blocks.push_back(compress(vorlex::test::mixed_bytes(5000, 9)).block);
    for (const Bytes& block : blocks) {
        Bytes a, b;
        const size_t ra = decompress(block, &a, 0x00), rb = decompress(block, &b, 0xFF);
        EXPECT_EQ(ra, rb);
        EXPECT_EQ(a, b);
    }
}

// Valid blocks of every kind the sweeps damage.
std::vector<Bytes> sweep_blocks() {
    return {
        compress(from_string("a")).block,
        compress(vorlex::test::text_bytes(200, 1)).block,       // short header
        compress(vorlex::test::mixed_bytes(1500, 2)).block,     // long header, many groups
        compress(vorlex::test::run_bytes(700, 3)).block,        // long tokens
        compress(vorlex::test::random_bytes(300, 4)).block,     // stored
        compress(literal_runs(1200)).block,                      // long literal runs
    };
}

TEST(QuicklzSweep, TruncatedBlocksAreRefused) {
    // The header claims fewer bytes than were written: the decoder must stop
    // at the claimed end (the buffer ends there too).
    for (const Bytes& full : sweep_blocks()) {
        const size_t header = qlz_size_header(reinterpret_cast<const char*>(full.data()));
        const size_t n = qlz_size_decompressed(reinterpret_cast<const char*>(full.data()));
        for (size_t t = 0; t < full.size(); ++t) {
            SCOPED_TRACE("block of " + std::to_string(full.size()) + " cut to " +
                         std::to_string(t));
            Bytes cut(full.begin(), full.begin() + long(std::max(t, header)));
            set_total(cut, t);
            Bytes out;
            const size_t r = decompress(cut, &out);
            // Only the filler of a padded body may go missing unnoticed.
            if (t + 4 < full.size()) {
                EXPECT_EQ(r, 0u);
            }
            EXPECT_TRUE(r == 0 || r == n);
        }
    }
}

TEST(QuicklzSweep, FlippedBytesNeverLeaveTheBuffers) {
    for (const Bytes& valid : sweep_blocks()) {
        for (size_t i = 0; i < valid.size(); ++i) {
            for (uint8_t mask : {0x01, 0x10, 0x80, 0xFF}) {
                Bytes block = valid;
                block[i] ^= mask;
                const char* p = reinterpret_cast<const char*>(block.data());
                // Lengths from the damaged header: a decoder call needs the
                // block to hold its total and the output its size.
                if (qlz_size_compressed(p) > block.size() || qlz_size_decompressed(p) > (1u << 20)) {
                    continue;
                }
                const size_t keep = std::max(qlz_size_compressed(p), qlz_size_header(p));
                const size_t r = decompress(Bytes(block.begin(), block.begin() + long(keep)));
                EXPECT_TRUE(r == 0 || r == qlz_size_decompressed(p));
            }
        }
    }
}

// ---- Header helpers -----------------------------------------------------

TEST(QuicklzHeader, FieldsByHeaderForm) {
    const struct {
        Bytes header;
        size_t length, total, size;
    } cases[] = {
        {from_hex("450c01"), 3, 12, 1},
        {from_hex("44ff80"), 3, 255, 128},
        {from_hex("46" "0a000000" "01000000"), 9, 10, 1},
        {from_hex("47" "78563412" "fffffeff"), 9, 0x12345678, 0xFFFEFFFF},
        // Only bits 0 and 1 count.
        {from_hex("fd0102"), 3, 1, 2},
        {from_hex("02" "05000000" "06000000"), 9, 5, 6},
    };
    for (const auto& t : cases) {
        const char* p = reinterpret_cast<const char*>(t.header.data());
        EXPECT_EQ(qlz_size_header(p), t.length);
        EXPECT_EQ(qlz_size_compressed(p), t.total);
        EXPECT_EQ(qlz_size_decompressed(p), t.size);
    }
}

TEST(QuicklzHeader, SettingsByIndex) {
    const struct {
        int index, value;
    } cases[] = {{0, 1},  {1, 36872}, {2, 36872}, {3, 0},  {4, -1},      {5, -1}, {6, 1},
                 {7, 1},  {8, 5},     {9, 0},     {10, -1}, {-1, -1},    {1000, -1},
                 {INT32_MIN, -1}};
    for (const auto& t : cases) EXPECT_EQ(qlz_get_setting(t.index), t.value) << t.index;
    EXPECT_EQ(sizeof(qlz_encoder_state), size_t(qlz_get_setting(1)));
    EXPECT_EQ(sizeof(qlz_decoder_state), size_t(qlz_get_setting(2)));
}

}  // namespace
