#pragma once
// VHD disks (fixed and dynamic) as a run of 512-byte sectors. Big-endian
// structures: a 512-byte footer at the end of the file, and for dynamic disks a
// 1024-byte header with the block allocation table (BAT). Each allocated block
// is its sector bitmap followed by its data.

#include <cstdint>
#include <vector>

#include "filesystems/disk/disk_refusal.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

struct VhdImage {
    uint32_t diskKind = 0;          // 2 fixed, 3 dynamic (4 differencing is refused)
    uint64_t sizeBytes = 0;         // the disk as the guest sees it
    uint64_t footerOffset = 0;      // file size - 512
    uint64_t dynamicHeaderOffset = 0;
    uint32_t blockBytes = 0;
    uint32_t sectorsPerBlock = 0;
    uint32_t bitmapSectors = 0;     // whole sectors the block bitmap occupies before the data
    uint64_t tableOffset = 0;
    std::vector<uint32_t> table;    // sector of each block's bitmap, 0xFFFFFFFF not allocated
};

// 1 when the file is a VHD this back end reads (state attached to ctx.vhdState),
// else 0; *refusal says why a VHD was recognised but not taken.
int OpenVhdImage(image::ImageContext& ctx, DiskRefusal* refusal);
// Sectors delivered (count, or fewer on a failed read); 0 out of range.
uint32_t ReadVhdSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

}  // namespace filesystems
