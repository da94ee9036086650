#include "errors.hpp"

namespace py = pybind11;

namespace vorlex::python {

namespace {

// Owned by the module for the life of the process (a strong reference that
// is never dropped, so no destructor runs after the interpreter finalises).
PyObject* error_type = nullptr;

constexpr const char ERROR_DOC[] =
    "A compression or decompression failed: damaged, truncated or trailing data,\n"
    "an unknown codec, or a codec that refused its input. The message is the\n"
    "library's, saying what was wrong and where.";

}  // namespace

void define_error(py::module_& m) {
    error_type = PyErr_NewExceptionWithDoc("vorlex.Error", ERROR_DOC, PyExc_Exception, nullptr);
    if (error_type == nullptr) throw py::error_already_set();
    Py_INCREF(error_type);
    if (PyModule_AddObject(m.ptr(), "Error", error_type) != 0) {
        Py_DECREF(error_type);
        throw py::error_already_set();
    }
}

void raise_error(const std::string& message) {
    PyErr_SetString(error_type, message.c_str());
    throw py::error_already_set();
}

namespace {

// The exception of a failed call: most statuses are vorlex.Error; those that
// are about the caller's values or the process get Python's own type.
[[noreturn]] void raise_for(vorlex_status status, const std::string& message) {
    switch (status) {
        case VORLEX_STATUS_NO_MEMORY:
            throw std::bad_alloc();
        case VORLEX_STATUS_BAD_LEVEL:  // a level the codec does not have
            throw py::value_error(message);
        default:
            raise_error(message);
    }
}

}  // namespace

void raise_status(const std::string& what, vorlex_status status) {
    raise_for(status, what + ": " + vorlex_status_to_string(status));
}

void raise_frame_error(vorlex_status status) {
    const char* text = vorlex_frame_last_error();
    raise_for(status,
              text != nullptr && text[0] != '\0' ? text : vorlex_status_to_string(status));
}

std::string codec_unavailable(const std::string& name) {
    const char* why = vorlex_get_codec_error(name.c_str());
    return "unknown codec '" + name + "'" + (why != nullptr ? std::string(" (") + why + ")" : "");
}

}  // namespace vorlex::python
