// vorlex.codecs() and vorlex.Codec: the raw codecs, whose output is the
// codec's own format with no framing, as `vorlex --raw` writes it.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bindings.hpp"
#include "buffers.hpp"
#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

// lzjb's output depends on its input's address modulo 1024; compressing from
// an address with these low bits clear gives the same bytes as the CLI,
// whose buffers are aligned so, wherever the caller's data lives.
constexpr size_t INPUT_ALIGNMENT = 1024;
// Some codecs leave filler bytes within the first block header unwritten;
// zeroing this much of the output first makes the output deterministic.
constexpr size_t ZEROED_HEAD = 64;
// A worst-case size that covers ordinary data only gets this many tries,
// each with twice the room.
constexpr int COMPRESS_TRIES = 3;

// Codecs with native streams (copy, lz4, zstd, gzip) are driven as the tool
// drives them in raw mode: input in pieces of this size, the last (short,
// perhaps empty) one with FINISH. Their output depends on it: zstd records
// the content size only when all input comes with the first step, and lz4
// frames written by a stream never record it.
constexpr size_t STREAM_PIECE = size_t(1) << 18;
// Output of a stream with no better estimate starts at this size and
// doubles as it fills.
constexpr size_t STREAM_FIRST_OUTPUT = size_t(1) << 16;

struct AlignedCopy {
    explicit AlignedCopy(size_t n) : block(new uint8_t[n + INPUT_ALIGNMENT]) {
        const auto address = reinterpret_cast<uintptr_t>(block.get());
        data = block.get() + (INPUT_ALIGNMENT - address % INPUT_ALIGNMENT) % INPUT_ALIGNMENT;
    }
    std::unique_ptr<uint8_t[]> block;
    uint8_t* data;
};

struct StreamFree {
    void operator()(vorlex_stream* stream) const { vorlex_stream_free(stream); }
};

class Codec {
public:
    Codec(const py::object& name, const py::object& level)
        : codec_(codec_argument(name, "name")),
          name_(vorlex_codec_get_name(codec_)),
          level_(level_argument(level, codec_)),
          options_(level_options(level_)) {}

    const std::string& name() const { return name_; }
    const std::optional<int>& level() const { return level_; }
    bool records_size() const { return vorlex_codec_records_size(codec_) != 0; }
    bool needs_exact_size() const { return vorlex_codec_needs_exact_size(codec_) != 0; }
    bool streams() const {
        return (vorlex_codec_get_info_flags(codec_) & VORLEX_INFO_NATIVE_STREAMS) != 0;
    }

    py::object level_object() const { return level_ ? py::object(py::int_(*level_)) : py::none(); }
    py::object levels() const {
        int lo = 0, hi = 0, dflt = 0;
        if (vorlex_codec_get_levels(codec_, &lo, &hi, &dflt) != VORLEX_STATUS_OK) return py::none();
        return py::make_tuple(lo, hi, dflt);
    }

    size_t max_compressed_size(const py::object& n) const {
        return vorlex_get_max_compressed_size(codec_, size_argument(n, "n", PY_SSIZE_T_MAX));
    }

    py::bytes compress(const py::object& data) const {
        ByteView in(data, "data");
        const size_t n = in.size();
        const size_t bound = vorlex_get_max_compressed_size(codec_, n);
        size_t capacity = bound != 0 ? bound : n + n / 16 + 1024;
        if (streams()) return run_stream(VORLEX_STREAM_COMPRESS, in, capacity);
        std::unique_ptr<AlignedCopy> copy;
        const uint8_t* src = in.data();
        if (reinterpret_cast<uintptr_t>(src) % INPUT_ALIGNMENT != 0) {
            copy = std::make_unique<AlignedCopy>(n);
            py::gil_scoped_release nogil;
            if (n != 0) std::memcpy(copy->data, src, n);
            src = copy->data;
        }
        for (int attempt = 1;; ++attempt) {
            BytesResult out(capacity);
            vorlex_status st;
            size_t length = capacity;
            {
                py::gil_scoped_release nogil;
                std::memset(out.data(), 0, std::min(capacity, ZEROED_HEAD));
                st = vorlex_compress(codec_, out.data(), &length, src, n, options_.get());
            }
            if (st > 0) return out.finish(length);
            if (st == VORLEX_STATUS_OUTPUT_FULL && attempt < COMPRESS_TRIES &&
                capacity <= SIZE_MAX / 4) {
                capacity *= 2;
                continue;
            }
            if (st == VORLEX_STATUS_FAILED) {
                raise_error("codec '" + name_ + "' " +
                            (n == 0 ? std::string("refused an empty input")
                                    : "failed on the input (out of memory, or an input it "
                                      "cannot take)"));
            }
            raise_status("codec '" + name_ + "'", st);
        }
    }

    py::bytes decompress(const py::object& data, const py::object& size) const {
        ByteView in(data, "data");
        size_t capacity = 0;
        if (!size.is_none()) {
            capacity = size_argument(size, "size", PY_SSIZE_T_MAX);
        } else if (records_size()) {
            const vorlex_status st =
                vorlex_get_uncompressed_size(codec_, in.data(), in.size(), &capacity);
            // zstd and lz4 data written by a stream leaves the size out:
            // their streams decode it anyway.
            if (st == VORLEX_STATUS_UNSUPPORTED && streams()) {
                return run_stream(VORLEX_STREAM_DECOMPRESS, in,
                                  std::max(in.size(), STREAM_FIRST_OUTPUT));
            }
            if (st <= 0) raise_status("codec '" + name_ + "': cannot read the size", st);
        } else if (streams()) {
            return run_stream(VORLEX_STREAM_DECOMPRESS, in,
                              std::max(in.size(), STREAM_FIRST_OUTPUT));
        } else {
            throw py::value_error("codec '" + name_ + "' records no size: give size");
        }
        BytesResult out(capacity);
        size_t length = capacity;
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            st = vorlex_decompress(codec_, out.data(), &length, in.data(), in.size(), nullptr);
        }
        if (st <= 0) raise_status("cannot decode (" + name_ + ")", st);
        return out.finish(length);
    }

private:
    // All of `in` through a new stream, as the tool streams raw data; the
    // output starts at `capacity` bytes and grows as needed.
    py::bytes run_stream(vorlex_stream_type type, const ByteView& in, size_t capacity) const {
        const bool compressing = type == VORLEX_STREAM_COMPRESS;
        vorlex_stream* made = nullptr;
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            st = vorlex_stream_new(codec_, type, compressing ? options_.get() : nullptr, &made);
        }
        std::unique_ptr<vorlex_stream, StreamFree> stream(made);
        if (st <= 0) raise_status("codec '" + name_ + "'", st);
        BytesResult out(std::max<size_t>(capacity, 1));
        size_t consumed = 0, produced = 0;
        for (bool last = false; !last;) {
            const size_t piece =
                compressing ? std::min(STREAM_PIECE, in.size() - consumed) : in.size();
            last = !compressing || piece < STREAM_PIECE;
            stream->in_next = in.data() + consumed;
            stream->in_avail = piece;
            const vorlex_operation op = last ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS;
            do {
                if (produced == out.capacity()) {
                    if (out.capacity() > SIZE_MAX / 2) throw std::bad_alloc();
                    out.resize(out.capacity() * 2);
                }
                py::gil_scoped_release nogil;
                stream->out_next = out.data() + produced;
                stream->out_avail = out.capacity() - produced;
                st = vorlex_stream_process(stream.get(), op);
                produced = out.capacity() - stream->out_avail;
                if (st <= 0) break;
            } while (st == VORLEX_STATUS_PROCESSING || stream->in_avail != 0);
            if (st <= 0) {
                raise_status(std::string(compressing ? "cannot encode (" : "cannot decode (") +
                                 name_ + ")",
                             st);
            }
            consumed += piece;
        }
        return out.finish(produced);
    }

    vorlex_codec* codec_;
    std::string name_;
    std::optional<int> level_;
    // Shared by every call: the library only reads them.
    std::shared_ptr<vorlex_options> options_;
};

py::list list_codecs() {
    std::vector<vorlex_codec*> found;
    size_t n = 0;
    {
        py::gil_scoped_release nogil;
        // The plug-in folders can change between the two calls.
        do {
            found.resize(n);
            n = vorlex_list_codecs(found.data(), found.size());
        } while (n > found.size());
    }
    py::list names;
    for (size_t i = 0; i < n; ++i) names.append(py::str(vorlex_codec_get_name(found[i])));
    return names;
}

}  // namespace

vorlex_codec* codec_argument(py::handle name, const char* argument) {
    if (!PyUnicode_Check(name.ptr())) {
        throw py::type_error(std::string(argument) + " must be a str, not '" +
                             Py_TYPE(name.ptr())->tp_name + "'");
    }
    const std::string text = name.cast<std::string>();
    vorlex_codec* codec = nullptr;
    {
        py::gil_scoped_release nogil;  // the first request loads a shared library
        if (text.find('\0') == std::string::npos) codec = vorlex_get_codec(text.c_str());
    }
    if (codec == nullptr) raise_error(codec_unavailable(text));
    return codec;
}

void define_codecs(py::module_& m) {
    m.def("codecs", &list_codecs,
          "codecs() -> list[str]\n\n"
          "The names of the codecs whose plug-ins are present and load, in name order.");

    py::class_<Codec>(m, "Codec",
                      "Codec(name, *, level=None)\n\n"
                      "A raw codec: its own format, with no framing, size record or checksum\n"
                      "beyond what the codec itself has (as `vorlex --raw` writes it). Prefer\n"
                      "vorlex.compress()/decompress() for data that must describe itself.\n"
                      "level is the compression level of compress(), as with\n"
                      "zstandard.ZstdCompressor(level=...): None is the codec's default;\n"
                      "codecs without levels ignore it. Raises vorlex.Error if the codec's\n"
                      "plug-in cannot be loaded, ValueError for a level it does not have.")
        .def(py::init<const py::object&, const py::object&>(), py::arg("name"), py::kw_only(),
             py::arg("level") = py::none())
        .def_property_readonly("name", &Codec::name, "The codec's name.")
        .def_property_readonly("level", &Codec::level_object,
                               "The compression level given, or None (the codec's default).")
        .def_property_readonly("levels", &Codec::levels,
                               "The codec's levels as (min, max, default), or None for a\n"
                               "codec without levels.")
        .def_property_readonly("records_size", &Codec::records_size,
                               "True when the codec's format can record the decompressed size\n"
                               "(what compress() writes does; decompress() may then be called\n"
                               "without a size).")
        .def_property_readonly("needs_exact_size", &Codec::needs_exact_size,
                               "True when decompress() must be given the exact decompressed\n"
                               "size rather than a capacity.")
        .def("max_compressed_size", &Codec::max_compressed_size, py::arg("n"),
             "max_compressed_size(n) -> int\n\n"
             "The most bytes compressing n bytes can take (0 if the codec does not say).\n"
             "For brieflz and fari this covers ordinary data, not every input.")
        .def("compress", &Codec::compress, py::arg("data"),
             "compress(data) -> bytes\n\n"
             "Compress a bytes-like object at the codec's level. The result equals\n"
             "what `vorlex --raw -c --codec NAME [--level L]` writes for the same\n"
             "bytes. The GIL is released while the codec works.")
        .def("decompress", &Codec::decompress, py::arg("data"), py::arg("size") = py::none(),
             "decompress(data, size=None) -> bytes\n\n"
             "Decompress raw codec data. size is the exact decompressed size for codecs\n"
             "that need it (needs_exact_size), else a capacity: at most that many bytes\n"
             "are produced. It may be left out for codecs that record their size\n"
             "(quicklz, copy, snappy; lz4 and zstd when the data holds it) and for\n"
             "those that stream (lz4, zstd, gzip), which then decode the data whatever\n"
             "its length. Raises vorlex.Error on damaged data.")
        .def("__repr__",
             [](const Codec& c) {
                 return "vorlex.Codec('" + c.name() + "'" +
                        (c.level() ? ", level=" + std::to_string(*c.level()) : "") + ")";
             })
        .def("__eq__",
             [](const Codec& a, const Codec& b) {
                 return a.name() == b.name() && a.level() == b.level();
             },
             py::is_operator())
        .def("__hash__",
             [](const Codec& c) { return py::hash(py::make_tuple(c.name(), c.level_object())); })
        .def(py::pickle(
            [](const Codec& c) { return py::make_tuple(c.name(), c.level_object()); },
            [](const py::tuple& t) {
                // (name,) is the state of objects pickled before levels existed.
                if (t.size() != 1 && t.size() != 2) throw py::value_error("bad vorlex.Codec state");
                return Codec(t[0], t.size() == 2 ? py::object(t[1]) : py::object(py::none()));
            }));
}

}  // namespace vorlex::python
