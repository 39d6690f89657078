#pragma once
// The on-disk layout of a WIM file: the header at the start of every part, the
// 24-byte resource header, the 50-byte lookup-table entry, and the directory
// and stream entries inside a metadata resource. All little-endian. Decoded
// into plain records here; nothing else reads these bytes by offset.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codecs/sha1.h"

namespace filesystems::wim {

constexpr size_t kHeaderReadBytes = 208;
constexpr uint32_t kMinHeaderBytes = 116;
constexpr uint32_t kChunkBytes = 0x8000;
constexpr size_t kResourceHeaderBytes = 24;
constexpr size_t kLookupEntryBytes = 50;

// Header flags (+16).
constexpr uint32_t kHeaderCompressed = 0x2;
constexpr uint32_t kHeaderXpress = 0x20000;
constexpr uint32_t kHeaderLzx = 0x40000;
constexpr uint32_t kHeaderLzms = 0x80000;
constexpr uint32_t kHeaderXpress2 = 0x200000;   // newer XPRESS variant with larger chunks
// The version from which the image count sits at +44.
constexpr uint32_t kVersionWithImageCount = 0x10C01;
// Solid-resource WIMs (one compressed stream over many files, LZMS).
constexpr uint32_t kSolidVersion = 0xE00;

// Resource flags (+7 of the resource header).
constexpr uint8_t kResourceFree = 0x1;
constexpr uint8_t kResourceMetadata = 0x2;
constexpr uint8_t kResourceCompressed = 0x4;
constexpr uint8_t kResourceSpanned = 0x8;
constexpr uint8_t kResourceSolid = 0x10;

constexpr uint32_t kAttributeDirectory = 0x10;

enum class Compression { kNone, kXpress, kLzx };

struct ResourceEntry {
    uint64_t storedBytes = 0;       // +0, 7 bytes
    uint8_t flags = 0;              // +7
    uint64_t offset = 0;            // +8, in its part file
    uint64_t uncompressedBytes = 0; // +16
};

struct WimHeader {
    uint32_t headerBytes = 0;       // +8
    uint32_t version = 0;           // +12
    uint32_t flags = 0;             // +16
    uint32_t chunkBytes = 0;        // +20
    std::array<uint8_t, 16> guid{}; // +24
    uint16_t partNumber = 0;        // +40
    uint16_t totalParts = 0;        // +42
    uint32_t imageCount = 0;        // +44 from version 0x10C01 on
    ResourceEntry lookupTable;      // +48 (+44 before that version)
    ResourceEntry xmlData;
    ResourceEntry bootMetadata;
    Compression compression = Compression::kNone;
};

struct LookupEntry {
    ResourceEntry resource;         // +0
    uint16_t partNumber = 0;        // +24
    uint32_t referenceCount = 0;    // +26
    codecs::Sha1Digest hash{};      // +30
};

// Why a header is refused.
enum class HeaderError { kNone, kNotWim, kTooShort, kBadChunkSize, kNoCompressionKind, kUnsupportedKind, kSolid };

ResourceEntry DecodeResourceEntry(std::span<const uint8_t, kResourceHeaderBytes> bytes);
// The header of bytes (at least kHeaderReadBytes; fewer is kTooShort).
HeaderError DecodeHeader(std::span<const uint8_t> bytes, WimHeader& header);
LookupEntry DecodeLookupEntry(std::span<const uint8_t, kLookupEntryBytes> bytes);

// A directory entry: +0 length (u64, 0 ends a directory), +8 attributes,
// +16 subdirectory offset, +56 last write time (FILETIME), +64 hash,
// +96 stream entry count (u16), +100 name length in bytes (u16), +102 name
// (UTF-16LE). The next entry follows the entry's stream entries, each
// entry rounded up to 8 bytes.
constexpr size_t kEntryMinBytes = 102;
struct DirectoryEntry {
    uint64_t lengthBytes = 0;
    uint32_t attributes = 0;
    uint64_t subdirectoryOffset = 0;
    uint64_t lastWriteTime = 0;
    codecs::Sha1Digest hash{};
    uint16_t streamCount = 0;
    std::span<const uint8_t> name;  // UTF-16LE bytes, inside the entry
    uint64_t nextOffset = 0;        // after the entry and its stream entries
};
// A stream entry: +0 length (u64), +16 hash, +36 name length in bytes, +38 name.
constexpr size_t kStreamEntryMinBytes = 38;

enum class EntryResult { kEntry, kEndOfDirectory, kDamaged };
// The entry at offset of a metadata resource.
EntryResult DecodeDirectoryEntry(std::span<const uint8_t> metadata, uint64_t offset, DirectoryEntry& entry);
// Where the root entry starts: after the security data, whose first u32 is
// its length, rounded up to 8 (a length of 0 counts as 8). Nothing when that
// lies outside the resource.
std::optional<uint64_t> RootEntryOffset(std::span<const uint8_t> metadata);

bool IsZeroHash(const codecs::Sha1Digest& hash);

}  // namespace filesystems::wim
