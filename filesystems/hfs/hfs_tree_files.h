#pragma once
// Opening a volume's B-tree file (catalog or extents) over its fork.

#include "filesystems/hfs/hfs_btree.h"
#include "filesystems/hfs/hfs_fork.h"
#include "filesystems/hfs/hfs_state.h"
#include "image/document/image_context.h"

namespace filesystems {

// The tree reads through ctx, which owns the volume and so outlives it.
bool OpenTreeFile(image::ImageContext& ctx, const MacVolume& volume, HfsBTree& tree, const HfsFork& fork,
                  HfsKeyWidth width, HfsKeyCompare compare);

}  // namespace filesystems
