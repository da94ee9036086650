#include "buffers.hpp"

#include <string>

namespace py = pybind11;

namespace vorlex::python {

namespace {

std::string type_name(py::handle object) {
    return Py_TYPE(object.ptr())->tp_name;
}

}  // namespace

ByteView::ByteView(py::handle object, const char* argument, bool writable) {
    if (!PyObject_CheckBuffer(object.ptr())) {
        throw py::type_error(std::string(argument) +
                             " must be a bytes-like object (bytes, bytearray, memoryview, "
                             "numpy array), not '" + type_name(object) + "'");
    }
    const int flags = writable ? PyBUF_WRITABLE : PyBUF_SIMPLE;
    if (PyObject_GetBuffer(object.ptr(), &view_, flags) != 0) {
        // The object has buffers, but not this kind: not contiguous, or
        // read-only where the result is to be written.
        py::error_already_set cause;
        throw py::value_error(std::string(argument) + " must be a contiguous" +
                              (writable ? " writable" : "") + " buffer (" + cause.what() + ")");
    }
}

ByteView::~ByteView() {
    PyBuffer_Release(&view_);
}

size_t size_argument(py::handle value, const char* argument, size_t max) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(std::string(argument) + " must be an integer, not '" +
                             type_name(value) + "'");
    }
    const py::object index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow < 0 || (overflow == 0 && v < 0)) {
        throw py::value_error(std::string(argument) + " must not be negative");
    }
    if (overflow > 0 || static_cast<unsigned long long>(v) > max) {
        throw py::value_error(std::string(argument) + " must be at most " + std::to_string(max));
    }
    return size_t(v);
}

BytesResult::BytesResult(size_t capacity) : capacity_(capacity) {
    if (capacity > size_t(PY_SSIZE_T_MAX)) throw std::bad_alloc();
    PyObject* b = PyBytes_FromStringAndSize(nullptr, Py_ssize_t(capacity));
    if (b == nullptr) throw py::error_already_set();
    bytes_ = py::reinterpret_steal<py::object>(b);
}

void BytesResult::resize(size_t capacity) {
    if (capacity == capacity_) return;
    if (capacity > size_t(PY_SSIZE_T_MAX)) throw std::bad_alloc();
    PyObject* b = bytes_.release().ptr();
    // On failure _PyBytes_Resize has released the object and set MemoryError.
    if (_PyBytes_Resize(&b, Py_ssize_t(capacity)) != 0) throw py::error_already_set();
    bytes_ = py::reinterpret_steal<py::object>(b);
    capacity_ = capacity;
}

py::bytes BytesResult::finish(size_t length) {
    resize(length);
    return py::reinterpret_borrow<py::bytes>(bytes_);
}

}  // namespace vorlex::python
