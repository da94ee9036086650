// -r: the files a run works on, with the folders among the command-line
// names replaced by the regular files inside them, as zstd and gzip do.
// Inside a folder, symbolic links are left alone (a link named on the command
// line is followed), as are devices, pipes and sockets, and files already of
// the kind the run makes: compressing skips names with the suffix, the other
// operations skip names without it. A file reached twice (by two names, or
// a folder named twice) is taken once, by device and inode. Each skip is
// noted; an unreadable folder is an error, and the walk goes on.
#pragma once

#include <string>
#include <vector>

#include "messages.hpp"

namespace vorlex::cli {

struct WalkResult {
    std::vector<std::string> files;  // in command-line order, each folder's entries by name
    bool all_ok = true;              // false when a name or folder could not be read
};

// suffix: ".vlx", or ".<codec>" for raw files. "-" stays standard input.
WalkResult walk(const std::vector<std::string>& names, const std::string& suffix,
                bool compressing, const Reporter& reporter);

}  // namespace vorlex::cli
