// The names raw files go by: the codec's name, or its tool's suffix.
#include "raw_names.hpp"


namespace vorlex::cli {

namespace {

struct ToolSuffix {
    const char* suffix;
    const char* codec;
};

// What gzip, zstd, lz4 and snzip (the snappy tools) name their files.
constexpr ToolSuffix TOOL_SUFFIXES[] = {
    {".gz", "gzip"}, {".zst", "zstd"}, {".lz4", "lz4"}, {".sz", "snappy"}};

// Codec names are lower-case letters, digits, '_' and '-', as the host takes them.
bool codec_name_like(const std::string& s) {
    if (s.empty()) return false;
    for (const char c : s) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) {
            return false;
        }
    }
    return true;
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::vector<std::string> raw_suffixes(const std::string& codec) {
    std::vector<std::string> out{"." + codec};
    for (const ToolSuffix& t : TOOL_SUFFIXES) {
        if (codec == t.codec) out.emplace_back(t.suffix);
    }
    return out;
}

std::optional<std::string> codec_from_suffix(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    const std::string ext = base.substr(dot);
    for (const ToolSuffix& t : TOOL_SUFFIXES) {
        if (ext == t.suffix) return std::string(t.codec);
    }
    // Not "vlx": that is the container, which names its own codec.
    const std::string name = ext.substr(1);
    if (name == "vlx" || !codec_name_like(name)) return std::nullopt;
    return name;
}

std::optional<std::string> strip_raw_suffix(const std::string& path, const std::string& codec) {
    for (const std::string& suffix : raw_suffixes(codec)) {
        if (ends_with(path, suffix) && path[path.size() - suffix.size() - 1] != '/') {
            return path.substr(0, path.size() - suffix.size());
        }
    }
    return std::nullopt;
}

}  // namespace vorlex::cli
