// Reads the container's records from a source, one at a time, and refuses
// anything the writer cannot have produced. Every length is checked against
// the header's limits before the caller allocates for it. Failures throw
// Failure naming the record and its byte offset. Checksums of the data are
// the caller's business (they need the decoded bytes); the parser checks the
// header's own checksum and the end record's totals.
#pragma once

#include <cstdint>
#include <string>

#include "container_format.hpp"
#include "io.hpp"

namespace vorlex::cli {

class ContainerParser {
public:
    explicit ContainerParser(Source& in) : in_(in) {}

    // The header at the current position (the first, or one following an
    // end record when containers were concatenated).
    const format::Header& read_header();
    // The next block's record header, or false once a consistent end record
    // has been read. The payload must be read or skipped before the next call.
    bool next_block(format::BlockHeader& block);
    void read_payload(uint8_t* out);
    void skip_payload();

    const format::Header& header() const { return header_; }
    const format::EndRecord& end() const { return end_; }
    uint64_t block_index() const { return blocks_; }
    uint64_t record_offset() const { return record_offset_; }
    uint64_t member_offset() const { return member_offset_; }

    // "block 3 at byte 2071: <what>" for the current block.
    [[noreturn]] void fail_block(const std::string& what) const;
    [[noreturn]] void fail_end(const std::string& what) const;

private:
    void check_payload_present(uint64_t got) const;

    Source& in_;
    format::Header header_;
    format::BlockHeader block_;
    format::EndRecord end_;
    uint64_t member_offset_ = 0;
    uint64_t record_offset_ = 0;
    uint64_t blocks_ = 0;
    uint64_t original_total_ = 0;
};

// "block 3 at byte 2071: what": the form of every message about a block.
std::string block_message(uint64_t index, uint64_t offset, const std::string& what);

}  // namespace vorlex::cli
