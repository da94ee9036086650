// The command line of `vorlex bench`:
//   bench [--codec a,b,...] [--peers[=a,b,...]] [--rounds N] [--min-time S]
//         [--format table|markdown|csv|json|html] [--plot FILE.svg] [--html FILE.html]
//         [--small[=SIZES]] [--overhead] [-q] [FILE...]
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vorlex::bench {

enum class Format { table, markdown, csv, json, html };

struct Options {
    std::vector<std::string> codecs;      // empty: every codec the host lists; "zstd:9": at a level
    bool peers = false;
    std::vector<std::string> peer_names;  // empty with peers: every peer built in
    int rounds = 5;
    double min_time = 0.5;
    Format format = Format::table;
    std::string plot;                     // SVG path, empty for none
    std::string html;                     // HTML page path, empty for none
    bool small = false;                   // time per call on input prefixes
    bool overhead = false;                // the host-overhead view (overhead.hpp)
    std::vector<size_t> small_sizes{256, 4096, 65536};
    bool quiet = false;
    bool help = false;
    std::vector<std::string> files;       // empty: the built-in input
};

// Parses args (without the program or subcommand name). Returns an empty
// string on success, else what is wrong with the command line.
std::string parse_options(const std::vector<std::string>& args, Options& out);

// The help text, ending in a newline.
const char* usage_text();

}  // namespace vorlex::bench
