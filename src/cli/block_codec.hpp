// Calls into a codec for one raw buffer (--raw), with the rules that make
// the tool's output a function of its input alone. Containers are written
// and read by libvorlex's frame layer, which has the same rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <vorlex/vorlex.h>

namespace vorlex::cli {

// Why codec NAME cannot be used, as the tool words it:
// "unknown codec 'NAME' (reason from libvorlex)".
std::string codec_unavailable(const std::string& name);

// Output room to offer for n input bytes: the codec's worst case, or n plus
// a margin when it names none. Not a promise for brieflz and fari, whose
// worst case covers ordinary data only: they answer OUTPUT_FULL beyond it.
size_t compress_capacity(vorlex_codec* codec, size_t n);

// vorlex_compress into out[0..capacity). The head of out is zeroed first: a
// quicklz block padded to its minimum length carries filler that the codec
// takes from whatever the output held, and reused buffers would otherwise let
// it leak from an earlier block (which block, depends on the threads).
vorlex_status compress_block(vorlex_codec* codec, const uint8_t* in, size_t n, uint8_t* out,
                             size_t capacity, size_t& produced, vorlex_options* options = nullptr);

struct OptionsFree {
    void operator()(vorlex_options* o) const { vorlex_options_free(o); }
};
using CodecOptions = std::unique_ptr<vorlex_options, OptionsFree>;

// The libvorlex options for a level given on the command line; none when
// nothing is set (every default). Throws std::bad_alloc.
CodecOptions codec_options(const std::optional<int>& level, int filter = 0,
                           unsigned typesize = 0);

// Why codec cannot compress at level, as the tool words it; empty when it can.
std::string level_problem(vorlex_codec* codec, int level);

}  // namespace vorlex::cli
