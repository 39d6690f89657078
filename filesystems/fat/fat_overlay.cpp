#include "filesystems/fat/fat_overlay.h"

#include <algorithm>
#include <cstring>

#include "filesystems/disk/disk_image.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/operation_status.h"
#include "foundation/work_folder.h"
#include "platform/file.h"

namespace filesystems {

namespace {

constexpr uint32_t kSectorBytes = 512;

FatOverlay* OverlayOf(image::ImageContext& ctx) { return ctx.fatState ? ctx.fatState->overlay.get() : nullptr; }

// Where a sector's bytes come from.
enum class Source { Backing, Sector, Cluster };

struct Located {
    Source source = Source::Backing;
    uint32_t cluster = 0;
    uint32_t sectorInCluster = 0;
};

Located Locate(const FatVolume& volume, const FatOverlay& overlay, uint64_t sector) {
    Located at;
    if (overlay.sectors.count(sector)) {
        at.source = Source::Sector;
        return at;
    }
    if (sector < uint64_t(volume.partitionStart)) return at;
    const uint64_t relative = sector - uint64_t(volume.partitionStart);
    if (relative < volume.dataStart) return at;
    const uint64_t index = (relative - volume.dataStart) / volume.sectorsPerCluster;
    if (index >= volume.clusterCount) return at;
    const uint32_t cluster = uint32_t(index) + 2;
    const bool held = overlay.fileMode ? overlay.clusterPositions.count(cluster) != 0 : overlay.clusters.count(cluster) != 0;
    if (!held) return at;
    at.source = Source::Cluster;
    at.cluster = cluster;
    at.sectorInCluster = uint32_t((relative - volume.dataStart) % volume.sectorsPerCluster);
    return at;
}

}  // namespace

FatOverlay* EnsureFatOverlay(image::ImageContext& ctx) {
    if (!ctx.fatState) return nullptr;
    if (ctx.fatState->overlay) return ctx.fatState->overlay.get();
    auto overlay = std::make_unique<FatOverlay>();
    if (ctx.fatState->volume.totalSectors > kOverlayMemorySectors) {
        std::optional<std::u16string> name = foundation::MakeTempFileName();
        if (!name) return nullptr;
        overlay->file.reset(foundation::OpenFileReadWrite(*name));
        if (!overlay->file) {
            platform::DeleteFileAt(*name);
            return nullptr;
        }
        overlay->fileName = *name;
        overlay->fileMode = true;
    }
    ctx.fatState->overlay = std::move(overlay);
    return ctx.fatState->overlay.get();
}

void FreeFatOverlay(image::FatState& state) {
    if (!state.overlay) return;
    state.overlay->file.reset();
    if (!state.overlay->fileName.empty()) platform::DeleteFileAt(state.overlay->fileName);
    state.overlay.reset();
}

uint32_t WriteDiskSectors(image::ImageContext& ctx, uint64_t sector, const uint8_t* data, uint32_t count) {
    FatOverlay* overlay = EnsureFatOverlay(ctx);
    uint32_t stored = 0;
    if (overlay) {
        const FatVolume& volume = ctx.fatState->volume;
        const uint64_t dataStart = uint64_t(volume.partitionStart) + volume.dataStart;
        for (; stored < count; ++stored) {
            const uint64_t at = sector + stored;
            // Data sectors belong to the cluster copies; a sector copy there
            // would hide a later cluster write.
            if (at < uint64_t(volume.partitionStart) || at >= dataStart) break;
            try {
                std::memcpy(overlay->sectors[at].data(), data + size_t(stored) * kSectorBytes, kSectorBytes);
            } catch (const std::bad_alloc&) {
                break;
            }
        }
    }
    if (stored < count) foundation::OperationStatus = foundation::kStatusWriteFailed;
    return stored;
}

int WriteFatCluster(image::ImageContext& ctx, uint32_t cluster, const uint8_t* data) {
    FatOverlay* overlay = EnsureFatOverlay(ctx);
    if (!overlay) {
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        return -1;
    }
    FatVolume& volume = ctx.fatState->volume;
    if (!IsDataCluster(volume, cluster)) return -1;
    const uint32_t bytes = volume.clusterBytes;
    if (!overlay->fileMode) {
        auto& copy = overlay->clusters[cluster];
        if (!copy) copy.reset(new (std::nothrow) uint8_t[bytes]);
        if (!copy) {
            overlay->clusters.erase(cluster);
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            return -1;
        }
        std::memcpy(copy.get(), data, bytes);
        return 0;
    }
    auto found = overlay->clusterPositions.find(cluster);
    const bool fresh = found == overlay->clusterPositions.end();
    const uint64_t position = fresh ? overlay->fileNext : found->second;
    const int64_t written = foundation::WriteFileAt(overlay->file.get(), data, position, bytes);
    if (written != int64_t(bytes)) {
        // The position is given back; a copy the cluster had before stays
        // registered, as its old bytes are still there or partly overwritten
        // by the same cluster's newer bytes.
        foundation::AppMessageBox(u"Error writing temporary file.", foundation::kMbIconStop);
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        return -1;
    }
    if (fresh) {
        overlay->clusterPositions[cluster] = position;
        overlay->fileNext += bytes;
    }
    return 0;
}

uint32_t ReadFatOverlaySectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count) {
    FatOverlay* overlay = OverlayOf(ctx);
    if (!overlay) return ReadBackingSectors(ctx, sector, buffer, count);
    const FatVolume& volume = ctx.fatState->volume;
    uint32_t done = 0;
    while (done < count) {
        const Located at = Locate(volume, *overlay, sector + done);
        uint8_t* out = buffer + size_t(done) * kSectorBytes;
        if (at.source == Source::Sector) {
            std::memcpy(out, overlay->sectors.at(sector + done).data(), kSectorBytes);
            ++done;
            continue;
        }
        if (at.source == Source::Cluster) {
            const uint32_t run = std::min(count - done, volume.sectorsPerCluster - at.sectorInCluster);
            const uint64_t offset = uint64_t(at.sectorInCluster) * kSectorBytes;
            if (overlay->fileMode) {
                const uint64_t position = overlay->clusterPositions.at(at.cluster) + offset;
                if (!foundation::ReadFileAt(overlay->file.get(), out, position, size_t(run) * kSectorBytes)) {
                    return done;
                }
            } else {
                std::memcpy(out, overlay->clusters.at(at.cluster).get() + offset, size_t(run) * kSectorBytes);
            }
            done += run;
            continue;
        }
        // The sectors up to the next copy come from the disk below in one read.
        uint32_t run = 1;
        while (done + run < count && Locate(volume, *overlay, sector + done + run).source == Source::Backing) ++run;
        if (ReadBackingSectors(ctx, sector + done, out, run) != run) return done;
        done += run;
    }
    return done;
}

}  // namespace filesystems
