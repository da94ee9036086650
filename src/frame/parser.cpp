// Record-by-record validation of frames, as a state machine over bytes.
#include "parser.hpp"

#include <cstdio>
#include <cstring>

#include "common/bytes.hpp"
#include "error.hpp"
#include "index.hpp"

namespace vorlex::frame {

using namespace format;

namespace {

std::string hex_byte(uint8_t v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%02x", v);
    return s;
}

std::string at(uint64_t offset) { return "byte " + std::to_string(offset); }
std::string n(uint64_t v) { return std::to_string(v); }

}  // namespace

std::string block_message(uint64_t index, uint64_t offset, const std::string& what) {
    return "block " + n(index) + " at " + at(offset) + ": " + what;
}

void Parser::fail_block(vorlex_status status, const std::string& what) const {
    fail(status, block_message(blocks_, record_offset_, what));
}

void Parser::fail_end(vorlex_status status, const std::string& what) const {
    fail(status, "end record at " + at(record_offset_) + ": " + what);
}

void Parser::fail_header(vorlex_status status, const std::string& what) const {
    fail(status, (member_offset_ == 0 ? "header: " : "header at " + at(member_offset_) + ": ") +
                     what);
}

size_t Parser::take(const uint8_t*& p, size_t& n, size_t want) {
    const size_t k = want - have_ < n ? want - have_ : n;
    std::memcpy(buf_ + have_, p, k);
    have_ += k;
    p += k;
    n -= k;
    position_ += k;
    return k;
}

Parser::Event Parser::step(const uint8_t*& p, size_t& n) {
    while (n != 0) {
        switch (state_) {
            case State::between:
                member_offset_ = position_;
                have_ = 0;
                state_ = State::header;
                break;
            case State::header:
                if (header_step(p, n) == Event::header) return Event::header;
                break;
            case State::record: {
                const Event e = record_step(p, n);
                if (e != Event::none) return e;
                break;
            }
            case State::payload:
                return Event::none;
            case State::index:
                index_step(p, n);
                break;
        }
    }
    return Event::none;
}

void Parser::relocate(uint64_t offset, uint64_t index) {
    position_ = offset;
    blocks_ = index - 1;
}

void Parser::fail_index(vorlex_status status, const std::string& what) const {
    fail(status, "index record at " + at(record_offset_) + ": " + what);
}

// The kind byte of an index record was taken.
void Parser::start_index() {
    if ((header_.flags & FLAG_INDEXED) == 0) {
        ++blocks_;
        fail_block(VORLEX_STATUS_CORRUPT, "unknown record kind " + hex_byte(KIND_INDEX));
    }
    if (index_seen_) fail_index(VORLEX_STATUS_CORRUPT, "a second index record");
    index_seen_ = true;
    index_entries_left_ = blocks_;
    index_read_.reset();
    have_ = 0;
    state_ = State::index;
}

// Entries are checked as they pass, 8 bytes at a time, so that an index of
// any length costs no memory.
Parser::Event Parser::index_step(const uint8_t*& p, size_t& n) {
    while (n != 0 && index_entries_left_ != 0) {
        take(p, n, index::ENTRY);
        if (have_ < index::ENTRY) return Event::none;
        index_read_.add(bytes::load_le64(buf_));
        have_ = 0;
        --index_entries_left_;
    }
    if (index_entries_left_ != 0) return Event::none;
    take(p, n, 16);
    if (have_ < 16) return Event::none;
    finish_index();
    have_ = 0;
    state_ = State::record;
    return Event::none;
}

void Parser::finish_index() {
    if (index_read_.value() != index_expected_.value()) {
        fail_index(VORLEX_STATUS_CORRUPT, "entries disagree with the block records");
    }
    const uint64_t member_length = bytes::load_le64(buf_);
    if (member_length != record_offset_ - member_offset_) {
        fail_index(VORLEX_STATUS_CORRUPT, "member length " + n(member_length) + ", expected " +
                                              n(record_offset_ - member_offset_));
    }
    index_read_.add(member_length);
    if (index_read_.value() != bytes::load_le64(buf_ + 8)) {
        fail_index(VORLEX_STATUS_CORRUPT, "index checksum mismatch");
    }
}

// Bytes [have_, have_ + k) of a header, before they are taken: a wrong magic
// byte is reported at once, whatever follows it.
void Parser::check_magic(const uint8_t* p, size_t k) const {
    for (size_t i = have_; i < sizeof MAGIC && i < have_ + k; ++i) {
        if (p[i - have_] == MAGIC[i]) continue;
        if (member_offset_ == 0) fail(VORLEX_STATUS_CORRUPT, "not a vorlex container (bad magic)");
        fail(VORLEX_STATUS_TRAILING_DATA,
             "trailing data at " + at(member_offset_) + " after the end record");
    }
}

void Parser::check_fixed_header() const {
    if (buf_[4] != VERSION) {
        fail_header(VORLEX_STATUS_UNSUPPORTED, "unsupported format version " + n(buf_[4]));
    }
    const size_t name_length = buf_[6];
    if (name_length == 0 || name_length > MAX_CODEC_NAME) {
        fail_header(VORLEX_STATUS_CORRUPT, "codec name length " + n(name_length) + " out of range");
    }
}

void Parser::finish_header() {
    const size_t name_length = buf_[6];
    const size_t fields = HEADER_FIXED + name_length + 4;  // through the block size
    const size_t body = fields + flag_fields(buf_[5]);
    if (bytes::load_le32(buf_ + body) != header_checksum(buf_, body)) {
        // The flags this reader knows set the header's length; a flag from a
        // newer writer may have added fields, moving the checksum.
        const bool unknown = (buf_[5] & ~KNOWN_FLAGS) != 0;
        fail_header(VORLEX_STATUS_CORRUPT,
                    unknown ? "header checksum mismatch (or unknown flags " + hex_byte(buf_[5]) +
                                  " from a newer writer)"
                            : std::string("header checksum mismatch"));
    }
    // The checksum matched, so what follows is what a writer meant.
    if ((buf_[5] & ~KNOWN_FLAGS) != 0) {
        fail_header(VORLEX_STATUS_UNSUPPORTED, "unknown flags " + hex_byte(buf_[5]));
    }
    header_.version = buf_[4];
    header_.flags = buf_[5];
    header_.codec.assign(reinterpret_cast<const char*>(buf_ + HEADER_FIXED), name_length);
    if (!is_valid_codec_name(header_.codec)) {
        fail_header(VORLEX_STATUS_CORRUPT, "invalid codec name");
    }
    header_.block_size = bytes::load_le32(buf_ + HEADER_FIXED + name_length);
    if (header_.block_size < MIN_BLOCK_SIZE || header_.block_size > MAX_BLOCK_SIZE) {
        fail_header(VORLEX_STATUS_CORRUPT, "block size " + n(header_.block_size) +
                                               " out of range (" + n(MIN_BLOCK_SIZE) + " to " +
                                               n(MAX_BLOCK_SIZE) + ")");
    }
    header_.filter = 0;
    header_.typesize = 0;
    if ((header_.flags & FLAG_FILTERED) != 0) {
        header_.filter = buf_[fields];
        header_.typesize = buf_[fields + 1];
        if (auto why = check_filter_fields(header_.filter, header_.typesize)) {
            fail_header(header_.filter > MAX_FILTER ? VORLEX_STATUS_UNSUPPORTED
                                                    : VORLEX_STATUS_CORRUPT,
                        *why);
        }
    }
    header_read_ = true;
    index_seen_ = false;
    index_expected_.reset();
    blocks_ = 0;
    original_total_ = 0;
    stored_blocks_ = 0;
    content_.reset();
}

Parser::Event Parser::header_step(const uint8_t*& p, size_t& n) {
    if (have_ < HEADER_FIXED) {
        check_magic(p, n < HEADER_FIXED - have_ ? n : HEADER_FIXED - have_);
        take(p, n, HEADER_FIXED);
        if (have_ < HEADER_FIXED) return Event::none;
        check_fixed_header();
    }
    const size_t length = HEADER_FIXED + buf_[6] + HEADER_TAIL + flag_fields(buf_[5]);
    take(p, n, length);
    if (have_ < length) return Event::none;
    finish_header();
    state_ = State::record;
    have_ = 0;
    return Event::header;
}

void Parser::finish_end() {
    end_ = decode_end(buf_);
    if ((header_.flags & FLAG_INDEXED) != 0 && !index_seen_) {
        fail_end(VORLEX_STATUS_CORRUPT, "the index record is missing");
    }
    if (end_.block_count != blocks_) {
        fail_end(VORLEX_STATUS_CORRUPT, "block count " + n(end_.block_count) + ", found " + n(blocks_));
    }
    if (end_.total_length != original_total_) {
        fail_end(VORLEX_STATUS_CORRUPT, "total size " + n(end_.total_length) + ", blocks hold " +
                                            n(original_total_));
    }
    if (end_.content_checksum != content_.value()) {
        fail_end(VORLEX_STATUS_CORRUPT, "content checksum mismatch");
    }
    if (total_content_ > UINT64_MAX - original_total_) {
        fail_end(VORLEX_STATUS_TOO_LARGE, "the frames' total size overflows 64 bits");
    }
    total_content_ += original_total_;
    ++frames_;
}

void Parser::finish_block() {
    block_ = decode_block_header(buf_);
    if (auto why = check_block_header(block_, header_)) {
        fail_block(VORLEX_STATUS_CORRUPT, *why);
    }
    original_total_ += block_.original_length;  // at most 2^32 per block: no overflow in practice
    content_.add(block_.checksum);
    if (block_.kind == KIND_STORED) ++stored_blocks_;
    ++total_blocks_;
    payload_left_ = block_.stored_length;  // at least 1: checked above
}

Parser::Event Parser::record_step(const uint8_t*& p, size_t& n) {
    if (have_ == 0) {
        record_offset_ = position_;
        if (p[0] == KIND_INDEX) {
            ++p;
            --n;
            ++position_;
            start_index();
            return Event::none;
        }
        if (index_seen_ && p[0] != KIND_END) {
            ++blocks_;
            fail_block(VORLEX_STATUS_CORRUPT, "block record after the index");
        }
        if (p[0] != KIND_END) {
            ++blocks_;
            if (p[0] != KIND_COMPRESSED && p[0] != KIND_STORED) {
                fail_block(VORLEX_STATUS_CORRUPT, "unknown record kind " + hex_byte(p[0]));
            }
        }
    }
    const bool end = (have_ == 0 ? p[0] : buf_[0]) == KIND_END;
    take(p, n, end ? END_RECORD : BLOCK_HEADER);
    if (have_ < (end ? END_RECORD : BLOCK_HEADER)) return Event::none;
    have_ = 0;
    if (end) {
        finish_end();
        state_ = State::between;
        return Event::end;
    }
    finish_block();
    state_ = State::payload;
    return Event::block;
}

void Parser::take_payload(uint64_t k) {
    payload_left_ -= k;
    position_ += k;
    if (payload_left_ == 0) {
        state_ = State::record;
        // The whole record is known now: the entry an index must hold for it.
        index_expected_.add(index::entry_value(uint32_t(position_ - record_offset_),
                                               block_.original_length));
    }
}

void Parser::finish() const {
    switch (state_) {
        case State::between:
            if (frames_ == 0) fail(VORLEX_STATUS_INPUT_TRUNCATED, "header: truncated");
            return;
        case State::header:
            fail_header(VORLEX_STATUS_INPUT_TRUNCATED, "truncated");
        case State::record:
            if (have_ == 0) {
                fail(VORLEX_STATUS_INPUT_TRUNCATED,
                     "truncated at " + at(position_) + ": the end record is missing");
            }
            if (buf_[0] == KIND_END) fail_end(VORLEX_STATUS_INPUT_TRUNCATED, "truncated");
            fail_block(VORLEX_STATUS_INPUT_TRUNCATED, "truncated");
        case State::index:
            fail_index(VORLEX_STATUS_INPUT_TRUNCATED, "truncated");
        case State::payload:
            fail_block(VORLEX_STATUS_INPUT_TRUNCATED,
                       "truncated (payload of " + n(block_.stored_length) + " bytes, " +
                           n(block_.stored_length - payload_left_) + " present)");
    }
}

}  // namespace vorlex::frame
