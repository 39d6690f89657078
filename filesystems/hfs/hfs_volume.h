#pragma once
// Classic HFS and HFS+ (HFSX) volumes of disc images and hybrid discs: found
// at the image's start, through an Apple partition map, or (HFS+) inside an
// HFS wrapper volume; their catalog read into the item tree; their files'
// data forks read for extraction.

#include <cstdint>

#include "image/document/image_context.h"

namespace filesystems {

// Detection: 1 mounted, 0 not that file system (nothing is kept).
int MountHfs(image::ImageContext& ctx);
// scale: 512-byte units per block of an Apple partition map (1, or 4 for maps
// of 2048-byte blocks).
int MountHfsPlus(image::ImageContext& ctx, int scale);
// Tree readers of a mounted volume: 0 success, anything else failure (the
// items read before a failure stay).
int BuildHfsTree(image::ImageContext& ctx);
int BuildHfsPlusTree(image::ImageContext& ctx);

// Bytes [offset, offset + size) of an item's data fork: the bytes copied;
// fewer when the fork cannot be read.
int64_t ReadHfsItemBytes(image::ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t size);

}  // namespace filesystems
