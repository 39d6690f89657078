// Reading a file's data for extraction and for copies inside the volume.

#include <algorithm>
#include <array>
#include <cstring>

#include "filesystems/disk/disk_image.h"
#include "filesystems/fat/fat_layout.h"
#include "filesystems/fat/fat_volume.h"
#include "image/document/item_tree.h"

namespace filesystems {

using namespace fat_layout;

namespace {

// Reads take bytes from byte head of the absolute sector on: whole sectors
// straight into out, a partial first or last one through a sector buffer.
bool ReadBytesAt(image::ImageContext& ctx, uint64_t sector, uint32_t head, uint64_t take, uint8_t* out) {
    // A short span (a small file, the edges of a piece) is read in one go
    // through a buffer: one read instead of three.
    constexpr uint64_t kSmallSpanSectors = 64;
    const uint64_t spanSectors = (uint64_t(head) + take + kSectorBytes - 1) / kSectorBytes;
    if (spanSectors <= kSmallSpanSectors && (head != 0 || take % kSectorBytes != 0)) {
        std::array<uint8_t, kSmallSpanSectors * kSectorBytes> span;
        if (ReadDiskSectors(ctx, sector, span.data(), uint32_t(spanSectors)) != spanSectors) return false;
        std::memcpy(out, span.data() + head, take);
        return true;
    }
    std::array<uint8_t, kSectorBytes> bounce;
    if (head) {
        if (ReadDiskSectors(ctx, sector, bounce.data(), 1) != 1) return false;
        const uint64_t n = std::min<uint64_t>(kSectorBytes - head, take);
        std::memcpy(out, bounce.data() + head, n);
        out += n;
        take -= n;
        ++sector;
    }
    while (take >= kSectorBytes) {
        const uint32_t whole = uint32_t(std::min<uint64_t>(take / kSectorBytes, 0x10000));
        if (ReadDiskSectors(ctx, sector, out, whole) != whole) return false;
        out += size_t(whole) * kSectorBytes;
        take -= uint64_t(whole) * kSectorBytes;
        sector += whole;
    }
    if (take) {
        if (ReadDiskSectors(ctx, sector, bounce.data(), 1) != 1) return false;
        std::memcpy(out, bounce.data(), take);
    }
    return true;
}

}  // namespace

uint32_t ReadFatFileData(image::ImageContext& ctx, const image::ImageItem* item, uint8_t* buffer,
                         uint32_t sectorOffset, uint32_t byteCount) {
    FatVolume* volume = GetFatVolume(ctx);
    FatEntryRecord record;
    if (!volume || !buffer || !GetFatEntryRecord(item, record) || (record.attribute & attr::kDirectory)) return 0;
    const uint64_t offset = uint64_t(sectorOffset & 0xFFFFFF) * kSectorBytes;
    if (offset >= record.size) return 0;
    uint64_t remaining = std::min<uint64_t>(byteCount, record.size - offset);
    // A damaged chain gives what it holds before the damage; the read then
    // comes back short, which the caller takes for a read error.
    if (record.chainDamaged) {
        const uint64_t sound = uint64_t(record.soundClusters) * volume->clusterBytes;
        if (offset >= sound) return 0;
        remaining = std::min<uint64_t>(remaining, sound - offset);
    }

    // Reading on from where the last read of this file stopped walks none of
    // the chain again; anything else starts at its head.
    const uint32_t target = uint32_t(offset / volume->clusterBytes);
    FatReadCursor& cursor = ctx.fatState->readCursor;
    uint32_t index = 0;
    uint32_t cluster = record.firstCluster;
    if (cursor.item == item && cursor.firstCluster == record.firstCluster &&
        cursor.generation == volume->generation && cursor.clusterIndex <= target) {
        index = cursor.clusterIndex;
        cluster = cursor.cluster;
    }
    while (index < target) {
        const uint32_t next = GetFatEntry(*volume, cluster);
        if (!IsDataCluster(*volume, next)) return 0;
        cluster = next;
        ++index;
    }
    if (!IsDataCluster(*volume, cluster)) return 0;

    uint32_t inner = uint32_t(offset % volume->clusterBytes);
    uint32_t copied = 0;
    while (remaining > 0) {
        // Clusters that follow each other on disk are read in one go.
        uint32_t runLast = cluster;
        uint32_t runIndex = index;
        uint64_t runBytes = volume->clusterBytes - inner;
        while (runBytes < remaining) {
            const uint32_t next = GetFatEntry(*volume, runLast);
            if (next != runLast + 1 || !IsDataCluster(*volume, next)) break;
            runLast = next;
            ++runIndex;
            runBytes += volume->clusterBytes;
        }
        const uint64_t take = std::min(runBytes, remaining);
        const uint64_t sector = uint64_t(volume->partitionStart) + ClusterToSector(*volume, cluster) + inner / kSectorBytes;
        if (!ReadBytesAt(ctx, sector, inner % kSectorBytes, take, buffer + copied)) break;
        copied += uint32_t(take);
        remaining -= take;
        cursor = FatReadCursor{item, record.firstCluster, volume->generation, runIndex, runLast};
        if (remaining == 0) break;
        const uint32_t next = GetFatEntry(*volume, runLast);
        if (!IsDataCluster(*volume, next)) break;
        cluster = next;
        index = runIndex + 1;
        inner = 0;
    }
    return copied;
}

}  // namespace filesystems
