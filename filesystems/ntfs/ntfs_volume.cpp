#include "filesystems/ntfs/ntfs_volume.h"

namespace filesystems {

int MountNtfs(image::ImageContext&) { return 0; }

}  // namespace filesystems
