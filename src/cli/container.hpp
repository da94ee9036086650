// Writing, reading and listing .vlx containers between a source and a sink,
// through libvorlex's frame writer and reader: the format, its checks and
// its threads are the library's; these loops only move bytes between the
// tool's files and the library and turn a failure into a Failure.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "io.hpp"

namespace vorlex::cli {

// Called as data moves, with the bytes consumed and produced so far.
using ProgressFn = std::function<void(uint64_t consumed, uint64_t produced)>;

struct Totals {
    uint64_t original = 0;    // bytes of content
    uint64_t compressed = 0;  // bytes of container
    uint64_t blocks = 0;
};

struct WriteSettings {
    vorlex_codec* codec = nullptr;
    uint32_t block_size = 1u << 20;
    unsigned threads = 1;
    vorlex_options* options = nullptr;  // passed to every vorlex_compress; NULL: defaults
    bool indexed = true;                // write the index record
};

// Compress everything `in` holds into one container on `out` (flushed).
Totals write_container(Source& in, Sink& out, const WriteSettings& settings,
                       const ProgressFn& progress = {});

// Decode every container in `in` (one, or several concatenated) onto `out`,
// checking every checksum. memory_limit (--memory; 0: the library's
// default) covers everything the decoding holds: the blocks of all threads
// and the buffers of this loop, of `in` and of `out`. A frame whose blocks
// cannot fit is refused with a message naming --memory. Throws Failure at
// the first fault, after writing the blocks before it.
Totals read_container(Source& in, Sink& out, unsigned threads, const ProgressFn& progress = {},
                      uint64_t memory_limit = 0);

struct MemberInfo {
    struct {
        std::string codec;
        uint32_t block_size = 0;
    } header;
    Totals totals;
    uint64_t stored_blocks = 0;
    int filter = VORLEX_FILTER_NONE;  // and its typesize, 0 for none
    unsigned typesize = 0;
};

// Walk the records without decoding: codec, sizes and block counts of each
// concatenated container, with lengths and totals checked (not the data).
// Payloads are skipped unread where the source can seek.
std::vector<MemberInfo> list_container(Source& in);

}  // namespace vorlex::cli
