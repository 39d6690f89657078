#include "containers/chunk/chunk_engine.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "containers/chunk/adc_decoder.h"
#include "foundation/operation_status.h"
#include "foundation/strings.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

constexpr int32_t kCacheSlots = 4;
constexpr uint32_t kStrErrorReadingArchive = 30830;

void ReportCorruptChunk() {
    std::u16string text = foundation::LangString(kStrErrorReadingArchive);
    if (text.empty()) text = u"Error reading archive. ";
    foundation::SetLastErrorText(text);
    foundation::OperationStatus = foundation::kStatusImageReadError;
}

struct InflateEnd {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

// One zlib stream of exactly the stored bytes into at most capacity bytes:
// the decoded count, or -1 for a corrupt stream, one that does not end inside
// its stored bytes, or one that yields more than the chunk's decoded length.
int64_t InflateChunk(const uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return -1;
    std::unique_ptr<z_stream, InflateEnd> owner(&stream);
    // zlib counts in 32 bits; our chunks stay far below (kMaxChunkBytes).
    stream.next_in = const_cast<uint8_t*>(input);
    stream.avail_in = uInt(inputLength);
    // One byte of room beyond the chunk: a stream that fills it is too long.
    uint8_t spare = 0;
    stream.next_out = output;
    stream.avail_out = uInt(capacity);
    int result = inflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END && stream.avail_out == 0) {
        stream.next_out = &spare;
        stream.avail_out = 1;
        result = inflate(&stream, Z_FINISH);
        if (result == Z_STREAM_END && stream.avail_out == 0) return -1;
    }
    if (result != Z_STREAM_END) return -1;
    return int64_t(stream.total_out);
}

int64_t Bunzip2Chunk(uint8_t* input, size_t inputLength, uint8_t* output, size_t capacity) {
    // ISZ writes its bzip2 streams with their own magic.
    if (inputLength >= 3 && std::memcmp(input, "ISz", 3) == 0) std::memcpy(input, "BZh", 3);
    unsigned int produced = static_cast<unsigned int>(capacity);
    const int result = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(output), &produced,
                                                  reinterpret_cast<char*>(input),
                                                  static_cast<unsigned int>(inputLength), 0, 0);
    if (result != BZ_OK) return -1;
    return int64_t(produced);
}

bool IsDecodedType(uint32_t type) {
    return type == kChunkZlib || type == kChunkBzip2 || type == kChunkAdc;
}

// The part holding joint offset `offset`, and the offset inside its data.
struct PartPosition {
    size_t part = 0;
    uint64_t offset = 0;
    uint64_t limit = 0;   // bytes of the part's data
};

bool FindPart(const ChunkTable& table, uint64_t offset, PartPosition& at) {
    for (size_t i = 0; i < table.parts.size(); ++i) {
        const ChunkPart& part = table.parts[i];
        const uint64_t limit = i == 0 ? part.fileSize : part.dataBytes;
        if (offset < limit) {
            at = {i, offset, limit};
            return true;
        }
        offset -= limit;
    }
    return false;
}

platform::FileHandle PartHandle(ChunkTable& table, size_t part) {
    if (part == 0) return table.file;
    if (table.partFileIndex != int32_t(part)) {
        table.partFile.reset(foundation::OpenFileForRead(table.parts[part].name));
        table.partFileIndex = table.partFile ? int32_t(part) : -1;
    }
    return table.partFile.get();
}

// Reads the stored chunk whole into the work buffer and decrypts it.
bool LoadStoredChunk(ChunkTable& table, const ChunkEntry& entry) {
    if (entry.storedLength > kMaxChunkBytes || !GrowChunkBuffer(table, entry.storedLength)) return false;
    if (!ReadChunkStored(table, table.work.data(), entry.fileOffset, entry.storedLength)) return false;
    if (table.decryptBlocks) table.decryptBlocks(table, table.work.data(), size_t(entry.storedLength));
    return true;
}

}  // namespace

void ChunkTableFree::operator()(ChunkTable* table) const { FreeChunkTable(table); }

ChunkTableOwner NewChunkTable() {
    ChunkTableOwner table(new (std::nothrow) ChunkTable);
    if (!table) return nullptr;
    table->cache = codecs::CreateChunkCache(kCacheSlots);
    if (!table->cache) return nullptr;
    try {
        table->work.resize(kDefaultWorkBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return table;
}

void FreeChunkTable(ChunkTable* table) { delete table; }

bool AddChunk(ChunkTable& table, uint32_t type, uint64_t fileOffset, uint64_t storedLength, uint64_t decodedLength) {
    // Cache keys are 32-bit chunk numbers.
    if (table.chunks.size() >= size_t(INT32_MAX)) return false;
    if (decodedLength > UINT64_MAX - table.totalDecoded) return false;
    try {
        table.chunks.push_back({type, fileOffset, storedLength, decodedLength, table.totalDecoded});
    } catch (const std::bad_alloc&) {
        return false;
    }
    table.totalDecoded += decodedLength;
    const uint64_t size = uint64_t(table.sectorSize > 0 ? table.sectorSize : 2048);
    table.sectorCount = table.totalDecoded / size + (table.totalDecoded % size != 0 ? 1 : 0);
    return true;
}

std::vector<ChunkPiece> PlanChunkReads(const ChunkTable& table, uint64_t firstSector, uint64_t sectorCount) {
    std::vector<ChunkPiece> plan;
    const uint64_t size = uint64_t(table.sectorSize);
    if (size == 0 || firstSector > UINT64_MAX / size) return plan;
    uint64_t position = firstSector * size;
    uint64_t wanted = sectorCount > UINT64_MAX / size ? UINT64_MAX : sectorCount * size;
    // The first chunk that ends past the position; ends never decrease.
    auto it = std::upper_bound(table.chunks.begin(), table.chunks.end(), position,
                               [](uint64_t pos, const ChunkEntry& c) { return pos < c.decodedStart + c.decodedLength; });
    for (size_t i = size_t(it - table.chunks.begin()); i < table.chunks.size() && wanted != 0; ++i) {
        const ChunkEntry& c = table.chunks[i];
        if (c.decodedLength == 0) continue;
        const uint64_t offset = position - c.decodedStart;
        const uint64_t length = std::min(c.decodedLength - offset, wanted);
        plan.push_back({i, offset, length});
        wanted -= length;
        position += length;
    }
    return plan;
}

bool ReadChunkStored(ChunkTable& table, uint8_t* destination, uint64_t fileOffset, uint64_t length) {
    if (table.parts.empty()) return foundation::ReadFileAt(table.file, destination, fileOffset, size_t(length));
    while (length != 0) {
        PartPosition at;
        if (!FindPart(table, fileOffset, at)) return false;
        const ChunkPart& part = table.parts[at.part];
        const uint64_t n = std::min(at.limit - at.offset, length);
        const uint64_t header = at.part == 0 ? 0 : part.fileSize - part.dataBytes;
        platform::FileHandle file = PartHandle(table, at.part);
        if (!file || !foundation::ReadFileAt(file, destination, header + at.offset, size_t(n))) {
            foundation::SetCurrentFileName(part.name);
            return false;
        }
        destination += n;
        fileOffset += n;
        length -= n;
    }
    return true;
}

bool GrowChunkBuffer(ChunkTable& table, uint64_t n) {
    if (n <= table.work.size()) return true;
    if (n > kMaxChunkBytes) return false;
    try {
        std::vector<uint8_t> bigger(size_t(n) + size_t(codecs::kChunkCacheSlack));
        table.work.swap(bigger);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int ReadChunkPiece(ChunkTable& table, const ChunkPiece& piece, uint8_t* destination) {
    if (piece.chunk >= table.chunks.size()) return -1;
    const ChunkEntry entry = table.chunks[piece.chunk];
    const size_t length = size_t(piece.length);

    if (entry.type == kChunkZero) {
        std::memset(destination, 0, length);
        return 0;
    }
    if (entry.type == kChunkStored) {
        // A chunk that claims more decoded than stored bytes reads zeros past
        // its stored end, never the next chunk's bytes.
        const uint64_t stored = piece.offset < entry.storedLength
                                    ? std::min<uint64_t>(entry.storedLength - piece.offset, piece.length)
                                    : 0;
        if (table.parts.empty() && !table.decryptBlocks) {
            if (stored != 0 &&
                !foundation::ReadFileAt(table.file, destination, entry.fileOffset + piece.offset, size_t(stored)))
                return -1;
        } else if (stored != 0) {
            if (!LoadStoredChunk(table, entry)) return -1;
            std::memcpy(destination, table.work.data() + piece.offset, size_t(stored));
        }
        std::memset(destination + stored, 0, length - size_t(stored));
        return 0;
    }
    if (entry.type == kChunkUndecodable) return -1;
    if (!IsDecodedType(entry.type)) {
        // Types we do not know carry no data we could give.
        std::memset(destination, 0, length);
        return 0;
    }

    const int32_t key = int32_t(piece.chunk);
    int32_t cachedSize = 0;
    if (const uint8_t* cached = codecs::LookupChunkCache(table.cache.get(), key, &cachedSize)) {
        std::memcpy(destination, cached + piece.offset, length);
        codecs::TouchChunkCache(table.cache.get(), key);
        return 0;
    }
    if (entry.decodedLength > kMaxChunkBytes || !LoadStoredChunk(table, entry)) return -1;
    const int32_t slot = codecs::ReserveChunkCacheSlot(table.cache.get(), int32_t(entry.decodedLength));
    if (slot < 0) return -1;
    codecs::ChunkCacheSlot& cacheSlot = table.cache->slots[slot];
    uint8_t* decoded = cacheSlot.buffer.get();
    const size_t room = size_t(entry.decodedLength);
    int64_t produced = -1;
    if (entry.type == kChunkZlib) {
        produced = InflateChunk(table.work.data(), size_t(entry.storedLength), decoded, room);
        if (produced < 0) ReportCorruptChunk();
    } else if (entry.type == kChunkBzip2) {
        produced = Bunzip2Chunk(table.work.data(), size_t(entry.storedLength), decoded, room);
    } else {
        produced = DecodeAdc(table.work.data(), size_t(entry.storedLength), decoded, room);
    }
    if (produced < 0) {
        cacheSlot.buffer.reset();
        cacheSlot.dataSize = 0;
        cacheSlot.keyed = false;
        return -1;
    }
    // A short stream leaves no stale bytes of the slot's last chunk behind.
    std::memset(decoded + produced, 0, room - size_t(produced));
    std::memcpy(destination, decoded + piece.offset, length);
    codecs::StoreChunkCacheKey(table.cache.get(), slot, key);
    return 0;
}

int32_t ReadChunkedSectors(image::ImageContext& ctx, int32_t first, uint8_t* destination, int32_t count) {
    ChunkTable* table = ctx.chunkTable.get();
    if (!table || !destination || first < 0 || count <= 0) return 0;
    std::lock_guard<std::mutex> hold(table->lock);
    const std::vector<ChunkPiece> plan = PlanChunkReads(*table, uint64_t(first), uint64_t(count));
    if (plan.empty()) return 0;
    uint8_t* at = destination;
    for (const ChunkPiece& piece : plan) {
        if (ReadChunkPiece(*table, piece, at) != 0) return 0;
        at += piece.length;
    }
    const size_t wanted = size_t(count) * size_t(table->sectorSize);
    const size_t given = size_t(at - destination);
    if (given < wanted) std::memset(at, 0, wanted - given);
    return count;
}

bool AttachChunkTable(image::ImageContext& ctx, ChunkTableOwner table, int32_t formatCode) {
    if (!table || table->sectorCount > uint64_t(INT32_MAX)) return false;
    ctx.endSector = int32_t(table->sectorCount);
    ctx.formatCode = formatCode;
    ctx.chunkTable.Attach(table.release(), FreeChunkTable);
    return true;
}

}  // namespace containers
