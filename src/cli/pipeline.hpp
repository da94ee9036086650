// Block-parallel work with bounded memory and ordered results. The caller's
// thread reads blocks into slots and writes finished slots in the order it
// submitted them; `threads` workers transform the slots in between. There are
// threads + 2 slots, so about that many blocks are in memory at once and the
// reader keeps every worker busy while the oldest slot is being written. With
// one thread nothing is started: each slot is processed when submitted.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "buffer.hpp"
#include "container_format.hpp"

namespace vorlex::cli {

// One block in flight. The reader fills the input side, the worker the
// result; `error` is set when the work failed (then the result is unused).
struct Slot {
    uint64_t index = 0;   // 1-based block number
    uint64_t offset = 0;  // where the block's record starts in the container
    Buffer original;      // original bytes (input of compression, output of decompression)
    Buffer payload;       // the record's payload
    size_t original_length = 0;
    format::BlockHeader record;
    std::string error;
    bool done = false;  // guarded by the pipeline's mutex
};

class Pipeline {
public:
    using Work = std::function<void(Slot&)>;
    using Retire = std::function<void(Slot&)>;

    Pipeline(unsigned threads, Work work);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // A slot to fill. When all are in flight, the oldest is waited for and
    // handed to retire first. Exceptions from retire pass through.
    Slot& acquire(const Retire& retire);
    // Queue a filled slot for the workers (or process it now, single-threaded).
    void submit(Slot& slot);
    // Retire every slot in flight, oldest first.
    void drain(const Retire& retire);

private:
    void retire_oldest(const Retire& retire);
    void worker();
    void run(Slot& slot);

    Work work_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<Slot*> free_;
    std::deque<Slot*> in_flight_;  // submission order; the caller's thread only

    std::mutex mutex_;
    std::condition_variable queued_, finished_;
    std::deque<Slot*> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// The default worker count: the CPUs this process may run on.
unsigned default_threads();

}  // namespace vorlex::cli
