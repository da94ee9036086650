// The frame writer. Single-threaded, a whole block that sits at a 1024-byte
// boundary of the caller's input is compressed where it lies; every other
// block is first copied into an aligned slot, so that the output never
// depends on where the caller's bytes happen to be.
#include "writer.hpp"

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "block_codec.hpp"
#include "error.hpp"
#include "parser.hpp"

namespace vorlex::frame {

using namespace format;

Writer::Writer(vorlex_codec* codec, uint32_t block_size, unsigned threads)
    : codec_(codec),
      block_form_(vorlex_codec_has_block_form(codec) != 0),
      block_size_(block_size),
      pipeline_(threads, [this](Slot& s) { encode(s); }) {
    stage_header();
}

void Writer::stage_header() {
    Header h;
    h.codec = vorlex_codec_get_name(codec_);
    h.block_size = block_size_;
    if (block_form_) h.flags |= FLAG_BLOCK_FORM;
    if (indexed_) h.flags |= FLAG_INDEXED;
    h.filter = filter_.filter;
    h.typesize = filter_.filter != 0 ? filter_.typesize : 0;
    stage_.head_length = encode_header(h, stage_.head);
    staged_out_ = stage_.head_length;
}

void Writer::set_indexed(bool indexed) {
    if (total_in_ != 0 || submitted_ != 0 || total_out_ != 0 || finished_) {
        fail(VORLEX_STATUS_INVALID, "the index can only be chosen before the first input");
    }
    indexed_ = indexed;
    stage_header();
}

void Writer::set_options(const vorlex_options* options) {
    if (total_in_ != 0 || submitted_ != 0 || finished_) {
        fail(VORLEX_STATUS_INVALID, "options can only be set before the first input");
    }
    const vorlex_status st = vorlex_codec_check_options(codec_, options);
    if (st != VORLEX_STATUS_OK) {
        int lo = 0, hi = 0;
        std::string why = std::string("codec '") + vorlex_codec_get_name(codec_) + "' has no level " +
                          std::to_string(vorlex_options_get_level(options, 0));
        if (vorlex_codec_get_levels(codec_, &lo, &hi, nullptr) == VORLEX_STATUS_OK) {
            why += " (levels " + std::to_string(lo) + " to " + std::to_string(hi) + ")";
        }
        fail(st, why);
    }
    int filter = VORLEX_FILTER_NONE;
    unsigned typesize = 0;
    vorlex_options_get_filter(options, &filter, &typesize);
    if (filter != filter_.filter || (filter != VORLEX_FILTER_NONE && typesize != filter_.typesize)) {
        // The filter is in the header, which may not be out yet either.
        if (total_out_ != 0) {
            fail(VORLEX_STATUS_INVALID, "a filter can only be set before the first output");
        }
        filter_.filter = uint8_t(filter);
        filter_.typesize = uint8_t(filter != VORLEX_FILTER_NONE ? typesize : 1);
        stage_header();
    }
    // The caller's object may change or go: keep what it says.
    constexpr int UNSET = INT_MIN;
    const int level = vorlex_options_get_level(options, UNSET);
    if (level == UNSET) {
        options_.reset();
        return;
    }
    options_.reset(vorlex_options_new());
    if (!options_) throw std::bad_alloc();
    vorlex_options_set_level(options_.get(), level);
}

// On a worker: only the slot and the codec are touched.
void Writer::encode(Slot& s) {
    const size_t n = s.original_length;
    const uint8_t* in = s.source != nullptr ? s.source : s.original.data();
    if (filter_.filter != VORLEX_FILTER_NONE) {
        const size_t capacity = compress_capacity(codec_, n) + filters::CODE_BYTES;
        s.payload.reserve(capacity);
        s.record = filters::encode_filtered_block(codec_, block_form_, filter_, in, n,
                                                  s.payload.data(), capacity, options_.get(),
                                                  s.work);
        return;
    }
    const size_t capacity = compress_capacity(codec_, n);
    s.payload.reserve(capacity);
    s.record = encode_block(codec_, block_form_, in, n, s.payload.data(), capacity, options_.get());
}

void Writer::consume(vorlex_frame_buffers& b, size_t k) {
    b.in_next += k;
    b.in_avail -= k;
    total_in_ += k;
}

bool Writer::deliver(vorlex_frame_buffers& b) {
    const auto copy = [&b, this](const uint8_t* from, size_t length, size_t& at) {
        const size_t k = length - at < b.out_avail ? length - at : b.out_avail;
        if (k == 0) return;
        std::memcpy(b.out_next, from + at, k);
        at += k;
        b.out_next += k;
        b.out_avail -= k;
        total_out_ += k;
    };
    copy(stage_.head, stage_.head_length, stage_.head_at);
    if (stage_.body != nullptr) copy(stage_.body, stage_.body_length, stage_.body_at);
    if (stage_.busy()) return false;
    if (stage_.slot) pipeline_.release_oldest();
    stage_ = Staged();
    return true;
}

void Writer::stage_oldest() {
    Slot& s = pipeline_.oldest();
    if (s.status != VORLEX_STATUS_OK) {
        fail(s.status, block_message(s.index, staged_out_, s.error));
    }
    encode_block_header(s.record, stage_.head);
    stage_.head_length = BLOCK_HEADER;
    stage_.body = s.record.kind == KIND_STORED ? s.original.data() : s.payload.data();
    stage_.body_length = s.record.stored_length;
    stage_.slot = true;
    content_.add(s.record.checksum);
    content_total_ += s.original_length;
    ++blocks_;
    if (s.record.kind == KIND_STORED) ++stored_;
    const uint64_t record_start = staged_out_;
    staged_out_ += BLOCK_HEADER + s.record.stored_length;
    if (indexed_) index_.add(uint32_t(staged_out_ - record_start), s.record.original_length);
}

// Between the last block record and the end record.
void Writer::stage_index() {
    index_record_ = index_.finish(staged_out_);
    stage_.head_length = 0;
    stage_.body = index_record_.data();
    stage_.body_length = index_record_.size();
    staged_out_ += index_record_.size();
    index_staged_ = true;
}

void Writer::stage_end() {
    encode_end({content_total_, blocks_, content_.value()}, stage_.head);
    stage_.head_length = END_RECORD;
    staged_out_ += END_RECORD;
    end_staged_ = true;
}

void Writer::submit_current() {
    Slot& s = *current_;
    s.original_length = filled_;
    s.index = ++submitted_;
    current_ = nullptr;
    pipeline_.submit(s);
}

void Writer::take_input(vorlex_frame_buffers& b, vorlex_operation op) {
    if (current_ == nullptr) {
        if (pipeline_.full()) {
            pipeline_.wait_oldest();  // staged by the caller's loop
            return;
        }
        Slot& s = pipeline_.acquire();
        current_ = &s;
        filled_ = 0;
        // A whole block at hand (or the last one) is taken at once, in a
        // buffer of its own size: a small input costs no full block.
        const bool whole = b.in_avail >= block_size_ || op != VORLEX_OPERATION_PROCESS;
        const size_t n = b.in_avail < block_size_ ? b.in_avail : block_size_;
        // Where it lies only if it is aligned as the slot's buffer would be
        // (see buffer.hpp), or when a filter takes it there: the codec
        // then sees the filter's own buffer, also for a block the filter
        // leaves as it is (block.cpp).
        if (whole && !pipeline_.threaded() &&
            (reinterpret_cast<uintptr_t>(b.in_next) % BUFFER_ALIGNMENT == 0 ||
             filter_.filter != VORLEX_FILTER_NONE)) {
            // Compressed where it lies. The caller's bytes are not kept past
            // this call, so a block that ends up stored is copied.
            s.source = b.in_next;
            filled_ = n;
            submit_current();
            s.source = nullptr;
            if (s.status == VORLEX_STATUS_OK && s.record.kind == KIND_STORED) {
                s.original.reserve(n);
                std::memcpy(s.original.data(), b.in_next, n);
            }
            consume(b, n);
            return;
        }
        s.original.reserve(whole ? n : block_size_);
    }
    const size_t room = block_size_ - filled_;
    const size_t k = b.in_avail < room ? b.in_avail : room;
    std::memcpy(current_->original.data() + filled_, b.in_next, k);
    filled_ += k;
    consume(b, k);
    if (filled_ == block_size_) submit_current();
}

vorlex_status Writer::process(vorlex_frame_buffers& b, vorlex_operation op) {
    pipeline_.restart_after_fork();
    if (finished_) {
        if (b.in_avail != 0) fail(VORLEX_STATUS_INVALID, "input after the frame was finished");
        return deliver(b) ? VORLEX_STATUS_OK : VORLEX_STATUS_PROCESSING;
    }
    for (;;) {
        if (!deliver(b)) return VORLEX_STATUS_PROCESSING;
        if (!pipeline_.idle() && pipeline_.oldest_done()) {
            stage_oldest();
            continue;
        }
        if (b.in_avail != 0) {
            take_input(b, op);
            continue;
        }
        if (op == VORLEX_OPERATION_PROCESS) return VORLEX_STATUS_OK;
        if (current_ != nullptr) {
            submit_current();  // the last block, or one ended by a flush
            continue;
        }
        if (!pipeline_.idle()) {
            pipeline_.wait_oldest();
            continue;
        }
        if (op == VORLEX_OPERATION_FLUSH) return VORLEX_STATUS_OK;
        if (indexed_ && !index_staged_) {
            stage_index();
            continue;
        }
        if (!end_staged_) {
            stage_end();
            continue;
        }
        finished_ = true;
        return VORLEX_STATUS_OK;
    }
}

void Writer::info(vorlex_frame_info& out) const {
    out = vorlex_frame_info{};
    std::strncpy(out.codec, vorlex_codec_get_name(codec_), sizeof out.codec - 1);
    out.block_size = block_size_;
    out.frame_length = total_out_;
    out.frame_content = content_total_;
    out.frame_blocks = blocks_;
    out.frame_stored_blocks = stored_;
    out.frame_complete = finished_ ? 1 : 0;
    out.frames = finished_ ? 1 : 0;
    out.total_blocks = blocks_;
    out.total_in = total_in_;
    out.total_out = total_out_;
}

}  // namespace vorlex::frame
