#pragma once
// The data of an HFS or HFS+ fork: its runs of allocation blocks, completed
// from the extents overflow tree when the catalog record's own extents do not
// cover the fork, and byte reads through them from the image's 2048-byte
// sectors (allocation blocks need not fill or align with a sector).

#include <cstdint>
#include <functional>
#include <vector>

#include "image/document/image_context.h"

namespace filesystems {

struct HfsGeometry {
    uint64_t allocStartBytes = 0;          // image byte position of allocation block 0
    uint32_t blockBytes = 0;
    uint64_t totalBlocks = 0;              // allocation blocks of the volume
};

struct HfsExtent {
    uint32_t startBlock = 0;
    uint32_t blockCount = 0;
};

struct HfsFork {
    uint64_t logicalBytes = 0;
    std::vector<HfsExtent> extents;        // in file order
};

// Bytes [offset, offset + size) of the image, through its 2048-byte sectors.
bool ReadImageBytes(image::ImageContext& ctx, uint64_t offset, uint8_t* out, uint64_t size);

// The extents record that continues a fork at file block `fileBlock`: appends
// its extents; false when there is none or it does not start there.
using HfsExtentLookup = std::function<bool(uint32_t fileBlock, std::vector<HfsExtent>& out)>;

// Completes fork.extents (the record's own extents) until they cover the
// logical size, through lookup when given. False when the extents cannot
// cover it or leave the volume.
bool CompleteHfsFork(const HfsGeometry& geometry, HfsFork& fork, const HfsExtentLookup& lookup);

// Bytes [offset, offset + size) of a completed fork.
bool ReadHfsForkBytes(image::ImageContext& ctx, const HfsGeometry& geometry, const HfsFork& fork, uint64_t offset,
                      uint8_t* out, uint64_t size);

// A fork kept with its item (as the item's reader data) and read back.
void StoreHfsFork(const HfsFork& fork, std::vector<uint8_t>& out);
bool LoadHfsFork(const std::vector<uint8_t>& in, HfsFork& fork);

}  // namespace filesystems
