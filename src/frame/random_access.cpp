// The map and the reads of RandomAccess.
#include "random_access.hpp"

#include <algorithm>
#include <cstring>

#include "block_codec.hpp"
#include "filters/block.hpp"
#include "common/bytes.hpp"
#include "index.hpp"
#include "parser.hpp"

namespace vorlex::frame {

using namespace format;

namespace {

// The tail read: an end record and the index of a frame of up to 8000 or
// so blocks (8 GiB of 1 MiB blocks) in one read.
constexpr size_t TAIL_READ = 64 << 10;
// Enough for any header, whatever its flags add.
constexpr size_t HEADER_READ = 4096;
// The walk's window: many record headers of small blocks per read.
constexpr size_t WALK_READ = 64 << 10;

std::string n(uint64_t v) { return std::to_string(v); }

}  // namespace

RandomAccess::RandomAccess(ReadAtFn read, uint64_t size) : read_(std::move(read)), size_(size) {
    // Backwards through indexed frames from the end, as far as they go.
    struct Mapped {
        Frame frame;
        std::vector<Block> blocks;
    };
    std::vector<Mapped> tail;  // last frame first
    uint64_t end = size_;
    while (end != 0) {
        Mapped m;
        if (!map_from_index(end, m.frame, m.blocks)) break;
        end = m.frame.offset;
        tail.push_back(std::move(m));
    }
    if (end != 0 || size_ == 0) walk(end);
    if (fault_ && frames_.empty()) throw *fault_;
    if (fault_) return;  // what follows the fault cannot be placed in the content
    for (auto m = tail.rbegin(); m != tail.rend(); ++m) {
        for (Block& b : m->blocks) {
            b.frame = frames_.size();
            b.content_offset = content_;
            content_ += b.original_length;
            blocks_.push_back(b);
        }
        frames_.push_back(std::move(m->frame));
    }
}

size_t RandomAccess::read_file(uint64_t offset, uint8_t* out, size_t n) {
    ++counters_.reads;
    const size_t got = read_(offset, out, n);
    counters_.bytes_read += got;
    return got;
}

// The header at offset, parsed as a reader would; returns its length.
size_t RandomAccess::read_header(uint64_t offset, Frame& f) {
    const size_t want = size_ - offset < HEADER_READ ? size_t(size_ - offset) : HEADER_READ;
    f.header_bytes.resize(want);
    f.header_bytes.resize(read_file(offset, f.header_bytes.data(), want));
    Parser p;
    const uint8_t* at = f.header_bytes.data();
    size_t left = f.header_bytes.size();
    if (p.step(at, left) != Parser::Event::header) p.finish();
    f.header_bytes.resize(size_t(at - f.header_bytes.data()));
    f.header = p.header();
    f.offset = offset;
    return f.header_bytes.size();
}

// The frame ending at byte `end`, from its index record, when it has one
// that agrees with its header and end record. Fills frames with it alone
// and blocks with its blocks (content offsets and frame numbers are set by
// the caller).
bool RandomAccess::map_from_index(uint64_t end, Frame& f, std::vector<Block>& blocks) {
    if (end < END_RECORD + index::FIXED) return false;
    const size_t tail_length = end < TAIL_READ ? size_t(end) : TAIL_READ;
    std::vector<uint8_t> tail(tail_length);
    if (read_file(end - tail_length, tail.data(), tail_length) != tail_length) return false;
    const uint8_t* end_record = tail.data() + tail_length - END_RECORD;
    if (end_record[0] != KIND_END) return false;
    const EndRecord e = decode_end(end_record);
    // Every block takes a record of at least BLOCK_HEADER + 1 bytes and an entry.
    if (e.block_count > end / (BLOCK_HEADER + 1 + index::ENTRY)) return false;
    const uint64_t index_length = index::record_length(e.block_count);
    if (index_length == 0 || index_length > end - END_RECORD) return false;
    const uint64_t index_offset = end - END_RECORD - index_length;
    std::vector<uint8_t> far;
    const uint8_t* rec;
    if (index_length <= tail_length - END_RECORD) {
        rec = end_record - index_length;
    } else {
        far.resize(size_t(index_length));
        if (read_file(index_offset, far.data(), far.size()) != far.size()) return false;
        rec = far.data();
    }
    index::Decoded d;
    if (index::decode(rec, e.block_count, d) || d.member_length > index_offset) return false;
    const uint64_t start = index_offset - d.member_length;
    try {
        read_header(start, f);
    } catch (const Error&) {
        return false;
    }
    if ((f.header.flags & FLAG_INDEXED) == 0) return false;
    uint64_t at = start + f.header_bytes.size();
    uint64_t total = 0;
    uint64_t number = 0;
    for (const index::Entry& x : d.entries) {
        if (x.original_length == 0 || x.original_length > f.header.block_size ||
            x.record_length <= BLOCK_HEADER) {
            return false;
        }
        blocks.push_back({0, at, x.record_length, x.original_length, 0, ++number});
        at += x.record_length;
        total += x.original_length;
    }
    if (at != index_offset || total != e.total_length) return false;
    f.indexed = true;
    return true;
}

// Record headers from the start of the file to `end`, payloads skipped.
void RandomAccess::walk(uint64_t end) {
    Parser p;
    std::vector<uint8_t> window(WALK_READ);
    uint64_t at = 0;  // file offset of window[0]
    size_t have = 0, used = 0;
    try {
        for (;;) {
            if (p.in_payload()) {
                const uint64_t skip = p.payload_left();
                p.take_payload(skip);
                const uint64_t in_window = have - used;
                if (skip <= in_window) {
                    used += size_t(skip);
                } else {
                    at += have + (skip - in_window);
                    have = used = 0;
                }
                continue;
            }
            if (used == have) {
                at += have;
                have = used = 0;
                const uint64_t left = end - at;
                if (left == 0) {
                    p.finish();
                    break;
                }
                const size_t want = left < window.size() ? size_t(left) : window.size();
                have = read_file(at, window.data(), want);
                if (have == 0) {
                    p.finish();
                    break;
                }
            }
            const uint8_t* q = window.data() + used;
            size_t k = have - used;
            const Parser::Event ev = p.step(q, k);
            used = have - k;
            if (ev == Parser::Event::header) {
                Frame f;
                read_header(p.member_offset(), f);
                frames_.push_back(std::move(f));
            } else if (ev == Parser::Event::block) {
                const BlockHeader& r = p.block();
                const uint64_t head = p.position() - p.record_offset();
                blocks_.push_back({content_, p.record_offset(), uint32_t(head + r.stored_length),
                                   r.original_length, frames_.size() - 1, p.block_index()});
                content_ += r.original_length;
            }
        }
    } catch (const Error& e) {
        fault_ = e;
        // Blocks of a frame whose end record never came stay readable, but
        // not a block whose record was cut short.
        if (!blocks_.empty()) {
            const Block& b = blocks_.back();
            if (b.record_offset + b.record_length > end) {
                content_ -= b.original_length;
                blocks_.pop_back();
            }
        }
    }
}

std::optional<uint64_t> RandomAccess::find(uint64_t offset) const {
    if (offset >= content_) return std::nullopt;
    const auto it = std::upper_bound(
        blocks_.begin(), blocks_.end(), offset,
        [](uint64_t o, const Block& b) { return o < b.content_offset; });
    return uint64_t(it - blocks_.begin()) - 1;
}

// One block record read whole, its fixed part checked as a reader checks
// it (and against the map), its payload decoded and checked.
void RandomAccess::decode(uint64_t i) {
    const Block& b = blocks_[size_t(i)];
    Frame& f = frames_[size_t(b.frame)];
    cached_.reset();
    const auto fail_here = [&b](vorlex_status st, const std::string& what) {
        fail(st, block_message(b.number, b.record_offset, what));
    };
    if (f.codec == nullptr) {
        f.codec = vorlex_get_codec(f.header.codec.c_str());
        if (f.codec == nullptr) {
            fail(VORLEX_STATUS_NO_SUCH_CODEC, codec_unavailable(f.header.codec));
        }
    }
    record_.resize(b.record_length);
    const size_t got = read_file(b.record_offset, record_.data(), record_.size());
    Parser p;
    const uint8_t* q = f.header_bytes.data();
    size_t k = f.header_bytes.size();
    p.step(q, k);
    p.relocate(b.record_offset, b.number);
    q = record_.data();
    k = got;
    if (got != b.record_length) {
        fail_here(VORLEX_STATUS_INPUT_TRUNCATED,
                  "truncated (record of " + n(b.record_length) + " bytes, " + n(got) + " present)");
    }
    if (p.step(q, k) != Parser::Event::block) fail_here(VORLEX_STATUS_CORRUPT, "not a block record");
    const BlockHeader& r = p.block();
    if (r.original_length != b.original_length || k != r.stored_length) {
        fail_here(VORLEX_STATUS_CORRUPT, "record disagrees with the index");
    }
    decoded_.resize(r.original_length);
    const bool block_form = (f.header.flags & FLAG_BLOCK_FORM) != 0;
    try {
        if (r.kind == KIND_COMPRESSED && f.header.filter != 0) {
            unfiltered_.resize(r.original_length);
            filters::decode_filtered_block(f.codec, block_form, {f.header.filter, f.header.typesize},
                                           r, q, decoded_.data(), unfiltered_.data());
        } else {
            decode_block(f.codec, block_form, r, q, decoded_.data());
        }
    } catch (const Error& e) {
        fail_here(e.status(), e.message());
    }
    ++counters_.blocks_decoded;
    cached_ = i;
}

const uint8_t* RandomAccess::block_data(uint64_t i) {
    if (cached_ != i) decode(i);
    return decoded_.data();
}

void RandomAccess::read(uint64_t offset, uint8_t* out, size_t& n) {
    size_t done = 0;
    while (done < n) {
        const uint64_t at = offset + done;
        const std::optional<uint64_t> i = find(at);
        if (!i) {
            if (fault_ && at >= content_) throw *fault_;
            break;
        }
        const Block& b = blocks_[size_t(*i)];
        const uint8_t* data = block_data(*i);
        const uint64_t skip = at - b.content_offset;
        const size_t k = std::min<uint64_t>(n - done, b.original_length - skip);
        std::memcpy(out + done, data + skip, k);
        done += k;
    }
    n = done;
}

}  // namespace vorlex::frame
