// Names reach vorlex_get_codec from untrusted data (container headers,
// command lines), so looking up names that have no plug-in must not make the
// process grow: this binary counts the live blocks of the global operator
// new, which the host's strings, maps and entries all come from.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include <vorlex/vorlex.h>

namespace {
std::atomic<long> live_blocks{0};
}  // namespace

void* operator new(size_t n) {
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    ++live_blocks;
    return p;
}
// Not inlined: gcc would otherwise see free() meet a pointer from new and warn.
[[gnu::noinline]] void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    --live_blocks;
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

TEST(HostLookup, UnknownNamesLeaveNothingBehind) {
    // Warm up whatever the first lookups set up once (the registry itself).
    ASSERT_EQ(vorlex_get_codec("warm-up-name"), nullptr);
    const char* const first_why = vorlex_get_codec_error("warm-up-name");
    ASSERT_NE(first_why, nullptr);
    const std::string expected = first_why;
    EXPECT_EQ(expected.rfind("no plug-in file of that name was found (searched ", 0), 0u)
        << expected;
    const long before = live_blocks.load();
    for (int i = 0; i < 5000; ++i) {
        const std::string name = "no-such-codec-" + std::to_string(i);
        ASSERT_EQ(vorlex_get_codec(name.c_str()), nullptr);
        const char* why = vorlex_get_codec_error(name.c_str());
        ASSERT_NE(why, nullptr);
        EXPECT_STREQ(why, expected.c_str()) << "the same text, not naming the name";
    }
    EXPECT_EQ(live_blocks.load(), before);
}

TEST(HostLookup, KnownCodecsAreStillResolvedOnce) {
    vorlex_codec* first = vorlex_get_codec("copy");
    ASSERT_NE(first, nullptr) << vorlex_get_codec_error("copy");
    const long before = live_blocks.load();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(vorlex_get_codec("copy"), first);
    EXPECT_EQ(live_blocks.load(), before);
}

}  // namespace
