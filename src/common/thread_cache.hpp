// Library contexts kept per thread between calls, for the plug-ins over
// lz4, zstd and zlib: making a context costs more than coding a small
// buffer (allocations of tens to hundreds of KiB, and clearing them), and
// every library advises one context per thread, reused. Header-only and free
// of the C++ runtime (pthread keys come from libc), so plug-ins can include
// it; each plug-in has one ThreadCache, a global with a constant initialiser.
//
// Each thread that calls gets one record of the plug-in's own layout (made
// on its first call with libc's calloc: it outlives changes of the host's
// memory functions), linked into the cache's list. The contexts in it are
// allocated through vorlex_malloc by the plug-in, so the host's memory
// functions see them. They are released:
// - when the thread ends (the key's destructor): contexts and record;
// - from release_all (the plug-in's vorlex_codec_set_release function,
//   called by the host before the memory functions change and by
//   vorlex_release_cached_memory): contexts of every thread, records kept;
// - at unload (the plug-in's destructor): everything, and the key.
// So the memory is bounded by threads times one record's contexts.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdlib.h>

#include <vorlex/plugin.h>

namespace vorlex::plugin {

class ThreadCache;

// The head of every record; the plug-in's fields follow it.
struct CacheRecord {
    CacheRecord* prev;
    CacheRecord* next;
    ThreadCache* owner;
};

class ThreadCache {
public:
    // drop frees the contexts a record holds and clears them (not the record).
    using Drop = void (*)(CacheRecord*);

    constexpr ThreadCache(size_t record_size, Drop drop)
        : record_size_(record_size), drop_(drop) {}
    ThreadCache(const ThreadCache&) = delete;
    ThreadCache& operator=(const ThreadCache&) = delete;

    // This thread's record, made zeroed on its first call; NULL when it
    // cannot be had (the caller then works with contexts of its own).
    CacheRecord* get() {
        if (!__atomic_load_n(&key_ready_, __ATOMIC_ACQUIRE) && !make_key()) return nullptr;
        void* mine = pthread_getspecific(key_);
        if (mine != nullptr) return static_cast<CacheRecord*>(mine);
        auto* r = static_cast<CacheRecord*>(calloc(1, record_size_));
        if (r == nullptr) return nullptr;
        r->owner = this;
        if (pthread_setspecific(key_, r) != 0) {
            free(r);
            return nullptr;
        }
        pthread_mutex_lock(&mutex_);
        r->prev = &head_;
        r->next = head_.next != nullptr ? head_.next : &head_;
        r->next->prev = r;
        head_.next = r;
        pthread_mutex_unlock(&mutex_);
        return r;
    }

    // The contexts of every thread, now. No other thread may be in a call.
    void release_all() {
        pthread_mutex_lock(&mutex_);
        for (CacheRecord* r = first(); r != &head_; r = r->next) drop_(r);
        pthread_mutex_unlock(&mutex_);
    }

    // At unload: every record, and the key, so that no thread's exit calls
    // into a library that is gone.
    void shutdown() {
        pthread_mutex_lock(&mutex_);
        if (__atomic_load_n(&key_ready_, __ATOMIC_ACQUIRE)) {
            pthread_key_delete(key_);
            __atomic_store_n(&key_ready_, false, __ATOMIC_RELEASE);
        }
        for (CacheRecord* r = first(); r != &head_;) {
            CacheRecord* next = r->next;
            drop_(r);
            free(r);
            r = next;
        }
        head_.next = head_.prev = nullptr;
        pthread_mutex_unlock(&mutex_);
    }

private:
    CacheRecord* first() { return head_.next != nullptr ? head_.next : &head_; }

    bool make_key() {
        pthread_mutex_lock(&mutex_);
        bool ok = __atomic_load_n(&key_ready_, __ATOMIC_ACQUIRE);
        if (!ok && pthread_key_create(&key_, thread_ended) == 0) {
            __atomic_store_n(&key_ready_, true, __ATOMIC_RELEASE);
            ok = true;
        }
        pthread_mutex_unlock(&mutex_);
        return ok;
    }

    static void thread_ended(void* mine) {
        auto* r = static_cast<CacheRecord*>(mine);
        ThreadCache* c = r->owner;
        // Out of the list first, so that release_all on another thread
        // never drops what this one is dropping.
        pthread_mutex_lock(&c->mutex_);
        r->prev->next = r->next;
        r->next->prev = r->prev;
        if (c->head_.next == &c->head_) c->head_.next = c->head_.prev = nullptr;
        pthread_mutex_unlock(&c->mutex_);
        c->drop_(r);
        free(r);
    }

    size_t record_size_;
    Drop drop_;
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
    pthread_key_t key_ = 0;
    bool key_ready_ = false;
    // The list's sentinel; empty while next is NULL (a constant initialiser
    // cannot point at itself).
    CacheRecord head_ = {nullptr, nullptr, nullptr};
};

// Memory blocks kept for a library that allocates the same few blocks on
// every call and frees them at its end (a context made and dropped per
// call, whose output must not depend on what the context did before): its
// allocation callbacks come here. A request takes the smallest free kept
// block that is large enough, else a new one from vorlex_malloc, kept when
// a slot is free (the smallest free block gives way to a larger need).
// Lives in a thread's record: one thread at a time.
class BlockPool {
public:
    static constexpr int SLOTS = 4;

    void* take(size_t size) {
        Slot* best = nullptr;
        for (Slot& s : slots_) {
            if (s.block != nullptr && !s.used && s.size >= size && (!best || s.size < best->size)) {
                best = &s;
            }
        }
        if (best != nullptr) {
            best->used = true;
            return best->block;
        }
        void* block = vorlex_malloc(size);
        if (block == nullptr) return nullptr;
        Slot* room = nullptr;
        for (Slot& s : slots_) {
            if (s.block == nullptr) {
                room = &s;
                break;
            }
            if (!s.used && (!room || s.size < room->size)) room = &s;
        }
        if (room != nullptr) {
            vorlex_free(room->block);
            *room = Slot{block, size, true};
        }
        return block;
    }

    void give(void* block) {
        if (block == nullptr) return;
        for (Slot& s : slots_) {
            if (s.block == block) {
                s.used = false;
                return;
            }
        }
        vorlex_free(block);  // one that found no slot
    }

    // Every kept block; none may be in use.
    void clear() {
        for (Slot& s : slots_) {
            vorlex_free(s.block);
            s = Slot{};
        }
    }

private:
    struct Slot {
        void* block = nullptr;
        size_t size = 0;
        bool used = false;
    };
    Slot slots_[SLOTS];
};

}  // namespace vorlex::plugin
