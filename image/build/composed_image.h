#pragma once
// The composed image of a build for burning: instead of writing an image file,
// the build records where every sector comes from, and the burn engine reads
// the image on the fly. One 8-byte entry per sector:
//   kind word: top 4 bits the kind, bit 24 the last sector of a file, low 24
//              bits the bytes used in that sector (file pieces);
//   value:     an offset in the blob or a source sector.
// Kinds: 1 a sector of the document's source image (value: the source sector);
// 2 the first sector of a disk file (value: blob offset of {0, path}); 3 a
// following sector of the file opened by the last kind-2 entry; 4 literal data
// (value: blob offset of the 2048 bytes).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace image {

struct ImageContext;
struct ImageItem;

namespace composed_kind {
constexpr uint32_t kSourceSector = 1;
constexpr uint32_t kFileFirst = 2;
constexpr uint32_t kFileNext = 3;
constexpr uint32_t kLiteral = 4;
}  // namespace composed_kind
constexpr uint32_t kComposedLastSectorBit = 1u << 24;
constexpr uint32_t kOwnerSlotSectors = 128;

struct ComposedImage {
    std::vector<uint8_t> blob;          // paths and literal sectors
    std::vector<uint64_t> map;          // kind word << 32 | value, one per sector from the session start
    ImageContext* document = nullptr;   // borrowed
    int32_t sessionStart = 0;
    // Owner of each 128-sector slot, for the burn progress.
    std::vector<const ImageItem*> owners;
    int32_t firstFileSector = -1;
    // The disk file of the last read (its entries [first, end) and path), so
    // that the burn's reads through a large file never walk back to its first
    // entry again. Read by the one thread that reads the image.
    size_t lastFileFirst = SIZE_MAX;
    size_t lastFileEnd = 0;
    std::u16string lastFilePath;
};

// A new composed image attached to the document (replacing any other); null
// when out of memory.
ComposedImage* NewComposedImage(ImageContext& ctx);
void FreeComposedImage(ComposedImage* image);

// Recording, in sector order. Each returns false when out of memory (then
// OperationStatus 6).
bool AppendComposedLiteral(ImageContext& ctx, const uint8_t* sectors2048, size_t count);
bool AppendComposedSourceSectors(ImageContext& ctx, uint32_t firstSourceSector, uint32_t count);
bool AppendComposedDiskFile(ImageContext& ctx, std::u16string_view path, uint64_t sizeBytes);

// Reads count sectors from first (2048 bytes each; 2352-byte Mode 2 Form 1
// sectors for a Video CD document). Sectors read; on a failure the system
// error is shown and OperationStatus is 10 (a file cannot be opened) or 4.
int32_t ReadComposedSectors(ImageContext& ctx, int32_t first, uint8_t* buffer, int32_t count);

// Owner map: which file a sector belongs to, for the burn progress.
void InitSectorOwnerMap(ImageContext& ctx, int32_t firstFileSector, int32_t endSector);
void SetSectorOwner(ImageContext& ctx, const ImageItem* item, int32_t firstSector, int32_t lastSector);
// The item's name, "Directory information" before the first file sector, or empty.
std::u16string GetSectorOwnerName(ImageContext& ctx, int32_t sector);

}  // namespace image
