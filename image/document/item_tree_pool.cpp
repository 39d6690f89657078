// The slab pool behind ImageItem's operator new and delete. Items are taken
// from slabs of kSlotsPerSlab slots; a freed item goes back to its own slab,
// and a slab whose items are all freed goes back to the heap (one empty slab
// is kept, so that a folder filled and emptied again does not churn the heap).
// Each slot starts with a pointer to its slab, so a slab needs no alignment.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <type_traits>
#include <utility>

#include "image/document/item_tree.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QV_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define QV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define QV_POISON(p, n) ((void)(p), (void)(n))
#define QV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace image {
namespace {

struct Slab;

// A slot: the owning slab, then the item (or, while free, the next free slot).
struct alignas(alignof(ImageItem)) SlotHead {
    Slab* slab;
};
constexpr size_t kHeadBytes = sizeof(SlotHead);
constexpr size_t kSlotBytes = kHeadBytes + (sizeof(ImageItem) + alignof(ImageItem) - 1) / alignof(ImageItem) *
                                               alignof(ImageItem);
// Under the heap's mapping threshold, so slabs come from the heap proper.
constexpr uint32_t kSlotsPerSlab = 120;

struct Slab {
    Slab* prev = nullptr;           // in the list of slabs with a free slot
    Slab* next = nullptr;
    void* freeSlots = nullptr;      // freed items of this slab, linked through their first bytes
    uint32_t live = 0;              // items handed out and not freed
    uint32_t fresh = 0;             // slots handed out at least once
    bool listed = false;

    unsigned char* Slot(uint32_t i) { return reinterpret_cast<unsigned char*>(this + 1) + size_t{i} * kSlotBytes; }
};
constexpr size_t kSlabBytes = sizeof(Slab) + kSlotsPerSlab * kSlotBytes;
static_assert(alignof(Slab) >= alignof(ImageItem) && sizeof(Slab) % alignof(ImageItem) == 0);

// Held for a few instructions: taking it is one atomic exchange and giving
// it back a plain store, where a mutex costs two atomic operations and calls.
class PoolLock {
public:
    void lock() noexcept {
        while (busy_.exchange(true, std::memory_order_acquire)) {
            while (busy_.load(std::memory_order_relaxed)) std::this_thread::yield();
        }
    }
    void unlock() noexcept { busy_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> busy_{false};
};

struct Pool {
    PoolLock lock;
    Slab* withRoom = nullptr;       // slabs with a free or fresh slot, the one to use first at the head
    Slab* spare = nullptr;          // one empty slab kept back
};
// Constant-initialized and never destroyed: items freed by other static
// destructors still find their pool.
constinit Pool g_pool;
static_assert(std::is_trivially_destructible_v<Pool>);

void Link(Slab* slab) {
    slab->prev = nullptr;
    slab->next = g_pool.withRoom;
    if (slab->next) slab->next->prev = slab;
    g_pool.withRoom = slab;
    slab->listed = true;
}

void Unlink(Slab* slab) {
    if (slab->prev) slab->prev->next = slab->next;
    else g_pool.withRoom = slab->next;
    if (slab->next) slab->next->prev = slab->prev;
    slab->prev = slab->next = nullptr;
    slab->listed = false;
}

Slab* NewSlab() {
    void* memory = g_pool.spare ? std::exchange(g_pool.spare, nullptr) : std::malloc(kSlabBytes);
    if (!memory) return nullptr;
    Slab* slab = std::construct_at(static_cast<Slab*>(memory));
    QV_POISON(slab->Slot(0), kSlotsPerSlab * kSlotBytes);
    return slab;
}

void ReleaseSlab(Slab* slab) {
    if (!g_pool.spare) {
        g_pool.spare = slab;
        return;
    }
    QV_UNPOISON(slab->Slot(0), kSlotsPerSlab * kSlotBytes);
    std::free(slab);
}

}  // namespace

void* ImageItem::operator new(size_t bytes) {
    if (bytes > kSlotBytes - kHeadBytes) throw std::bad_alloc();
    unsigned char* slot = nullptr;
    {
        std::lock_guard<PoolLock> hold(g_pool.lock);
        Slab* slab = g_pool.withRoom;
        if (!slab) {
            slab = NewSlab();
            if (!slab) throw std::bad_alloc();
            Link(slab);
        }
        if (slab->freeSlots) {
            slot = static_cast<unsigned char*>(slab->freeSlots);
            QV_UNPOISON(slot, kSlotBytes);
            slab->freeSlots = *reinterpret_cast<void**>(slot + kHeadBytes);
        } else {
            slot = slab->Slot(slab->fresh++);
            QV_UNPOISON(slot, kSlotBytes);
        }
        ++slab->live;
        if (!slab->freeSlots && slab->fresh == kSlotsPerSlab) Unlink(slab);
        reinterpret_cast<SlotHead*>(slot)->slab = slab;
    }
    return slot + kHeadBytes;
}

void ImageItem::operator delete(void* item) noexcept {
    if (!item) return;
    unsigned char* slot = static_cast<unsigned char*>(item) - kHeadBytes;
    std::lock_guard<PoolLock> hold(g_pool.lock);
    Slab* slab = reinterpret_cast<SlotHead*>(slot)->slab;
    *reinterpret_cast<void**>(slot + kHeadBytes) = slab->freeSlots;
    slab->freeSlots = slot;
    QV_POISON(slot, kSlotBytes);
    if (--slab->live == 0) {
        if (slab->listed) Unlink(slab);
        ReleaseSlab(slab);
        return;
    }
    if (!slab->listed) Link(slab);
}

}  // namespace image
