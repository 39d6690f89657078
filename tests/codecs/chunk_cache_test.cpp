#include "codecs/chunk_cache.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace codecs;

// What a chunked reader does for one read: a hit refreshes the slot, a miss
// reserves one and records the chunk once it is decoded. Returns the slot.
int32_t ReadChunk(ChunkCache* cache, int32_t chunk, int32_t size) {
    int32_t got = 0;
    if (uint8_t* data = LookupChunkCache(cache, chunk, &got)) {
        TouchChunkCache(cache, chunk);
        for (int32_t i = 0; i < cache->slotCount; ++i)
            if (cache->slots[i].buffer.get() == data) return i;
        return -1;
    }
    int32_t slot = ReserveChunkCacheSlot(cache, size);
    if (slot < 0) return slot;
    std::memset(cache->slots[slot].buffer.get(), chunk & 0xFF, static_cast<size_t>(size));
    StoreChunkCacheKey(cache, slot, chunk);
    return slot;
}

TEST(ChunkCache, LeastRecentlyUsedIsEvictedEvenWithinOneClockTick) {
    ChunkCacheOwner cache = CreateChunkCache(4);
    ASSERT_TRUE(cache);
    for (int32_t c : {1, 2, 3, 4}) EXPECT_EQ(ReadChunk(cache.get(), c, 4096), c - 1);
    EXPECT_EQ(ReadChunk(cache.get(), 1, 4096), 0);   // hit
    EXPECT_EQ(ReadChunk(cache.get(), 5, 4096), 1);   // evicts chunk 2, the oldest
    int32_t size = 0;
    EXPECT_EQ(LookupChunkCache(cache.get(), 2, &size), nullptr);
    for (int32_t c : {1, 3, 4, 5}) {
        uint8_t* data = LookupChunkCache(cache.get(), c, &size);
        ASSERT_NE(data, nullptr) << c;
        EXPECT_EQ(size, 4096);
        EXPECT_EQ(data[0], c);
    }
    EXPECT_EQ(ReadChunk(cache.get(), 6, 4096), 2);   // chunk 3 is now the oldest
}

TEST(ChunkCache, SameSizeReusesTheBufferOtherSizeReallocates) {
    ChunkCacheOwner cache = CreateChunkCache(1);
    ASSERT_TRUE(cache);
    ASSERT_EQ(ReadChunk(cache.get(), 7, 1000), 0);
    const uint8_t* first = cache->slots[0].buffer.get();
    ASSERT_EQ(ReadChunk(cache.get(), 8, 1000), 0);
    EXPECT_EQ(cache->slots[0].buffer.get(), first);
    ASSERT_EQ(ReadChunk(cache.get(), 9, 300000), 0);
    EXPECT_EQ(cache->slots[0].dataSize, 300000);
    // The whole reserved size plus the slack is writable (ASan checks).
    std::memset(cache->slots[0].buffer.get(), 0, 300000 + kChunkCacheSlack);
}

TEST(ChunkCache, AReservedSlotForgetsItsOldChunk) {
    ChunkCacheOwner cache = CreateChunkCache(1);
    ASSERT_EQ(ReadChunk(cache.get(), 3, 64), 0);
    // A decode into the reused slot that fails before StoreChunkCacheKey
    // must not leave chunk 3 pointing at half-overwritten bytes.
    ASSERT_EQ(ReserveChunkCacheSlot(cache.get(), 64), 0);
    EXPECT_EQ(LookupChunkCache(cache.get(), 3, nullptr), nullptr);
}

TEST(ChunkCache, NullAndEmptyCaches) {
    int32_t size = -5;
    EXPECT_EQ(LookupChunkCache(nullptr, 0, &size), nullptr);
    EXPECT_EQ(size, -5);
    EXPECT_EQ(ReserveChunkCacheSlot(nullptr, 10), -1);
    StoreChunkCacheKey(nullptr, 0, 1);
    TouchChunkCache(nullptr, 1);
    FreeChunkCache(nullptr);

    ChunkCacheOwner cache = CreateChunkCache(4);
    EXPECT_EQ(LookupChunkCache(cache.get(), 0, &size), nullptr);
    StoreChunkCacheKey(cache.get(), -1, 0);   // a failed reserve
    StoreChunkCacheKey(cache.get(), 2, 0);    // a slot without a buffer
    EXPECT_EQ(LookupChunkCache(cache.get(), 0, &size), nullptr);
    EXPECT_EQ(ReserveChunkCacheSlot(cache.get(), -1), -1);

    EXPECT_FALSE(CreateChunkCache(0));
    EXPECT_FALSE(CreateChunkCache(17));
    EXPECT_TRUE(CreateChunkCache(16));
}

}  // namespace
