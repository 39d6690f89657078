#pragma once
// The directory tree of a mounted FAT volume read into the item tree.

#include "filesystems/fat/fat_volume.h"

namespace filesystems {

// Reads every directory from the root into ctx.rootFolder, with a work list:
// each directory cluster is read at most once, a folder whose directory
// would be its own, an ancestor's, another folder's or cluster 0 shows empty,
// and the volume is marked damaged when any such thing is met.
void ReadFatDirectoryTree(image::ImageContext& ctx, FatVolume& volume);

}  // namespace filesystems
