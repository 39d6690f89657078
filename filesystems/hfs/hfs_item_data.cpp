// Reading an HFS or HFS+ item's data fork through the runs kept with it.

#include "filesystems/hfs/hfs_fork.h"
#include "filesystems/hfs/hfs_state.h"
#include "filesystems/hfs/hfs_volume.h"

namespace filesystems {

int64_t ReadHfsItemBytes(image::ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t size) {
    const MacVolume* volume = nullptr;
    if (ctx.macFileSystem == 2) volume = ctx.hfsPlusVolume.get();
    else if (ctx.macFileSystem == 1) volume = ctx.hfsVolume.get();
    HfsFork fork;
    if (!volume || !LoadHfsFork(item.Side().readerData, fork)) return 0;
    if (offset >= fork.logicalBytes) return 0;
    if (size > fork.logicalBytes - offset) size = fork.logicalBytes - offset;
    return ReadHfsForkBytes(ctx, volume->geometry, fork, offset, buffer, size) ? int64_t(size) : 0;
}

}  // namespace filesystems
