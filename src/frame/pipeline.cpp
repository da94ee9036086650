// The worker pool behind Pipeline.
#include "pipeline.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <exception>
#include <new>
#include <string>

#include "error.hpp"

namespace vorlex::frame {

Pipeline::Pipeline(unsigned threads, Work work)
    : threads_(threads), work_(std::move(work)), depth_(default_depth()) {}

Pipeline::~Pipeline() {
    restart_after_fork_cleanup();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    // A worker finishes the slot it holds; queued slots are dropped. Only then
    // may the slots go away.
    for (auto& t : workers_) t.join();
}

namespace {
bool holds_memory(const Slot& s) {
    return s.original.capacity() != 0 || s.payload.capacity() != 0 || s.work.a.capacity() != 0 ||
           s.work.b.capacity() != 0;
}
void release_buffers(Slot& s) {
    for (Buffer* b : {&s.original, &s.payload, &s.work.a, &s.work.b}) b->release();
}
}  // namespace

void Pipeline::set_depth(size_t depth) {
    depth_ = depth != 0 ? depth : 1;
    size_t held = in_flight_.size() + (taken_ ? 1 : 0);
    for (Slot* s : free_) {
        if (!holds_memory(*s)) continue;
        if (held < depth_) {
            ++held;
        } else {
            release_buffers(*s);
        }
    }
}

size_t Pipeline::slots_holding_memory() const {
    size_t held = in_flight_.size() + (taken_ ? 1 : 0);
    for (const Slot* s : free_) {
        if (holds_memory(*s)) ++held;
    }
    return held;
}

void Pipeline::set_buffer_limit(size_t bytes) {
    buffer_limit_ = bytes;
    for (Slot* s : free_) trim(*s);
}

// Workers that exist only in another process: their std::thread objects
// are put where nothing will destroy them (joining would wait forever, and
// destroying a joinable one ends the process), and the lock and conditions,
// which one of them may have held at the fork, start afresh.
void Pipeline::restart_after_fork_cleanup() {
    if (workers_.empty() || workers_pid_ == ::getpid()) return;
    new std::vector<std::thread>(std::move(workers_));  // left behind on purpose
    workers_.clear();
    new (&mutex_) std::mutex();
    new (&queued_) std::condition_variable();
    new (&finished_) std::condition_variable();
    queue_.clear();
    stopping_ = false;
}

void Pipeline::restart_after_fork() {
    if (workers_.empty() || workers_pid_ == ::getpid()) return;
    restart_after_fork_cleanup();
    for (Slot* slot : in_flight_) {
        if (slot->done.load(std::memory_order_acquire)) continue;
        slot->status = VORLEX_STATUS_OK;
        slot->error.clear();
        queue_.push_back(slot);  // its work is redone from its input, which is intact
    }
    start_threads();
    queued_.notify_all();
}

void Pipeline::start_threads() {
    workers_pid_ = ::getpid();
    // Workers block every signal: signals go to the application's threads,
    // whose handlers (the tool's removes its temporary output) expect them.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
        workers_.reserve(threads_);
        for (unsigned i = 0; i < threads_; ++i) workers_.emplace_back([this] { worker(); });
    } catch (const std::exception& e) {
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (auto& t : workers_) t.join();
        workers_.clear();
        stopping_ = false;
        const bool no_memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        if (no_memory) throw;
        fail(VORLEX_STATUS_FAILED, std::string("cannot start worker threads: ") + e.what());
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void Pipeline::run(Slot& slot) {
    try {
        work_(slot);
    } catch (const Error& e) {
        slot.status = e.status();
        slot.error = e.message();
    } catch (const std::bad_alloc&) {
        slot.status = VORLEX_STATUS_NO_MEMORY;
        slot.error = "out of memory";
    } catch (...) {
        slot.status = VORLEX_STATUS_FAILED;
        slot.error = "internal failure";
    }
}

void Pipeline::worker() {
    for (;;) {
        Slot* slot;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            slot = queue_.front();
            queue_.pop_front();
        }
        run(*slot);
        {
            std::lock_guard lock(mutex_);
            slot->done.store(true, std::memory_order_release);
        }
        finished_.notify_all();
    }
}

Slot& Pipeline::acquire() {
    if (free_.empty()) {
        slots_.push_back(std::make_unique<Slot>());
        free_.push_back(slots_.back().get());
    }
    Slot* slot = free_.back();
    free_.pop_back();
    taken_ = true;
    slot->status = VORLEX_STATUS_OK;
    slot->error.clear();
    slot->done.store(false, std::memory_order_relaxed);
    return *slot;
}

void Pipeline::cancel(Slot& slot) {
    taken_ = false;
    give_back(&slot);
}

void Pipeline::submit(Slot& slot, bool here) {
    if (!threaded() || here) {
        in_flight_.push_back(&slot);
        taken_ = false;
        run(slot);
        slot.done.store(true, std::memory_order_relaxed);
        return;
    }
    if (workers_.empty()) start_threads();
    // Room first: once the slot is queued, nothing may throw.
    in_flight_.push_back(&slot);
    taken_ = false;
    try {
        std::lock_guard lock(mutex_);
        queue_.push_back(&slot);
    } catch (...) {
        in_flight_.pop_back();
        taken_ = true;
        throw;
    }
    queued_.notify_one();
}

bool Pipeline::oldest_done() {
    if (!threaded()) return true;
    return in_flight_.front()->done.load(std::memory_order_acquire);
}

void Pipeline::wait_oldest() {
    if (!threaded()) return;
    Slot* slot = in_flight_.front();
    if (slot->done.load(std::memory_order_acquire)) return;
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [slot] { return slot->done.load(std::memory_order_acquire); });
}

void Pipeline::release_oldest() {
    Slot* slot = in_flight_.front();
    in_flight_.pop_front();
    give_back(slot);
}

void Pipeline::trim(Slot& s) const {
    for (Buffer* b : {&s.original, &s.payload, &s.work.a, &s.work.b}) {
        if (b->capacity() > buffer_limit_) b->release();
    }
}

void Pipeline::give_back(Slot* slot) {
    // Buffers are kept for the next slot, but never more slots' worth than
    // the depth allows (it may have been lowered while they were out).
    if (slots_holding_memory() >= depth_) {
        release_buffers(*slot);
    }
    trim(*slot);
    free_.push_back(slot);  // never grows past slots_.size(): reserved there
}

}  // namespace vorlex::frame
