#include "filesystems/fat/fat_volume.h"

#include "filesystems/disk/disk_image.h"

namespace filesystems {

int MountFat(image::ImageContext&) { return 0; }

uint32_t ReadFatOverlaySectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    return ReadBackingSectors(ctx, sector, buffer, count);
}

}  // namespace filesystems
