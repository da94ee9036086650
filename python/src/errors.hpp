// vorlex.Error and the texts it carries.
#pragma once

#include <string>

#include <pybind11/pybind11.h>
#include <vorlex/vorlex.h>

namespace vorlex::python {

// Create vorlex.Error in module m (once, when the module is imported).
void define_error(pybind11::module_& m);

// Raise vorlex.Error(message): sets the Python error and throws
// error_already_set, which pybind11 hands back to the interpreter.
[[noreturn]] void raise_error(const std::string& message);

// Raise the exception of a failed library call: MemoryError for
// VORLEX_STATUS_NO_MEMORY, ValueError for VORLEX_STATUS_BAD_LEVEL, else
// vorlex.Error("<what>: <the status' text>").
[[noreturn]] void raise_status(const std::string& what, vorlex_status status);

// Raise vorlex.Error for a failed frame call, with the library's text of what
// was wrong and where (MemoryError and ValueError as for raise_status).
[[noreturn]] void raise_frame_error(vorlex_status status);

// The reason vorlex_get_codec(name) failed, as the CLI words it:
// "unknown codec 'x' (why)".
std::string codec_unavailable(const std::string& name);

}  // namespace vorlex::python
