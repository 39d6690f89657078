#pragma once
// Sector reads of an image stored as a run of independently stored chunks
// (DMG, ISZ, UIF): the format's reader fills a ChunkTable with one entry per
// chunk and attaches it to the document; every sector read then maps a run of
// sectors onto the chunks, reads their stored bytes (from one file or across
// the part files of a split image), decrypts and decodes them into a small
// cache of decoded chunks and copies the wanted bytes out.
//
// A burn's read-ahead and a view may read one document at once, so every read
// holds the table's lock; the plan of a read is local to it.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "codecs/aes.h"
#include "codecs/chunk_cache.h"
#include "foundation/file_io.h"

namespace containers {

// Chunk types, shared by every reader (each translates its own codes).
constexpr uint32_t kChunkStored = 1;
constexpr uint32_t kChunkZero = 2;
constexpr uint32_t kChunkZlib = 0x80000005;
constexpr uint32_t kChunkBzip2 = 0x80000004;
// Apple Data Compression, met in DMG images only; our own code for it.
constexpr uint32_t kChunkAdc = 0x80000104;
// A compression we cannot decode (DMG's LZFSE and LZMA): reading it fails,
// never yields zeros.
constexpr uint32_t kChunkUndecodable = 0x80000100;

// The largest chunk we decode or read whole: a bound on what a hostile table
// can make us allocate.
constexpr uint64_t kMaxChunkBytes = 64ull << 20;
constexpr size_t kMaxPartFiles = 100;
constexpr size_t kDefaultWorkBytes = 524288;

struct ChunkEntry {
    uint32_t type = 0;
    uint64_t fileOffset = 0;     // in the joint address space of the parts
    uint64_t storedLength = 0;
    uint64_t decodedLength = 0;
    uint64_t decodedStart = 0;   // running total of the decoded lengths before it
};

struct ChunkPart {
    std::u16string name;
    uint64_t fileSize = 0;
    uint64_t dataBytes = 0;      // the last bytes of the file that carry chunk data
};

}  // namespace containers

namespace image {

struct ImageContext;

struct ChunkTable {
    std::vector<containers::ChunkEntry> chunks;
    uint64_t totalDecoded = 0;
    uint64_t sectorCount = 0;    // decoded bytes / sector size, rounded up
    codecs::ChunkCacheOwner cache;
    platform::FileHandle file = nullptr;   // the first part; owned by the document
    std::vector<uint8_t> work;   // a chunk's stored bytes while they are decrypted and decoded
    int32_t sectorSize = 2048;
    int32_t sectorDataOffset = 0;
    // Decryption of every chunk's stored bytes (the ISZ reader's), null when none.
    void (*decryptBlocks)(ChunkTable& table, uint8_t* bytes, size_t length) = nullptr;
    codecs::AesKeySchedule aes;
    std::array<char, 36> key{};
    int32_t keyLength = 0;
    std::vector<containers::ChunkPart> parts;   // empty for a single-file image
    int32_t partNaming = 0;
    // The part file read last stays open: chunks of one part follow one another.
    foundation::UniqueFile partFile;
    int32_t partFileIndex = -1;
    std::mutex lock;
};

}  // namespace image

namespace containers {

using image::ChunkTable;

struct ChunkTableFree {
    void operator()(ChunkTable* table) const;
};
using ChunkTableOwner = std::unique_ptr<ChunkTable, ChunkTableFree>;

// A table with its 4-slot cache and work buffer; null without memory.
ChunkTableOwner NewChunkTable();
void FreeChunkTable(ChunkTable* table);

// Appends a chunk after the last one; false when the table is full.
bool AddChunk(ChunkTable& table, uint32_t type, uint64_t fileOffset, uint64_t storedLength, uint64_t decodedLength);

// One piece of a planned read: bytes [offset, offset + length) of a chunk's
// decoded data.
struct ChunkPiece {
    size_t chunk = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
};
// The pieces of a run of sectors, empty when the run starts past the last chunk.
std::vector<ChunkPiece> PlanChunkReads(const ChunkTable& table, uint64_t firstSector, uint64_t sectorCount);

// Reads stored bytes at a joint offset, across part files when there are any.
bool ReadChunkStored(ChunkTable& table, uint8_t* destination, uint64_t fileOffset, uint64_t length);
// The bytes of one piece: 0, or -1 when its chunk cannot be read or decoded.
int ReadChunkPiece(ChunkTable& table, const ChunkPiece& piece, uint8_t* destination);
// Makes the work buffer hold n bytes; on failure the old buffer stays.
bool GrowChunkBuffer(ChunkTable& table, uint64_t n);

// The sector reader of the document's table (sectors of the table's size):
// the count asked for (a tail past the last chunk zero-filled), 0 on failure.
int32_t ReadChunkedSectors(image::ImageContext& ctx, int32_t first, uint8_t* destination, int32_t count);

// Hands the table to the document as its sector source (format code and
// sector count); false, with the table freed, when it yields more sectors
// than a document can address.
bool AttachChunkTable(image::ImageContext& ctx, ChunkTableOwner table, int32_t formatCode);

}  // namespace containers
