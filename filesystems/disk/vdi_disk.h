#pragma once
// VirtualBox VDI disks as a run of 512-byte sectors. Little-endian: a 72-byte
// pre-header (text, signature, version), a header whose layout depends on the
// version, a block map of 32-bit entries and the blocks.

#include <cstdint>
#include <vector>

#include "filesystems/disk/disk_refusal.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

struct VdiImage {
    uint32_t version = 0;
    uint32_t imageType = 0;        // 1 dynamic, 2 fixed, 3 undo (4 differencing is refused)
    uint64_t diskBytes = 0;
    uint64_t dataOffset = 0;
    uint64_t blockMapOffset = 0;
    uint32_t blockBytes = 0;
    uint32_t blockMask = 0;
    uint32_t blockShift = 0;
    uint32_t extraBytes = 0;       // in front of each block's data
    uint64_t blockStride = 0;      // block size + extra bytes
    uint32_t blockCount = 0;
    std::vector<uint32_t> blockMap;   // 0xFFFFFFFF not allocated, 0xFFFFFFFE zero block
};

// 1 when the file is a VDI this back end reads (state attached to ctx.vdiState),
// else 0; *refusal says why a VDI was recognised but not taken.
int OpenVdiImage(image::ImageContext& ctx, DiskRefusal* refusal);
// Sectors delivered (count, or fewer on a failed read); 0 out of range.
uint32_t ReadVdiSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

}  // namespace filesystems
