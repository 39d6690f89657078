#pragma once
// The state every virtual-disk back end keeps in its ImageContext slot (vhdState,
// vdiState, vmdkState): one record tagged by the kind of disk, so the record
// frees any of them the same way. The back ends themselves live in vhd_disk,
// vdi_disk and vmdk_disk.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "filesystems/disk/disk_refusal.h"
#include "filesystems/disk/vdi_disk.h"
#include "filesystems/disk/vhd_disk.h"
#include "filesystems/disk/vmdk_disk.h"
#include "image/document/image_context.h"

namespace image {

struct VirtualDiskState {
    std::variant<filesystems::VhdImage, filesystems::VdiImage, filesystems::VmdkImage> disk;
};

}  // namespace image

namespace filesystems {

// Tries VHD, then VMDK, then VDI; 1 when one of them took the file. *refusal
// is set when a back end recognised the file but will not read it.
int OpenVirtualDisk(image::ImageContext& ctx, DiskRefusal* refusal);

// Bytes of the disk as its back end presents it (the image file's size when
// no back end holds the file).
uint64_t DiskSizeBytes(const image::ImageContext& ctx);

// The back end's read, 0 when no back end holds the file (the caller then
// reads the image file itself). Sets *handled.
uint32_t ReadVirtualDiskSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count,
                                bool* handled);

// Attaches a back end's record to its slot.
void AttachVirtualDisk(image::StateSlot<image::VirtualDiskState>& slot, image::VirtualDiskState* state);

}  // namespace filesystems
