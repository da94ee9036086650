// The parts of the compiled module vorlex._vorlex, each defined in its own file.
#pragma once

#include <string>

#include <pybind11/pybind11.h>
#include <vorlex/vorlex.h>

namespace vorlex::python {

// codecs() and the Codec class (raw codec buffers).
void define_codecs(pybind11::module_& m);
// compress(), decompress() and _decompress_into(): whole frames.
void define_frames(pybind11::module_& m);
// FrameWriter and FrameReader: the streaming frame layer under vorlex.open().
void define_streams(pybind11::module_& m);

// The codec called by a Python str, loaded on first use. TypeError when the
// argument is not a str, vorlex.Error with the host's reason when the codec
// cannot be had.
vorlex_codec* codec_argument(pybind11::handle name, const char* argument = "codec");

// Blocks of a frame hold 1 byte to 64 MiB.
inline constexpr size_t MAX_BLOCK_SIZE = size_t(64) << 20;
// Worker threads of a file object, as the CLI allows (0: one per CPU).
inline constexpr unsigned MAX_THREADS = 256;

}  // namespace vorlex::python
