// The .vlx container in memory, through the tool's loops over libvorlex's
// frame writer and reader: its byte layout, round trips of every codec
// at block edges and thread counts, and the reader's answer to every
// truncation, every flipped byte, crafted lengths, reordered blocks,
// concatenation and failing allocations.
#include <gtest/gtest.h>
#include <xxhash.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "common/bytes.hpp"
#include "frame/index.hpp"
#include "container.hpp"
#include "failure.hpp"
#include "frame/format.hpp"
#include "support/test_data.hpp"

namespace {

using vorlex::Bytes;
using namespace vorlex::cli;
namespace fmt = vorlex::frame::format;

vorlex_codec* codec(const char* name) {
    vorlex_codec* c = vorlex_get_codec(name);
    EXPECT_NE(c, nullptr) << vorlex_get_codec_error(name);
    return c;
}

Bytes compress(vorlex_codec* c, const Bytes& in, uint32_t block_size, unsigned threads,
               bool indexed = true) {
    MemorySource source(in);
    MemorySink sink;
    write_container(source, sink, {c, block_size, threads, nullptr, indexed});
    return sink.bytes;
}

struct Outcome {
    bool ok = false;
    std::string error;
    Bytes out;
};

Outcome decode(const Bytes& container, unsigned threads = 1) {
    MemorySource source(container);
    MemorySink sink;
    Outcome o;
    try {
        read_container(source, sink, threads);
        o.ok = true;
    } catch (const Failure& e) {
        o.error = e.what();
    }
    o.out = sink.bytes;
    return o;
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// Text, incompressible and run stretches: compressed and stored blocks.
Bytes mixed_content(size_t n, uint32_t seed) {
    Bytes b = vorlex::test::text_bytes(n / 3, seed);
    const Bytes r = vorlex::test::random_bytes(n / 3, seed + 1);
    b.insert(b.end(), r.begin(), r.end());
    b.resize(n, 'z');
    return b;
}

// The codec every build has, and the one whose blocks really shrink.
vorlex_codec* compressing_codec() {
    vorlex_codec* q = vorlex_get_codec("quicklz");
    return q != nullptr ? q : codec("copy");
}

// Without an index: the bytes every earlier version wrote. With one (the
// default): flag 0x04 in the header and the index record before the end.
TEST(ContainerLayout, IsPinnedByteForByte) {
    const Bytes in = vorlex::test::from_string("abc");
    const Bytes got = compress(codec("copy"), in, 1024, 1, false);

    Bytes want = {0x89, 'V', 'L', 'X', 1, 0, 4, 'c', 'o', 'p', 'y', 0x00, 0x04, 0x00, 0x00};
    uint8_t le[8];
    vorlex::bytes::store_le32(le, uint32_t(XXH3_64bits(want.data(), want.size())));
    want.insert(want.end(), le, le + 4);
    // One stored block: kind 2, stored 3, original 3, XXH3-64 of "abc", "abc".
    want.insert(want.end(), {2, 3, 0, 0, 0, 3, 0, 0, 0});
    const uint64_t block_sum = XXH3_64bits(in.data(), in.size());
    vorlex::bytes::store_le64(le, block_sum);
    want.insert(want.end(), le, le + 8);
    want.insert(want.end(), in.begin(), in.end());
    // End: kind 3, total 3, one block, XXH3-64 over the block checksum's 8 bytes.
    want.insert(want.end(), {3, 3, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});
    const uint64_t content = XXH3_64bits(le, 8);
    vorlex::bytes::store_le64(le, content);
    want.insert(want.end(), le, le + 8);
    EXPECT_EQ(got, want);

    Bytes indexed = want;
    indexed[5] = fmt::FLAG_INDEXED;
    vorlex::bytes::store_le32(le, uint32_t(XXH3_64bits(indexed.data(), 15)));
    std::copy(le, le + 4, indexed.begin() + 15);
    // Index: kind 4, one entry (record of 17 + 3 bytes, 3 original bytes),
    // the member length before it (19 + 20), its checksum.
    const uint8_t index[] = {4, 20, 0, 0, 0, 3, 0, 0, 0, 39, 0, 0, 0, 0, 0, 0, 0};
    uint8_t hashed[16];
    std::copy(index + 1, index + 17, hashed);
    vorlex::bytes::store_le64(le, XXH3_64bits(hashed, 16));
    const auto end_record = indexed.end() - fmt::END_RECORD;
    indexed.insert(end_record, le, le + 8);
    indexed.insert(indexed.end() - fmt::END_RECORD - 8, index, index + sizeof index);
    EXPECT_EQ(compress(codec("copy"), in, 1024, 1), indexed);
}

TEST(ContainerLayout, EmptyInputIsHeaderAndEndRecord) {
    const Bytes got = compress(codec("copy"), {}, 1024, 2);
    ASSERT_EQ(got.size(),
              fmt::HEADER_FIXED + 4 + fmt::HEADER_TAIL + vorlex::frame::index::FIXED + fmt::END_RECORD);
    const uint8_t* end = got.data() + got.size() - fmt::END_RECORD;
    EXPECT_EQ(end[0], fmt::KIND_END);
    EXPECT_EQ(vorlex::bytes::load_le64(end + 1), 0u);
    EXPECT_EQ(vorlex::bytes::load_le64(end + 9), 0u);
    EXPECT_EQ(vorlex::bytes::load_le64(end + 17), XXH3_64bits(nullptr, 0));
    const Outcome o = decode(got);
    EXPECT_TRUE(o.ok) << o.error;
    EXPECT_TRUE(o.out.empty());
}

// Every codec, at the block edges, whatever the thread count: the bytes
// written are the same and decode back. Empty input matters for the codecs
// that refuse it: the container never asks them.
TEST(ContainerRoundTrip, EveryCodecAtBlockEdgesAndThreadCounts) {
    const auto codecs = vorlex::available_codecs();
    ASSERT_FALSE(codecs.empty());
    const size_t lengths[] = {0, 1, 1023, 1024, 1025, 3 * 1024, 10000};
    for (const vorlex::Codec& c : codecs) {
        for (const size_t n : lengths) {
            const Bytes in = mixed_content(n, uint32_t(n));
            const Bytes one = compress(c.get(), in, 1024, 1);
            for (const unsigned threads : {2u, 3u, 8u}) {
                EXPECT_EQ(compress(c.get(), in, 1024, threads), one)
                    << c.name() << " n=" << n << " threads=" << threads;
            }
            for (const unsigned threads : {1u, 4u}) {
                const Outcome o = decode(one, threads);
                ASSERT_TRUE(o.ok) << c.name() << " n=" << n << ": " << o.error;
                EXPECT_EQ(o.out, in) << c.name() << " n=" << n;
            }
        }
    }
}

TEST(ContainerRoundTrip, IncompressibleBlocksAreStoredAndCostOnlyTheirRecord) {
    const Bytes in = vorlex::test::random_bytes(8 * 1024, 7);
    for (const vorlex::Codec& c : vorlex::available_codecs()) {
        const Bytes out = compress(c.get(), in, 1024, 2);
        MemorySource source(out);
        const auto members = list_container(source);
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].stored_blocks, 8u) << c.name();
        const size_t header = fmt::HEADER_FIXED + c.name().size() + fmt::HEADER_TAIL;
        EXPECT_EQ(out.size(), header + in.size() + 8 * fmt::BLOCK_HEADER +
                                  vorlex::frame::index::record_length(8) + fmt::END_RECORD)
            << c.name();
    }
}

TEST(ContainerRoundTrip, ConcatenatedContainersDecodeAndListInOrder) {
    const Bytes a = vorlex::test::text_bytes(3000, 1), b = vorlex::test::text_bytes(5000, 2);
    Bytes both = compress(codec("copy"), a, 1024, 1);
    const Bytes second = compress(compressing_codec(), b, 2048, 2);
    both.insert(both.end(), second.begin(), second.end());

    const Outcome o = decode(both, 2);
    ASSERT_TRUE(o.ok) << o.error;
    Bytes want = a;
    want.insert(want.end(), b.begin(), b.end());
    EXPECT_EQ(o.out, want);

    MemorySource source(both);
    const auto members = list_container(source);
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].header.codec, "copy");
    EXPECT_EQ(members[0].totals.blocks, 3u);
    EXPECT_EQ(members[1].totals.original, 5000u);
    EXPECT_EQ(members[1].totals.compressed, second.size());

    both.push_back('x');
    EXPECT_TRUE(contains(decode(both).error, "trailing data")) << decode(both).error;
}

// ---- Damage ------------------------------------------------------------------

Bytes small_container() {
    return compress(compressing_codec(), mixed_content(3000, 3), 1024, 1);
}

TEST(ContainerDamage, EveryTruncationIsReportedAsTruncated) {
    const Bytes full = small_container();
    for (size_t n = 0; n < full.size(); ++n) {
        const Outcome o = decode(Bytes(full.begin(), full.begin() + long(n)), 2);
        ASSERT_FALSE(o.ok) << "truncated to " << n;
        EXPECT_TRUE(contains(o.error, "truncated")) << n << ": " << o.error;
    }
}

// Compressed payloads of a container: the only bytes whose change can go
// unseen, when the codec ignores them (quicklz's unused flag bits, filler).
std::vector<std::pair<size_t, size_t>> compressed_payloads(const Bytes& c) {
    std::vector<std::pair<size_t, size_t>> ranges;
    size_t at = fmt::HEADER_FIXED + c[6] + fmt::HEADER_TAIL;
    while (c[at] != fmt::KIND_END && c[at] != fmt::KIND_INDEX) {
        const fmt::BlockHeader b = fmt::decode_block_header(c.data() + at);
        at += fmt::BLOCK_HEADER;
        if (b.kind == fmt::KIND_COMPRESSED) ranges.emplace_back(at, at + b.stored_length);
        at += b.stored_length;
    }
    return ranges;
}

// No single changed byte yields wrong data: the header has its checksum,
// block records their lengths' limits and the data's checksum, the end
// record its totals. A change the codec ignores decodes to the same bytes.
TEST(ContainerDamage, EveryFlippedByteIsCaughtOrHarmless) {
    const Bytes in = mixed_content(3000, 3);
    const Bytes full = compress(compressing_codec(), in, 1024, 1);
    const auto payloads = compressed_payloads(full);
    size_t harmless = 0;
    for (size_t i = 0; i < full.size(); ++i) {
        const bool in_payload = std::any_of(payloads.begin(), payloads.end(), [i](auto r) {
            return i >= r.first && i < r.second;
        });
        for (const uint8_t mask : {uint8_t(0x01), uint8_t(0x80), uint8_t(0xFF)}) {
            Bytes bad = full;
            bad[i] ^= mask;
            const Outcome o = decode(bad, 1 + i % 3);
            if (!o.ok) continue;
            EXPECT_TRUE(in_payload) << "byte " << i << " ^ " << int(mask) << " passed";
            EXPECT_EQ(o.out, in) << "byte " << i << " ^ " << int(mask);
            ++harmless;
        }
    }
    EXPECT_LT(harmless, full.size() / 20) << "nearly every change is noticed";
}

// A header with a valid checksum, for crafted containers.
Bytes header_for(const std::string& codec_name, uint32_t block_size) {
    fmt::Header h;
    h.codec = codec_name;
    h.block_size = block_size;
    uint8_t b[fmt::MAX_HEADER];
    return Bytes(b, b + fmt::encode_header(h, b));
}

void append_block_header(Bytes& out, uint8_t kind, uint32_t stored, uint32_t original) {
    uint8_t r[fmt::BLOCK_HEADER];
    fmt::encode_block_header({kind, stored, original, 0}, r);
    out.insert(out.end(), r, r + sizeof r);
}

// Allocation sizes seen through the host's memory functions.
struct LargestAllocation {
    static std::atomic<size_t> largest;
    static void* alloc(void*, size_t n) {
        size_t seen = largest.load();
        while (n > seen && !largest.compare_exchange_weak(seen, n)) {
        }
        return std::malloc(n);
    }
    static void dealloc(void*, void* p) { std::free(p); }
};
std::atomic<size_t> LargestAllocation::largest{0};

TEST(ContainerDamage, CraftedLengthsFailBeforeAnyLargeAllocation) {
    const struct {
        const char* what;
        uint32_t block_size;
        uint8_t kind;
        uint32_t stored, original;
        const char* message;
    } cases[] = {
        {"original beyond the block size", 4096, fmt::KIND_STORED, 0xFFFFFFF0u, 0xFFFFFFF0u,
         "exceeds the block size"},
        {"compressed beyond the block size", 4096, fmt::KIND_COMPRESSED, 100, 0x7FFFFFFFu,
         "exceeds the block size"},
        {"compressed not shorter", 4096, fmt::KIND_COMPRESSED, 0x1000, 0x1000, "out of range"},
        {"compressed empty", 4096, fmt::KIND_COMPRESSED, 0, 100, "out of range"},
        {"stored lengths disagree", 4096, fmt::KIND_STORED, 10, 4000, "claims"},
        {"empty block", 4096, fmt::KIND_STORED, 0, 0, "empty block"},
        {"unknown kind", 4096, 9, 10, 10, "unknown record kind 0x09"},
        {"block size zero", 0, fmt::KIND_STORED, 1, 1, "block size 0 out of range"},
        {"block size too large", fmt::MAX_BLOCK_SIZE + 1, fmt::KIND_STORED, 1, 1,
         "out of range"},
    };
    vorlex_set_memory_functions(LargestAllocation::alloc, LargestAllocation::dealloc, nullptr);
    for (const auto& c : cases) {
        Bytes bad = header_for("copy", c.block_size);
        append_block_header(bad, c.kind, c.stored, c.original);
        LargestAllocation::largest = 0;
        const Outcome o = decode(bad, 2);
        EXPECT_FALSE(o.ok) << c.what;
        EXPECT_TRUE(contains(o.error, c.message)) << c.what << ": " << o.error;
        EXPECT_LT(LargestAllocation::largest.load(), size_t(64 * 1024)) << c.what;
    }
    vorlex_set_memory_functions(nullptr, nullptr, nullptr);
}

TEST(ContainerDamage, HeaderFaultsAreNamed) {
    const struct {
        const char* what;
        Bytes bytes;
        const char* message;
    } cases[] = {
        {"not a container", vorlex::test::from_string("hello, world"), "bad magic"},
        {"future version", [] { Bytes b = header_for("copy", 1024); b[4] = 2; return b; }(),
         "unsupported format version 2"},
        {"name length zero", [] { Bytes b = header_for("copy", 1024); b[6] = 0; return b; }(),
         "codec name length 0"},
        {"unknown codec", header_for("nosuchcodec", 1024), "unknown codec 'nosuchcodec'"},
        {"damaged name", [] { Bytes b = header_for("copy", 1024); b[8] = 'X'; return b; }(),
         "header checksum mismatch"},
    };
    for (const auto& c : cases) {
        const Outcome o = decode(c.bytes);
        EXPECT_FALSE(o.ok) << c.what;
        EXPECT_TRUE(contains(o.error, c.message)) << c.what << ": " << o.error;
    }
}

// Blocks that each pass their own checksum, in the wrong order: only the
// content checksum can tell.
TEST(ContainerDamage, SwappedBlocksFailTheContentChecksum) {
    const Bytes a(1024, 'a'), b(1024, 'b');
    Bytes in = a;
    in.insert(in.end(), b.begin(), b.end());
    Bytes c = compress(codec("copy"), in, 1024, 1);
    const size_t first = fmt::HEADER_FIXED + 4 + fmt::HEADER_TAIL;
    const size_t record = fmt::BLOCK_HEADER + 1024;
    std::swap_ranges(c.begin() + long(first), c.begin() + long(first + record),
                     c.begin() + long(first + record));
    const Outcome o = decode(c);
    EXPECT_FALSE(o.ok);
    EXPECT_TRUE(contains(o.error, "content checksum mismatch")) << o.error;
}

// With blocks still decoding on other threads when a later record fails to
// parse, the earlier fault is the one reported.
TEST(ContainerDamage, TheFirstFaultInContainerOrderIsReported) {
    const Bytes in = vorlex::test::random_bytes(8 * 1024, 11);
    Bytes c = compress(codec("copy"), in, 1024, 1);
    const size_t second = fmt::HEADER_FIXED + 4 + fmt::HEADER_TAIL + fmt::BLOCK_HEADER + 1024;
    c[second + fmt::BLOCK_HEADER + 5] ^= 1;     // block 2's payload
    c.resize(second + 4 * (fmt::BLOCK_HEADER + 1024) + 3);  // inside block 6's record
    for (const unsigned threads : {1u, 2u, 4u}) {
        const Outcome o = decode(c, threads);
        EXPECT_EQ(o.error, "block 2 at byte " + std::to_string(second) + ": checksum mismatch")
            << threads;
        EXPECT_EQ(o.out, Bytes(in.begin(), in.begin() + 1024)) << "block 1 was written";
    }
}

// ---- Allocation failure ----------------------------------------------------------

struct FailingAllocator {
    static std::atomic<int> calls, fail_from;
    static void* alloc(void*, size_t n) {
        return ++calls >= fail_from ? nullptr : std::malloc(n);
    }
    static void dealloc(void*, void* p) { std::free(p); }
};
std::atomic<int> FailingAllocator::calls{0}, FailingAllocator::fail_from{0};

// Whichever allocation fails, in the tool or in a plug-in, the run ends in
// "out of memory" and never in a crash or a wrong result. (A codec that
// reports a failed allocation as a refusal, as fari's compressor does, gets
// its block stored: another container, holding the same content.)
TEST(ContainerAllocation, FailingAllocationsEndInOutOfMemory) {
    const Bytes in = mixed_content(5000, 5);
    for (const vorlex::Codec& c : vorlex::available_codecs()) {
        const Bytes good = compress(c.get(), in, 1024, 1);
        for (const unsigned threads : {1u, 2u}) {
            for (int k = 1;; ++k) {
                FailingAllocator::calls = 0;
                FailingAllocator::fail_from = k;
                vorlex_set_memory_functions(FailingAllocator::alloc, FailingAllocator::dealloc,
                                            nullptr);
                std::string error;
                Bytes out;
                try {
                    out = compress(c.get(), in, 1024, threads);
                } catch (const Failure& e) {
                    error = e.what();
                }
                const Outcome o = decode(good, threads);
                vorlex_set_memory_functions(nullptr, nullptr, nullptr);
                if (error.empty()) {
                    EXPECT_EQ(decode(out).out, in) << c.name() << " k=" << k;
                } else {
                    EXPECT_TRUE(contains(error, "out of memory")) << c.name() << ": " << error;
                }
                if (o.ok) {
                    EXPECT_EQ(o.out, in) << c.name() << " k=" << k;
                } else {
                    EXPECT_TRUE(contains(o.error, "out of memory")) << c.name() << ": " << o.error;
                }
                if (error.empty() && o.ok) break;
                ASSERT_LT(k, 1000) << "allocations never stop failing";
            }
        }
    }
}

}  // namespace
