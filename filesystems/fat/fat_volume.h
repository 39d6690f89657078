#pragma once
// FAT12, FAT16 and FAT32 volumes in a hard-disk image.

#include <cstdint>

#include "image/document/image_context.h"

namespace filesystems {

// 1 when the volume at ctx.partitionStart was mounted and its tree built, else 0
// (state freed, slot cleared).
int MountFat(image::ImageContext& ctx);

// Disk sectors as the mounted volume sees them: its overlay's copies where it
// holds them, the rest from the disk below (ReadBackingSectors). Returns the
// number of sectors read.
uint32_t ReadFatOverlaySectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

}  // namespace filesystems
