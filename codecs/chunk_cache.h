#pragma once
// A few decoded chunks of one open compressed image, so that consecutive
// sector reads inside one chunk decode it once. Each chunked reader (chunk
// table, DAA/HXI, MZP, XDI) owns one; no locks, one reader uses it.
//
// Use: LookupChunkCache; on a hit TouchChunkCache, on a miss
// ReserveChunkCacheSlot, decode into slots[slot].buffer, then
// StoreChunkCacheKey (or, when decoding failed, release the slot's buffer).

#include <cstdint>
#include <memory>

namespace codecs {

constexpr int32_t kChunkCacheMaxSlots = 16;
// Every buffer carries this much beyond its reserved size, so a decoder may
// run past the chunk's nominal end without leaving the buffer.
constexpr int64_t kChunkCacheSlack = 65536;

struct ChunkCacheSlot {
    int32_t chunk = 0;
    // False while the slot holds no finished chunk: after a reserve and until
    // StoreChunkCacheKey, so a decode that fails half-way is never found.
    bool keyed = false;
    // Recency of the last use, from the cache's use counter: strictly
    // increasing, so the oldest slot is always unambiguous.
    uint64_t stamp = 0;
    std::unique_ptr<uint8_t[]> buffer;   // dataSize + kChunkCacheSlack bytes; null when empty
    int32_t dataSize = 0;                // the size the buffer was reserved for
};

struct ChunkCache {
    int32_t slotCount = 0;
    uint64_t useCounter = 0;
    ChunkCacheSlot slots[kChunkCacheMaxSlots];
};

void FreeChunkCache(ChunkCache* cache);

struct ChunkCacheFree {
    void operator()(ChunkCache* cache) const { FreeChunkCache(cache); }
};
using ChunkCacheOwner = std::unique_ptr<ChunkCache, ChunkCacheFree>;

// n slots (1-16); null for any other count or without memory.
ChunkCacheOwner CreateChunkCache(int32_t n);

// The buffer holding chunk, and its reserved size in *size; null with a null
// cache or when no slot holds the chunk.
uint8_t* LookupChunkCache(ChunkCache* cache, int32_t chunk, int32_t* size);

// A slot with a buffer of at least size + kChunkCacheSlack bytes: the first
// empty slot, else the least recently used one. Its buffer is reused when it
// was reserved for the same size, else reallocated. The slot holds no chunk
// until StoreChunkCacheKey. -1 for a null cache, a negative size or no memory.
int32_t ReserveChunkCacheSlot(ChunkCache* cache, int32_t size);

// Records chunk as the contents of slot and marks it used now; slot -1 (a
// failed reserve) and slots without a buffer are ignored.
void StoreChunkCacheKey(ChunkCache* cache, int32_t slot, int32_t chunk);

// Marks the slot holding chunk as used now.
void TouchChunkCache(ChunkCache* cache, int32_t chunk);

}  // namespace codecs
