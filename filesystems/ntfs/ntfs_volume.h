#pragma once
// NTFS volumes in a hard-disk image, read-only.

#include "image/document/image_context.h"

namespace filesystems {

// 1 mounted with its tree, 0 not NTFS or failed (state freed, slot cleared).
int MountNtfs(image::ImageContext& ctx);

}  // namespace filesystems
