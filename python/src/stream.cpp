#include "bindings.hpp"

namespace vorlex::python {
void define_streams(pybind11::module_&) {}
}
