#pragma once
// ext2 and ext3 volumes in a hard-disk image, read-only.

#include "image/document/image_context.h"

namespace filesystems {

// 1 mounted with its tree, 0 otherwise (state freed, slot cleared).
int MountExt2(image::ImageContext& ctx);

}  // namespace filesystems
