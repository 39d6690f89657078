#include "filesystems/wim/wim_layout.h"

#include <algorithm>
#include <cstring>

#include "foundation/byte_cursor.h"

namespace filesystems::wim {
namespace {

constexpr uint8_t kMagic[8] = {'M', 'S', 'W', 'I', 'M', 0, 0, 0};
constexpr uint64_t kMaxEntryBytes = uint64_t{1} << 62;

uint64_t Align8(uint64_t v) { return (v + 7) & ~uint64_t{7}; }

}  // namespace

ResourceEntry DecodeResourceEntry(std::span<const uint8_t, kResourceHeaderBytes> bytes) {
    foundation::ByteCursor c(bytes);
    ResourceEntry r;
    r.storedBytes = c.Le64(0) & 0x00FFFFFFFFFFFFFFull;
    r.flags = c.U8(7);
    r.offset = c.Le64(8);
    r.uncompressedBytes = c.Le64(16);
    return r;
}

HeaderError DecodeHeader(std::span<const uint8_t> bytes, WimHeader& h) {
    if (bytes.size() < kHeaderReadBytes) return HeaderError::kTooShort;
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return HeaderError::kNotWim;
    foundation::ByteCursor c(bytes);
    h.headerBytes = c.Le32(8);
    h.version = c.Le32(12);
    h.flags = c.Le32(16);
    h.chunkBytes = c.Le32(20);
    std::copy_n(bytes.begin() + 24, 16, h.guid.begin());
    h.partNumber = c.Le16(40);
    h.totalParts = c.Le16(42);
    size_t resources = 44;
    if (h.version >= kVersionWithImageCount) {
        h.imageCount = c.Le32(44);
        resources = 48;
    }
    h.lookupTable = DecodeResourceEntry(bytes.subspan(resources).first<kResourceHeaderBytes>());
    h.xmlData = DecodeResourceEntry(bytes.subspan(resources + 24).first<kResourceHeaderBytes>());
    h.bootMetadata = DecodeResourceEntry(bytes.subspan(resources + 48).first<kResourceHeaderBytes>());
    if (h.headerBytes < kMinHeaderBytes) return HeaderError::kTooShort;
    if (h.version == kSolidVersion) return HeaderError::kSolid;
    if (h.chunkBytes != 0 && h.chunkBytes != kChunkBytes) return HeaderError::kBadChunkSize;
    h.compression = Compression::kNone;
    if (h.flags & kHeaderCompressed) {
        if (h.flags & (kHeaderLzms | kHeaderXpress2)) return HeaderError::kUnsupportedKind;
        if (h.flags & kHeaderLzx) {
            h.compression = Compression::kLzx;
        } else if (h.flags & kHeaderXpress) {
            h.compression = Compression::kXpress;
        } else {
            return HeaderError::kNoCompressionKind;
        }
    }
    return HeaderError::kNone;
}

LookupEntry DecodeLookupEntry(std::span<const uint8_t, kLookupEntryBytes> bytes) {
    foundation::ByteCursor c(bytes);
    LookupEntry e;
    e.resource = DecodeResourceEntry(bytes.first<kResourceHeaderBytes>());
    e.partNumber = c.Le16(24);
    e.referenceCount = c.Le32(26);
    std::copy_n(bytes.begin() + 30, 20, e.hash.begin());
    return e;
}

EntryResult DecodeDirectoryEntry(std::span<const uint8_t> metadata, uint64_t offset, DirectoryEntry& e) {
    foundation::ByteCursor all(metadata);
    if (!all.Has(offset, 8)) return EntryResult::kDamaged;
    const uint64_t length = all.Le64(offset);
    if (length == 0) return EntryResult::kEndOfDirectory;
    if (length < kEntryMinBytes || length > kMaxEntryBytes || !all.Has(offset, length)) return EntryResult::kDamaged;
    auto entry = all.Sub(offset, length);
    if (!entry) return EntryResult::kDamaged;
    e.lengthBytes = length;
    e.attributes = entry->Le32(8);
    e.subdirectoryOffset = entry->Le64(16);
    e.lastWriteTime = entry->Le64(56);
    if (!entry->CopyTo(64, e.hash.data(), e.hash.size())) return EntryResult::kDamaged;
    e.streamCount = entry->Le16(96);
    const uint16_t nameBytes = entry->Le16(100);
    // The name must end inside its entry.
    auto name = entry->Span(kEntryMinBytes, nameBytes);
    if (!name || !entry->Ok()) return EntryResult::kDamaged;
    e.name = *name;

    // Stream entries follow, each rounded up to 8 bytes like the entry; an
    // unnamed one carries the file's data when the entry's own hash is zero.
    uint64_t next = offset + Align8(length);
    for (uint32_t i = 0; i < e.streamCount; ++i) {
        if (!all.Has(next, 8)) return EntryResult::kDamaged;
        const uint64_t streamLength = all.Le64(next);
        if (streamLength < kStreamEntryMinBytes || streamLength > kMaxEntryBytes || !all.Has(next, streamLength))
            return EntryResult::kDamaged;
        auto stream = all.Sub(next, streamLength);
        const uint16_t streamNameBytes = stream->Le16(36);
        if (!stream->Has(kStreamEntryMinBytes, streamNameBytes)) return EntryResult::kDamaged;
        if (streamNameBytes == 0 && IsZeroHash(e.hash)) stream->CopyTo(16, e.hash.data(), e.hash.size());
        next += Align8(streamLength);
    }
    e.nextOffset = next;
    return EntryResult::kEntry;
}

std::optional<uint64_t> RootEntryOffset(std::span<const uint8_t> metadata) {
    foundation::ByteCursor c(metadata);
    if (!c.Has(0, 4)) return std::nullopt;
    uint64_t offset = Align8(c.Le32(0));
    if (offset == 0) offset = 8;
    if (!c.Has(offset, 8)) return std::nullopt;
    return offset;
}

bool IsZeroHash(const codecs::Sha1Digest& hash) {
    return std::all_of(hash.begin(), hash.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace filesystems::wim
