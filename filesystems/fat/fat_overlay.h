#pragma once
// The changed-sector overlay of an edited FAT volume. Edits never touch the
// image file: every changed sector in front of the data area and every
// changed cluster is kept here, and every read of the volume sees these
// copies first. Both maps are sparse, so a large volume with a few edits
// costs only what was changed. A volume of more than 65,536 sectors keeps its
// cluster copies in a temporary file, deleted when the document is freed.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "filesystems/fat/fat_volume.h"
#include "foundation/file_io.h"

namespace filesystems {

struct FatOverlay {
    std::unordered_map<uint64_t, std::array<uint8_t, 512>> sectors;    // by absolute sector
    std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> clusters;  // memory mode
    std::unordered_map<uint32_t, uint64_t> clusterPositions;           // file mode: byte offset in the file
    bool fileMode = false;
    foundation::UniqueFile file;
    std::u16string fileName;
    uint64_t fileNext = 0;                                             // next free byte offset in the file
};

// Volumes larger than this keep their changed clusters in a file.
constexpr uint32_t kOverlayMemorySectors = 0x10000;

// The overlay, made on first use; null when its file cannot be made.
FatOverlay* EnsureFatOverlay(image::ImageContext& ctx);
void FreeFatOverlay(image::FatState& state);

// Stores count 512-byte sectors (absolute numbers, all in front of the data
// area) in the overlay; returns the number stored. Sets the operation error
// 3 when short.
uint32_t WriteDiskSectors(image::ImageContext& ctx, uint64_t sector, const uint8_t* data, uint32_t count);

// Stores one cluster's bytes: 0, or -1 (after "Error writing temporary file."
// when the overlay file is full).
int WriteFatCluster(image::ImageContext& ctx, uint32_t cluster, const uint8_t* data);

}  // namespace filesystems
