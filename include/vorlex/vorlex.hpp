// A thin C++20 face over <vorlex/vorlex.h>: codec handles, spans in, vectors
// out, and an owning stream handle. Nothing throws except std::bad_alloc from
// the vectors; every other outcome is a vorlex_status.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <vorlex/vorlex.h>

namespace vorlex {

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

inline bool ok(vorlex_status st) { return st > 0; }

// Compression settings (vorlex_options): empty means every default, and so
// does a default-constructed Options until a level is set.
class Options {
public:
    Options() = default;
    // Options with level set; throws std::bad_alloc.
    static Options with_level(int level) {
        Options o;
        o.set_level(level);
        return o;
    }
    // Throws std::bad_alloc.
    void set_level(int level) {
        if (!o_) {
            o_.reset(vorlex_options_new());
            if (!o_) throw std::bad_alloc();
        }
        vorlex_options_set_level(o_.get(), level);
    }
    void clear_level() {
        if (o_) vorlex_options_clear_level(o_.get());
    }
    // For the C API; NULL while nothing was ever set.
    vorlex_options* get() const { return o_.get(); }

private:
    struct Free {
        void operator()(vorlex_options* o) const { vorlex_options_free(o); }
    };
    std::unique_ptr<vorlex_options, Free> o_;
};

// A codec's compression levels (vorlex_codec_get_levels).
struct Levels {
    int min = 0;
    int max = 0;
    int default_level = 0;
};

class Codec {
public:
    Codec() = default;
    explicit Codec(vorlex_codec* c) : c_(c) {}

    // The codec called name, or an empty handle (see load_error).
    static Codec find(const std::string& name) { return Codec(vorlex_get_codec(name.c_str())); }
    static std::string load_error(const std::string& name) {
        const char* e = vorlex_get_codec_error(name.c_str());
        return e ? e : "";
    }

    explicit operator bool() const { return c_ != nullptr; }
    vorlex_codec* get() const { return c_; }
    std::string_view name() const { return vorlex_codec_get_name(c_); }
    std::string_view path() const { return vorlex_codec_get_path(c_); }
    bool records_size() const { return vorlex_codec_records_size(c_) != 0; }
    bool needs_exact_size() const { return vorlex_codec_needs_exact_size(c_) != 0; }
    size_t max_compressed_size(size_t n) const { return vorlex_get_max_compressed_size(c_, n); }
    bool native_streams() const {
        return (vorlex_codec_get_info_flags(c_) & VORLEX_INFO_NATIVE_STREAMS) != 0;
    }
    // The levels it has, or nothing for a codec without levels.
    std::optional<Levels> levels() const {
        Levels l;
        if (!ok(vorlex_codec_get_levels(c_, &l.min, &l.max, &l.default_level))) return std::nullopt;
        return l;
    }

    // Compress into out[0..capacity); *produced on success.
    vorlex_status compress(ByteView in, std::span<uint8_t> out, size_t& produced,
                           const Options& options = {}) const {
        size_t len = out.size();
        const vorlex_status st =
            vorlex_compress(c_, out.data(), &len, in.data(), in.size(), options.get());
        if (ok(st)) produced = len;
        return st;
    }

    // Compress into out, sized to the worst case and then to the result.
    vorlex_status compress(ByteView in, Bytes& out, const Options& options = {}) const {
        size_t cap = max_compressed_size(in.size());
        if (cap == 0) cap = in.size() + in.size() / 2 + 1024;
        out.resize(cap);
        size_t len = 0;
        const vorlex_status st = compress(in, std::span<uint8_t>(out), len, options);
        out.resize(ok(st) ? len : 0);
        return st;
    }

    // Decompress; size is the capacity, or the exact size for codecs that need it.
    vorlex_status decompress(ByteView in, Bytes& out, size_t size) const {
        out.resize(size);
        size_t len = size;
        const vorlex_status st =
            vorlex_decompress(c_, out.data(), &len, in.data(), in.size(), nullptr);
        out.resize(ok(st) ? len : 0);
        return st;
    }

    // Decompress data that records its size (VORLEX_STATUS_UNSUPPORTED otherwise).
    vorlex_status decompress(ByteView in, Bytes& out) const {
        size_t size = 0;
        const vorlex_status st = vorlex_get_uncompressed_size(c_, in.data(), in.size(), &size);
        if (!ok(st)) return st;
        return decompress(in, out, size);
    }

private:
    vorlex_codec* c_ = nullptr;
};

// Every codec the host can load, in name order.
inline std::vector<Codec> available_codecs() {
    std::vector<vorlex_codec*> raw(vorlex_list_codecs(nullptr, 0));
    raw.resize(vorlex_list_codecs(raw.data(), raw.size()));
    std::vector<Codec> out;
    for (vorlex_codec* c : raw) out.emplace_back(c);
    return out;
}

struct StreamDeleter {
    void operator()(vorlex_stream* s) const { vorlex_stream_free(s); }
};
using StreamPtr = std::unique_ptr<vorlex_stream, StreamDeleter>;

// options must outlive the stream.
inline vorlex_status make_stream(const Codec& codec, vorlex_stream_type type, StreamPtr& out,
                                 const Options& options = {}) {
    vorlex_stream* s = nullptr;
    const vorlex_status st = vorlex_stream_new(codec.get(), type, options.get(), &s);
    out.reset(s);
    return st;
}

}  // namespace vorlex
