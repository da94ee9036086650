// vorlex.compress/decompress: whole frames in one call, through the
// library's one-shot frame functions.
#include <algorithm>
#include <memory>
#include <string>

#include "bindings.hpp"
#include "buffers.hpp"
#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

py::bytes compress(const py::object& data, const py::object& codec_name,
                   const py::object& block_size_arg, const py::object& level,
                   const py::object& filter, const py::object& typesize) {
    vorlex_codec* codec = codec_argument(codec_name);
    // None: the codec's own default (0 to the library), as the tool's.
    const size_t block_size = block_size_arg.is_none()
                                  ? 0
                                  : size_argument(block_size_arg, "block_size", MAX_BLOCK_SIZE);
    if (block_size == 0 && !block_size_arg.is_none()) {
        throw py::value_error("block_size must be at least 1");
    }
    const Options options =
        frame_options(level_argument(level, codec), filter_argument(filter, typesize, data));
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

struct ReaderFree {
    void operator()(vorlex_frame_reader* r) const { vorlex_frame_reader_free(r); }
};

// The first output buffer for a frame that claims `claimed` bytes: all of it
// when that is in proportion to the input, else a start that grows as the
// blocks decode and verify. A damaged claim fails at its first bad block
// with little allocated, never with all it claims.
size_t first_capacity(size_t claimed, size_t input) {
    const size_t in_proportion =
        std::max<size_t>(size_t(1) << 20, input > SIZE_MAX / 4 ? SIZE_MAX : input * 4);
    return std::min(claimed, in_proportion);
}

py::bytes decompress(const py::object& data, const py::object& max_length) {
    ByteView in(data, "data");
    const size_t claimed = content_size(in);
    if (!max_length.is_none()) {
        const size_t limit = size_argument(max_length, "max_length", PY_SSIZE_T_MAX);
        if (claimed > limit) {
            raise_error("the frames hold " + std::to_string(claimed) +
                        " bytes, more than max_length=" + std::to_string(limit));
        }
    }
    size_t capacity = first_capacity(claimed, in.size());
    BytesResult out(capacity);
    if (capacity == claimed) return out.finish(decode(in, out.data(), out.capacity()));

    vorlex_frame_reader* made = nullptr;
    vorlex_status st = vorlex_frame_reader_new(1, 0, 0, &made);
    std::unique_ptr<vorlex_frame_reader, ReaderFree> reader(made);
    if (st <= 0) raise_frame_error(st);
    vorlex_frame_buffers b{in.data(), in.size(), nullptr, 0};
    size_t produced = 0;
    for (;;) {
        b.out_next = out.data() + produced;
        b.out_avail = capacity - produced;
        {
            py::gil_scoped_release nogil;
            st = vorlex_frame_reader_process(reader.get(), &b, VORLEX_OPERATION_FINISH);
        }
        produced = capacity - b.out_avail;
        if (st != VORLEX_STATUS_PROCESSING) break;
        // The blocks so far checked out: room for as much again, up to
        // what the records claim (which the size walk checked).
        if (capacity == claimed) raise_error("the frames decode to more than they claim");
        capacity = capacity > claimed / 2 ? claimed : capacity * 2;
        out.resize(capacity);
    }
    if (st <= 0) raise_frame_error(st);
    return out.finish(produced);
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
          py::arg("filter") = py::none(), py::arg("typesize") = py::none(),
          "compress(data, codec='quicklz', *, block_size=None, level=None, filter=None,\n"
          "         typesize=None) -> bytes\n\n"
          "One frame of a bytes-like object: the data cut into blocks of block_size\n"
          "bytes (1 to 64 MiB; None: the codec's default, 16 MiB for zstd and\n"
          "1 MiB for the others, as the tool's), each compressed by the codec and checksummed, the\n"
          "same bytes `vorlex -c -B <block_size> --codec <codec> [--level <level>]`\n"
          "writes. level is the codec's compression level (None: its default; see\n"
          "Codec(name).levels); codecs without levels ignore it, and decompressing\n"
          "needs no level. filter rearranges each block of typesize-byte elements\n"
          "before the codec: 'shuffle', 'bitshuffle', 'delta', 'auto' (the best per\n"
          "block) or None; typesize (1 to 255) defaults to the item size of data\n"
          "(a numpy array's itemsize). The frame records the filter: decompress()\n"
          "needs nothing. The data is not copied, and the GIL is released while the\n"
          "codec works. Raises vorlex.Error for an unknown codec, ValueError for a\n"
          "level the codec does not have or an unknown filter.");
    m.def("decompress", &decompress, py::arg("data"), py::kw_only(),
          py::arg("max_length") = py::none(),
          "decompress(data, *, max_length=None) -> bytes\n\n"
          "The content of the frames in a bytes-like object (concatenated frames\n"
          "too; each names its codec). Every checksum is verified. The output\n"
          "grows as blocks decode, so damaged records claiming more than the data\n"
          "holds fail without taking that memory. max_length bounds the content:\n"
          "frames holding more raise vorlex.Error before anything is decoded.\n"
          "Raises vorlex.Error for damaged, truncated or trailing data or an\n"
          "unknown codec.");
    m.def("_decompress_into", &decompress_into, py::arg("data"), py::arg("out"),
          "_decompress_into(data, out) -> int\n\n"
          "As decompress(), into the writable buffer out; returns the bytes written.\n"
          "vorlex.Error when the content does not fit.");
}

}  // namespace vorlex::python
