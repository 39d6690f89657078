#include "containers/mzp/chunk_archive.h"

#include <cstring>
#include <new>

#include "containers/mzp/chunk_table.h"

namespace containers {

const uint8_t* FetchArchiveChunk(ChunkArchive& a, uint64_t n, bool locked, const ChunkArchiveRead& read) {
    if (n >= a.chunkCount || a.unsupportedVersion) return nullptr;
    int32_t size = 0;
    if (uint8_t* hit = codecs::LookupChunkCache(a.cache.get(), int32_t(n), &size)) {
        codecs::TouchChunkCache(a.cache.get(), int32_t(n));
        return hit;
    }
    if (locked) return nullptr;
    const uint32_t expected = n + 1 == a.chunkCount ? a.lastChunkSize : a.chunkSize;
    const uint64_t stored = a.offsets[size_t(n) + 1] - a.offsets[size_t(n)];
    try {
        if (a.readBuffer.size() < stored) a.readBuffer.resize(size_t(stored));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!read(a.offsets[size_t(n)], a.readBuffer.data(), size_t(stored))) return nullptr;
    const uint32_t type =
        a.typeBits == 0 ? 0
                        : uint32_t(GetPackedBits(a.table, n * (a.lengthBits + a.typeBits) + a.lengthBits, a.typeBits));
    const int32_t slot = codecs::ReserveChunkCacheSlot(a.cache.get(), int32_t(expected));
    if (slot < 0) return nullptr;
    codecs::ChunkCacheSlot& s = a.cache->slots[slot];
    const ChunkResult result =
        DecodeStoredChunk(a.coding, a.readBuffer.data(), size_t(stored), type, s.buffer.get(), expected, a.work);
    if (result != ChunkResult::Ok) {
        s.buffer.reset();
        s.dataSize = 0;
        a.lastError = result == ChunkResult::CrcMismatch ? 3 : 1;
        return nullptr;
    }
    codecs::StoreChunkCacheKey(a.cache.get(), slot, int32_t(n));
    return s.buffer.get();
}

int CopyArchiveSector(ChunkArchive& a, uint32_t sector, uint8_t* destination, bool locked,
                      const ChunkArchiveRead& read) {
    if (a.sectorsPerChunk == 0 || sector >= a.totalSectors) return -1;
    const uint8_t* chunk = FetchArchiveChunk(a, sector / a.sectorsPerChunk, locked, read);
    if (!chunk) return -1;
    std::memcpy(destination, chunk + size_t(sector % a.sectorsPerChunk) * 2048, 2048);
    return 0;
}

}  // namespace containers
