// Well-known libraries measured beside our codecs, in the same run and the
// same loop: memcpy (the physical limit), lz4 (default acceleration), zstd
// level 1, snappy and zlib level 1. Each library is optional at build time
// (VORLEX_BENCH_HAVE_<PEER>, set by bench/CMakeLists.txt from pkg-config);
// a missing one is reported, never silently skipped.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "subject.hpp"

namespace vorlex::bench {

// The peers every speed of ours is divided by.
inline constexpr std::string_view LZ4_PEER = "lz4";
inline constexpr std::string_view MEMCPY_PEER = "memcpy";

struct PeerInfo {
    std::string key;       // what --peers=LIST names: "zstd"
    std::string name;      // the row's label: "zstd-1"
    std::string package;   // where it comes from when missing: "libzstd-dev"
    bool available;        // built into this binary
    std::string version;   // the linked library's version, if available
};

// Every peer this program knows, in the order they are measured.
const std::vector<PeerInfo>& known_peers();

// The peer known by key or by name; nullptr when unknown or not built in.
std::unique_ptr<Subject> make_peer(std::string_view key_or_name);

}  // namespace vorlex::bench
