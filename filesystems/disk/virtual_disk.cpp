#include "filesystems/disk/virtual_disk.h"

namespace filesystems {
namespace {

void FreeVirtualDisk(image::VirtualDiskState* state) { delete state; }

}  // namespace

void AttachVirtualDisk(image::StateSlot<image::VirtualDiskState>& slot, image::VirtualDiskState* state) {
    slot.Attach(state, &FreeVirtualDisk);
}

int OpenVirtualDisk(image::ImageContext& ctx, DiskRefusal* refusal) {
    DiskRefusal ignored = DiskRefusal::kNone;
    DiskRefusal& why = refusal ? *refusal : ignored;
    why = DiskRefusal::kNone;
    if (OpenVhdImage(ctx, &why)) return 1;
    if (why != DiskRefusal::kNone) return 0;
    if (OpenVmdkImage(ctx, &why)) return 1;
    if (why != DiskRefusal::kNone) return 0;
    return OpenVdiImage(ctx, &why);
}

uint64_t DiskSizeBytes(const image::ImageContext& ctx) {
    if (ctx.vhdState) return std::get<VhdImage>(ctx.vhdState->disk).sizeBytes;
    if (ctx.vmdkState) return std::get<VmdkImage>(ctx.vmdkState->disk).totalBytes;
    if (ctx.vdiState) return std::get<VdiImage>(ctx.vdiState->disk).diskBytes;
    return ctx.imageSize > 0 ? static_cast<uint64_t>(ctx.imageSize) : 0;
}

uint32_t ReadVirtualDiskSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count,
                                bool* handled) {
    *handled = true;
    if (ctx.vhdState) return ReadVhdSectors(ctx, sector, buffer, count);
    if (ctx.vmdkState) return ReadVmdkSectors(ctx, sector, buffer, count);
    if (ctx.vdiState) return ReadVdiSectors(ctx, sector, buffer, count);
    *handled = false;
    return 0;
}

}  // namespace filesystems
