// Aligned, growable byte blocks from the host's allocator.
#include "buffer.hpp"

#include <new>
#include <utility>

#include <vorlex/vorlex.h>

#include "common/thread_cache.hpp"

namespace vorlex::frame {

namespace {

// Per thread: at most KEPT blocks of KEPT_MIN bytes or more, KEPT_TOTAL in
// all. Smaller blocks come cheaply from malloc's own free lists. A block
// belongs to its kept list or to one buffer, never both, so a buffer may
// let go of it on another thread than the one it was taken on.
constexpr int KEPT = 4;
constexpr size_t KEPT_MIN = size_t(64) << 10;
constexpr size_t KEPT_TOTAL = size_t(64) << 20;

struct KeptBlocks {
    plugin::CacheRecord head;
    struct {
        void* block;
        size_t size;
    } kept[KEPT];
    size_t total;
};

void drop(plugin::CacheRecord* record) {
    auto* r = reinterpret_cast<KeptBlocks*>(record);
    for (auto& k : r->kept) {
        vorlex_free(k.block);
        k.block = nullptr;
        k.size = 0;
    }
    r->total = 0;
}

constinit plugin::ThreadCache kept_blocks(sizeof(KeptBlocks), drop);

__attribute__((destructor)) void unload() { kept_blocks.shutdown(); }

KeptBlocks* thread_blocks() { return reinterpret_cast<KeptBlocks*>(kept_blocks.get()); }

// The smallest kept block of size to 2 * size bytes, out of the list (its
// size in *got); NULL when none fits.
void* take_kept(size_t size, size_t* got) {
    KeptBlocks* r = thread_blocks();
    if (r == nullptr) return nullptr;
    int best = -1;
    for (int i = 0; i < KEPT; ++i) {
        const size_t s = r->kept[i].size;
        if (r->kept[i].block != nullptr && s >= size && s / 2 <= size &&
            (best < 0 || s < r->kept[best].size)) {
            best = i;
        }
    }
    if (best < 0) return nullptr;
    void* block = r->kept[best].block;
    *got = r->kept[best].size;
    r->total -= *got;
    r->kept[best].block = nullptr;
    r->kept[best].size = 0;
    return block;
}

// Keeps the block, in a free place or in the place of a smaller one (which
// is freed); false when it is not kept (the caller frees it).
bool keep(void* block, size_t size) {
    KeptBlocks* r = thread_blocks();
    if (r == nullptr) return false;
    int place = -1;
    for (int i = 0; i < KEPT; ++i) {
        if (r->kept[i].block == nullptr) {
            place = i;
            break;
        }
        if (r->kept[i].size < size && (place < 0 || r->kept[i].size < r->kept[place].size)) {
            place = i;
        }
    }
    if (place < 0 || r->total - r->kept[place].size + size > KEPT_TOTAL) return false;
    vorlex_free(r->kept[place].block);
    r->total = r->total - r->kept[place].size + size;
    r->kept[place].block = block;
    r->kept[place].size = size;
    return true;
}

}  // namespace

void release_kept_blocks() { kept_blocks.release_all(); }

Buffer::Buffer(Buffer&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      block_size_(std::exchange(other.block_size_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Buffer& Buffer::operator=(Buffer&& other) noexcept {
    if (this != &other) {
        release();
        block_ = std::exchange(other.block_, nullptr);
        block_size_ = std::exchange(other.block_size_, 0);
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

Buffer::~Buffer() { release(); }

void Buffer::release() {
    if (block_ != nullptr && (block_size_ < KEPT_MIN || !keep(block_, block_size_))) {
        vorlex_free(block_);
    }
    block_ = nullptr;
    block_size_ = 0;
    data_ = nullptr;
    capacity_ = 0;
}

void Buffer::reserve(size_t n) {
    if (n <= capacity_ && data_ != nullptr) return;  // never null, even for 0 bytes
    if (n > SIZE_MAX - BUFFER_ALIGNMENT) throw std::bad_alloc();
    // The old block goes first: its contents are not kept, and holding both
    // would double the peak.
    release();
    size_t size = n + BUFFER_ALIGNMENT - 1;
    void* block = size >= KEPT_MIN ? take_kept(size, &size) : nullptr;
    if (block == nullptr) block = vorlex_malloc(size);
    if (block == nullptr) throw std::bad_alloc();
    const auto addr = reinterpret_cast<uintptr_t>(block);
    auto* data = reinterpret_cast<uint8_t*>((addr + BUFFER_ALIGNMENT - 1) & ~(BUFFER_ALIGNMENT - 1));
    block_ = block;
    block_size_ = size;
    data_ = data;
    capacity_ = n;
}

}  // namespace vorlex::frame
