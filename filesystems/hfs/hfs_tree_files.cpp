#include "filesystems/hfs/hfs_tree_files.h"

namespace filesystems {

bool OpenTreeFile(image::ImageContext& ctx, const MacVolume& volume, HfsBTree& tree, const HfsFork& fork,
                  HfsKeyWidth width, HfsKeyCompare compare) {
    image::ImageContext* context = &ctx;
    const HfsGeometry geometry = volume.geometry;
    return tree.Open(
        [context, geometry, fork](uint64_t offset, uint8_t* out, size_t size) {
            return ReadHfsForkBytes(*context, geometry, fork, offset, out, size);
        },
        fork.logicalBytes, width, compare);
}

}  // namespace filesystems
