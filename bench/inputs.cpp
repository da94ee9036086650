#include "inputs.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vorlex::bench {
namespace {

bool read_stream(std::FILE* f, std::vector<uint8_t>& out) {
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
    return std::ferror(f) == 0;
}

}  // namespace

bool append_file(const std::string& path, std::vector<uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool ok = read_stream(f, out);
    std::fclose(f);
    return ok;
}

bool read_input(const std::string& path, Input& out, std::string& error) {
    std::vector<uint8_t> bytes;
    errno = 0;
    if (path == "-") {
        if (!read_stream(stdin, bytes)) {
            error = std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        out.name = "stdin";
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            error = "is a directory";
            return false;
        }
        if (!append_file(path, bytes)) {
            error = std::strerror(errno != 0 ? errno : EIO);
            return false;
        }
        out.name = std::filesystem::path(path).filename().string();
        if (out.name.empty()) out.name = path;
    }
    out.data = Buffer(bytes.size());
    if (!bytes.empty()) std::memcpy(out.data.data(), bytes.data(), bytes.size());
    return true;
}

}  // namespace vorlex::bench
