// FrameWriter and FrameReader: the library's streaming frame writer and
// reader, under vorlex.open(). Each call hands over one piece of input and
// gets back what is ready, so memory stays bounded by the block size and
// thread count. The GIL is released while the library works; a mutex keeps
// two Python threads from driving one object at once.
#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bindings.hpp"
#include "buffers.hpp"
#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

// The output a writer step gathers grows by this much at a time.
constexpr size_t OUTPUT_STEP = size_t(256) << 10;

// Worker threads as the CLI counts them: 0 is one per CPU.
unsigned thread_count(const py::object& threads) {
    unsigned n = unsigned(size_argument(threads, "threads", MAX_THREADS));
    if (n == 0) n = std::clamp(std::thread::hardware_concurrency(), 1u, MAX_THREADS);
    return n;
}

class FrameWriter {
public:
    FrameWriter(const py::object& codec_name, const py::object& block_size_arg,
                const py::object& threads, const py::object& level, const py::object& filter,
                const py::object& typesize) {
        vorlex_codec* codec = codec_argument(codec_name);
        // None: the codec's own default (0 to the library), as the tool's.
        const size_t block_size =
            block_size_arg.is_none() ? 0
                                     : size_argument(block_size_arg, "block_size", MAX_BLOCK_SIZE);
        if (block_size == 0 && !block_size_arg.is_none()) {
            throw py::value_error("block_size must be at least 1");
        }
        const unsigned n = thread_count(threads);
        // A stream has no array to take an item size from: bytes' (1),
        // as compress() of bytes.
        const Options options = frame_options(level_argument(level, codec),
                                              filter_argument(filter, typesize, py::bytes()));
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            st = vorlex_frame_writer_new(codec, block_size, n, &writer_);
            // The writer copies the options.
            if (st > 0 && options != nullptr) {
                st = vorlex_frame_writer_set_options(writer_, options.get());
            }
        }
        if (st <= 0) {
            // The constructor fails, so the destructor will not run.
            vorlex_frame_writer_free(writer_);
            writer_ = nullptr;
            raise_frame_error(st);
        }
    }
    ~FrameWriter() {
        py::gil_scoped_release nogil;  // stopping worker threads can take a moment
        vorlex_frame_writer_free(writer_);
    }
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    py::bytes compress(const py::object& data) { return step(data, VORLEX_OPERATION_PROCESS); }
    py::bytes flush() { return step(py::bytes(), VORLEX_OPERATION_FLUSH); }
    py::bytes finish() { return step(py::bytes(), VORLEX_OPERATION_FINISH); }

private:
    py::bytes step(const py::object& data, vorlex_operation operation) {
        ByteView in(data, "data");
        std::string out;
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            std::lock_guard lock(mutex_);
            vorlex_frame_buffers b{in.data(), in.size(), nullptr, 0};
            size_t produced = 0;
            do {
                if (out.size() - produced < OUTPUT_STEP) out.resize(out.size() + OUTPUT_STEP);
                b.out_next = reinterpret_cast<uint8_t*>(out.data()) + produced;
                b.out_avail = out.size() - produced;
                st = vorlex_frame_writer_process(writer_, &b, operation);
                produced = out.size() - b.out_avail;
            } while (st == VORLEX_STATUS_PROCESSING);
            out.resize(produced);
        }
        if (st <= 0) raise_frame_error(st);
        return py::bytes(out);
    }

    vorlex_frame_writer* writer_ = nullptr;
    std::mutex mutex_;
};

class FrameReader {
public:
    explicit FrameReader(const py::object& threads) {
        const unsigned n = thread_count(threads);
        vorlex_status st;
        {
            py::gil_scoped_release nogil;
            st = vorlex_frame_reader_new(n, 0, 0, &reader_);
        }
        if (st <= 0) raise_frame_error(st);
    }
    ~FrameReader() {
        py::gil_scoped_release nogil;
        vorlex_frame_reader_free(reader_);
    }
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // True when the reader has taken all input given and has no output
    // waiting: the caller should pass more input (or declare the end).
    bool needs_input() {
        std::lock_guard lock(mutex_);
        return pos_ == pending_.size() && !output_waiting_;
    }
    // True once the end was declared and everything came out.
    bool finished() {
        std::lock_guard lock(mutex_);
        return finished_;
    }

    // Take data (kept until consumed), decode into out, return the bytes
    // written. With end, data is the last input: a frame cut short is then
    // an error.
    size_t decompress_into(const py::object& data, const py::object& target, bool end) {
        ByteView in(data, "data");
        ByteView out(target, "out", true);
        vorlex_status st;
        size_t produced;
        {
            py::gil_scoped_release nogil;
            std::lock_guard lock(mutex_);
            if (pos_ == pending_.size()) {
                pending_.clear();
                pos_ = 0;
            }
            pending_.insert(pending_.end(), in.data(), in.data() + in.size());
            vorlex_frame_buffers b{pending_.data() + pos_, pending_.size() - pos_,
                                   out.writable_data(), out.size()};
            st = vorlex_frame_reader_process(
                reader_, &b, end ? VORLEX_OPERATION_FINISH : VORLEX_OPERATION_PROCESS);
            pos_ = pending_.size() - b.in_avail;
            produced = out.size() - b.out_avail;
            output_waiting_ = st == VORLEX_STATUS_PROCESSING;
            if (st == VORLEX_STATUS_OK && end) finished_ = true;
        }
        if (st <= 0) raise_frame_error(st);
        return produced;
    }

private:
    vorlex_frame_reader* reader_ = nullptr;
    std::vector<uint8_t> pending_;  // input given but not yet consumed, from pos_
    size_t pos_ = 0;
    bool output_waiting_ = false;
    bool finished_ = false;
    std::mutex mutex_;
};

}  // namespace

void define_streams(py::module_& m) {
    py::class_<FrameWriter>(m, "FrameWriter",
                            "FrameWriter(codec='quicklz', *, block_size=None, threads=1,\n"
                            "            level=None, filter=None, typesize=None)\n\n"
                            "The streaming writer of one frame. filter and typesize as for\n"
                            "vorlex.compress() (typesize: 1 when not given). compress() takes data and\n"
                            "returns the compressed bytes ready so far; flush() ends the\n"
                            "current block so that everything given can be decoded; finish()\n"
                            "returns the rest and the end record.")
        .def(py::init<const py::object&, const py::object&, const py::object&,
                      const py::object&, const py::object&, const py::object&>(),
             py::arg("codec") = "quicklz", py::kw_only(),
             py::arg("block_size") = py::none(), py::arg("threads") = 1,
             py::arg("level") = py::none(), py::arg("filter") = py::none(),
             py::arg("typesize") = py::none())
        .def("compress", &FrameWriter::compress, py::arg("data"))
        .def("flush", &FrameWriter::flush)
        .def("finish", &FrameWriter::finish);

    py::class_<FrameReader>(m, "FrameReader",
                            "FrameReader(*, threads=1)\n\n"
                            "The streaming reader of concatenated frames. Give input with\n"
                            "decompress_into(data, out, end) while needs_input is true, and\n"
                            "call it with no data while it is false; end=True declares the\n"
                            "end of the input, after which finished becomes true once all\n"
                            "output is out.")
        .def(py::init<const py::object&>(), py::kw_only(), py::arg("threads") = 1)
        .def_property_readonly("needs_input", &FrameReader::needs_input)
        .def_property_readonly("finished", &FrameReader::finished)
        .def("decompress_into", &FrameReader::decompress_into, py::arg("data"), py::arg("out"),
             py::arg("end") = false);
}

}  // namespace vorlex::python
