// The codecs' bare formats, without a container (--raw), for exchanging data
// with other users of the plug-ins and with the codecs' own tools. Codecs
// with native streams (lz4, zstd, gzip, copy) stream in bounded memory;
// for the others the whole input is held in memory, one buffer in, one
// buffer out. Nothing but the codec checks the data.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <vorlex/vorlex.h>

#include "container.hpp"
#include "io.hpp"

namespace vorlex::cli {

// Why raw data of the codec cannot be decompressed with the --size given
// (none: the data records no size, and no native stream reads it without),
// or empty when it can.
std::string raw_size_missing(vorlex_codec* codec, const std::optional<uint64_t>& size);

// size_hint: the input's length when known (a regular file), else 0; it
// spares the copies of a growing buffer.
// options: as for vorlex_compress (NULL for the defaults).
Totals raw_compress(Source& in, Sink& out, vorlex_codec* codec, uint64_t size_hint = 0,
                    vorlex_options* options = nullptr);

// size: the decompressed size, exact for codecs that need it and a capacity
// for the others; codecs that record their size use theirs (no larger than
// size, when given). Streaming codecs need no size; one given is a limit.
// memory_limit: what a stream may hold for the data's sake (a zstd window;
// 0: the codec's default, 128 MiB for zstd as its tool).
// warn: told of what is decoded but not quite right (gzip's trailing
// garbage, which gzip too decodes with a warning).
using Warn = std::function<void(const std::string&)>;
Totals raw_decompress(Source& in, Sink& out, vorlex_codec* codec, std::optional<uint64_t> size,
                      uint64_t size_hint = 0, uint64_t memory_limit = 0,
                      const Warn& warn = nullptr);

}  // namespace vorlex::cli
