// The tool's operations over the files named on the command line: one file
// at a time, each failure reported and counted while the rest go on.
#pragma once

#include <vorlex/vorlex.h>

#include "messages.hpp"
#include "options.hpp"

namespace vorlex::cli {

// Compress, decompress, test or list every file; true when all succeeded.
// codec is the one to compress with (or, with --raw, to decode with).
bool process_files(const Options& options, vorlex_codec* codec, const Reporter& reporter);

// --codecs: every codec the host can load, with its size facts.
void print_codecs(uint32_t block_size);

}  // namespace vorlex::cli
