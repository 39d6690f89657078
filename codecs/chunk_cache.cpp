#include "codecs/chunk_cache.h"

#include <new>

namespace codecs {
namespace {

ChunkCacheSlot* FindChunk(ChunkCache* cache, int32_t chunk) {
    if (!cache) return nullptr;
    for (int32_t i = 0; i < cache->slotCount; ++i) {
        ChunkCacheSlot& slot = cache->slots[i];
        if (slot.buffer && slot.keyed && slot.chunk == chunk) return &slot;
    }
    return nullptr;
}

int32_t ChooseVictim(const ChunkCache& cache) {
    for (int32_t i = 0; i < cache.slotCount; ++i)
        if (!cache.slots[i].buffer) return i;
    int32_t victim = 0;
    for (int32_t i = 1; i < cache.slotCount; ++i)
        if (cache.slots[i].stamp < cache.slots[victim].stamp) victim = i;
    return victim;
}

}  // namespace

ChunkCacheOwner CreateChunkCache(int32_t n) {
    if (n < 1 || n > kChunkCacheMaxSlots) return nullptr;
    try {
        ChunkCacheOwner cache(std::make_unique<ChunkCache>().release());
        cache->slotCount = n;
        return cache;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void FreeChunkCache(ChunkCache* cache) {
    std::default_delete<ChunkCache>()(cache);  // the slots own their buffers
}

uint8_t* LookupChunkCache(ChunkCache* cache, int32_t chunk, int32_t* size) {
    ChunkCacheSlot* slot = FindChunk(cache, chunk);
    if (!slot) return nullptr;
    if (size) *size = slot->dataSize;
    return slot->buffer.get();
}

int32_t ReserveChunkCacheSlot(ChunkCache* cache, int32_t size) {
    if (!cache || size < 0) return -1;
    int32_t index = ChooseVictim(*cache);
    ChunkCacheSlot& slot = cache->slots[index];
    slot.keyed = false;
    if (slot.buffer && slot.dataSize == size) return index;
    slot.buffer.reset();
    try {
        slot.buffer = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(size) + kChunkCacheSlack);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    slot.dataSize = size;
    return index;
}

void StoreChunkCacheKey(ChunkCache* cache, int32_t slot, int32_t chunk) {
    if (!cache || slot < 0 || slot >= cache->slotCount) return;
    ChunkCacheSlot& s = cache->slots[slot];
    if (!s.buffer) return;
    s.chunk = chunk;
    s.keyed = true;
    s.stamp = ++cache->useCounter;
}

void TouchChunkCache(ChunkCache* cache, int32_t chunk) {
    if (ChunkCacheSlot* slot = FindChunk(cache, chunk)) slot->stamp = ++cache->useCounter;
}

}  // namespace codecs
