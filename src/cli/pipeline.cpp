// The worker pool behind Pipeline.
#include "pipeline.hpp"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <exception>
#include <new>
#include <string>

#include "failure.hpp"

namespace vorlex::cli {

unsigned default_threads() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return unsigned(n);
    }
    const unsigned n = std::thread::hardware_concurrency();
    return n != 0 ? n : 1;
}

Pipeline::Pipeline(unsigned threads, Work work) : work_(std::move(work)) {
    if (threads == 0) threads = 1;
    const size_t depth = threads == 1 ? 1 : size_t(threads) + 2;
    for (size_t i = 0; i < depth; ++i) {
        slots_.push_back(std::make_unique<Slot>());
        free_.push_back(slots_.back().get());
    }
    if (threads == 1) return;
    // Workers block every signal: SIGINT and SIGTERM reach the main thread,
    // whose handler removes the temporary output.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
        for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { worker(); });
    } catch (const std::exception& e) {
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (auto& t : threads_) t.join();
        const bool no_memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        throw Failure(std::string("cannot start worker threads: ") +
                      (no_memory ? "out of memory" : e.what()));
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

Pipeline::~Pipeline() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    // A worker finishes the slot it holds; queued slots are dropped. Only then
    // may the slots go away.
    for (auto& t : threads_) t.join();
}

void Pipeline::run(Slot& slot) {
    try {
        work_(slot);
    } catch (const std::bad_alloc&) {
        slot.error = "out of memory";
    } catch (const std::exception& e) {
        slot.error = e.what();
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
            slot->done = true;
        }
        finished_.notify_all();
    }
}

Slot& Pipeline::acquire(const Retire& retire) {
    if (free_.empty()) retire_oldest(retire);
    Slot* slot = free_.back();
    free_.pop_back();
    slot->error.clear();
    slot->done = false;
    return *slot;
}

void Pipeline::submit(Slot& slot) {
    in_flight_.push_back(&slot);
    if (threads_.empty()) {
        run(slot);
        slot.done = true;
        return;
    }
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(&slot);
    }
    queued_.notify_one();
}

void Pipeline::retire_oldest(const Retire& retire) {
    Slot* slot = in_flight_.front();
    if (!threads_.empty()) {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [slot] { return slot->done; });
    }
    in_flight_.pop_front();
    retire(*slot);
    free_.push_back(slot);
}

void Pipeline::drain(const Retire& retire) {
    while (!in_flight_.empty()) retire_oldest(retire);
}

}  // namespace vorlex::cli
