// FrameFile: the library's seekable frame reader (vorlex_frame_file), under
// vorlex.open()'s seek() and vorlex.dask. It reads the file through a file
// descriptor (pread, without the GIL) or through a Python callable
// read(offset, size) -> bytes (called with the GIL taken back). A mutex
// keeps two Python threads from driving one object at once.
#include <cstring>
#include <mutex>
#include <optional>

#include "bindings.hpp"
#include "buffers.hpp"
#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

class FrameFile {
public:
    FrameFile(const py::object& fd, const py::object& read, const py::object& size) {
        vorlex_status st;
        if (!fd.is_none()) {
            const int descriptor = fd.cast<int>();
            py::gil_scoped_release nogil;
            st = vorlex_frame_file_open_fd(descriptor, &file_);
        } else {
            if (read.is_none() || size.is_none()) {
                throw py::type_error("FrameFile needs fd, or read and size");
            }
            read_ = read;
            const uint64_t n = size.cast<uint64_t>();
            py::gil_scoped_release nogil;
            st = vorlex_frame_file_open(&FrameFile::read_callback, this, n, &file_);
        }
        rethrow_read_error();
        if (st <= 0) raise_frame_error(st);
    }
    ~FrameFile() { vorlex_frame_file_free(file_); }
    FrameFile(const FrameFile&) = delete;
    FrameFile& operator=(const FrameFile&) = delete;

    // Content bytes from offset into target; the count (fewer only at the end).
    size_t readinto_at(uint64_t offset, const py::object& target) {
        ByteView out(target, "out", true);
        size_t n = out.size();
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            std::lock_guard lock(mutex_);
            st = vorlex_frame_file_read_at(file_, offset, out.writable_data(), &n);
        }
        rethrow_read_error();
        if (st <= 0) raise_frame_error(st);
        return n;
    }

    py::bytes read_at(uint64_t offset, size_t size) {
        vorlex_frame_file_info i = info_struct();
        const uint64_t left = offset < i.content_size ? i.content_size - offset : 0;
        // Past a fault the size is not known: let the read say why.
        const size_t capacity = i.complete && left < size ? size_t(left) : size;
        BytesResult out(capacity);
        size_t n = capacity;
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            std::lock_guard lock(mutex_);
            st = vorlex_frame_file_read_at(file_, offset, out.data(), &n);
        }
        rethrow_read_error();
        if (st <= 0) raise_frame_error(st);
        return out.finish(n);
    }

    vorlex_frame_file_info info_struct() const {
        vorlex_frame_file_info i;
        vorlex_frame_file_get_info(file_, &i);
        return i;
    }

    py::dict info() const {
        const vorlex_frame_file_info i = info_struct();
        py::dict d;
        d["content_size"] = i.content_size;
        d["blocks"] = i.blocks;
        d["frames"] = i.frames;
        d["indexed_frames"] = i.indexed_frames;
        d["complete"] = bool(i.complete);
        d["blocks_decoded"] = i.blocks_decoded;
        d["reads"] = i.reads;
        d["bytes_read"] = i.bytes_read;
        return d;
    }

    uint64_t content_size() const { return info_struct().content_size; }
    bool complete() const { return info_struct().complete != 0; }
    std::string fault() const { return vorlex_frame_file_fault(file_); }

    // (content_offset, original_length, record_offset, record_length, frame, number)
    py::tuple block(uint64_t index) const {
        vorlex_frame_block_info b;
        if (vorlex_frame_file_get_block(file_, index, &b) <= 0) {
            throw py::index_error("block index out of range");
        }
        return py::make_tuple(b.content_offset, b.original_length, b.record_offset,
                              b.record_length, b.frame, b.number);
    }

    // Where the block holding content byte offset ends (the content size
    // at or past it): reads that stop there decode no block they do not need.
    uint64_t block_end(uint64_t offset) const {
        uint64_t i;
        if (vorlex_frame_file_find_block(file_, offset, &i) <= 0) return content_size();
        vorlex_frame_block_info b;
        vorlex_frame_file_get_block(file_, i, &b);
        return b.content_offset + b.original_length;
    }

    // Content offsets where blocks start, and the content size last.
    py::list block_starts() const {
        const vorlex_frame_file_info i = info_struct();
        py::list out;
        for (uint64_t k = 0; k < i.blocks; ++k) {
            vorlex_frame_block_info b;
            vorlex_frame_file_get_block(file_, k, &b);
            out.append(b.content_offset);
        }
        out.append(i.content_size);
        return out;
    }

private:
    static int64_t read_callback(void* context, uint64_t offset, uint8_t* out, size_t length) {
        auto* self = static_cast<FrameFile*>(context);
        py::gil_scoped_acquire gil;
        try {
            const py::object got = self->read_(offset, length);
            ByteView view(got, "read()'s result");
            const size_t n = view.size() < length ? view.size() : length;
            std::memcpy(out, view.data(), n);
            return int64_t(n);
        } catch (py::error_already_set& e) {
            self->read_error_ = std::move(e);
            return -1;
        }
    }

    void rethrow_read_error() {
        if (read_error_) {
            py::error_already_set e = std::move(*read_error_);
            read_error_.reset();
            throw e;
        }
    }

    vorlex_frame_file* file_ = nullptr;
    py::object read_;
    std::optional<py::error_already_set> read_error_;
    std::mutex mutex_;
};

}  // namespace

void define_random_access(py::module_& m) {
    py::class_<FrameFile>(m, "FrameFile",
                          "FrameFile(*, fd=None, read=None, size=None)\n\n"
                          "Random access to the content of a file of frames, through a\n"
                          "file descriptor (read with pread) or a callable\n"
                          "read(offset, size) -> bytes and the file's size. The blocks'\n"
                          "places come from the frames' index records (or a walk over\n"
                          "the records of frames without one); a read decodes only the\n"
                          "blocks it needs.")
        .def(py::init<const py::object&, const py::object&, const py::object&>(), py::kw_only(),
             py::arg("fd") = py::none(), py::arg("read") = py::none(),
             py::arg("size") = py::none())
        .def("read_at", &FrameFile::read_at, py::arg("offset"), py::arg("size"))
        .def("readinto_at", &FrameFile::readinto_at, py::arg("offset"), py::arg("out"))
        .def("block", &FrameFile::block, py::arg("index"))
        .def("block_starts", &FrameFile::block_starts)
        .def("block_end", &FrameFile::block_end, py::arg("offset"))
        .def("info", &FrameFile::info)
        .def_property_readonly("content_size", &FrameFile::content_size)
        .def_property_readonly("complete", &FrameFile::complete)
        .def_property_readonly("fault", &FrameFile::fault);
}

}  // namespace vorlex::python
