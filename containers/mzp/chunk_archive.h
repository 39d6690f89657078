#pragma once
// What MZP archives and XDI images share once their headers are read: a
// table of stored chunks, each decoded on demand through a small cache.

#include <cstdint>
#include <functional>
#include <vector>

#include "codecs/aes.h"
#include "codecs/chunk_cache.h"
#include "containers/mzp/stored_chunk.h"

namespace containers {

struct ChunkArchive {
    uint32_t chunkSize = 0;
    uint32_t sectorsPerChunk = 0;
    uint64_t chunkCount = 0;
    uint32_t lastChunkSize = 0;
    uint64_t totalSectors = 0;
    uint32_t lengthBits = 0;
    uint32_t typeBits = 0;
    std::vector<uint8_t> table;
    std::vector<uint64_t> offsets;     // chunkCount + 1: the last is the end of the last chunk

    ChunkCoding coding;
    codecs::AesKeySchedule key;
    bool passwordSet = false;
    codecs::ChunkCacheOwner cache;
    std::vector<uint8_t> readBuffer;
    ChunkWork work;

    bool unsupportedVersion = false;
    int32_t lastError = 0;             // 1 read failure or damage, 3 CRC mismatch
};

// Archive bytes at an offset; false on a failed or short read.
using ChunkArchiveRead = std::function<bool(uint64_t offset, uint8_t* out, size_t n)>;

// Chunk n, decoded (from the cache when it is there), or null: past the end,
// locked (encrypted without a password), unreadable or damaged.
const uint8_t* FetchArchiveChunk(ChunkArchive& a, uint64_t n, bool locked, const ChunkArchiveRead& read);

// Copies one 2048-byte sector; 0 done, -1 failed.
int CopyArchiveSector(ChunkArchive& a, uint32_t sector, uint8_t* destination, bool locked,
                      const ChunkArchiveRead& read);

}  // namespace containers
