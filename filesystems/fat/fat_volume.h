#pragma once
// FAT12, FAT16 and FAT32 volumes in a hard-disk image.

#include "image/document/image_context.h"

namespace filesystems {

// 1 when the volume at ctx.partitionStart was mounted and its tree built, else 0
// (state freed, slot cleared).
int MountFat(image::ImageContext& ctx);

}  // namespace filesystems
