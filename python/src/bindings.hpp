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

// Blocks of a frame hold 1 byte to 64 MiB; 1 MiB unless the caller says.
inline constexpr size_t DEFAULT_BLOCK_SIZE = VORLEX_FRAME_DEFAULT_BLOCK_SIZE;
inline constexpr size_t MAX_BLOCK_SIZE = VORLEX_FRAME_MAX_BLOCK_SIZE;
// Worker threads of a file object (0 asks for one per CPU).
inline constexpr unsigned MAX_THREADS = VORLEX_FRAME_MAX_THREADS;

}  // namespace vorlex::python
