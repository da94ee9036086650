// The host and every codec it lists, used from 8 threads at once: the first
// lookups race to load each plug-in, then every thread compresses and
// decompresses with every codec, through buffers and streams, on data of its
// own and on one input they all share. Built under ThreadSanitizer by
// `make tsan`; in other builds it still checks that concurrent use gives
// every thread the same handles and the same bytes.
//
// Threads record what they saw and the main thread checks it: no assertion
// runs off the main thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <barrier>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <vorlex/vorlex.hpp>

#include "support/test_data.hpp"

namespace {

using vorlex::test::Bytes;

constexpr int THREADS = 8;
const char* const CANDIDATES[] = {"copy", "quicklz", "brieflz", "fari", "lzjb"};

// What one thread saw of the codec set.
struct Lookup {
    std::vector<vorlex_codec*> by_name;  // CANDIDATES order, null when absent
    std::vector<vorlex_codec*> listed;
    bool unknown_refused = false;
    bool invalid_refused = false;
};

Lookup look_up(int rotation) {
    Lookup r;
    const size_t n = std::size(CANDIDATES);
    r.by_name.resize(n);
    // Each thread asks in another order, so every plug-in is somebody's first.
    for (size_t i = 0; i < n; ++i) {
        const size_t k = (i + size_t(rotation)) % n;
        r.by_name[k] = vorlex_get_codec(CANDIDATES[k]);
    }
    vorlex_codec* codecs[32];
    const size_t count = vorlex_list_codecs(codecs, 32);
    r.listed.assign(codecs, codecs + std::min<size_t>(count, 32));
    r.unknown_refused = vorlex_get_codec("no-such-codec") == nullptr &&
                        vorlex_get_codec_error("no-such-codec") != nullptr;
    r.invalid_refused = vorlex_get_codec("../copy") == nullptr;
    return r;
}

// Compress in, then decompress the result; empty on any failure.
Bytes round_trip(vorlex_codec* c, const Bytes& in, Bytes* compressed) {
    size_t cap = vorlex_get_max_compressed_size(c, in.size());
    // Zeroed output: quicklz leaves filler bytes as the buffer held them.
    Bytes z(cap, 0);
    if (vorlex_compress(c, z.data(), &cap, in.data(), in.size(), nullptr) != VORLEX_STATUS_OK) {
        return {};
    }
    z.resize(cap);
    Bytes out(in.size());
    size_t n = out.size();
    if (vorlex_decompress(c, out.data(), &n, z.data(), z.size(), nullptr) != VORLEX_STATUS_OK) {
        return {};
    }
    out.resize(n);
    if (compressed != nullptr) *compressed = std::move(z);
    return out;
}

// The whole input through a stream in 4 KiB steps; empty on failure.
Bytes through_stream(vorlex_codec* c, vorlex_stream_type type, const Bytes& in) {
    vorlex_stream* s = nullptr;
    if (vorlex_stream_new(c, type, nullptr, &s) != VORLEX_STATUS_OK) return {};
    Bytes out;
    std::array<uint8_t, 4096> window;
    size_t pos = 0;
    vorlex_status st;
    do {
        const size_t give = std::min<size_t>(in.size() - pos, 4096);
        const bool last = pos + give == in.size();
        s->in_next = in.data() + pos;
        s->in_avail = give;
        s->out_next = window.data();
        s->out_avail = window.size();
        st = vorlex_stream_process(s, last ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS);
        pos += give - s->in_avail;
        out.insert(out.end(), window.data(), s->out_next);
        if (last && st == VORLEX_STATUS_OK) break;
    } while (st > 0);
    vorlex_stream_free(s);
    return st == VORLEX_STATUS_OK ? out : Bytes{};
}

struct Work {
    std::string codec;
    bool own_ok = false;      // own data came back unchanged, by buffers
    bool stream_ok = false;   // ... and by streams
    bool shared_ok = false;   // the shared input came back unchanged
    Bytes shared_compressed;  // and compressed to these bytes
};

std::vector<Work> use_every_codec(int id, const Bytes& shared) {
    std::vector<Work> done;
    vorlex_codec* codecs[32];
    const size_t count = std::min<size_t>(vorlex_list_codecs(codecs, 32), 32);
    for (int round = 0; round < 3; ++round) {
        const Bytes own = round == 0   ? vorlex::test::text_bytes(20000 + id, id)
                          : round == 1 ? vorlex::test::mixed_bytes(30000, 100 + id)
                                       : vorlex::test::random_bytes(5000 + id * 7, 200 + id);
        for (size_t i = 0; i < count; ++i) {
            vorlex_codec* c = codecs[i];
            Work w;
            w.codec = vorlex_codec_get_name(c);
            w.own_ok = round_trip(c, own, nullptr) == own;
            const Bytes z = through_stream(c, VORLEX_STREAM_COMPRESS, own);
            if (vorlex_codec_needs_exact_size(c)) {
                Bytes back(own.size());
                size_t n = back.size();
                w.stream_ok = !z.empty() &&
                              vorlex_decompress(c, back.data(), &n, z.data(), z.size(), nullptr) ==
                                  VORLEX_STATUS_OK &&
                              back == own;
            } else {
                w.stream_ok = !z.empty() && through_stream(c, VORLEX_STREAM_DECOMPRESS, z) == own;
            }
            w.shared_ok = round_trip(c, shared, &w.shared_compressed) == shared;
            done.push_back(std::move(w));
        }
    }
    return done;
}

TEST(Threads, FirstLookupsFromEightThreadsAgree) {
    std::barrier start(THREADS);
    std::vector<Lookup> seen(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            seen[t] = look_up(t);
        });
    }
    for (auto& th : threads) th.join();

    ASSERT_FALSE(seen[0].listed.empty());
    EXPECT_NE(seen[0].by_name[0], nullptr) << "copy is always built";
    for (int t = 0; t < THREADS; ++t) {
        EXPECT_EQ(seen[t].by_name, seen[0].by_name) << "thread " << t;
        EXPECT_EQ(seen[t].listed, seen[0].listed) << "thread " << t;
        EXPECT_TRUE(seen[t].unknown_refused) << "thread " << t;
        EXPECT_TRUE(seen[t].invalid_refused) << "thread " << t;
    }
    // Every candidate that loads is listed, and the list is in name order.
    for (vorlex_codec* c : seen[0].by_name) {
        if (c != nullptr) {
            EXPECT_NE(std::find(seen[0].listed.begin(), seen[0].listed.end(), c),
                      seen[0].listed.end())
                << vorlex_codec_get_name(c);
        }
    }
    for (size_t i = 1; i < seen[0].listed.size(); ++i) {
        EXPECT_LT(std::strcmp(vorlex_codec_get_name(seen[0].listed[i - 1]),
                              vorlex_codec_get_name(seen[0].listed[i])),
                  0);
    }
}

TEST(Threads, EveryCodecFromEightThreadsAtOnce) {
    const Bytes shared = vorlex::test::mixed_bytes(50000, 7);
    std::barrier start(THREADS);
    std::vector<std::vector<Work>> results(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[t] = use_every_codec(t, shared);
        });
    }
    for (auto& th : threads) th.join();

    ASSERT_FALSE(results[0].empty());
    std::printf("%zu codec uses in each of %d threads\n", results[0].size(), THREADS);
    for (int t = 0; t < THREADS; ++t) {
        ASSERT_EQ(results[t].size(), results[0].size()) << "thread " << t;
        for (size_t i = 0; i < results[t].size(); ++i) {
            const Work& w = results[t][i];
            SCOPED_TRACE("thread " + std::to_string(t) + ", " + w.codec + ", item " +
                         std::to_string(i));
            EXPECT_TRUE(w.own_ok);
            EXPECT_TRUE(w.stream_ok);
            EXPECT_TRUE(w.shared_ok);
            // The shared input sits at one address, so even lzjb, whose output
            // depends on it, writes the same bytes in every thread.
            EXPECT_EQ(w.shared_compressed, results[0][i].shared_compressed);
        }
    }
}

// What one thread made of frames: its frame of the shared input, whether it
// decoded back, and the message for a frame damaged at its own block.
struct FrameWork {
    Bytes frame;
    bool back = false;
    std::string error;
};

FrameWork use_frames(int id, const Bytes& shared) {
    FrameWork w;
    vorlex::Codec codec(vorlex_get_codec("copy"));
    if (vorlex::Codec q = vorlex::Codec::find("quicklz")) codec = q;
    vorlex::FrameWriter writer;
    if (!vorlex::ok(writer.open(codec, 4096, 3))) return w;
    if (!vorlex::ok(writer.write(vorlex::ByteView(shared), w.frame)) ||
        !vorlex::ok(writer.finish(w.frame))) {
        return w;
    }
    vorlex::FrameReader reader;
    Bytes out;
    w.back = vorlex::ok(reader.open(3)) && vorlex::ok(reader.read(vorlex::ByteView(w.frame), out)) &&
             vorlex::ok(reader.finish(out)) && out == shared;
    // Block 1 + id loses its checksum's first byte.
    Bytes bad = w.frame;
    size_t at = 7 + bad[6] + 8;
    for (int b = 0; b < id; ++b) at += 17 + (bad[at + 1] | bad[at + 2] << 8 | bad[at + 3] << 16);
    bad[at + 9] ^= 1;
    Bytes none(shared.size());
    size_t n = none.size();
    if (vorlex_frame_decompress(none.data(), &n, bad.data(), bad.size()) < 0) {
        w.error = vorlex_frame_last_error();
    }
    return w;
}

TEST(Threads, FramesWithWorkersFromEightThreadsAtOnce) {
    const Bytes shared = vorlex::test::mixed_bytes(100000, 9);
    std::barrier start(THREADS);
    std::vector<FrameWork> results(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            results[t] = use_frames(t, shared);
        });
    }
    for (auto& th : threads) th.join();
    ASSERT_FALSE(results[0].frame.empty());
    for (int t = 0; t < THREADS; ++t) {
        EXPECT_EQ(results[t].frame, results[0].frame) << "thread " << t;
        EXPECT_TRUE(results[t].back) << "thread " << t;
        EXPECT_EQ(results[t].error.rfind("block " + std::to_string(t + 1) + " at byte ", 0), 0u)
            << "thread " << t << ": " << results[t].error;
    }
}

}  // namespace
