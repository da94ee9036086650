// The exported context mask. The coder's own arithmetic uses the constant
// fari::CONTEXT_MASK, which the compiler can fold; this object is its
// read-only twin for users of the table layout.
#include "fari.h"
#include "fari_format.h"

extern "C" const uint32_t mask = fari::CONTEXT_MASK;
