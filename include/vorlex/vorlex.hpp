// A thin C++ face over <vorlex/vorlex.h>: codec handles, spans in, vectors
// out, owning stream handles, and the frame functions and streams. Nothing
// throws except std::bad_alloc from the vectors; every other outcome is a
// vorlex_status (with vorlex::frame_last_error() for the frame functions).
// C++17 or later; with C++20 the views are std::span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#if __cplusplus >= 202002L
#include <span>
#endif

#include <vorlex/vorlex.h>

namespace vorlex {

using Bytes = std::vector<uint8_t>;

#if __cplusplus >= 202002L
using ByteView = std::span<const uint8_t>;
using ByteSpan = std::span<uint8_t>;
#else
// What std::span<T> offers here, for C++17: a pointer and a length.
template <class T>
class View {
public:
    constexpr View() = default;
    constexpr View(T* data, size_t size) : data_(data), size_(size) {}
    template <class C, class = decltype(std::declval<C&>().data()),
              class = std::enable_if_t<std::is_convertible_v<
                  decltype(std::declval<C&>().data()), T*>>>
    constexpr View(C& c) : data_(c.data()), size_(c.size()) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    constexpr View(const View<U>& v) : data_(v.data()), size_(v.size()) {}

    constexpr T* data() const { return data_; }
    constexpr size_t size() const { return size_; }
    constexpr bool empty() const { return size_ == 0; }
    constexpr T* begin() const { return data_; }
    constexpr T* end() const { return data_ + size_; }
    constexpr T& operator[](size_t i) const { return data_[i]; }
    constexpr View subspan(size_t offset) const { return View(data_ + offset, size_ - offset); }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
};
using ByteView = View<const uint8_t>;
using ByteSpan = View<uint8_t>;
#endif

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
    // A filter for frames (vorlex_options_set_filter): VORLEX_STATUS_INVALID
    // for an unknown filter or a typesize out of range. Throws std::bad_alloc.
    vorlex_status set_filter(int filter, unsigned typesize) {
        if (!o_) {
            o_.reset(vorlex_options_new());
            if (!o_) throw std::bad_alloc();
        }
        return vorlex_options_set_filter(o_.get(), filter, typesize);
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
    vorlex_status compress(ByteView in, ByteSpan out, size_t& produced,
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
        const vorlex_status st = compress(in, ByteSpan(out), len, options);
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

// ---- Frames ------------------------------------------------------------------

// What the calling thread's last failing frame call said.
inline std::string frame_last_error() { return vorlex_frame_last_error(); }

// One frame of in, byte-identical to `vorlex -B block_size --codec NAME`
// (block_size 0: 1 MiB), compressed with options. out is empty on failure.
inline vorlex_status frame_compress(const Codec& codec, ByteView in, Bytes& out,
                                    size_t block_size = 0, const Options& options = {}) {
    const size_t bound = vorlex_frame_compress_bound(codec.get(), in.size(), block_size);
    out.resize(bound);
    size_t len = bound;
    // A bound of 0 (bad arguments, a size too large) lets the call say why.
    const vorlex_status st = vorlex_frame_compress_with_options(
        codec.get(), options.get(), block_size, out.data(), &len, in.data(), in.size());
    out.resize(ok(st) ? len : 0);
    return st;
}

// Every frame of in, decoded and checked. The output is sized from the
// records first (vorlex_frame_content_size): for untrusted input of unknown
// origin, check that size, or use a FrameReader, which allocates only as
// data actually decodes. out is empty on failure.
inline vorlex_status frame_decompress(ByteView in, Bytes& out) {
    uint64_t size = 0;
    vorlex_status st = vorlex_frame_content_size(in.data(), in.size(), &size);
    out.clear();
    if (!ok(st)) return st;
    if (size > out.max_size()) return VORLEX_STATUS_TOO_LARGE;
    out.resize(size_t(size));
    size_t len = out.size();
    st = vorlex_frame_decompress(out.data(), &len, in.data(), in.size());
    out.resize(ok(st) ? len : 0);
    return st;
}

struct FrameWriterDeleter {
    void operator()(vorlex_frame_writer* w) const { vorlex_frame_writer_free(w); }
};
struct FrameReaderDeleter {
    void operator()(vorlex_frame_reader* r) const { vorlex_frame_reader_free(r); }
};

namespace detail {
// Steps a writer or reader over in, appending its output to out, until in
// is consumed and nothing waits (or it stops, or fails). in is advanced.
template <class Step>
vorlex_status drive(Step step, ByteView& in, Bytes& out) {
    constexpr size_t CHUNK = size_t(1) << 16;
    vorlex_frame_buffers b{in.data(), in.size(), nullptr, 0};
    vorlex_status st;
    do {
        const size_t had = out.size();
        out.resize(had + CHUNK);
        b.out_next = out.data() + had;
        b.out_avail = CHUNK;
        st = step(b);
        out.resize(out.size() - b.out_avail);
    } while (st == VORLEX_STATUS_PROCESSING);
    in = in.subspan(in.size() - b.in_avail);
    return st;
}
}  // namespace detail

// A frame written in pieces: write() as often as needed, the last with
// VORLEX_OPERATION_FINISH.
class FrameWriter {
public:
    FrameWriter() = default;
    vorlex_status open(const Codec& codec, size_t block_size = 0, unsigned threads = 1,
                       const Options& options = {}) {
        vorlex_frame_writer* w = nullptr;
        vorlex_status st = vorlex_frame_writer_new(codec.get(), block_size, threads, &w);
        if (st > 0 && options.get() != nullptr) st = vorlex_frame_writer_set_options(w, options.get());
        w_.reset(st > 0 ? w : nullptr);
        if (st <= 0) vorlex_frame_writer_free(w);
        return st;
    }
    explicit operator bool() const { return w_ != nullptr; }
    vorlex_frame_writer* get() const { return w_.get(); }

    // Takes all of in (advancing it) and appends the frame bytes that are
    // ready to out.
    vorlex_status write(ByteView& in, Bytes& out,
                        vorlex_operation op = VORLEX_OPERATION_PROCESS) {
        return detail::drive([this, op](vorlex_frame_buffers& b) { return process(b, op); }, in,
                             out);
    }
    vorlex_status write(ByteView&& in, Bytes& out,
                        vorlex_operation op = VORLEX_OPERATION_PROCESS) {
        return write(in, out, op);
    }
    // Ends the frame: the rest of the output and the end record.
    vorlex_status finish(Bytes& out) {
        ByteView none;
        return write(none, out, VORLEX_OPERATION_FINISH);
    }
    vorlex_status process(vorlex_frame_buffers& b, vorlex_operation op) {
        return vorlex_frame_writer_process(w_.get(), &b, op);
    }
    vorlex_frame_info info() const {
        vorlex_frame_info i{};
        vorlex_frame_writer_get_info(w_.get(), &i);
        return i;
    }

private:
    std::unique_ptr<vorlex_frame_writer, FrameWriterDeleter> w_;
};

// Frames read in pieces: read() as data arrives, then finish().
class FrameReader {
public:
    FrameReader() = default;
    vorlex_status open(unsigned threads = 1, size_t memory_limit = 0, uint32_t flags = 0) {
        vorlex_frame_reader* r = nullptr;
        const vorlex_status st = vorlex_frame_reader_new(threads, memory_limit, flags, &r);
        r_.reset(r);
        return st;
    }
    explicit operator bool() const { return r_ != nullptr; }
    vorlex_frame_reader* get() const { return r_.get(); }

    // Takes in (advancing it; with VORLEX_FRAME_STOP_AT_END it may stop
    // after a frame) and appends what decodes to out.
    vorlex_status read(ByteView& in, Bytes& out,
                       vorlex_operation op = VORLEX_OPERATION_PROCESS) {
        return detail::drive([this, op](vorlex_frame_buffers& b) { return process(b, op); }, in,
                             out);
    }
    vorlex_status read(ByteView&& in, Bytes& out,
                       vorlex_operation op = VORLEX_OPERATION_PROCESS) {
        return read(in, out, op);
    }
    // The input is complete: the rest of the output; a frame cut short fails.
    vorlex_status finish(Bytes& out) {
        ByteView none;
        return read(none, out, VORLEX_OPERATION_FINISH);
    }
    vorlex_status process(vorlex_frame_buffers& b, vorlex_operation op) {
        return vorlex_frame_reader_process(r_.get(), &b, op);
    }
    vorlex_frame_info info() const {
        vorlex_frame_info i{};
        vorlex_frame_reader_get_info(r_.get(), &i);
        return i;
    }

private:
    std::unique_ptr<vorlex_frame_reader, FrameReaderDeleter> r_;
};

}  // namespace vorlex
