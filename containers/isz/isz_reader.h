#pragma once
// ISZ compressed images: a 48-byte header "IsZ!", an optional segment table
// for an image split over several files, an optional chunk-pointer table and
// the chunks (stored, zero, zlib or bzip2). The chunks go into a chunk table of
// 2048-byte sectors; the part files join into one address space.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "containers/chunk/chunk_engine.h"

namespace image {
struct ImageContext;
}

namespace containers {

constexpr size_t kIszHeaderBytes = 48;

// The header fields the reader uses.
struct IszHeader {
    uint32_t headerSize = 0;
    uint32_t sectorSize = 0;
    uint32_t totalSectors = 0;
    uint32_t encryption = 0;
    uint64_t segmentSize = 0;
    uint32_t chunkCount = 0;
    uint32_t chunkSize = 0;
    uint32_t pointerLength = 0;
    uint32_t segmentNumber = 0;
    uint32_t pointerTableOffset = 0;
    uint32_t segmentTableOffset = 0;
    uint32_t dataOffset = 0;
};

// Nothing when the bytes do not start with "IsZ!".
std::optional<IszHeader> DecodeIszHeader(const std::array<uint8_t, kIszHeaderBytes>& bytes);
bool IsFirstIszPart(const IszHeader& header);
// The path of the first part of a split image when the given path is a later
// part and that first part exists; empty otherwise.
std::u16string FindFirstIszPart(std::u16string_view path);
// 1 for "*.part01.isz", 2 for "*.part001.isz", else 0 (any case).
int GetIszNamingStyle(std::u16string_view name);
// The name of part i (i >= 1) of the image whose first part is `name`.
std::u16string GetIszPartName(std::u16string_view name, int style, int i);
// Undoes the XOR mask of the segment and chunk-pointer tables.
void UnmaskIszTable(uint8_t* bytes, size_t length);
// A 3-byte chunk pointer: stored length (22 bits) and flags (top two bits).
void DecodeIszPointer(const uint8_t* entry, uint32_t& length, uint32_t& flags);

// The engine's decryption step while a key is set: every whole 16-byte block
// AES-decrypted in place.
void DecryptIszBlocks(ChunkTable& table, uint8_t* bytes, size_t length);

// Builds the document's chunk table: 0, else -1 with no table kept.
int ReadIszImage(image::ImageContext& ctx);
// Reads the image and probes the file system inside: 0 (format 6), else -1.
int OpenIszImage(image::ImageContext& ctx);

}  // namespace containers
