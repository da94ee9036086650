// The names raw files go by. vorlex --raw writes FILE.<codec>; the codecs'
// own tools write FILE.gz, FILE.zst, FILE.lz4 and FILE.sz. Decompressing,
// either suffix names the codec, so `vorlex --raw -d data.gz` needs no
// --codec, and with one given either suffix is taken off.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vorlex::cli {

// The suffixes, dot included, that a raw file of the codec may carry: its
// name first, then its tool's suffix where it has one.
std::vector<std::string> raw_suffixes(const std::string& codec);

// The codec a raw file's name points to, from its last suffix, or nothing
// when the name has none that is a tool's suffix or a codec name.
std::optional<std::string> codec_from_suffix(const std::string& path);

// The path with the codec's raw suffix taken off, or nothing when it ends in
// none of them (or is nothing but the suffix).
std::optional<std::string> strip_raw_suffix(const std::string& path, const std::string& codec);

}  // namespace vorlex::cli
