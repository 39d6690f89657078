#include "filesystems/fat/fat_volume.h"

namespace filesystems {

int MountFat(image::ImageContext&) { return 0; }

}  // namespace filesystems
