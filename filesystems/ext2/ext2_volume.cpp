#include "filesystems/ext2/ext2_volume.h"

namespace filesystems {

int MountExt2(image::ImageContext&) { return 0; }

}  // namespace filesystems
