// One Subject per peer library. Each calls the library's one-shot buffer
// functions; contexts are made once and reused where the library has them
// (zstd, zlib), as an application compressing many buffers would do, so
// small inputs measure the coder rather than its set-up.
#include "peers.hpp"

#include <climits>
#include <cstring>

#if VORLEX_BENCH_HAVE_LZ4
#include <lz4.h>
#endif
#if VORLEX_BENCH_HAVE_ZSTD
#include <zstd.h>
#endif
#if VORLEX_BENCH_HAVE_SNAPPY
#include <snappy-c.h>
#include <snappy-stubs-public.h>
#endif
#if VORLEX_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif

namespace vorlex::bench {
namespace {

class MemcpyPeer final : public Subject {
public:
    MemcpyPeer() : Subject(std::string(MEMCPY_PEER), true) {}
    size_t compress_capacity(size_t n) const override { return n; }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return copy(in, out, produced);
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return copy(in, out, produced);
    }

private:
    static const char* copy(ByteView in, std::span<uint8_t> out, size_t& produced) {
        if (in.size() > out.size()) return "output buffer too small";
        if (!in.empty()) std::memcpy(out.data(), in.data(), in.size());
        produced = in.size();
        return nullptr;
    }
};

#if VORLEX_BENCH_HAVE_LZ4
class Lz4Peer final : public Subject {
public:
    Lz4Peer() : Subject(std::string(LZ4_PEER), true) {}
    size_t compress_capacity(size_t n) const override {
        return n > size_t(LZ4_MAX_INPUT_SIZE) ? 0 : size_t(LZ4_compressBound(int(n)));
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (in.size() > size_t(LZ4_MAX_INPUT_SIZE)) return "input too large for lz4";
        const int n = LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                                           reinterpret_cast<char*>(out.data()), int(in.size()),
                                           clamp_int(out.size()));
        if (n <= 0) return "LZ4_compress_default failed";
        produced = size_t(n);
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (in.size() > size_t(INT_MAX)) return "input too large for lz4";
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()),
                                          reinterpret_cast<char*>(out.data()), int(in.size()),
                                          clamp_int(out.size()));
        if (n < 0) return "LZ4_decompress_safe failed";
        produced = size_t(n);
        return nullptr;
    }

private:
    static int clamp_int(size_t n) { return n > size_t(INT_MAX) ? INT_MAX : int(n); }
};
#endif

#if VORLEX_BENCH_HAVE_ZSTD
class ZstdPeer final : public Subject {
public:
    ZstdPeer() : Subject("zstd-1", true), cctx_(ZSTD_createCCtx()), dctx_(ZSTD_createDCtx()) {}
    ~ZstdPeer() override {
        ZSTD_freeCCtx(cctx_);
        ZSTD_freeDCtx(dctx_);
    }
    size_t compress_capacity(size_t n) const override { return ZSTD_compressBound(n); }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (cctx_ == nullptr) return "ZSTD_createCCtx failed";
        const size_t n =
            ZSTD_compressCCtx(cctx_, out.data(), out.size(), in.data(), in.size(), 1);
        if (ZSTD_isError(n)) return ZSTD_getErrorName(n);
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (dctx_ == nullptr) return "ZSTD_createDCtx failed";
        const size_t n = ZSTD_decompressDCtx(dctx_, out.data(), out.size(), in.data(), in.size());
        if (ZSTD_isError(n)) return ZSTD_getErrorName(n);
        produced = n;
        return nullptr;
    }

private:
    ZSTD_CCtx* cctx_;
    ZSTD_DCtx* dctx_;
};
#endif

#if VORLEX_BENCH_HAVE_SNAPPY
class SnappyPeer final : public Subject {
public:
    SnappyPeer() : Subject("snappy", true) {}
    size_t compress_capacity(size_t n) const override { return snappy_max_compressed_length(n); }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        if (snappy_compress(reinterpret_cast<const char*>(in.data()), in.size(),
                            reinterpret_cast<char*>(out.data()), &n) != SNAPPY_OK) {
            return "snappy_compress failed";
        }
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        if (snappy_uncompress(reinterpret_cast<const char*>(in.data()), in.size(),
                              reinterpret_cast<char*>(out.data()), &n) != SNAPPY_OK) {
            return "snappy_uncompress failed";
        }
        produced = n;
        return nullptr;
    }
};
#endif

#if VORLEX_BENCH_HAVE_ZLIB
// compress2/uncompress set up and tear down a stream per call; resetting one
// stream per direction does the same work minus the allocations.
class ZlibPeer final : public Subject {
public:
    ZlibPeer() : Subject("zlib-1", true) {
        deflate_ok_ = deflateInit(&deflater_, 1) == Z_OK;
        inflate_ok_ = inflateInit(&inflater_) == Z_OK;
    }
    ~ZlibPeer() override {
        if (deflate_ok_) deflateEnd(&deflater_);
        if (inflate_ok_) inflateEnd(&inflater_);
    }
    size_t compress_capacity(size_t n) const override {
        return n > UINT_MAX ? 0 : size_t(compressBound(uLong(n)));
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (!deflate_ok_) return "deflateInit failed";
        if (in.size() > UINT_MAX || out.size() > UINT_MAX) return "buffer too large for zlib";
        deflateReset(&deflater_);
        deflater_.next_in = const_cast<Bytef*>(in.data());
        deflater_.avail_in = uInt(in.size());
        deflater_.next_out = out.data();
        deflater_.avail_out = uInt(out.size());
        if (deflate(&deflater_, Z_FINISH) != Z_STREAM_END) return "deflate did not finish";
        produced = size_t(deflater_.total_out);
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        if (!inflate_ok_) return "inflateInit failed";
        if (in.size() > UINT_MAX || out.size() > UINT_MAX) return "buffer too large for zlib";
        inflateReset(&inflater_);
        inflater_.next_in = const_cast<Bytef*>(in.data());
        inflater_.avail_in = uInt(in.size());
        inflater_.next_out = out.data();
        inflater_.avail_out = uInt(out.size());
        if (inflate(&inflater_, Z_FINISH) != Z_STREAM_END) return "inflate failed";
        produced = size_t(inflater_.total_out);
        return nullptr;
    }

private:
    z_stream deflater_{};
    z_stream inflater_{};
    bool deflate_ok_ = false;
    bool inflate_ok_ = false;
};
#endif

std::vector<PeerInfo> describe_peers() {
    std::vector<PeerInfo> peers;
    peers.push_back({"memcpy", "memcpy", "libc", true, ""});
#if VORLEX_BENCH_HAVE_LZ4
    peers.push_back({"lz4", "lz4", "liblz4-dev", true, LZ4_versionString()});
#else
    peers.push_back({"lz4", "lz4", "liblz4-dev", false, ""});
#endif
#if VORLEX_BENCH_HAVE_ZSTD
    peers.push_back({"zstd", "zstd-1", "libzstd-dev", true, ZSTD_versionString()});
#else
    peers.push_back({"zstd", "zstd-1", "libzstd-dev", false, ""});
#endif
#if VORLEX_BENCH_HAVE_SNAPPY
    // snappy has no run-time version call; the header's is what was built in.
    peers.push_back({"snappy", "snappy", "libsnappy-dev", true,
                     std::to_string(SNAPPY_MAJOR) + "." + std::to_string(SNAPPY_MINOR) + "." +
                         std::to_string(SNAPPY_PATCHLEVEL)});
#else
    peers.push_back({"snappy", "snappy", "libsnappy-dev", false, ""});
#endif
#if VORLEX_BENCH_HAVE_ZLIB
    peers.push_back({"zlib", "zlib-1", "zlib1g-dev", true, zlibVersion()});
#else
    peers.push_back({"zlib", "zlib-1", "zlib1g-dev", false, ""});
#endif
    return peers;
}

}  // namespace

const std::vector<PeerInfo>& known_peers() {
    static const std::vector<PeerInfo> peers = describe_peers();
    return peers;
}

std::unique_ptr<Subject> make_peer(std::string_view key_or_name) {
    const auto is = [&](std::string_view key, std::string_view name) {
        return key_or_name == key || key_or_name == name;
    };
    if (is("memcpy", "memcpy")) return std::make_unique<MemcpyPeer>();
#if VORLEX_BENCH_HAVE_LZ4
    if (is("lz4", "lz4")) return std::make_unique<Lz4Peer>();
#endif
#if VORLEX_BENCH_HAVE_ZSTD
    if (is("zstd", "zstd-1")) return std::make_unique<ZstdPeer>();
#endif
#if VORLEX_BENCH_HAVE_SNAPPY
    if (is("snappy", "snappy")) return std::make_unique<SnappyPeer>();
#endif
#if VORLEX_BENCH_HAVE_ZLIB
    if (is("zlib", "zlib-1")) return std::make_unique<ZlibPeer>();
#endif
    return nullptr;
}

}  // namespace vorlex::bench
