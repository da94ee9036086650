// The parts of the compiled module vorlex._vorlex, each defined in its own file.
#pragma once

#include <memory>
#include <optional>
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
// FrameFile: random access to frames in a file (seek, vorlex.dask).
void define_random_access(pybind11::module_& m);

// The codec called by a Python str, loaded on first use. TypeError when the
// argument is not a str, vorlex.Error with the host's reason when the codec
// cannot be had.
vorlex_codec* codec_argument(pybind11::handle name, const char* argument = "codec");

// Compression options, released with vorlex_options_free.
struct OptionsFree {
    void operator()(vorlex_options* options) const { vorlex_options_free(options); }
};
using Options = std::unique_ptr<vorlex_options, OptionsFree>;

// A compression level argument for codec (options.cpp): nullopt for None.
// TypeError for a bool or anything but an integer; ValueError, naming the
// codec's range, for a level the codec does not have. Codecs without levels
// take any int and ignore it, as the library does.
std::optional<int> level_argument(pybind11::handle level, vorlex_codec* codec);
// Options that carry the level; nullptr (the codec's defaults) for nullopt.
Options level_options(const std::optional<int>& level);

// A filter argument ("shuffle", ...; None or "none": no filter) with its
// typesize (None: the item size of data's buffer, 1 for bytes). TypeError
// for a filter that is not a str, ValueError for an unknown name or a
// typesize out of 1 to 255, or a typesize without a filter.
struct Filter {
    int filter = VORLEX_FILTER_NONE;
    unsigned typesize = 0;
};
Filter filter_argument(pybind11::handle filter, pybind11::handle typesize, pybind11::handle data);
// Options with the level and the filter; nullptr when neither is set.
Options frame_options(const std::optional<int>& level, const Filter& filter);

// Blocks of a frame hold 1 byte to 64 MiB; 1 MiB unless the caller says.
inline constexpr size_t DEFAULT_BLOCK_SIZE = VORLEX_FRAME_DEFAULT_BLOCK_SIZE;
inline constexpr size_t MAX_BLOCK_SIZE = VORLEX_FRAME_MAX_BLOCK_SIZE;
// Worker threads of a file object (0 asks for one per CPU).
inline constexpr unsigned MAX_THREADS = VORLEX_FRAME_MAX_THREADS;

}  // namespace vorlex::python
