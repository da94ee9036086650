// vorlex.compress/decompress: whole frames in one call, through the
// library's one-shot frame functions.
#include "bindings.hpp"
#include "buffers.hpp"
#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

py::bytes compress(const py::object& data, const py::object& codec_name,
                   const py::object& block_size_arg, const py::object& level) {
    vorlex_codec* codec = codec_argument(codec_name);
    // None: the codec's own default (0 to the library), as the tool's.
    const size_t block_size = block_size_arg.is_none()
                                  ? 0
                                  : size_argument(block_size_arg, "block_size", MAX_BLOCK_SIZE);
    if (block_size == 0 && !block_size_arg.is_none()) {
        throw py::value_error("block_size must be at least 1");
    }
    const Options options = level_options(level_argument(level, codec));
    ByteView in(data, "data");
    const size_t bound = vorlex_frame_compress_bound(codec, in.size(), block_size);
    if (bound == 0) throw std::bad_alloc();  // the size does not fit a size_t
    BytesResult out(bound);
    size_t length = bound;
    vorlex_status st;
    {
        py::gil_scoped_release nogil;
        st = vorlex_frame_compress_with_options(codec, options.get(), block_size, out.data(),
                                                &length, in.data(), in.size());
    }
    if (st <= 0) raise_frame_error(st);
    return out.finish(length);
}

// The content size of the frames in `in`, checked to fit this process.
size_t content_size(const ByteView& in) {
    uint64_t size = 0;
    vorlex_status st;
    {
        py::gil_scoped_release nogil;
        st = vorlex_frame_content_size(in.data(), in.size(), &size);
    }
    if (st <= 0) raise_frame_error(st);
    if (size > uint64_t(PY_SSIZE_T_MAX)) throw std::bad_alloc();
    return size_t(size);
}

// Decode into out[0..capacity); the bytes produced.
size_t decode(const ByteView& in, uint8_t* out, size_t capacity) {
    size_t length = capacity;
    vorlex_status st;
    {
        py::gil_scoped_release nogil;
        st = vorlex_frame_decompress(out, &length, in.data(), in.size());
    }
    if (st <= 0) raise_frame_error(st);
    return length;
}

py::bytes decompress(const py::object& data) {
    ByteView in(data, "data");
    BytesResult out(content_size(in));
    return out.finish(decode(in, out.data(), out.capacity()));
}

size_t decompress_into(const py::object& data, const py::object& target) {
    ByteView in(data, "data");
    ByteView out(target, "out", true);
    return decode(in, out.writable_data(), out.size());
}

}  // namespace

void define_frames(py::module_& m) {
    m.def("compress", &compress, py::arg("data"), py::arg("codec") = "quicklz", py::kw_only(),
          py::arg("block_size") = py::none(), py::arg("level") = py::none(),
          "compress(data, codec='quicklz', *, block_size=None, level=None) -> bytes\n\n"
          "One frame of a bytes-like object: the data cut into blocks of block_size\n"
          "bytes (1 to 64 MiB; None: the codec's default, 16 MiB for zstd and\n"
          "1 MiB for the others, as the tool's), each compressed by the codec and checksummed, the\n"
          "same bytes `vorlex -c -B <block_size> --codec <codec> [--level <level>]`\n"
          "writes. level is the codec's compression level (None: its default; see\n"
          "Codec(name).levels); codecs without levels ignore it, and decompressing\n"
          "needs no level. The data is not copied, and the GIL is released while the\n"
          "codec works. Raises vorlex.Error for an unknown codec, ValueError for a\n"
          "level the codec does not have.");
    m.def("decompress", &decompress, py::arg("data"),
          "decompress(data) -> bytes\n\n"
          "The content of the frames in a bytes-like object (concatenated frames\n"
          "too; each names its codec). Every checksum is verified. Raises\n"
          "vorlex.Error for damaged, truncated or trailing data or an unknown codec.");
    m.def("_decompress_into", &decompress_into, py::arg("data"), py::arg("out"),
          "_decompress_into(data, out) -> int\n\n"
          "As decompress(), into the writable buffer out; returns the bytes written.\n"
          "vorlex.Error when the content does not fit.");
}

}  // namespace vorlex::python
