// vorlex._vorlex: the compiled half of the vorlex package. The public names
// are re-exported, with the pure-Python parts, by vorlex/__init__.py.
#include "bindings.hpp"
#include "errors.hpp"

namespace py = pybind11;

PYBIND11_MODULE(_vorlex, m) {
    // Each docstring opens with its own signature, written as Python users
    // read it (pybind11's would show every argument as "object").
    py::options options;
    options.disable_function_signatures();
    m.doc() = "libvorlex bindings; use the vorlex package, which re-exports them.";
    vorlex::python::define_error(m);
    vorlex::python::define_codecs(m);
    vorlex::python::define_frames(m);
    vorlex::python::define_streams(m);
    vorlex::python::define_random_access(m);
    m.attr("__version__") = vorlex_version_string();
    m.attr("DEFAULT_BLOCK_SIZE") = vorlex::python::DEFAULT_BLOCK_SIZE;
    m.attr("MAX_BLOCK_SIZE") = vorlex::python::MAX_BLOCK_SIZE;
    m.attr("MAX_THREADS") = vorlex::python::MAX_THREADS;
}
