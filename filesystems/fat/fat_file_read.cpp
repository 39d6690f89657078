// Reading a file's data for extraction and for copies inside the volume.

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
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

// The clusters a chain holds before it ends, leaves the data area or comes
// back to one it passed, up to want. A chain that points back at itself would
// otherwise give one cluster over and over for as long as the entry's size
// says (4 GiB from a floppy image); Brent's cycle search finds the loop in
// steps proportional to the chain, with no memory per cluster.
uint32_t DistinctChainLength(const FatVolume& volume, uint32_t first, uint32_t want) {
    if (want == 0 || !IsDataCluster(volume, first)) return 0;
    uint32_t power = 1, lambda = 1, tortoise = first, hare = first, walked = 1;
    for (;;) {
        if (walked >= want) return want;
        const uint32_t next = GetFatEntry(volume, hare);
        if (!IsDataCluster(volume, next)) return walked;
        hare = next;
        if (hare == tortoise) break;
        ++walked;
        if (power == lambda) {
            tortoise = hare;
            power *= 2;
            lambda = 0;
        }
        ++lambda;
    }
    // A loop of lambda clusters: it starts mu clusters into the chain.
    tortoise = hare = first;
    for (uint32_t i = 0; i < lambda; ++i) hare = GetFatEntry(volume, hare);
    uint32_t mu = 0;
    while (tortoise != hare) {
        tortoise = GetFatEntry(volume, tortoise);
        hare = GetFatEntry(volume, hare);
        ++mu;
    }
    return std::min(want, mu + lambda);
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
    FatReadCursor& cursor = ctx.fatState->readCursor;
    if (cursor.checkedItem != item || cursor.checkedFirst != record.firstCluster ||
        cursor.checkedGeneration != volume->generation) {
        const uint64_t want = (uint64_t(record.size) + volume->clusterBytes - 1) / volume->clusterBytes;
        cursor.readableClusters =
            DistinctChainLength(*volume, record.firstCluster, uint32_t(std::min<uint64_t>(want, UINT32_MAX)));
        cursor.checkedItem = item;
        cursor.checkedFirst = record.firstCluster;
        cursor.checkedGeneration = volume->generation;
    }
    // Only what the chain holds is read: past a loop or a broken link the
    // file reads short.
    const uint64_t readable = std::min<uint64_t>(record.size, uint64_t(cursor.readableClusters) * volume->clusterBytes);
    if (offset >= readable) return 0;
    remaining = std::min<uint64_t>(remaining, readable - offset);

    // Reading on from where the last read of this file stopped walks none of
    // the chain again; anything else starts at its head.
    const uint32_t target = uint32_t(offset / volume->clusterBytes);
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
        cursor.item = item;
        cursor.firstCluster = record.firstCluster;
        cursor.generation = volume->generation;
        cursor.clusterIndex = runIndex;
        cursor.cluster = runLast;
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
