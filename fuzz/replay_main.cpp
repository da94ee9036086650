// The main of a fuzz target built as a plain test: runs the target once on
// every file named on the command line or held in a named folder (in name
// order), so the seeds and every input that once broke something are checked
// by `make test`, `make asan` and valgrind without libFuzzer. A folder that
// does not exist holds nothing. Each file's name is printed before it runs,
// so a failure names its input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

int replay(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
    // A copy of exactly the input's size, as libFuzzer hands it over.
    std::vector<uint8_t> exact(bytes);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::vector<fs::path> files;
        if (fs::is_directory(arg)) {
            for (const auto& e : fs::directory_iterator(arg)) {
                if (e.is_regular_file()) files.push_back(e.path());
            }
            std::sort(files.begin(), files.end());
        } else if (fs::exists(arg)) {
            files.push_back(arg);
        }
        for (const fs::path& f : files) {
            failures += replay(f);
            ++count;
        }
    }
    std::fprintf(stderr, "replay: %zu inputs\n", count);
    return failures == 0 ? 0 : 1;
}
