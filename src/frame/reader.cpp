// The frame reader. Single-threaded, a payload that is all in the caller's
// input is decoded from there, and into the caller's output when the block
// fits: no copy on either side. Everything else goes through a slot.
#include "reader.hpp"

#include <cstring>

#include "block_codec.hpp"
#include "buffer.hpp"

namespace vorlex::frame {

using namespace format;

namespace {

std::string n(uint64_t v) { return std::to_string(v); }

// Blocks decoding to fewer bytes than this cost less than a hand-off to a
// worker: the caller's thread decodes them itself, in their turn.
constexpr uint32_t SMALL_BLOCK = 64 * 1024;

}  // namespace

Reader::Reader(unsigned threads, size_t memory_limit, uint32_t flags, bool one_shot)
    : memory_limit_(memory_limit != 0 ? memory_limit : VORLEX_FRAME_DEFAULT_MEMORY_LIMIT),
      flags_(flags),
      one_shot_(one_shot),
      pipeline_(threads, [this](Slot& s) { decode(s); }) {}

// On a worker: only the slot and its codec are touched.
void Reader::decode(Slot& s) {
    if (s.record.kind == KIND_COMPRESSED && s.filter.filter != 0) {
        s.original.reserve(s.record.original_length);
        s.work.a.reserve(s.record.original_length);
        filters::decode_filtered_block(s.codec, s.block_form, s.filter, s.record,
                                       s.payload.data(), s.original.data(), s.work.a.data());
    } else if (s.record.kind == KIND_COMPRESSED) {
        s.original.reserve(s.record.original_length);
        decode_block(s.codec, s.block_form, s.record, s.payload.data(), s.original.data());
    } else {
        check_block(s.record, s.payload.data());  // handed out from the payload itself
    }
}

void Reader::fail_block(vorlex_status status, const std::string& what) const {
    parser_.fail_block(status, what);
}

void Reader::consume(vorlex_frame_buffers& b, size_t k) {
    b.in_next += k;
    b.in_avail -= k;
}

bool Reader::deliver(vorlex_frame_buffers& b) {
    if (body_ == nullptr) return true;
    const size_t k = body_length_ - body_at_ < b.out_avail ? body_length_ - body_at_ : b.out_avail;
    if (k != 0) {
        std::memcpy(b.out_next, body_ + body_at_, k);
        body_at_ += k;
        b.out_next += k;
        b.out_avail -= k;
        total_out_ += k;
    }
    if (body_at_ < body_length_) return false;
    body_ = nullptr;
    pipeline_.release_oldest();
    return true;
}

void Reader::stage_oldest() {
    Slot& s = pipeline_.oldest();
    if (s.status != VORLEX_STATUS_OK) fail(s.status, block_message(s.index, s.offset, s.error));
    body_ = s.record.kind == KIND_STORED ? s.payload.data() : s.original.data();
    body_length_ = s.record.original_length;
    body_at_ = 0;
}

// A header was read: its codec, and whether one block in flight fits the
// memory limit. A block in flight holds its payload and its decoded bytes,
// each at most the block size (plus a buffer's alignment).
void Reader::start_frame() {
    if ((flags_ & VORLEX_FRAME_SCAN) != 0) return;
    const Header& h = parser_.header();
    codec_ = vorlex_get_codec(h.codec.c_str());
    if (codec_ == nullptr) fail(VORLEX_STATUS_NO_SUCH_CODEC, codec_unavailable(h.codec));
    block_form_ = (h.flags & FLAG_BLOCK_FORM) != 0;
    // A plug-in that lost its block form (or another plug-in of the name)
    // cannot read these payloads: say so rather than misread them.
    if (block_form_ && vorlex_codec_has_block_form(codec_) == 0) {
        parser_.fail_header(VORLEX_STATUS_UNSUPPORTED,
                            "codec '" + h.codec + "' has no block form (flag 0x01)");
    }
    filter_ = {h.filter, h.typesize};
    if (temp_.capacity() > h.block_size) temp_.release();
    const uint64_t per_block = block_memory(h.block_size, h.filter != 0);
    if (per_block > memory_limit_) {
        parser_.fail_header(VORLEX_STATUS_MEMORY_LIMIT,
                            "block size " + n(h.block_size) + " needs " + n(per_block) +
                                " bytes per block in flight (its payload and its decoded "
                                "bytes), over the memory limit of " +
                                n(memory_limit_) + " bytes");
    }
}

// A filtered block also needs the filter's work memory, a third buffer.
uint64_t Reader::block_memory(uint32_t block_size, bool filtered) {
    return (filtered ? 3 : 2) * (uint64_t(block_size) + BUFFER_ALIGNMENT);
}

// Before the first slot of a frame whose blocks need other memory than the
// blocks in flight: those are waited for, so that blocks of two sizes never
// add up past the limit, then as many slots as fit are allowed out.
bool Reader::fit_pipeline() {
    const uint32_t block_size = parser_.header().block_size;
    const uint64_t per_block = block_memory(block_size, filter_.filter != 0);
    if (per_block == pipeline_block_memory_) return true;
    if (!pipeline_.idle()) return false;
    const uint64_t fit = memory_limit_ / per_block;
    const size_t depth = pipeline_.default_depth();
    pipeline_.set_buffer_limit(block_size);
    pipeline_.set_depth(fit < depth ? (fit != 0 ? size_t(fit) : 1) : depth);
    pipeline_block_memory_ = per_block;
    return true;
}

Reader::Step Reader::take_payload(vorlex_frame_buffers& b, size_t produced) {
    const uint64_t left = parser_.payload_left();
    if ((flags_ & VORLEX_FRAME_SCAN) != 0) {
        const size_t k = b.in_avail < left ? b.in_avail : size_t(left);
        consume(b, k);
        parser_.take_payload(k);
        return Step::progressed;
    }
    const BlockHeader& r = parser_.block();
    const bool completes = b.in_avail >= left;
    if (one_shot_ && !completes) {
        parser_.take_payload(b.in_avail);
        consume(b, b.in_avail);
        parser_.finish();  // the payload is cut short
    }
    // Decoded here, on the caller's thread: every block without workers,
    // and a small block when no worker has anything before it (a hand-off
    // would cost more than the block, and nothing is waiting to go first).
    const bool inline_block =
        !pipeline_.threaded() || (r.original_length < SMALL_BLOCK && pipeline_.idle());
    if (inline_block && completes) {
        if (b.out_avail >= r.original_length) {
            const uint8_t* from = b.in_next;
            if (current_ != nullptr) {
                std::memcpy(current_->payload.data() + gathered_, b.in_next, size_t(left));
                from = current_->payload.data();
            }
            try {
                if (filter_.filter != 0 && r.kind == KIND_COMPRESSED) {
                    temp_.reserve(r.original_length);
                    filters::decode_filtered_block(codec_, block_form_, filter_, r, from,
                                                   b.out_next, temp_.data());
                } else {
                    decode_block(codec_, block_form_, r, from, b.out_next);
                }
            } catch (const Error& e) {
                fail_block(e.status(), e.message());
            }
            if (current_ != nullptr) {
                pipeline_.cancel(*current_);
                current_ = nullptr;
            }
            consume(b, size_t(left));
            parser_.take_payload(left);
            b.out_next += r.original_length;
            b.out_avail -= r.original_length;
            total_out_ += r.original_length;
            return Step::progressed;
        }
        if (one_shot_) {
            fail_block(VORLEX_STATUS_OUTPUT_FULL,
                       "output buffer too small (" + n(r.original_length) + " bytes to write, " +
                           n(b.out_avail) + " left)");
        }
        // Output came out already: let the caller make room, so this block
        // can go straight into it next time.
        if (produced != 0) return Step::need_output;
    }
    if (current_ == nullptr) {
        if (!fit_pipeline() || pipeline_.full()) {
            pipeline_.wait_oldest();  // handed out by the caller's loop
            return Step::progressed;
        }
        Slot& s = pipeline_.acquire();
        try {
            s.payload.reserve(r.stored_length);  // checked against the block size
        } catch (...) {
            pipeline_.cancel(s);
            throw;
        }
        s.record = r;
        s.index = parser_.block_index();
        s.offset = parser_.record_offset();
        s.codec = codec_;
        s.filter = filter_;
        s.block_form = block_form_;
        current_ = &s;
        gathered_ = 0;
    }
    const size_t k = b.in_avail < left ? b.in_avail : size_t(left);
    std::memcpy(current_->payload.data() + gathered_, b.in_next, k);
    gathered_ += k;
    consume(b, k);
    parser_.take_payload(k);
    if (parser_.payload_left() == 0) {
        Slot& s = *current_;
        current_ = nullptr;
        pipeline_.submit(s, s.record.original_length < SMALL_BLOCK);
    }
    return Step::progressed;
}

Reader::Step Reader::take_input(vorlex_frame_buffers& b, size_t produced) {
    if (parser_.in_payload()) return take_payload(b, produced);
    try {
        switch (parser_.step(b.in_next, b.in_avail)) {
            case Parser::Event::header:
                start_frame();
                break;
            case Parser::Event::end:
                if ((flags_ & VORLEX_FRAME_STOP_AT_END) != 0) stop_pending_ = true;
                break;
            case Parser::Event::block:
            case Parser::Event::none:
                break;
        }
    } catch (Error& e) {
        // Reported once the blocks before it are out (they may fail first).
        pending_ = std::move(e);
    }
    return Step::progressed;
}

vorlex_status Reader::process(vorlex_frame_buffers& b, vorlex_operation op) {
    pipeline_.restart_after_fork();
    if (finished_) {
        if (b.in_avail != 0) fail(VORLEX_STATUS_INVALID, "input after FINISH");
        return VORLEX_STATUS_OK;
    }
    const size_t out_start = b.out_avail;
    for (;;) {
        if (!deliver(b)) return VORLEX_STATUS_PROCESSING;
        if (!pipeline_.idle() && pipeline_.oldest_done()) {
            stage_oldest();
            continue;
        }
        if (pending_ || stop_pending_) {
            if (!pipeline_.idle()) {
                pipeline_.wait_oldest();
                continue;
            }
            if (pending_) throw *pending_;
            stop_pending_ = false;
            return VORLEX_STATUS_OK;
        }
        if (b.in_avail != 0) {
            if (take_input(b, out_start - b.out_avail) == Step::need_output) {
                return VORLEX_STATUS_PROCESSING;
            }
            continue;
        }
        if (op == VORLEX_OPERATION_PROCESS) return VORLEX_STATUS_OK;
        if (!pipeline_.idle()) {
            pipeline_.wait_oldest();
            continue;
        }
        if (op == VORLEX_OPERATION_FINISH) {
            parser_.finish();
            finished_ = true;
        }
        return VORLEX_STATUS_OK;
    }
}

void Reader::skip(uint64_t k) {
    if ((flags_ & VORLEX_FRAME_SCAN) == 0 || !parser_.in_payload() || k > parser_.payload_left()) {
        fail(VORLEX_STATUS_INVALID, "nothing to skip there");
    }
    parser_.take_payload(k);
}

void Reader::info(vorlex_frame_info& out) const {
    out = vorlex_frame_info{};
    if (parser_.header_read()) {
        const Header& h = parser_.header();
        std::memcpy(out.codec, h.codec.data(), h.codec.size());
        out.block_size = h.block_size;
    }
    out.frame_offset = parser_.member_offset();
    out.frame_length = parser_.position() - parser_.member_offset();
    out.frame_content = parser_.frame_original();
    out.frame_blocks = parser_.block_index();
    out.frame_stored_blocks = parser_.stored_blocks();
    out.frame_complete = parser_.at_frame_end() ? 1 : 0;
    out.frames = parser_.frames();
    out.total_blocks = parser_.total_blocks();
    out.total_in = parser_.position();
    out.total_out = total_out_;
    if ((flags_ & VORLEX_FRAME_SCAN) != 0 && parser_.in_payload()) {
        out.skippable = parser_.payload_left();
    }
}

}  // namespace vorlex::frame
