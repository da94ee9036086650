// vorlex.codecs() and vorlex.Codec: the raw codecs, whose output is the
// codec's own format with no framing, as `vorlex --raw` writes it.
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

struct AlignedCopy {
    explicit AlignedCopy(size_t n) : block(new uint8_t[n + INPUT_ALIGNMENT]) {
        const auto address = reinterpret_cast<uintptr_t>(block.get());
        data = block.get() + (INPUT_ALIGNMENT - address % INPUT_ALIGNMENT) % INPUT_ALIGNMENT;
    }
    std::unique_ptr<uint8_t[]> block;
    uint8_t* data;
};

class Codec {
public:
    explicit Codec(const py::object& name)
        : codec_(codec_argument(name, "name")), name_(vorlex_codec_get_name(codec_)) {}

    const std::string& name() const { return name_; }
    bool records_size() const { return vorlex_codec_records_size(codec_) != 0; }
    bool needs_exact_size() const { return vorlex_codec_needs_exact_size(codec_) != 0; }

    size_t max_compressed_size(const py::object& n) const {
        return vorlex_get_max_compressed_size(codec_, size_argument(n, "n", PY_SSIZE_T_MAX));
    }

    py::bytes compress(const py::object& data) const {
        ByteView in(data, "data");
        const size_t n = in.size();
        const size_t bound = vorlex_get_max_compressed_size(codec_, n);
        size_t capacity = bound != 0 ? bound : n + n / 16 + 1024;
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
                st = vorlex_compress(codec_, out.data(), &length, src, n, nullptr);
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
            if (st <= 0) raise_status("codec '" + name_ + "': cannot read the size", st);
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
    vorlex_codec* codec_;
    std::string name_;
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
                      "Codec(name)\n\n"
                      "A raw codec: its own format, with no framing, size record or checksum\n"
                      "beyond what the codec itself has (as `vorlex --raw` writes it). Prefer\n"
                      "vorlex.compress()/decompress() for data that must describe itself.\n"
                      "Raises vorlex.Error if the codec's plug-in cannot be loaded.")
        .def(py::init<const py::object&>(), py::arg("name"))
        .def_property_readonly("name", &Codec::name, "The codec's name.")
        .def_property_readonly("records_size", &Codec::records_size,
                               "True when the compressed data records its decompressed size\n"
                               "(decompress() may then be called without a size).")
        .def_property_readonly("needs_exact_size", &Codec::needs_exact_size,
                               "True when decompress() must be given the exact decompressed\n"
                               "size rather than a capacity.")
        .def("max_compressed_size", &Codec::max_compressed_size, py::arg("n"),
             "max_compressed_size(n) -> int\n\n"
             "The most bytes compressing n bytes can take (0 if the codec does not say).\n"
             "For brieflz and fari this covers ordinary data, not every input.")
        .def("compress", &Codec::compress, py::arg("data"),
             "compress(data) -> bytes\n\n"
             "Compress a bytes-like object. The result equals what\n"
             "`vorlex --raw -c --codec NAME` writes for the same bytes. The GIL is\n"
             "released while the codec works.")
        .def("decompress", &Codec::decompress, py::arg("data"), py::arg("size") = py::none(),
             "decompress(data, size=None) -> bytes\n\n"
             "Decompress raw codec data. size is the exact decompressed size for codecs\n"
             "that need it (needs_exact_size), else a capacity: at most that many bytes\n"
             "are produced. It may be left out for codecs that record their size.\n"
             "Raises vorlex.Error on damaged data.")
        .def("__repr__", [](const Codec& c) { return "vorlex.Codec('" + c.name() + "')"; })
        .def("__eq__", [](const Codec& a, const Codec& b) { return a.name() == b.name(); },
             py::is_operator())
        .def("__hash__", [](const Codec& c) { return py::hash(py::str(c.name())); })
        .def(py::pickle([](const Codec& c) { return py::make_tuple(c.name()); },
                        [](const py::tuple& t) {
                            if (t.size() != 1) throw py::value_error("bad vorlex.Codec state");
                            return Codec(t[0]);
                        }));
}

}  // namespace vorlex::python
