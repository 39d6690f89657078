#include "containers/dmg/dmg_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "foundation/byte_cursor.h"
#include "image/detect/fs_probe.h"
#include "image/document/image_context.h"

namespace containers {
namespace {

constexpr int32_t kDmgFormat = 4;
constexpr uint64_t kTailBytes = 6291456;   // the property list sits in the last 6 MB
// The "koly" trailer, the last 512 bytes of an image: +216 offset and +224
// length of the XML property list, both big-endian 64-bit.
constexpr uint64_t kTrailerBytes = 512;
constexpr size_t kTrailerXmlOffset = 216;
constexpr size_t kTrailerXmlLength = 224;
constexpr uint64_t kMaxPlistBytes = 64ull << 20;
// Block table: entries of 40 bytes from byte 204 of the decoded block.
constexpr size_t kFirstEntry = 204;
constexpr size_t kEntryBytes = 40;
// Compressed entries larger than this are no image we can take apart chunk by chunk.
constexpr uint64_t kMaxCompressedChunk = 0x40000;
// Sectors one entry may cover: far beyond any disc, far below a 64-bit wrap.
constexpr uint64_t kMaxEntrySectors = 1ull << 40;

constexpr std::string_view kPlistTag = "<plist version=\"1.0\">";
constexpr std::string_view kPlistEnd = "</plist>";
constexpr std::string_view kBlkxKey = "<key>blkx</key>";
constexpr std::string_view kArray = "<array>";
constexpr std::string_view kArrayEnd = "</array>";
constexpr std::string_view kData = "<data>";
constexpr std::string_view kDataEnd = "</data>";

int64_t Find(std::string_view text, std::string_view pattern, size_t from = 0) {
    if (from > text.size()) return -1;
    const size_t at = text.find(pattern, from);
    return at == std::string_view::npos ? -1 : int64_t(at);
}

// The property list's bytes: where the trailer says, else the file's last 6 MB.
bool ReadPlistBytes(platform::FileHandle file, uint64_t size, std::vector<uint8_t>& bytes) {
    if (size >= kTrailerBytes) {
        uint8_t trailer[kTrailerBytes];
        if (foundation::ReadFileAt(file, trailer, size - kTrailerBytes, kTrailerBytes) &&
            std::memcmp(trailer, "koly", 4) == 0) {
            foundation::ByteCursor t(trailer, sizeof trailer);
            const uint64_t offset = t.Be64(kTrailerXmlOffset);
            const uint64_t length = t.Be64(kTrailerXmlLength);
            if (length != 0 && length <= kMaxPlistBytes && offset < size && length <= size - offset) {
                try {
                    bytes.resize(size_t(length));
                } catch (const std::bad_alloc&) {
                    return false;
                }
                return foundation::ReadFileAt(file, bytes.data(), offset, bytes.size());
            }
        }
    }
    const uint64_t length = std::min(size, kTailBytes);
    try {
        bytes.resize(size_t(length));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return foundation::ReadFileAt(file, bytes.data(), size - length, bytes.size());
}

uint32_t ChunkTypeOf(uint32_t entryType) {
    switch (entryType) {
        case dmg_entry::kStored: return kChunkStored;
        case dmg_entry::kZlib: return kChunkZlib;
        case dmg_entry::kBzip2: return kChunkBzip2;
        case dmg_entry::kAdc: return kChunkAdc;
        case dmg_entry::kLzfse:
        case dmg_entry::kLzma: return kChunkUndecodable;
        default: return kChunkZero;
    }
}

// Where the chunks of the blocks read so far end, for blocks whose offsets
// count from there.
struct BlockBase {
    uint64_t base = 0;
    uint64_t runningEnd = 0;
};

bool AddBlock(ChunkTable& table, const std::vector<uint8_t>& block, uint64_t fileSize, BlockBase& place) {
    foundation::ByteCursor c(block);
    bool first = true;
    for (size_t at = kFirstEntry; c.Has(at, kEntryBytes); at += kEntryBytes) {
        const uint32_t type = c.Be32(at);
        const uint64_t sectors = c.Be64(at + 16);
        const uint64_t offset = c.Be64(at + 24);
        const uint64_t stored = c.Be64(at + 32);
        if (first) {
            // A block whose first entry starts at 0 counts its offsets from the
            // end of the blocks before it.
            if ((offset & 0xFFFFFFFFu) != 0) place = {};
            first = false;
        }
        if (sectors > kMaxEntrySectors) return false;
        const uint64_t decoded = sectors * 512;
        if (type == dmg_entry::kEnd) {
            if (sectors != 0 && !AddChunk(table, kChunkZero, 0, 0, decoded)) return false;
            place.base += place.runningEnd;
            return true;
        }
        const uint32_t chunkType = ChunkTypeOf(type);
        if ((chunkType == kChunkZlib || chunkType == kChunkBzip2) &&
            (stored > kMaxCompressedChunk || decoded > kMaxCompressedChunk))
            return false;
        if (offset > UINT64_MAX - place.base) return false;
        const uint64_t fileOffset = place.base + offset;
        const bool carriesBytes = chunkType != kChunkZero;
        if (carriesBytes && (fileOffset > fileSize || stored > fileSize - fileOffset)) return false;
        if (carriesBytes && chunkType != kChunkStored && stored > kMaxChunkBytes) return false;
        if (sectors != 0 && !AddChunk(table, chunkType, fileOffset, stored, decoded)) return false;
        if (offset <= UINT64_MAX - stored) place.runningEnd = offset + stored;
    }
    // Without its end entry the block cannot say where the next one's offsets start.
    return false;
}

}  // namespace

int64_t FindBytesForward(const uint8_t* data, const char* pattern, size_t length, size_t patternLength) {
    return Find(std::string_view(reinterpret_cast<const char*>(data), length), std::string_view(pattern, patternLength));
}

int64_t FindBytesBackward(const uint8_t* data, const char* pattern, size_t length, size_t patternLength) {
    const std::string_view text(reinterpret_cast<const char*>(data), length);
    const size_t at = text.rfind(std::string_view(pattern, patternLength));
    return at == std::string_view::npos ? -1 : int64_t(at);
}

bool IsBase64Char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

std::string FilterBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (IsBase64Char(c)) out.push_back(c);
    return out;
}

std::vector<uint8_t> DecodeBase64(std::string_view text) {
    const size_t groups = text.size() / 4;
    std::vector<uint8_t> out;
    out.reserve(groups * 3);
    for (size_t g = 0; g < groups; ++g) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i) v = v << 6 | uint32_t(Base64Value(text[g * 4 + i]));
        out.push_back(uint8_t(v >> 16));
        out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    }
    const size_t used = groups * 4;
    for (size_t i = 1; i <= 2 && used >= i; ++i)
        if (text[used - i] == '=' && !out.empty()) out.pop_back();
    return out;
}

int ReadDmgBlockTables(image::ImageContext& ctx) {
    ctx.chunkTable.Reset();
    if (ctx.trackList) return -1;
    platform::FileHandle file = ctx.imageHandle.get();
    const int64_t fileSize = foundation::GetFileSize64(file);
    if (fileSize <= 0) return -1;
    const uint64_t size = uint64_t(fileSize);

    std::vector<uint8_t> bytes;
    if (!ReadPlistBytes(file, size, bytes)) return -1;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const int64_t plist = Find(text, kPlistTag);
    if (plist < 0) return -1;
    const size_t plistEnd = text.rfind(kPlistEnd);
    if (plistEnd == std::string_view::npos || plistEnd < size_t(plist)) return -1;
    const std::string_view body = text.substr(0, plistEnd);
    const int64_t key = Find(body, kBlkxKey, size_t(plist));
    if (key < 0) return -1;
    const int64_t array = Find(body, kArray, size_t(key));
    if (array < 0) return -1;
    const size_t arrayStart = size_t(array) + kArray.size();
    const int64_t arrayEnd = Find(body, kArrayEnd, arrayStart);
    if (arrayEnd < 0 || size_t(arrayEnd) == arrayStart) return -1;
    const std::string_view items = body.substr(arrayStart, size_t(arrayEnd) - arrayStart);

    ChunkTableOwner table = NewChunkTable();
    if (!table) return -1;
    table->file = file;
    table->sectorSize = 2048;
    BlockBase place;
    for (size_t from = 0;;) {
        const int64_t open = Find(items, kData, from);
        if (open < 0) break;
        const size_t start = size_t(open) + kData.size();
        const int64_t close = Find(items, kDataEnd, start);
        if (close < 0) break;
        const std::vector<uint8_t> block = DecodeBase64(FilterBase64(items.substr(start, size_t(close) - start)));
        if (!AddBlock(*table, block, size, place)) return -1;
        from = size_t(close) + kDataEnd.size();
    }
    return AttachChunkTable(ctx, std::move(table), kDmgFormat) ? 0 : -1;
}

int OpenDmgImage(image::ImageContext& ctx) {
    if (ReadDmgBlockTables(ctx) == 0 && image::ProbeFileSystem(ctx, kDmgFormat) == 0) return 0;
    ctx.chunkTable.Reset();
    ctx.endSector = 0;
    ctx.formatCode = image::format_code::kUnknown;
    return -1;
}

}  // namespace containers
