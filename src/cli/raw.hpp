// The codecs' bare formats, without a container (--raw), for exchanging data
// with other users of the plug-ins and with the codecs' own tools. Codecs
// with native streams (lz4, zstd, gzip, copy) stream in bounded memory;
// for the others the whole input is held in memory, one buffer in, one
// buffer out. Nothing but the codec checks the data.
#pragma once

#include <cstdint>
#include <optional>

#include <vorlex/vorlex.h>

#include "container.hpp"
#include "io.hpp"

namespace vorlex::cli {

// size_hint: the input's length when known (a regular file), else 0; it
// spares the copies of a growing buffer.
// options: as for vorlex_compress (NULL for the defaults).
Totals raw_compress(Source& in, Sink& out, vorlex_codec* codec, uint64_t size_hint = 0,
                    vorlex_options* options = nullptr);

// size: the decompressed size, exact for codecs that need it and a capacity
// for the others; codecs that record their size use theirs (no larger than
// size, when given). Streaming codecs need no size; one given is a limit.
Totals raw_decompress(Source& in, Sink& out, vorlex_codec* codec, std::optional<uint64_t> size,
                      uint64_t size_hint = 0);

}  // namespace vorlex::cli
