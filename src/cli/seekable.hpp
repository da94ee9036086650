// The tool's doors to random access: --range (some content bytes of a
// file), --keep-going (every block that can be read, the lost byte ranges
// reported) and the index shown by -l -v. Each opens the file with
// libvorlex's vorlex_frame_file over its descriptor, so they need a file
// that can be read at any offset, not a pipe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "container.hpp"
#include "io.hpp"
#include "options.hpp"

namespace vorlex::cli {

// The content bytes of the range that exist, onto out.
Totals read_range(int fd, Sink& out, const Range& range);

struct LostRange {
    uint64_t offset = 0;
    std::optional<uint64_t> length;  // none: everything from offset on
    std::string why;
};

// Every block that decodes, in order, onto out; a damaged block's bytes are
// written as zeros, so the content keeps its offsets. Returns the ranges
// lost (empty when nothing was).
Totals salvage(int fd, Sink& out, std::vector<LostRange>& lost);

// -l -v: one line per block of every frame.
void print_index(int fd, const std::string& name);

}  // namespace vorlex::cli
