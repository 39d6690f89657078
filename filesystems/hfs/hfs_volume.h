#pragma once
// Classic HFS and HFS+ (HFSX) volumes of disc images and hybrid discs.

#include "image/document/image_context.h"

namespace filesystems {

// Detection: 1 mounted, 0 not that file system.
int MountHfs(image::ImageContext& ctx);
int MountHfsPlus(image::ImageContext& ctx, int scale);
// Tree readers of a mounted volume: 0 success, anything else failure.
int BuildHfsTree(image::ImageContext& ctx);
int BuildHfsPlusTree(image::ImageContext& ctx);

}  // namespace filesystems
