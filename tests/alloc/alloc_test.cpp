// Allocation failure, injected through vorlex_set_memory_functions, which
// the host and every plug-in allocate through. For every codec the host
// lists and every operation that allocates, each allocation in turn is made
// to fail: the call must return a failure status, free everything it took,
// and leave the output as it was; afterwards the codec works as before.
// Library contexts that plug-ins keep per thread are released before and
// after each call, so their making is injected into too, and what a call
// keeps is all given back by vorlex_release_cached_memory. Then: calls at
// steady state allocate nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "support/test_data.hpp"

namespace {

using vorlex::test::Bytes;

// Counts allocations, fails the fail_at-th (1-based; 0 never), and tracks
// the blocks still live.
struct Injector {
    int calls = 0;
    int fail_at = 0;
    long live = 0;
    int large = 0;  // of 64 KiB or more

    static void* alloc(void* self, size_t n) {
        auto* in = static_cast<Injector*>(self);
        if (++in->calls == in->fail_at) return nullptr;
        if (n >= (64 << 10)) ++in->large;
        void* p = std::malloc(n == 0 ? 1 : n);
        if (p != nullptr) ++in->live;
        return p;
    }
    static void dealloc(void* self, void* p) {
        --static_cast<Injector*>(self)->live;
        std::free(p);
    }
};

constexpr uint8_t UNTOUCHED = 0xEE;

// One operation on one codec. It writes only into `out` (prepared by the
// caller, filled with UNTOUCHED) and returns its status.
struct Operation {
    const char* name;
    bool (*applies)(vorlex_codec*);
    bool may_need_more_room;  // a codec may refuse it even when nothing fails
    std::function<vorlex_status(vorlex_codec*, const Bytes& in, const Bytes& z, Bytes& out)> run;
    size_t (*out_size)(vorlex_codec*, const Bytes& in, const Bytes& z);
};

bool always(vorlex_codec*) { return true; }
bool has_block_form(vorlex_codec* c) { return vorlex_codec_has_block_form(c) != 0; }
bool streams_decompress(vorlex_codec* c) { return !vorlex_codec_needs_exact_size(c); }

// A stream over the whole input in one FINISH step, with out as its window.
vorlex_status one_stream_step(vorlex_codec* c, vorlex_stream_type type, const Bytes& in,
                              Bytes& out) {
    vorlex_stream* s = nullptr;
    vorlex_status st = vorlex_stream_new(c, type, nullptr, &s);
    if (st != VORLEX_STATUS_OK) {
        EXPECT_EQ(s, nullptr);
        return st;
    }
    s->in_next = in.data();
    s->in_avail = in.size();
    s->out_next = out.data();
    s->out_avail = out.size();
    st = vorlex_stream_process(s, VORLEX_OPERATION_FINISH);
    vorlex_stream_free(s);
    return st;
}

const Operation OPERATIONS[] = {
    {"compress into the bound", always, false,
     [](vorlex_codec* c, const Bytes& in, const Bytes&, Bytes& out) {
         size_t len = out.size();
         return vorlex_compress(c, out.data(), &len, in.data(), in.size(), nullptr);
     },
     [](vorlex_codec* c, const Bytes& in, const Bytes&) {
         return vorlex_get_max_compressed_size(c, in.size());
     }},
    // Below the bound the host compresses codecs that assume it into a
    // buffer of its own first.
    {"compress into the compressed length", always, true,
     [](vorlex_codec* c, const Bytes& in, const Bytes&, Bytes& out) {
         size_t len = out.size();
         return vorlex_compress(c, out.data(), &len, in.data(), in.size(), nullptr);
     },
     [](vorlex_codec*, const Bytes&, const Bytes& z) { return z.size(); }},
    {"decompress", always, false,
     [](vorlex_codec* c, const Bytes&, const Bytes& z, Bytes& out) {
         size_t len = out.size();
         return vorlex_decompress(c, out.data(), &len, z.data(), z.size(), nullptr);
     },
     [](vorlex_codec*, const Bytes& in, const Bytes&) { return in.size(); }},
    {"stream compress", always, false,
     [](vorlex_codec* c, const Bytes& in, const Bytes&, Bytes& out) {
         return one_stream_step(c, VORLEX_STREAM_COMPRESS, in, out);
     },
     [](vorlex_codec* c, const Bytes& in, const Bytes&) {
         return vorlex_get_max_compressed_size(c, in.size());
     }},
    {"compress block", has_block_form, false,
     [](vorlex_codec* c, const Bytes& in, const Bytes&, Bytes& out) {
         size_t len = out.size();
         return vorlex_compress_block(c, out.data(), &len, in.data(), in.size(), nullptr);
     },
     [](vorlex_codec* c, const Bytes& in, const Bytes&) {
         return vorlex_get_max_compressed_size(c, in.size());
     }},
    {"decompress block", has_block_form, false,
     [](vorlex_codec* c, const Bytes& in, const Bytes&, Bytes& out) {
         // The block form of the input, made with nothing failing and
         // nothing kept.
         Bytes b(vorlex_get_max_compressed_size(c, in.size()));
         size_t b_len = b.size();
         vorlex_status st = vorlex_compress_block(c, b.data(), &b_len, in.data(), in.size(), nullptr);
         if (st != VORLEX_STATUS_OK) return st;
         size_t len = out.size();
         return vorlex_decompress_block(c, out.data(), &len, b.data(), b_len);
     },
     [](vorlex_codec*, const Bytes& in, const Bytes&) { return in.size(); }},
    {"stream decompress", streams_decompress, false,
     [](vorlex_codec* c, const Bytes&, const Bytes& z, Bytes& out) {
         return one_stream_step(c, VORLEX_STREAM_DECOMPRESS, z, out);
     },
     [](vorlex_codec*, const Bytes& in, const Bytes&) { return in.size(); }},
};

class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        // Load every plug-in with the ordinary allocator: loading is not
        // what is tested here.
        vorlex_codec* codecs[32];
        const size_t n = std::min<size_t>(vorlex_list_codecs(codecs, 32), 32);
        codecs_.assign(codecs, codecs + n);
        ASSERT_FALSE(codecs_.empty());
        vorlex_set_memory_functions(Injector::alloc, Injector::dealloc, &injector_);
    }
    void TearDown() override { vorlex_set_memory_functions(nullptr, nullptr, nullptr); }

    Injector injector_;
    std::vector<vorlex_codec*> codecs_;
};

TEST_F(AllocationFailure, EveryAllocationOfEveryCodecMayFail) {
    const Bytes in = vorlex::test::text_bytes(300, 9);
    int injected = 0;
    for (vorlex_codec* c : codecs_) {
        const std::string codec = vorlex_codec_get_name(c);
        // The compressed form, made with nothing failing.
        Bytes z(vorlex_get_max_compressed_size(c, in.size()), 0);
        size_t z_len = z.size();
        ASSERT_EQ(vorlex_compress(c, z.data(), &z_len, in.data(), in.size(), nullptr),
                  VORLEX_STATUS_OK)
            << codec;
        z.resize(z_len);

        for (const Operation& op : OPERATIONS) {
            if (!op.applies(c)) continue;
            SCOPED_TRACE(codec + ": " + op.name);
            const size_t out_size = op.out_size(c, in, z);

            vorlex_release_cached_memory();
            injector_ = Injector{};
            Bytes reference(out_size, UNTOUCHED);
            const vorlex_status ref = op.run(c, in, z, reference);
            if (ref != VORLEX_STATUS_OK && op.may_need_more_room) continue;
            ASSERT_EQ(ref, VORLEX_STATUS_OK);
            vorlex_release_cached_memory();
            ASSERT_EQ(injector_.live, 0) << "a successful call frees what it took";
            const int allocations = injector_.calls;

            for (int k = 1; k <= allocations; ++k) {
                vorlex_release_cached_memory();
                injector_ = Injector{};
                injector_.fail_at = k;
                Bytes out(out_size, UNTOUCHED);
                const vorlex_status st = op.run(c, in, z, out);
                vorlex_release_cached_memory();
                EXPECT_TRUE(st == VORLEX_STATUS_NO_MEMORY || st == VORLEX_STATUS_FAILED)
                    << "allocation " << k << " of " << allocations << " failed, status " << st;
                EXPECT_EQ(injector_.live, 0) << "allocation " << k << " failed: leak";
                EXPECT_EQ(out, Bytes(out_size, UNTOUCHED))
                    << "allocation " << k << " failed, yet output was written";
                ++injected;
            }

            // Nothing of the failures lingers.
            vorlex_release_cached_memory();
            injector_ = Injector{};
            Bytes again(out_size, UNTOUCHED);
            EXPECT_EQ(op.run(c, in, z, again), VORLEX_STATUS_OK);
            EXPECT_EQ(again, reference);
        }
    }
    // At least the copy stream's record and the host's own buffers allocate.
    EXPECT_GT(injected, 0);
    std::printf("%d allocation failures injected over %zu codecs\n", injected, codecs_.size());
}

// Once a thread has made its contexts, buffer calls of the codecs over
// libraries allocate nothing, in either direction, in either form, at any
// level and size (each measured after one warm-up call of its own kind).
TEST_F(AllocationFailure, SteadyStateCallsAllocateNothing) {
    const struct {
        const char* codec;
        std::vector<int> levels;  // empty: no levels
    } CASES[] = {
        {"lz4", {1, 3, 12}}, {"zstd", {-5, 1, 3, 15}}, {"gzip", {0, 1, 6, 9}}, {"snappy", {}},
    };
    int checked = 0;
    for (const auto& k : CASES) {
        vorlex_codec* c = vorlex_get_codec(k.codec);
        if (c == nullptr) continue;  // not built here
        std::vector<int> levels = k.levels;
        if (levels.empty()) levels.push_back(0);
        for (const int level : levels) {
            vorlex_options* options = nullptr;
            if (!k.levels.empty()) {
                options = vorlex_options_new();
                ASSERT_EQ(vorlex_options_set_level(options, level), VORLEX_STATUS_OK);
            }
            for (const size_t size : {size_t(256), size_t(4096), size_t(70000)}) {
                SCOPED_TRACE(std::string(k.codec) + " level " + std::to_string(level) + ", " +
                             std::to_string(size) + " bytes");
                const Bytes in = vorlex::test::text_bytes(size, 3);
                Bytes z(vorlex_get_max_compressed_size(c, in.size()));
                Bytes back(in.size());
                const bool block = vorlex_codec_has_block_form(c) != 0;
                const auto rounds = [&](bool block_form) {
                    size_t z_len = z.size(), n = back.size();
                    const vorlex_status a =
                        block_form ? vorlex_compress_block(c, z.data(), &z_len, in.data(),
                                                           in.size(), options)
                                   : vorlex_compress(c, z.data(), &z_len, in.data(), in.size(),
                                                     options);
                    const vorlex_status b =
                        block_form ? vorlex_decompress_block(c, back.data(), &n, z.data(), z_len)
                                   : vorlex_decompress(c, back.data(), &n, z.data(), z_len,
                                                       nullptr);
                    return a == VORLEX_STATUS_OK && b == VORLEX_STATUS_OK && back == in;
                };
                for (const bool form : {false, true}) {
                    if (form && !block) continue;
                    ASSERT_TRUE(rounds(form)) << "warm-up, block form " << form;
                    injector_ = Injector{};
                    for (int i = 0; i < 2; ++i) ASSERT_TRUE(rounds(form));
                    EXPECT_EQ(injector_.calls, 0) << "allocations at steady state, block form "
                                                  << form;
                    ++checked;
                }
            }
            vorlex_options_free(options);
        }
    }
    vorlex_release_cached_memory();
    if (checked == 0) GTEST_SKIP() << "no codec over a library was built";
}

// One-shot frame calls keep their large block buffers per thread: at
// steady state they take none from the allocator (the small ones come from
// malloc's free lists), filtered or not, and release gives every one back.
TEST_F(AllocationFailure, SteadyStateFrameCallsTakeNoLargeBlock) {
    const Bytes in = vorlex::test::text_bytes(700000, 5);
    const size_t block = 256 << 10;
    int checked = 0;
    for (const char* name : {"copy", "lz4", "zstd"}) {
        vorlex_codec* c = vorlex_get_codec(name);
        if (c == nullptr) continue;
        for (const int filter : {VORLEX_FILTER_NONE, VORLEX_FILTER_AUTO}) {
            SCOPED_TRACE(std::string(name) + ", filter " + std::to_string(filter));
            vorlex_options* options = vorlex_options_new();
            ASSERT_EQ(vorlex_options_set_filter(options, filter, 4), VORLEX_STATUS_OK);
            Bytes z(vorlex_frame_compress_bound(c, in.size(), block)), back(in.size());
            const auto round = [&] {
                size_t z_len = z.size(), n = back.size();
                return vorlex_frame_compress_with_options(c, options, block, z.data(), &z_len,
                                                          in.data(), in.size()) ==
                           VORLEX_STATUS_OK &&
                       vorlex_frame_decompress(back.data(), &n, z.data(), z_len) ==
                           VORLEX_STATUS_OK &&
                       back == in;
            };
            ASSERT_TRUE(round()) << "warm-up";
            injector_.large = 0;
            for (int i = 0; i < 3; ++i) ASSERT_TRUE(round());
            EXPECT_EQ(injector_.large, 0);
            vorlex_options_free(options);
            ++checked;
        }
    }
    vorlex_release_cached_memory();
    EXPECT_EQ(injector_.live, 0);
    EXPECT_GT(checked, 0);
}

}  // namespace
