// Block-parallel work with bounded memory and ordered results, for the frame
// writer and reader. The caller's thread fills slots and takes finished ones
// back in the order it submitted them; `threads` workers transform the slots
// in between. At most `depth` slots are out at once (by default threads + 2,
// so the caller keeps every worker busy while the oldest slot is handed on),
// which bounds the blocks in memory. Slots whose work is smaller than a
// hand-off are processed by the caller's thread as they are submitted. With
// one thread nothing is started:
// each slot is processed when submitted. Workers start at the first submit
// and serve every frame after it, so frames without blocks cost no threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <sys/types.h>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vorlex/vorlex.h>

#include "buffer.hpp"
#include "filters/block.hpp"
#include "format.hpp"

namespace vorlex::frame {

// One block in flight. The caller fills the input side, the work the result;
// status and error are set when the work failed (then the result is unused).
struct Slot {
    uint64_t index = 0;   // 1-based block number within its frame
    uint64_t offset = 0;  // where the block's record starts
    vorlex_codec* codec = nullptr;
    bool block_form = false;  // payloads in the codec's block form (header flag)
    Buffer original;      // original bytes (input of compression, output of decompression)
    Buffer payload;       // the record's payload
    size_t original_length = 0;
    // The writer's block when it is compressed where the caller holds it
    // (single-threaded only), instead of from `original`.
    const uint8_t* source = nullptr;
    format::BlockHeader record;
    filters::Setting filter;  // filter 0: an unfiltered frame's block
    filters::Work work;       // the filter's memory, kept from block to block
    vorlex_status status = VORLEX_STATUS_OK;
    std::string error;
    // Set by the worker once the slot is done (under the pipeline's mutex,
    // for its waiters); read by the caller's thread without it.
    std::atomic<bool> done{false};
};

class Pipeline {
public:
    using Work = std::function<void(Slot&)>;

    // threads 0 or 1: no worker, the work runs in submit.
    Pipeline(unsigned threads, Work work);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    bool threaded() const { return threads_ > 1; }
    // After fork(), only the forking thread exists in the child: workers
    // started before it are gone there, with the slots they held. Called
    // at the start of each step of the frame writer and reader: in a child,
    // starts new workers and queues again every slot not done, so the
    // child goes on where the parent was (the parent's own workers carry
    // on unaffected).
    void restart_after_fork();
    // At most this many slots out at once (at least 1); lowering it lets the
    // slots already out finish. Slots beyond the depth keep no buffers: the
    // memory held stays within depth slots' worth.
    void set_depth(size_t depth);
    size_t default_depth() const { return threaded() ? size_t(threads_) + 2 : 1; }
    // Slot buffers larger than this are freed when their slot comes back.
    void set_buffer_limit(size_t bytes);

    bool full() const { return in_flight_.size() + (taken_ ? 1 : 0) >= depth_; }
    bool idle() const { return in_flight_.empty(); }

    // A slot to fill; the pipeline must not be full, and only one slot is
    // taken at a time.
    Slot& acquire();
    // Queue the taken slot for the workers, or process it now: without
    // workers, or when `here` (its work costs less than handing it to a
    // worker). Either way it is handed back in submission order. Throws
    // Error when the worker threads cannot be started.
    void submit(Slot& slot, bool here = false);
    // Put the taken slot back unused.
    void cancel(Slot& slot);

    // The oldest submitted slot (the pipeline must not be idle), whether its
    // work is done, waiting for it, and handing it back once consumed.
    Slot& oldest() { return *in_flight_.front(); }
    bool oldest_done();
    void wait_oldest();
    void release_oldest();

private:
    void start_threads();
    void restart_after_fork_cleanup();
    void worker();
    void run(Slot& slot);
    void give_back(Slot* slot);
    void trim(Slot& slot) const;  // frees the buffers beyond the limit
    // Slots out, taken, or free but holding buffers.
    size_t slots_holding_memory() const;

    unsigned threads_;
    Work work_;
    size_t depth_;
    size_t buffer_limit_ = SIZE_MAX;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<Slot*> free_;
    std::deque<Slot*> in_flight_;  // submission order; the caller's thread only
    bool taken_ = false;

    std::mutex mutex_;
    std::condition_variable queued_, finished_;
    std::deque<Slot*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
    pid_t workers_pid_ = 0;  // the process the workers were started in
};

}  // namespace vorlex::frame
