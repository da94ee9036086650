// Compression levels at the edge: the level argument of compress(), Codec,
// FrameWriter (vorlex.open) and the numcodecs codec, checked against the
// codec's range before any work starts.
#include <climits>
#include <string>

#include "bindings.hpp"
#include "buffers.hpp"

namespace py = pybind11;

namespace vorlex::python {

std::optional<int> level_argument(py::handle level, vorlex_codec* codec) {
    if (level.is_none()) return std::nullopt;
    if (PyBool_Check(level.ptr()) || !PyIndex_Check(level.ptr())) {
        throw py::type_error(std::string("level must be an integer or None, not '") +
                             Py_TYPE(level.ptr())->tp_name + "'");
    }
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(level.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    const std::string name = std::string("codec '") + vorlex_codec_get_name(codec) + "'";
    int lo = 0, hi = 0;
    const bool has_levels = vorlex_codec_get_levels(codec, &lo, &hi, nullptr) == VORLEX_STATUS_OK;
    if (has_levels && (overflow != 0 || v < lo || v > hi)) {
        throw py::value_error(name + " has no level " + py::str(index).cast<std::string>() +
                              " (levels " + std::to_string(lo) + " to " + std::to_string(hi) +
                              ")");
    }
    // A codec without levels ignores any level, as in every door, with a
    // warning as the tool gives; it still has to be an int to be kept.
    if (overflow != 0 || v < INT_MIN || v > INT_MAX) {
        throw py::value_error("level " + py::str(index).cast<std::string>() +
                              " is out of range");
    }
    if (!has_levels) {
        const std::string warning = name + " has no compression levels; level " +
                                    std::to_string(v) + " ignored";
        if (PyErr_WarnEx(PyExc_UserWarning, warning.c_str(), 1) != 0) {
            throw py::error_already_set();
        }
    }
    return int(v);
}

Filter filter_argument(py::handle filter, py::handle typesize, py::handle data) {
    if (filter.is_none()) {
        if (!typesize.is_none()) throw py::value_error("typesize is only used with a filter");
        return {};
    }
    if (!py::isinstance<py::str>(filter)) {
        throw py::type_error(std::string("filter must be a str or None, not '") +
                             Py_TYPE(filter.ptr())->tp_name + "'");
    }
    const std::string name = filter.cast<std::string>();
    const int id = vorlex_filter_from_name(name.c_str());
    if (id < 0) {
        throw py::value_error("unknown filter '" + name +
                              "' (none, shuffle, bitshuffle, delta or auto)");
    }
    if (id == VORLEX_FILTER_NONE) return {};
    size_t size = 0;
    if (typesize.is_none()) {
        // The element size of what is compressed: a numpy array's itemsize,
        // 1 for bytes.
        const py::memoryview view(py::reinterpret_borrow<py::object>(data));
        size = view.attr("itemsize").cast<size_t>();
    } else {
        size = size_argument(typesize, "typesize", VORLEX_FILTER_MAX_TYPESIZE);
    }
    if (size == 0 || size > VORLEX_FILTER_MAX_TYPESIZE) {
        throw py::value_error("typesize must be 1 to " +
                              std::to_string(VORLEX_FILTER_MAX_TYPESIZE) + ", not " +
                              std::to_string(size));
    }
    return {id, unsigned(size)};
}

Options frame_options(const std::optional<int>& level, const Filter& filter) {
    Options options = level_options(level);
    if (filter.filter == VORLEX_FILTER_NONE) return options;
    if (options == nullptr) options.reset(vorlex_options_new());
    if (options == nullptr) throw std::bad_alloc();
    vorlex_options_set_filter(options.get(), filter.filter, filter.typesize);
    return options;
}

Options level_options(const std::optional<int>& level) {
    if (!level) return nullptr;
    Options options(vorlex_options_new());
    if (options == nullptr) throw std::bad_alloc();
    vorlex_options_set_level(options.get(), *level);
    return options;
}

}  // namespace vorlex::python
