// Reads a frame's records from bytes pushed in any pieces, down to one byte
// at a time, and refuses anything the writer cannot have produced. Every
// length is checked against the header's limits before the caller allocates
// for it; the header's own checksum, the end record's totals and the content
// checksum (over the block checksums the records claim) are checked here.
// Whether each block's data matches its checksum is the caller's business:
// that needs the decoded bytes. Failures throw Error naming the record and
// its byte offset, worded as docs/format.md lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <vorlex/vorlex.h>

#include "checksum.hpp"
#include "format.hpp"

namespace vorlex::frame {

class Parser {
public:
    enum class Event {
        none,    // the input ran out, or a payload is next (see in_payload)
        header,  // a frame's header was read: header()
        block,   // a block's record header was read: block(); its payload follows
        end,     // a frame's end record was read and agrees with its blocks
    };

    // Consume record bytes from [p, p + n), moving p and n on, up to the
    // next event. Never consumes payload bytes: take those with take_payload.
    Event step(const uint8_t*& p, size_t& n);

    bool in_payload() const { return state_ == State::payload; }
    uint64_t payload_left() const { return payload_left_; }
    // k <= payload_left() payload bytes were consumed by the caller.
    void take_payload(uint64_t k);

    // The input ended: throws the truncation the position calls for, unless
    // it is just after a frame's end record.
    void finish() const;

    const format::Header& header() const { return header_; }
    const format::BlockHeader& block() const { return block_; }
    const format::EndRecord& end() const { return end_; }
    uint64_t block_index() const { return blocks_; }      // of the current frame, 1-based
    uint64_t record_offset() const { return record_offset_; }
    uint64_t member_offset() const { return member_offset_; }
    uint64_t position() const { return position_; }        // bytes consumed
    uint64_t frame_original() const { return original_total_; }
    uint64_t stored_blocks() const { return stored_blocks_; }
    uint64_t frames() const { return frames_; }             // completed
    uint64_t total_blocks() const { return total_blocks_; }
    uint64_t total_content() const { return total_content_; }  // of completed frames
    bool header_read() const { return header_read_; }
    // Just after a frame's end record (no byte of another frame seen yet).
    bool at_frame_end() const { return state_ == State::between && frames_ != 0; }

    // Random access: the header was read (from the frame's own header bytes);
    // the next record starts at byte `offset` of the file and is the frame's
    // block `index` (1-based). Messages then name that block and offset. The
    // end record is not to be fed after this: its totals would not add up.
    void relocate(uint64_t offset, uint64_t index);

    // "block 3 at byte 2071: <what>" for the current block.
    [[noreturn]] void fail_block(vorlex_status status, const std::string& what) const;
    // "header: <what>" for the first frame, "header at byte N: <what>" after it.
    [[noreturn]] void fail_header(vorlex_status status, const std::string& what) const;

private:
    enum class State { between, header, record, payload, index };

    Event header_step(const uint8_t*& p, size_t& n);
    Event record_step(const uint8_t*& p, size_t& n);
    void check_magic(const uint8_t* p, size_t k) const;
    void check_fixed_header() const;
    void finish_header();
    void finish_end();
    void finish_block();
    void start_index();
    Event index_step(const uint8_t*& p, size_t& n);
    void finish_index();
    [[noreturn]] void fail_index(vorlex_status status, const std::string& what) const;
    [[noreturn]] void fail_end(vorlex_status status, const std::string& what) const;
    size_t take(const uint8_t*& p, size_t& n, size_t want);

    State state_ = State::between;
    uint8_t buf_[format::MAX_HEADER] = {};
    size_t have_ = 0;  // bytes of the current header or record in buf_

    format::Header header_;
    format::BlockHeader block_;
    format::EndRecord end_;
    ContentChecksum content_;
    bool header_read_ = false;

    // Index records: what the blocks read say the entries must be, and what
    // the record holds; both fed the same way, so their digests compare.
    ContentChecksum index_expected_;
    ContentChecksum index_read_;
    bool index_seen_ = false;
    uint64_t index_entries_left_ = 0;

    uint64_t position_ = 0;
    uint64_t member_offset_ = 0;
    uint64_t record_offset_ = 0;
    uint64_t blocks_ = 0;
    uint64_t original_total_ = 0;
    uint64_t stored_blocks_ = 0;
    uint64_t payload_left_ = 0;
    uint64_t frames_ = 0;
    uint64_t total_blocks_ = 0;
    uint64_t total_content_ = 0;
};

// "block 3 at byte 2071: what": the form of every message about a block.
std::string block_message(uint64_t index, uint64_t offset, const std::string& what);

}  // namespace vorlex::frame
