// The codecs' bare formats, without a container (--raw): one buffer in, one
// buffer out, for exchanging data with other users of the plug-ins. The whole
// input is held in memory, and nothing but the codec checks the data.
#pragma once

#include <cstdint>
#include <optional>

#include <vorlex/vorlex.h>

#include "container.hpp"
#include "io.hpp"

namespace vorlex::cli {

// size_hint: the input's length when known (a regular file), else 0; it
// spares the copies of a growing buffer.
Totals raw_compress(Source& in, Sink& out, vorlex_codec* codec, uint64_t size_hint = 0);

// size: the decompressed size, exact for codecs that need it and a capacity
// for the others; codecs that record their size use theirs (no larger than
// size, when given).
Totals raw_decompress(Source& in, Sink& out, vorlex_codec* codec, std::optional<uint64_t> size,
                      uint64_t size_hint = 0);

}  // namespace vorlex::cli
