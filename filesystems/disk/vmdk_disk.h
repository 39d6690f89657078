#pragma once
// VMDK disks as a run of 512-byte sectors: a monolithic sparse file (the
// "KDMV" header with its descriptor inside), or a descriptor file naming its
// extents (sparse, flat or zero) beside it. Sparse extents map grains through
// a grain directory of grain tables; unallocated grains read as zeros.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "filesystems/disk/disk_refusal.h"
#include "filesystems/disk/vmdk_descriptor.h"
#include "foundation/file_io.h"

namespace image {
struct ImageContext;
}

namespace filesystems {

struct VmdkExtent {
    foundation::UniqueFile ownFile;        // extent files beside the descriptor
    foundation::FileHandle file = nullptr; // ownFile, or the image's own handle for a monolithic disk
    std::u16string path;
    std::string fileName;                  // as written in the descriptor
    uint64_t capacity = 0;                 // sectors, from the sparse header
    uint64_t grainSize = 0;                // sectors
    uint64_t directoryOffset = 0;          // sectors
    uint64_t sectors = 0;                  // from the extent line
    uint64_t startOffset = 0;              // sectors, flat extents
    uint32_t entriesPerTable = 0;
    uint64_t sectorsPerDirectoryEntry = 0;
    int32_t index = 0;
    std::vector<uint32_t> grainDirectory;
    VmdkExtentKind kind = VmdkExtentKind::kZero;
    VmdkAccess access = VmdkAccess::kNoAccess;
};

// One cached 128-entry piece of a grain table.
struct VmdkCacheSlot {
    int32_t extent = -1;
    uint64_t piece = 0;
    std::array<uint32_t, 128> entries{};
};

struct VmdkImage {
    std::vector<VmdkExtent> extents;
    uint64_t totalBytes = 0;
    // Readers of one document may share it from several threads.
    std::unique_ptr<std::mutex> cacheLock = std::make_unique<std::mutex>();
    std::vector<VmdkCacheSlot> cache;      // 256 slots when any extent is sparse
};

// 1 when the file is a VMDK this back end reads (state attached to
// ctx.vmdkState), else 0; *refusal says why a VMDK was recognised but not taken.
int OpenVmdkImage(image::ImageContext& ctx, DiskRefusal* refusal);
// Sectors delivered (count, or fewer on a failed read); 0 out of range.
uint32_t ReadVmdkSectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

}  // namespace filesystems
