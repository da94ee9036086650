// The frame reader: bytes in pieces of any size, records checked as they
// arrive, blocks decoded on the pipeline and handed out in order. The first
// fault in input order is the one reported, after the blocks before it are
// out, even when a later record fails to parse while earlier blocks are
// still being decoded. Worker threads live as long as the reader, so a run
// of many small frames starts them once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <vorlex/vorlex.h>

#include "error.hpp"
#include "parser.hpp"
#include "pipeline.hpp"

namespace vorlex::frame {

class Reader {
public:
    // one_shot: the whole input and the whole output are given in one FINISH
    // call (vorlex_frame_decompress, vorlex_frame_content_size): a block
    // that does not fit the output, or a payload cut short, fails at once,
    // without buffering anything.
    Reader(unsigned threads, size_t memory_limit, uint32_t flags, bool one_shot);

    // As vorlex_frame_reader_process; throws Error on failure.
    vorlex_status process(vorlex_frame_buffers& b, vorlex_operation op);
    // As vorlex_frame_reader_skip; throws Error on misuse.
    void skip(uint64_t n);
    void info(vorlex_frame_info& out) const;
    // The filter of the frame being read or last completed (in every mode).
    filters::Setting filter() const {
        return {parser_.header().filter, parser_.header().typesize};
    }
    uint64_t total_content() const { return parser_.total_content(); }

private:
    enum class Step { progressed, need_output };

    void decode(Slot& s);
    bool deliver(vorlex_frame_buffers& b);
    void stage_oldest();
    Step take_input(vorlex_frame_buffers& b, size_t produced);
    Step take_payload(vorlex_frame_buffers& b, size_t produced);
    void start_frame();
    bool fit_pipeline();
    // The memory one block in flight may hold.
    static uint64_t block_memory(uint32_t block_size, bool filtered);
    void consume(vorlex_frame_buffers& b, size_t k);
    [[noreturn]] void fail_block(vorlex_status status, const std::string& what) const;

    size_t memory_limit_;
    uint32_t flags_;
    bool one_shot_;
    Parser parser_;
    Pipeline pipeline_;
    vorlex_codec* codec_ = nullptr;  // the current frame's
    uint64_t pipeline_block_memory_ = 0;  // per block, what the pipeline's depth is set for
    bool block_form_ = false;        // the current frame's payloads: the codec's block form
    filters::Setting filter_;        // the current frame's; filter 0: none
    Buffer temp_;                    // the filter's memory for blocks decoded in place

    Slot* current_ = nullptr;  // the block whose payload is arriving
    size_t gathered_ = 0;

    const uint8_t* body_ = nullptr;  // decoded bytes being handed out, in the oldest slot
    size_t body_length_ = 0, body_at_ = 0;

    std::optional<Error> pending_;  // a record fault behind blocks still in flight
    bool stop_pending_ = false;
    bool finished_ = false;
    uint64_t total_out_ = 0;
};

}  // namespace vorlex::frame
