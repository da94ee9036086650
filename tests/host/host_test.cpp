// libvorlex itself: discovery and loading, name refusal, lazy loading from
// many threads, the buffer API over every kind of plug-in table, streams
// (native and buffered) and allocation failure through the memory hooks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <vorlex/vorlex.h>
#include <vorlex/vorlex.hpp>

#include "support/test_data.hpp"

namespace {

// Fixture plug-ins are found through VORLEX_PLUGIN_PATH, which the loader
// reads on each first lookup; an empty and a missing folder must not hurt.
const bool plugin_path_set = [] {
    setenv("VORLEX_PLUGIN_PATH", "::/nonexistent:" VORLEX_FIXTURE_DIR, 1);
    return true;
}();

struct FailingAllocator {
    std::atomic<int> calls{0};
    int fail_at = 0;  // 1-based; 0 never
    static void* alloc(void* self, size_t n) {
        auto* a = static_cast<FailingAllocator*>(self);
        if (++a->calls == a->fail_at) return nullptr;
        return std::malloc(n);
    }
    static void dealloc(void*, void* p) { std::free(p); }
};

TEST(Host, FindsPluginThroughPluginPath) {
    vorlex_codec* c = vorlex_get_codec("fixture");
    ASSERT_NE(c, nullptr) << vorlex_get_codec_error("fixture");
    EXPECT_STREQ(vorlex_codec_get_name(c), "fixture");
    EXPECT_EQ(std::string(vorlex_codec_get_path(c)),
              std::string(VORLEX_FIXTURE_DIR) + "/libvorlex-plugin-fixture.so");
    EXPECT_EQ(vorlex_get_codec_error("fixture"), nullptr);
    EXPECT_EQ(vorlex_get_codec("fixture"), c) << "a codec is loaded once";
}

TEST(Host, FindsBuildTreePlugins) {
    vorlex_codec* c = vorlex_get_codec("copy");
    ASSERT_NE(c, nullptr) << vorlex_get_codec_error("copy");
    EXPECT_EQ(vorlex_codec_get_info_flags(c), uint32_t(VORLEX_INFO_NATIVE_STREAMS));
    EXPECT_TRUE(vorlex_codec_records_size(c));
    EXPECT_FALSE(vorlex_codec_needs_exact_size(c));
}

TEST(Host, ReportsWhyACodecCannotBeLoaded) {
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"nosuchcodec", "no plug-in file of that name was found"},
        {"noentry", "no vorlex_plugin_init_codec"},
        {"refuser", "refused codec 'refuser'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vorlex_get_codec(c.name), nullptr) << c.name;
        const char* why = vorlex_get_codec_error(c.name);
        ASSERT_NE(why, nullptr) << c.name;
        EXPECT_NE(std::string(why).find(c.reason), std::string::npos) << why;
        EXPECT_EQ(vorlex_get_codec(c.name), nullptr) << "failure is remembered: " << c.name;
    }
}

TEST(Host, RefusesNamesThatAreNotPlainWords) {
    const char* const bad[] = {"../x", "a/b", "Copy", "", "a.b", "copy ", "c\\d", "copy\n",
                               "x2345678901234567890123456789012345678901234567890123456789012345"};
    for (const char* name : bad) {
        EXPECT_EQ(vorlex_get_codec(name), nullptr) << name;
        EXPECT_NE(std::string(vorlex_get_codec_error(name)).find("invalid codec name"),
                  std::string::npos)
            << name;
    }
    EXPECT_EQ(vorlex_get_codec(nullptr), nullptr);
    // 64 characters is the longest name looked up.
    EXPECT_EQ(std::string(vorlex_get_codec_error(std::string(64, 'z').c_str())).find("invalid"),
              std::string::npos);
}

TEST(Host, ConcurrentFirstUseLoadsOnce) {
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    std::atomic<bool> go{false};
    for (int i = 0; i < 16; ++i) {
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            if (vorlex_get_codec("presized") != nullptr) ++found;
        });
    }
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(found, 16);
    void* lib = dlopen(VORLEX_FIXTURE_DIR "/libvorlex-plugin-presized.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(*static_cast<int*>(dlsym(lib, "fixture_init_calls")), 1);
    dlclose(lib);
}

TEST(Host, ListsLoadableCodecs) {
    const auto codecs = vorlex::available_codecs();
    std::vector<std::string> names;
    for (const auto& c : codecs) names.emplace_back(c.name());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    for (const char* want : {"copy", "fixture", "presized"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), want), names.end()) << want;
    }
    for (const char* not_there : {"noentry", "refuser"}) {
        EXPECT_EQ(std::find(names.begin(), names.end(), not_there), names.end()) << not_there;
    }
}

// A presized-only codec is given its worst-case capacity, through a temporary
// buffer when the caller's is smaller; the result is copied out only if it fits.
TEST(HostBuffers, PresizedOnlyCodecAcceptsAnyCapacity) {
    vorlex_codec* c = vorlex_get_codec("presized");
    ASSERT_NE(c, nullptr);
    const auto in = vorlex::test::text_bytes(100, 1);
    ASSERT_EQ(vorlex_get_max_compressed_size(c, in.size()), 108u);
    const struct {
        size_t capacity;
        vorlex_status want;
    } cases[] = {{108, VORLEX_STATUS_OK}, {500, VORLEX_STATUS_OK}, {100, VORLEX_STATUS_OK},
                 {99, VORLEX_STATUS_OUTPUT_FULL}, {0, VORLEX_STATUS_OUTPUT_FULL}};
    for (const auto& t : cases) {
        std::vector<uint8_t> out(t.capacity + 1, 0xEE);
        size_t len = t.capacity;
        EXPECT_EQ(vorlex_compress(c, out.data(), &len, in.data(), in.size(), nullptr), t.want)
            << t.capacity;
        if (t.want == VORLEX_STATUS_OK) {
            ASSERT_EQ(len, in.size());
            EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
        } else {
            EXPECT_EQ(len, t.capacity) << "length untouched on failure";
        }
        EXPECT_EQ(out[t.capacity], 0xEE) << "nothing written past the capacity";
    }
}

TEST(HostBuffers, RejectsMissingBuffersAndSlots) {
    vorlex_codec* copy = vorlex_get_codec("copy");
    ASSERT_NE(copy, nullptr);
    uint8_t b[4] = {1, 2, 3, 4};
    size_t len = 4;
    EXPECT_EQ(vorlex_compress(copy, nullptr, &len, b, 4, nullptr), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_compress(copy, b, nullptr, b, 4, nullptr), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_decompress(copy, b, &len, nullptr, 4, nullptr), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_compress(nullptr, b, &len, b, 4, nullptr), VORLEX_STATUS_INVALID);
    len = 0;  // empty buffers may be NULL
    EXPECT_EQ(vorlex_compress(copy, nullptr, &len, nullptr, 0, nullptr), VORLEX_STATUS_OK);
    EXPECT_EQ(len, 0u);
    size_t size = 7;
    EXPECT_EQ(vorlex_get_uncompressed_size(vorlex_get_codec("fixture"), b, 4, &size),
              VORLEX_STATUS_UNSUPPORTED);
    EXPECT_EQ(size, 7u);
}

TEST(HostBuffers, PresizedTemporaryAllocationFailureIsReported) {
    vorlex_codec* c = vorlex_get_codec("presized");
    ASSERT_NE(c, nullptr);
    FailingAllocator a;
    a.fail_at = 1;
    vorlex_set_memory_functions(FailingAllocator::alloc, FailingAllocator::dealloc, &a);
    uint8_t in[10] = {}, out[10];
    size_t len = sizeof out;
    const vorlex_status st = vorlex_compress(c, out, &len, in, sizeof in, nullptr);
    vorlex_set_memory_functions(nullptr, nullptr, nullptr);
    EXPECT_EQ(st, VORLEX_STATUS_NO_MEMORY);
    EXPECT_EQ(len, sizeof out);
}

// Runs a whole stream with output handed out `chunk` bytes at a time and
// input fed `chunk` bytes at a time.
vorlex_status run_stream(vorlex_codec* c, vorlex_stream_type type, const std::vector<uint8_t>& in,
                         size_t chunk, std::vector<uint8_t>& out) {
    vorlex::StreamPtr s;
    vorlex_status st = vorlex::make_stream(vorlex::Codec(c), type, s);
    if (st != VORLEX_STATUS_OK) return st;
    out.clear();
    std::vector<uint8_t> buf(chunk);
    size_t fed = 0;
    for (int guard = 0; guard < 1000000; ++guard) {
        const size_t n = std::min(chunk, in.size() - fed);
        s->in_next = in.data() + fed;
        s->in_avail = n;
        const bool last = fed + n == in.size();
        do {
            s->out_next = buf.data();
            s->out_avail = buf.size();
            st = vorlex_stream_process(s.get(), last ? VORLEX_OPERATION_FINISH
                                                     : VORLEX_OPERATION_PROCESS);
            out.insert(out.end(), buf.data(), s->out_next);
            if (st < 0) return st;
        } while (st == VORLEX_STATUS_PROCESSING);
        fed += n - s->in_avail;
        if (last && s->in_avail == 0) {
            EXPECT_EQ(s->total_in, in.size());
            EXPECT_EQ(s->total_out, out.size());
            return st;
        }
    }
    return VORLEX_STATUS_FAILED;
}

TEST(HostStreams, RunToCompletionForNativeAndBufferedCodecs) {
    const auto in = vorlex::test::mixed_bytes(10000, 7);
    for (const char* name : {"copy", "presized"}) {
        vorlex_codec* c = vorlex_get_codec(name);
        ASSERT_NE(c, nullptr) << name;
        for (size_t chunk : {1u, 7u, 4096u, 20000u}) {
            std::vector<uint8_t> packed, unpacked;
            ASSERT_EQ(run_stream(c, VORLEX_STREAM_COMPRESS, in, chunk, packed), VORLEX_STATUS_OK)
                << name << " " << chunk;
            ASSERT_EQ(run_stream(c, VORLEX_STREAM_DECOMPRESS, packed, chunk, unpacked),
                      VORLEX_STATUS_OK)
                << name << " " << chunk;
            EXPECT_EQ(unpacked, in) << name << " " << chunk;
        }
    }
}

TEST(HostStreams, AllocationFailureGivesNoMemory) {
    for (const char* name : {"copy", "presized"}) {
        vorlex_codec* c = vorlex_get_codec(name);
        ASSERT_NE(c, nullptr);
        FailingAllocator a;
        a.fail_at = 1;
        vorlex_set_memory_functions(FailingAllocator::alloc, FailingAllocator::dealloc, &a);
        vorlex_stream* s = reinterpret_cast<vorlex_stream*>(1);
        const vorlex_status st = vorlex_stream_new(c, VORLEX_STREAM_COMPRESS, nullptr, &s);
        vorlex_set_memory_functions(nullptr, nullptr, nullptr);
        EXPECT_EQ(st, VORLEX_STATUS_NO_MEMORY) << name;
        EXPECT_EQ(s, nullptr) << name;
    }
}

TEST(HostStreams, RejectsBadArguments) {
    vorlex_codec* c = vorlex_get_codec("copy");
    vorlex_stream* s = nullptr;
    EXPECT_EQ(vorlex_stream_new(c, 3, nullptr, &s), VORLEX_STATUS_INVALID);
    EXPECT_EQ(vorlex_stream_new(nullptr, VORLEX_STREAM_COMPRESS, nullptr, &s),
              VORLEX_STATUS_INVALID);
    ASSERT_EQ(vorlex_stream_new(c, VORLEX_STREAM_COMPRESS, nullptr, &s), VORLEX_STATUS_OK);
    s->in_next = nullptr;
    s->in_avail = 5;
    EXPECT_EQ(vorlex_stream_process(s, VORLEX_OPERATION_PROCESS), VORLEX_STATUS_INVALID);
    vorlex_stream_free(s);
    vorlex_stream_free(nullptr);
}

TEST(Host, StatusStringsAreDistinct) {
    const vorlex_status all[] = {1, 2, -1, -2, -3, -4, -5, -6, -7};
    std::set<std::string> seen;
    for (vorlex_status s : all) seen.insert(vorlex_status_to_string(s));
    EXPECT_EQ(seen.size(), std::size(all));
    EXPECT_STREQ(vorlex_status_to_string(42), "unknown status");
}

}  // namespace
