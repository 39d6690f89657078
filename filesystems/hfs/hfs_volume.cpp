#include "filesystems/hfs/hfs_volume.h"

namespace filesystems {

int MountHfs(image::ImageContext&) { return 0; }
int MountHfsPlus(image::ImageContext&, int) { return 0; }
int BuildHfsTree(image::ImageContext&) { return -1; }
int BuildHfsPlusTree(image::ImageContext&) { return -1; }

}  // namespace filesystems
