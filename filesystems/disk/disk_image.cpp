#include "filesystems/disk/disk_image.h"

#include "filesystems/fat/fat_volume.h"
#include "image/document/image_context.h"

namespace filesystems {

image::ImageContext* OpenDiskImage(std::u16string_view, foundation::FileHandle, int* reported) {
    if (reported) *reported = 0;
    return nullptr;
}

uint32_t ReadDiskSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    // Edits of a FAT volume live in its overlay until a save, so it is asked
    // first, whatever disk lies below it.
    if (ctx.fatState) return ReadFatOverlaySectors(ctx, sector, buffer, count);
    return ReadBackingSectors(ctx, sector, buffer, count);
}

uint32_t ReadBackingSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    if (!ctx.imageHandle || count == 0) return 0;
    const size_t bytes = size_t(count) * kDiskSectorBytes;
    return foundation::ReadFileAt(ctx.imageHandle.get(), buffer, sector * kDiskSectorBytes, bytes) ? count : 0;
}

}  // namespace filesystems
