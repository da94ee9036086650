#include "overhead.hpp"

#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

#include <vorlex/vorlex.hpp>


#if VORLEX_BENCH_HAVE_LZ4
#define LZ4F_STATIC_LINKING_ONLY  // one-shot frames with a reused context
#include <lz4.h>
#include <lz4frame.h>
#include <lz4hc.h>
#endif
#if VORLEX_BENCH_HAVE_ZSTD
#include <zstd.h>
#endif
#if VORLEX_BENCH_HAVE_SNAPPY
#include <snappy-c.h>
#endif
#if VORLEX_BENCH_HAVE_ZLIB
#include <zlib.h>
#endif

namespace vorlex::bench {
namespace {

// A container's default block size: the block subjects cut their input so.
constexpr size_t BLOCK = size_t(1) << 20;
constexpr size_t LENGTH_FIELD = 4;

std::string label(vorlex_codec* codec, std::optional<int> level, const char* suffix) {
    std::string s = vorlex_codec_get_name(codec);
    if (level) s += ':' + std::to_string(*level);
    return *suffix != '\0' ? s + ' ' + suffix : s;
}

int clamp_int(size_t n) { return n > size_t(INT_MAX) ? INT_MAX : int(n); }

// ---- Raw format through the host ------------------------------------------------

class HostRaw final : public Subject {
public:
    HostRaw(vorlex_codec* codec, std::optional<int> level)
        : Subject(label(codec, level, ""), false), codec_(codec) {
        if (level) options_.set_level(*level);
    }
    size_t compress_capacity(size_t n) const override {
        return vorlex_get_max_compressed_size(codec_, n);
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        const vorlex_status st =
            vorlex_compress(codec_, out.data(), &n, in.data(), in.size(), options_.get());
        if (st <= 0) return vorlex_status_to_string(st);
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        const vorlex_status st =
            vorlex_decompress(codec_, out.data(), &n, in.data(), in.size(), nullptr);
        if (st <= 0) return vorlex_status_to_string(st);
        produced = n;
        return nullptr;
    }

private:
    vorlex_codec* codec_;
    vorlex::Options options_;
};

// ---- Block form, through the host or directly ------------------------------------

// Cuts the input into blocks of BLOCK bytes, each written as a 4-byte
// length and the block's compressed bytes; decoding knows every block's
// size from the output's. One block per call at --small sizes.
class Blocks : public Subject {
public:
    using Subject::Subject;
    size_t compress_capacity(size_t n) const override {
        const size_t blocks = n / BLOCK + 1;
        return blocks * (LENGTH_FIELD + block_bound(BLOCK < n ? BLOCK : n));
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t at = 0;
        for (size_t from = 0; from < in.size() || (from == 0 && in.empty()); from += BLOCK) {
            const ByteView piece = in.subspan(from, std::min(BLOCK, in.size() - from));
            if (out.size() - at < LENGTH_FIELD) return "output buffer too small";
            size_t n = 0;
            if (const char* e = block_compress(piece, out.subspan(at + LENGTH_FIELD), n)) return e;
            const uint32_t len = uint32_t(n);
            std::memcpy(out.data() + at, &len, LENGTH_FIELD);
            at += LENGTH_FIELD + n;
            if (in.empty()) break;
        }
        produced = at;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t at = 0;
        for (size_t to = 0; to < out.size(); to += BLOCK) {
            uint32_t len = 0;
            if (in.size() - at < LENGTH_FIELD) return "truncated";
            std::memcpy(&len, in.data() + at, LENGTH_FIELD);
            at += LENGTH_FIELD;
            if (in.size() - at < len) return "truncated";
            const std::span<uint8_t> piece = out.subspan(to, std::min(BLOCK, out.size() - to));
            if (const char* e = block_decompress(in.subspan(at, len), piece)) return e;
            at += len;
        }
        produced = out.size();
        return nullptr;
    }

protected:
    virtual size_t block_bound(size_t n) const = 0;
    virtual const char* block_compress(ByteView in, std::span<uint8_t> out, size_t& produced) = 0;
    // out's size is the block's exact size.
    virtual const char* block_decompress(ByteView in, std::span<uint8_t> out) = 0;
};

class HostBlocks final : public Blocks {
public:
    HostBlocks(vorlex_codec* codec, std::optional<int> level)
        : Blocks(label(codec, level, "block"), false), codec_(codec) {
        if (level) options_.set_level(*level);
    }

protected:
    size_t block_bound(size_t n) const override { return vorlex_get_max_compressed_size(codec_, n); }
    const char* block_compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        const vorlex_status st =
            vorlex_compress_block(codec_, out.data(), &n, in.data(), in.size(), options_.get());
        if (st <= 0) return vorlex_status_to_string(st);
        produced = n;
        return nullptr;
    }
    const char* block_decompress(ByteView in, std::span<uint8_t> out) override {
        size_t n = out.size();
        const vorlex_status st = vorlex_decompress_block(codec_, out.data(), &n, in.data(), in.size());
        return st <= 0 ? vorlex_status_to_string(st) : nullptr;
    }

private:
    vorlex_codec* codec_;
    vorlex::Options options_;
};

// ---- The container --------------------------------------------------------------

class Frame final : public Subject {
public:
    Frame(vorlex_codec* codec, std::optional<int> level)
        : Subject(label(codec, level, "frame"), false), codec_(codec) {
        if (level) options_.set_level(*level);
    }
    size_t compress_capacity(size_t n) const override {
        return vorlex_frame_compress_bound(codec_, n, BLOCK);
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        const vorlex_status st = vorlex_frame_compress_with_options(
            codec_, options_.get(), BLOCK, out.data(), &n, in.data(), in.size());
        if (st <= 0) return vorlex_status_to_string(st);
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        size_t n = out.size();
        const vorlex_status st = vorlex_frame_decompress(out.data(), &n, in.data(), in.size());
        if (st <= 0) return vorlex_status_to_string(st);
        produced = n;
        return nullptr;
    }

private:
    vorlex_codec* codec_;
    vorlex::Options options_;
};

// ---- The libraries, directly ----------------------------------------------------

#if VORLEX_BENCH_HAVE_LZ4
// What the plug-in writes: linked 64 KiB blocks, content size and checksum.
class Lz4FrameDirect final : public Subject {
public:
    Lz4FrameDirect(std::string name, int level) : Subject(std::move(name), true), level_(level) {
        LZ4F_createCompressionContext(&cctx_, LZ4F_VERSION);
        LZ4F_createDecompressionContext(&dctx_, LZ4F_VERSION);
    }
    ~Lz4FrameDirect() override {
        LZ4F_freeCompressionContext(cctx_);
        LZ4F_freeDecompressionContext(dctx_);
    }
    size_t compress_capacity(size_t n) const override {
        const LZ4F_preferences_t p = prefs(n);
        return LZ4F_compressFrameBound(n, &p);
    }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        const LZ4F_preferences_t p = prefs(in.size());
        const size_t n = LZ4F_compressFrame_usingCDict(cctx_, out.data(), out.size(), in.data(),
                                                       in.size(), nullptr, &p);
        if (LZ4F_isError(n)) return LZ4F_getErrorName(n);
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        LZ4F_resetDecompressionContext(dctx_);
        size_t src = in.size(), dst = out.size();
        const size_t r = LZ4F_decompress(dctx_, out.data(), &dst, in.data(), &src, nullptr);
        if (LZ4F_isError(r)) return LZ4F_getErrorName(r);
        if (r != 0) return "LZ4 frame incomplete";
        produced = dst;
        return nullptr;
    }

private:
    LZ4F_preferences_t prefs(size_t n) const {
        LZ4F_preferences_t p{};
        p.frameInfo.blockSizeID = LZ4F_max64KB;
        p.frameInfo.blockMode = LZ4F_blockLinked;
        p.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
        p.frameInfo.contentSize = n;
        p.compressionLevel = level_;
        return p;
    }
    int level_;
    LZ4F_cctx* cctx_ = nullptr;
    LZ4F_dctx* dctx_ = nullptr;
};

class Lz4BlockDirect final : public Blocks {
public:
    Lz4BlockDirect(std::string name, int level)
        : Blocks(std::move(name), true), level_(level), fast_(LZ4_createStream()),
          hc_(LZ4_createStreamHC()) {}
    ~Lz4BlockDirect() override {
        LZ4_freeStream(fast_);
        LZ4_freeStreamHC(hc_);
    }

protected:
    size_t block_bound(size_t n) const override { return size_t(LZ4_compressBound(clamp_int(n))); }
    const char* block_compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        const auto* src = reinterpret_cast<const char*>(in.data());
        auto* dst = reinterpret_cast<char*>(out.data());
        int n;
        // lz4's one-shot functions on states made once (its *_extState).
        if (level_ < LZ4HC_CLEVEL_MIN) {
            n = LZ4_compress_fast_extState(fast_, src, dst, int(in.size()), clamp_int(out.size()), 1);
        } else {
            n = LZ4_compress_HC_extStateHC(hc_, src, dst, int(in.size()), clamp_int(out.size()),
                                           level_);
        }
        if (n <= 0) return "LZ4 block compression failed";
        produced = size_t(n);
        return nullptr;
    }
    const char* block_decompress(ByteView in, std::span<uint8_t> out) override {
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()),
                                          reinterpret_cast<char*>(out.data()), int(in.size()),
                                          int(out.size()));
        return n == int(out.size()) ? nullptr : "LZ4_decompress_safe failed";
    }

private:
    int level_;
    LZ4_stream_t* fast_;
    LZ4_streamHC_t* hc_;
};
#endif

#if VORLEX_BENCH_HAVE_ZSTD
// One zstd frame with its content size, with or without its checksum.
class ZstdCoder {
public:
    ZstdCoder(int level, bool checksum) : cctx_(ZSTD_createCCtx()), dctx_(ZSTD_createDCtx()) {
        ZSTD_CCtx_setParameter(cctx_, ZSTD_c_compressionLevel, level);
        ZSTD_CCtx_setParameter(cctx_, ZSTD_c_checksumFlag, checksum ? 1 : 0);
    }
    ~ZstdCoder() {
        ZSTD_freeCCtx(cctx_);
        ZSTD_freeDCtx(dctx_);
    }
    ZstdCoder(const ZstdCoder&) = delete;
    ZstdCoder& operator=(const ZstdCoder&) = delete;
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) {
        const size_t n = ZSTD_compress2(cctx_, out.data(), out.size(), in.data(), in.size());
        if (ZSTD_isError(n)) return ZSTD_getErrorName(n);
        produced = n;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) {
        const size_t n = ZSTD_decompressDCtx(dctx_, out.data(), out.size(), in.data(), in.size());
        if (ZSTD_isError(n)) return ZSTD_getErrorName(n);
        produced = n;
        return nullptr;
    }

private:
    ZSTD_CCtx* cctx_;
    ZSTD_DCtx* dctx_;
};

class ZstdDirect final : public Subject {
public:
    ZstdDirect(std::string name, int level) : Subject(std::move(name), true), z_(level, true) {}
    size_t compress_capacity(size_t n) const override { return ZSTD_compressBound(n); }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.compress(in, out, produced);
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.decompress(in, out, produced);
    }

private:
    ZstdCoder z_;
};

class ZstdBlockDirect final : public Blocks {
public:
    ZstdBlockDirect(std::string name, int level) : Blocks(std::move(name), true), z_(level, false) {}

protected:
    size_t block_bound(size_t n) const override { return ZSTD_compressBound(n); }
    const char* block_compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.compress(in, out, produced);
    }
    const char* block_decompress(ByteView in, std::span<uint8_t> out) override {
        size_t n = 0;
        if (const char* e = z_.decompress(in, out, n)) return e;
        return n == out.size() ? nullptr : "zstd block of another size";
    }

private:
    ZstdCoder z_;
};
#endif

#if VORLEX_BENCH_HAVE_ZLIB
// One deflate or inflate call with a coder reset for each: a gzip member
// (window bits 31) or raw deflate (-15).
class ZlibCoder {
public:
    ZlibCoder(int level, int window_bits) {
        deflate_ok_ = deflateInit2(&d_, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        inflate_ok_ = inflateInit2(&i_, window_bits) == Z_OK;
    }
    ~ZlibCoder() {
        if (deflate_ok_) deflateEnd(&d_);
        if (inflate_ok_) inflateEnd(&i_);
    }
    ZlibCoder(const ZlibCoder&) = delete;
    ZlibCoder& operator=(const ZlibCoder&) = delete;
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) {
        if (!deflate_ok_ || deflateReset(&d_) != Z_OK) return "deflate set-up failed";
        d_.next_in = const_cast<Bytef*>(in.data());
        d_.avail_in = uInt(in.size());
        d_.next_out = out.data();
        d_.avail_out = uInt(out.size());
        if (deflate(&d_, Z_FINISH) != Z_STREAM_END) return "deflate failed";
        produced = out.size() - d_.avail_out;
        return nullptr;
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) {
        if (!inflate_ok_ || inflateReset(&i_) != Z_OK) return "inflate set-up failed";
        i_.next_in = const_cast<Bytef*>(in.data());
        i_.avail_in = uInt(in.size());
        i_.next_out = out.data();
        i_.avail_out = uInt(out.size());
        if (inflate(&i_, Z_FINISH) != Z_STREAM_END) return "inflate failed";
        produced = out.size() - i_.avail_out;
        return nullptr;
    }
    static size_t bound(size_t n) { return compressBound(uLong(n)) + 18; }

private:
    z_stream d_{};
    z_stream i_{};
    bool deflate_ok_ = false, inflate_ok_ = false;
};

class GzipDirect final : public Subject {
public:
    GzipDirect(std::string name, int level) : Subject(std::move(name), true), z_(level, 15 + 16) {}
    size_t compress_capacity(size_t n) const override { return ZlibCoder::bound(n); }
    const char* compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.compress(in, out, produced);
    }
    const char* decompress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.decompress(in, out, produced);
    }

private:
    ZlibCoder z_;
};

class DeflateBlockDirect final : public Blocks {
public:
    DeflateBlockDirect(std::string name, int level) : Blocks(std::move(name), true), z_(level, -15) {}

protected:
    size_t block_bound(size_t n) const override { return ZlibCoder::bound(n); }
    const char* block_compress(ByteView in, std::span<uint8_t> out, size_t& produced) override {
        return z_.compress(in, out, produced);
    }
    const char* block_decompress(ByteView in, std::span<uint8_t> out) override {
        size_t n = 0;
        if (const char* e = z_.decompress(in, out, n)) return e;
        return n == out.size() ? nullptr : "deflate block of another size";
    }

private:
    ZlibCoder z_;
};
#endif

#if VORLEX_BENCH_HAVE_SNAPPY
class SnappyDirect final : public Subject {
public:
    explicit SnappyDirect(std::string name) : Subject(std::move(name), true) {}
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

// The direct twins of codec at level: {raw, block}; either may be null.
std::pair<std::unique_ptr<Subject>, std::unique_ptr<Subject>> direct_twins(
    vorlex_codec* codec, std::optional<int> level) {
    const std::string name = vorlex_codec_get_name(codec);
    int def = 0;
    vorlex_codec_get_levels(codec, nullptr, nullptr, &def);
    const int l = level.value_or(def);
    const std::string raw = label(codec, level, "direct");
    const std::string block = label(codec, level, "block direct");
#if VORLEX_BENCH_HAVE_LZ4
    if (name == "lz4") {
        return {std::make_unique<Lz4FrameDirect>(raw, l), std::make_unique<Lz4BlockDirect>(block, l)};
    }
#endif
#if VORLEX_BENCH_HAVE_ZSTD
    if (name == "zstd") {
        return {std::make_unique<ZstdDirect>(raw, l), std::make_unique<ZstdBlockDirect>(block, l)};
    }
#endif
#if VORLEX_BENCH_HAVE_ZLIB
    if (name == "gzip") {
        return {std::make_unique<GzipDirect>(raw, l), std::make_unique<DeflateBlockDirect>(block, l)};
    }
#endif
#if VORLEX_BENCH_HAVE_SNAPPY
    if (name == "snappy") return {std::make_unique<SnappyDirect>(raw), nullptr};
#endif
    (void)l;
    return {};
}

}  // namespace

std::vector<std::string> overhead_default_codecs() {
    return {"lz4:1", "lz4:9", "zstd:1", "zstd:3", "gzip:1", "gzip:6", "snappy"};
}

std::vector<std::unique_ptr<Subject>> overhead_subjects(vorlex_codec* codec,
                                                        std::optional<int> level) {
    std::vector<std::unique_ptr<Subject>> out;
    auto [raw, block] = direct_twins(codec, level);
    if (!raw) return out;
    out.push_back(std::make_unique<HostRaw>(codec, level));
    out.push_back(std::move(raw));
    if (block && vorlex_codec_has_block_form(codec)) {
        out.push_back(std::make_unique<HostBlocks>(codec, level));
        out.push_back(std::move(block));
    }
    out.push_back(std::make_unique<Frame>(codec, level));
    return out;
}

std::string render_overhead(const std::vector<Row>& rows, Format format) {
    // (group, codec) -> row
    std::map<std::pair<std::string, std::string>, const Row*> by;
    for (const Row& r : rows) by[{r.input, r.codec}] = &r;
    struct Line {
        std::string input, ours, direct;
        double ours_c, direct_c, ours_d, direct_d;
    };
    std::vector<Line> lines;
    for (const Row& r : rows) {
        if (r.peer) continue;
        std::string twin;
        if (r.codec.ends_with(" frame")) {
            twin = r.codec.substr(0, r.codec.size() - 6) + " block direct";
        } else {
            twin = r.codec + " direct";
        }
        const auto it = by.find({r.input, twin});
        if (it == by.end()) continue;
        const Row& d = *it->second;
        lines.push_back({r.input, r.codec, twin, r.compress_mb_s(), d.compress_mb_s(),
                         r.decompress_mb_s(), d.decompress_mb_s()});
    }
    if (lines.empty()) return {};
    const bool md = format == Format::markdown;
    const bool csv = format == Format::csv;
    std::string s = csv ? "input,vorlex,direct,comp_mb_s,direct_comp_mb_s,comp_ratio,dec_mb_s,"
                          "direct_dec_mb_s,dec_ratio\n"
                        : "\nHost overhead: vorlex over the same library called directly "
                          "(same format, reused contexts); 1.000 = no cost\n\n";
    const char* row_fmt = csv  ? "%s,%s,%s,%.1f,%.1f,%.3f,%.1f,%.1f,%.3f\n"
                          : md ? "| %s | %s | %s | %.1f | %.1f | %.3f | %.1f | %.1f | %.3f |\n"
                               : "%-8s %-16s %-20s %10.1f %10.1f %7.3f %10.1f %10.1f %7.3f\n";
    if (md) {
        s += "| input | vorlex | direct | comp MB/s | direct | comp ratio | dec MB/s | direct | "
             "dec ratio |\n|---|---|---|---:|---:|---:|---:|---:|---:|\n";
    } else if (!csv) {
        char head[256];
        std::snprintf(head, sizeof head, "%-8s %-16s %-20s %10s %10s %7s %10s %10s %7s\n", "input",
                      "vorlex", "direct", "comp MB/s", "direct", "ratio", "dec MB/s", "direct",
                      "ratio");
        s += head;
    }
    for (const Line& l : lines) {
        char buf[512];
        std::snprintf(buf, sizeof buf, row_fmt, l.input.c_str(), l.ours.c_str(), l.direct.c_str(),
                      l.ours_c, l.direct_c, l.direct_c > 0 ? l.ours_c / l.direct_c : 0.0, l.ours_d,
                      l.direct_d, l.direct_d > 0 ? l.ours_d / l.direct_d : 0.0);
        s += buf;
    }
    return s;
}

}  // namespace vorlex::bench
