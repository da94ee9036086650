// The frame writer: input in pieces of any size, cut into blocks of exactly
// block_size bytes (the last, and one ended by a flush, may be shorter), each
// compressed on its own and stored whenever the codec refuses it or its
// output is not shorter; records come out in order whatever the threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <vorlex/vorlex.h>

#include "checksum.hpp"
#include "format.hpp"
#include "index.hpp"
#include "pipeline.hpp"

namespace vorlex::frame {

class Writer {
public:
    // block_size must be in range; throws std::bad_alloc.
    Writer(vorlex_codec* codec, uint32_t block_size, unsigned threads);

    // Compress with these options (a copy is kept) from the first block on;
    // only before any input was taken (and, to change the filter, before any
    // output). Throws Error: VORLEX_STATUS_BAD_LEVEL for a level the codec
    // does not have, VORLEX_STATUS_INVALID too late.
    void set_options(const vorlex_options* options);

    // Write the index record (the default) or not; only before any input
    // was taken. Throws Error VORLEX_STATUS_INVALID too late.
    void set_indexed(bool indexed);

    // As vorlex_frame_writer_process; throws Error on failure.
    vorlex_status process(vorlex_frame_buffers& b, vorlex_operation op);
    void info(vorlex_frame_info& out) const;

private:
    // Bytes being handed out: a record's fixed part, then its payload.
    struct Staged {
        uint8_t head[format::MAX_HEADER];
        size_t head_length = 0, head_at = 0;
        const uint8_t* body = nullptr;
        size_t body_length = 0, body_at = 0;
        bool slot = false;  // the body lives in the oldest slot
        bool busy() const { return head_at < head_length || body_at < body_length; }
    };

    void encode(Slot& s);
    bool deliver(vorlex_frame_buffers& b);
    void take_input(vorlex_frame_buffers& b, vorlex_operation op);
    void submit_current();
    void stage_oldest();
    void stage_index();
    void stage_end();
    void stage_header();
    void consume(vorlex_frame_buffers& b, size_t k);

    struct OptionsFree {
        void operator()(vorlex_options* o) const { vorlex_options_free(o); }
    };

    vorlex_codec* codec_;
    // Payloads in the codec's block form (header flag): whenever it has one.
    bool block_form_;
    // Read by the workers, never changed once a block was submitted.
    std::unique_ptr<vorlex_options, OptionsFree> options_;
    uint32_t block_size_;
    filters::Setting filter_{0, 1};  // read by the workers, as options_
    ContentChecksum content_;
    bool indexed_ = true;
    index::Builder index_;
    std::vector<uint8_t> index_record_;
    Pipeline pipeline_;
    Staged stage_;
    Slot* current_ = nullptr;  // the block being filled
    size_t filled_ = 0;

    uint64_t submitted_ = 0;  // blocks numbered so far
    uint64_t blocks_ = 0;     // blocks staged
    uint64_t stored_ = 0;
    uint64_t content_total_ = 0;  // original bytes of the blocks staged
    uint64_t staged_out_ = 0;     // bytes staged: the offset of the next record
    uint64_t total_in_ = 0, total_out_ = 0;
    bool index_staged_ = false, end_staged_ = false, finished_ = false;
};

}  // namespace vorlex::frame
