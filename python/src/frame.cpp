#include "bindings.hpp"

namespace vorlex::python {
void define_frames(pybind11::module_&) {}
}
