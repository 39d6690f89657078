#include "containers/uif/uif_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "foundation/byte_cursor.h"
#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

// Trailer, the last 64 bytes: +0 "bbis", +20 bytes per unit of the block
// table's counts (uint32), +28 offset of the block table (uint64).
constexpr size_t kTrailerBytes = 64;
constexpr size_t kTrailerUnitSize = 20;
constexpr size_t kTrailerTableOffset = 28;
// Block table header: +0 "blhr", +4 compressed length + 8, +12 entry count.
constexpr size_t kTableHeaderBytes = 16;
constexpr size_t kEntryBytes = 24;
// zlib never expands more than about 1032:1, so a longer table cannot come
// out of that many compressed bytes.
constexpr uint64_t kInflateMaxRatio = 1032;
constexpr uint64_t kMaxTableBytes = 64ull << 20;
constexpr int32_t kUifFormat = 5;
constexpr size_t kPieceSectors = 64;

struct Layout {
    int32_t sectorSize;
    int32_t dataOffset;
};
constexpr std::array<Layout, 3> kLayouts = {{{2048, 0}, {2352, 16}, {2352, 24}}};

uint32_t ChunkTypeOf(uint32_t entryType) {
    switch (entryType) {
        case 1:
        case 2: return kChunkStored;
        case 3: return kChunkZero;
        case 5:
        case 7: return kChunkZlib;
        default: return 0;
    }
}

bool InflateTable(const std::vector<uint8_t>& packed, std::vector<uint8_t>& table) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = const_cast<uint8_t*>(packed.data());
    stream.avail_in = uInt(packed.size());
    // One byte more than the entries: a table that fills it does not match its count.
    std::vector<uint8_t> out(table.size() + 1);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    const uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    if ((result != Z_STREAM_END && result != Z_OK && result != Z_BUF_ERROR) || produced != table.size()) return false;
    std::memcpy(table.data(), out.data(), table.size());
    return true;
}

}  // namespace

ChunkTableOwner BuildUifChunkTable(image::ImageContext& ctx, int32_t sectorSize, int32_t dataOffset) {
    if (ctx.trackList) return nullptr;
    platform::FileHandle file = ctx.imageHandle.get();
    const int64_t fileSize = foundation::GetFileSize64(file);
    if (fileSize <= int64_t(kTrailerBytes)) return nullptr;
    const uint64_t size = uint64_t(fileSize);

    std::array<uint8_t, kTrailerBytes> trailer{};
    if (!foundation::ReadFileAt(file, trailer.data(), size - kTrailerBytes, trailer.size())) return nullptr;
    foundation::ByteCursor t(trailer);
    if (std::memcmp(trailer.data(), "bbis", 4) != 0) return nullptr;
    const uint64_t unitSize = t.Le32(kTrailerUnitSize);
    const uint64_t tableOffset = t.Le64(kTrailerTableOffset);
    if (unitSize == 0 || tableOffset >= size || size - tableOffset < kTableHeaderBytes) return nullptr;

    std::array<uint8_t, kTableHeaderBytes> header{};
    if (!foundation::ReadFileAt(file, header.data(), tableOffset, header.size())) return nullptr;
    foundation::ByteCursor h(header);
    if (std::memcmp(header.data(), "blhr", 4) != 0) return nullptr;
    const uint64_t lengthField = h.Le32(4);
    const uint64_t entries = h.Le32(12);
    if (lengthField < 8) return nullptr;
    const uint64_t packedLength = lengthField - 8;
    if (packedLength == 0 || packedLength > size - tableOffset - kTableHeaderBytes) return nullptr;
    if (entries == 0 || entries * kEntryBytes > packedLength * kInflateMaxRatio ||
        entries * kEntryBytes > kMaxTableBytes)
        return nullptr;

    std::vector<uint8_t> packed;
    std::vector<uint8_t> table;
    try {
        packed.resize(size_t(packedLength));
        table.resize(size_t(entries * kEntryBytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!foundation::ReadFileAt(file, packed.data(), tableOffset + kTableHeaderBytes, packed.size())) return nullptr;
    if (!InflateTable(packed, table)) return nullptr;

    ChunkTableOwner chunks = NewChunkTable();
    if (!chunks) return nullptr;
    chunks->file = file;
    chunks->sectorSize = sectorSize;
    chunks->sectorDataOffset = dataOffset;
    foundation::ByteCursor e(table);
    for (uint64_t i = 0; i < entries; ++i) {
        const size_t at = size_t(i * kEntryBytes);
        const uint64_t offset = e.Le64(at);
        const uint64_t stored = e.Le32(at + 8);
        const uint64_t units = e.Le32(at + 16);
        const uint32_t type = ChunkTypeOf(e.Le32(at + 20));
        if (type == 0) continue;
        const uint64_t decoded = units * unitSize;   // both below 2^32: no wrap
        if (type != kChunkZero && (offset > size || stored > size - offset)) return nullptr;
        if (type == kChunkZlib && (decoded > kMaxChunkBytes || stored > kMaxChunkBytes)) return nullptr;
        if (!AddChunk(*chunks, type, offset, stored, decoded)) return nullptr;
    }
    return chunks;
}

int OpenUifImage(image::ImageContext& ctx) {
    for (const Layout& layout : kLayouts) {
        ChunkTableOwner table = BuildUifChunkTable(ctx, layout.sectorSize, layout.dataOffset);
        if (!table || !AttachChunkTable(ctx, std::move(table), kUifFormat)) break;
        if (image::ProbeFileSystem(ctx, kUifFormat) == 0) return 0;
        // The next layout builds its own table.
        ctx.chunkTable.Reset();
    }
    ctx.chunkTable.Reset();
    ctx.endSector = 0;
    ctx.formatCode = image::format_code::kUnknown;
    return -1;
}

int32_t ReadChunkImageSectors(image::ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count) {
    ChunkTable* table = ctx.chunkTable.get();
    if (!table || !buffer || count <= 0 || first < 0) return 0;
    const int32_t size = table->sectorSize;
    const int32_t offset = table->sectorDataOffset;
    if (size == 2048) return ReadChunkedSectors(ctx, first, buffer, count);
    if (size < 2048 || offset < 0 || offset > size - 2048) return 0;
    std::vector<uint8_t> raw;
    try {
        raw.resize(kPieceSectors * size_t(size));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min<int32_t>(int32_t(kPieceSectors), count - done);
        if (ReadChunkedSectors(ctx, first + done, raw.data(), n) != n) return 0;
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(buffer + size_t(done + i) * 2048, raw.data() + size_t(i) * size_t(size) + size_t(offset), 2048);
        done += n;
    }
    return count;
}

}  // namespace containers
