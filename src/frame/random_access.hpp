// Random access to the content of a file of frames: a map from content
// offsets to block records, then reads that decode only the blocks they
// touch, each checked against its own checksum.
//
// The map comes from the frames' index records when they have them: the
// tail holds the last frame's end record and index, whose member length
// leads to that frame's header and to the end of the frame before it, and
// so on backwards. Whatever part of the file that cannot map (frames
// written without an index, a damaged index) is walked from its start,
// record header to record header, skipping every payload unread.
//
// Damage stays where it is. A block whose record or payload is damaged
// fails only the reads that need it, naming the block and its offset. A
// fault that stops the walk (a damaged record header of a frame without
// index) leaves the blocks before it readable; reads beyond fail with that
// fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <vorlex/vorlex.h>

#include "error.hpp"
#include "format.hpp"

namespace vorlex::frame {

// Up to n bytes of the file from offset into out; fewer only at its end.
// Throws Error when the file cannot be read.
using ReadAtFn = std::function<size_t(uint64_t offset, uint8_t* out, size_t n)>;

class RandomAccess {
public:
    struct Block {
        uint64_t content_offset = 0;
        uint64_t record_offset = 0;
        uint32_t record_length = 0;
        uint32_t original_length = 0;
        uint64_t frame = 0;   // 0-based
        uint64_t number = 0;  // 1-based within its frame, as messages name it
    };
    struct Frame {
        uint64_t offset = 0;
        std::vector<uint8_t> header_bytes;
        format::Header header;
        bool indexed = false;  // mapped from its index record
        vorlex_codec* codec = nullptr;  // loaded at its first decode
    };
    struct Counters {
        uint64_t blocks_decoded = 0;
        uint64_t reads = 0;
        uint64_t bytes_read = 0;
    };

    // Maps the file; throws Error when not even the first frame's header
    // can be read. size: the file's length in bytes.
    RandomAccess(ReadAtFn read, uint64_t size);

    // Content bytes from offset: up to *n into out, *n set to the count
    // (fewer only at the end of the content). Throws Error when a block
    // needed is damaged or beyond a fault that stopped the map.
    void read(uint64_t offset, uint8_t* out, size_t& n);

    // The block holding content byte `offset`, if mapped.
    std::optional<uint64_t> find(uint64_t offset) const;
    // Decoded bytes of a block (valid until the next read or block call).
    const uint8_t* block_data(uint64_t block);

    const std::vector<Block>& blocks() const { return blocks_; }
    const std::vector<Frame>& frames() const { return frames_; }
    uint64_t content_size() const { return content_; }
    // The fault that stopped the map, when the content is not all mapped.
    const std::optional<Error>& fault() const { return fault_; }
    const Counters& counters() const { return counters_; }

private:
    size_t read_file(uint64_t offset, uint8_t* out, size_t n);
    bool map_from_index(uint64_t end, Frame& f, std::vector<Block>& blocks);
    void walk(uint64_t end);
    size_t read_header(uint64_t offset, Frame& f);
    void decode(uint64_t block);

    ReadAtFn read_;
    uint64_t size_;
    std::vector<Frame> frames_;
    std::vector<Block> blocks_;
    uint64_t content_ = 0;
    std::optional<Error> fault_;

    std::vector<uint8_t> record_;  // a block record as read
    std::vector<uint8_t> decoded_;
    std::vector<uint8_t> unfiltered_;  // a filtered block's temp
    std::optional<uint64_t> cached_;  // the block decoded_ holds
    Counters counters_;
};

}  // namespace vorlex::frame
