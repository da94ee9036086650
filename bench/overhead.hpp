// The host-overhead view (`vorlex bench --overhead`): each codec of ours
// that wraps a library (lz4, zstd, gzip, snappy), at each level asked for,
// beside the same library called directly in the same format with contexts
// made once and reused, as an application compressing many buffers would,
// and the ratio of the two speeds. Any gap between a row and its direct
// twin is what vorlex costs; the view keeps it visible at --small sizes too.
//
// Subjects of codec C (C is "lz4:1", or "snappy" for codecs without levels):
//   C                 vorlex_compress / vorlex_decompress, the raw format
//                     (the size is known to the caller, as in a container)
//   C direct          the library in that format (an LZ4 frame, a zstd frame
//                     with its checksum, a gzip member, a snappy block)
//   C block           vorlex_compress_block / vorlex_decompress_block, in
//                     blocks of at most 1 MiB (a container's default)
//   C block direct    the library in the block form on the same blocks
//                     (LZ4_decompress_safe, a zstd frame without checksum,
//                     raw deflate)
//   C frame           vorlex_frame_compress / vorlex_frame_decompress with
//                     1 MiB blocks: the container, block checksums included
// Pairs: C / C direct, C block / C block direct, C frame / C block direct.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "options.hpp"
#include "results.hpp"
#include "subject.hpp"

namespace vorlex::bench {

// The codecs measured when --overhead is given without --codec.
std::vector<std::string> overhead_default_codecs();

// The subjects above for one codec at one level (nullopt: its default), in
// that order; empty when the codec wraps no library this program links.
std::vector<std::unique_ptr<Subject>> overhead_subjects(vorlex_codec* codec,
                                                        std::optional<int> level);

// The table of ratios (ours over direct) for every pair found in rows,
// group by group; "" when there is none.
std::string render_overhead(const std::vector<Row>& rows, Format format);

}  // namespace vorlex::bench
