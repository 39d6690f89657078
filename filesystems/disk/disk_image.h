#pragma once
// Hard-disk images (format code 150): a raw disk or a virtual machine's disk,
// its partition chosen, the file system inside mounted. Every file-system
// reader of a disk image reads its 512-byte sectors through ReadDiskSectors.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/file_io.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

constexpr uint32_t kDiskSectorBytes = 512;

// A new document over the disk, or null. The caller keeps owning the file on
// failure; *reported is set to 1 when the user has been told (or cancelled).
image::ImageContext* OpenDiskImage(std::u16string_view path, foundation::FileHandle file, int* reported);

// Reads count 512-byte sectors numbered from the start of the disk; returns the
// number read (count, or fewer on failure).
uint32_t ReadDiskSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

// The same read below the FAT volume's changed-sector overlay: the virtual
// disk's back end, or the image file itself. The overlay reads through it the
// sectors it holds no copy of.
uint32_t ReadBackingSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

}  // namespace filesystems
