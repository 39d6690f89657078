#include "filesystems/hfs/hfs_fork.h"

#include <algorithm>
#include <cstring>

#include "image/sectors/sector_io.h"

namespace filesystems {
namespace {

constexpr uint64_t kSectorBytes = 2048;
// Whole sectors read straight into the caller's buffer per request.
constexpr uint64_t kRunSectors = 512;

}  // namespace

bool ReadImageBytes(image::ImageContext& ctx, uint64_t offset, uint8_t* out, uint64_t size) {
    if (size == 0) return true;
    if (offset > UINT64_MAX - size) return false;
    const uint64_t end = offset + size;
    const int64_t endSector = ctx.endSectorOverride != 0 ? ctx.endSectorOverride : ctx.endSector;
    if (endSector > 0 && end > uint64_t(endSector) * kSectorBytes) return false;
    if ((end - 1) / kSectorBytes > uint64_t(INT32_MAX)) return false;
    uint8_t scratch[kSectorBytes];
    uint64_t pos = offset;
    while (pos < end) {
        const uint64_t sector = pos / kSectorBytes;
        const uint64_t within = pos % kSectorBytes;
        if (within == 0 && end - pos >= kSectorBytes) {
            const uint64_t sectors = std::min((end - pos) / kSectorBytes, kRunSectors);
            if (image::ReadImageSectors(ctx, int32_t(sector), out, int32_t(sectors)) != int32_t(sectors)) return false;
            out += sectors * kSectorBytes;
            pos += sectors * kSectorBytes;
            continue;
        }
        if (image::ReadImageSectors(ctx, int32_t(sector), scratch, 1) != 1) return false;
        const uint64_t n = std::min(kSectorBytes - within, end - pos);
        std::memcpy(out, scratch + within, size_t(n));
        out += n;
        pos += n;
    }
    return true;
}

bool CompleteHfsFork(const HfsGeometry& geometry, HfsFork& fork, const HfsExtentLookup& lookup) {
    if (geometry.blockBytes == 0) return false;
    const uint64_t needed = fork.logicalBytes / geometry.blockBytes + (fork.logicalBytes % geometry.blockBytes ? 1 : 0);
    if (needed > geometry.totalBlocks) return false;
    uint64_t covered = 0;
    for (const HfsExtent& e : fork.extents) covered += e.blockCount;
    // Every record found adds at least one block, so this ends.
    while (covered < needed) {
        if (!lookup || covered > UINT32_MAX) return false;
        const size_t before = fork.extents.size();
        if (!lookup(uint32_t(covered), fork.extents)) return false;
        uint64_t added = 0;
        for (size_t i = before; i < fork.extents.size(); ++i) added += fork.extents[i].blockCount;
        if (added == 0) return false;
        covered += added;
    }
    for (const HfsExtent& e : fork.extents) {
        if (uint64_t(e.startBlock) + e.blockCount > geometry.totalBlocks) return false;
    }
    return true;
}

bool ReadHfsForkBytes(image::ImageContext& ctx, const HfsGeometry& geometry, const HfsFork& fork, uint64_t offset,
                      uint8_t* out, uint64_t size) {
    if (offset > fork.logicalBytes || size > fork.logicalBytes - offset) return false;
    const uint64_t end = offset + size;
    uint64_t extentStart = 0;   // file byte where the extent begins
    for (const HfsExtent& e : fork.extents) {
        if (offset >= end) break;
        const uint64_t extentBytes = uint64_t(e.blockCount) * geometry.blockBytes;
        const uint64_t extentEnd = extentStart + extentBytes;
        if (offset < extentEnd) {
            const uint64_t n = std::min(end, extentEnd) - offset;
            const uint64_t at = geometry.allocStartBytes + uint64_t(e.startBlock) * geometry.blockBytes +
                                (offset - extentStart);
            if (!ReadImageBytes(ctx, at, out, n)) return false;
            out += n;
            offset += n;
        }
        extentStart = extentEnd;
    }
    return offset >= end;
}

void StoreHfsFork(const HfsFork& fork, std::vector<uint8_t>& out) {
    out.resize(sizeof(uint64_t) + fork.extents.size() * sizeof(HfsExtent));
    std::memcpy(out.data(), &fork.logicalBytes, sizeof(uint64_t));
    if (!fork.extents.empty())
        std::memcpy(out.data() + sizeof(uint64_t), fork.extents.data(), fork.extents.size() * sizeof(HfsExtent));
}

bool LoadHfsFork(const std::vector<uint8_t>& in, HfsFork& fork) {
    if (in.size() < sizeof(uint64_t) || (in.size() - sizeof(uint64_t)) % sizeof(HfsExtent) != 0) return false;
    std::memcpy(&fork.logicalBytes, in.data(), sizeof(uint64_t));
    fork.extents.resize((in.size() - sizeof(uint64_t)) / sizeof(HfsExtent));
    if (!fork.extents.empty())
        std::memcpy(fork.extents.data(), in.data() + sizeof(uint64_t), fork.extents.size() * sizeof(HfsExtent));
    return true;
}

}  // namespace filesystems
