#include "default_input.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace vorlex::bench {

std::string default_input_dir() { return VORLEX_BENCH_SOURCE_DIR; }

bool read_default_input(Input& out, std::string& error) {
    const fs::path root = default_input_dir();
    std::vector<fs::path> files;
    std::error_code ec;
    for (const char* dir : {"include", "src"}) {
        for (fs::recursive_directory_iterator it(root / dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->is_regular_file(ec)) files.push_back(it->path());
        }
        if (ec) {
            error = "the built-in input needs the sources at " + root.string() + ": " +
                    (root / dir).string() + ": " + ec.message();
            return false;
        }
    }
    // Directory order is the file system's; sorting makes the input the same
    // everywhere. The README leads, when there is one.
    std::sort(files.begin(), files.end());
    if (fs::is_regular_file(root / "README.md", ec)) files.insert(files.begin(), root / "README.md");

    std::vector<uint8_t> bytes;
    for (const fs::path& f : files) {
        if (!append_file(f.string(), bytes)) {
            error = "cannot read " + f.string();
            return false;
        }
    }
    out.name = "vorlex-sources";
    out.data = Buffer(bytes.size());
    if (!bytes.empty()) std::memcpy(out.data.data(), bytes.data(), bytes.size());
    return true;
}

}  // namespace vorlex::bench
