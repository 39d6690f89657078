#include "filesystems/fat/fat_tree.h"

#include <vector>

#include "filesystems/fat/fat_directory.h"
#include "filesystems/fat/fat_layout.h"
#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/document/text_conversions.h"
#include "platform/text.h"

namespace filesystems {

using namespace fat_layout;

namespace {

// Deeper folders are shown empty: no real volume nests this far, and a
// crafted one could otherwise build paths that grow with the square of its
// depth.
constexpr int32_t kMaxDepth = 256;

struct PendingDirectory {
    image::ImageFolder* folder;
    uint32_t firstCluster;
};

// A new item for an 8.3 entry: at the head of the folder's items, with a
// folder record of its own for a directory. Null when out of memory.
image::ImageItem* AddFatEntryItem(image::ImageContext& ctx, FatVolume& volume, image::ImageFolder* folder,
                                  std::u16string_view name, const uint8_t* e, const FatEntryRecord& record) {
    const bool isFolder = (e[entry::kAttribute] & attr::kDirectory) != 0;
    // "NAME." names the folder "NAME" on every system that shows it.
    if (isFolder && name.size() > 1 && name.back() == u'.') name.remove_suffix(1);
    image::ImageItem* item = image::NewItem();
    if (!item) return nullptr;
    item->name.AssignInArena(ctx.nameArena, name);
    item->isoName = ShortNameToText(e, false);
    SetFatEntryRecord(item, record);
    item->size = isFolder ? 0 : record.size;
    item->startSector = record.firstCluster;
    const auto date =
        FatDateToIsoDate(foundation::ReadLE16(e + entry::kWriteTime), foundation::ReadLE16(e + entry::kWriteDate));
    std::copy(date.begin(), date.end(), item->recordHeader.begin() + image::dr::kDate);
    const int64_t seconds = foundation::IsoRecordDateToUnixTime(date);
    item->time = seconds <= 0 ? 0 : seconds >= int64_t{UINT32_MAX} ? UINT32_MAX : uint32_t(seconds);
    if (isFolder) {
        image::ImageFolder* own = image::NewFolderRecord();
        if (!own) {
            image::FreeItem(&ctx, item);
            return nullptr;
        }
        item->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
        item->kindByte = 2;
        item->ownFolder = own;
        own->ownItem = item;
        own->path = image::JoinFolderPath(folder, item->name);
        image::AppendSubfolder(folder, own);
    } else {
        volume.totalFileBytes += record.size;
    }
    image::LinkItemAtHead(folder, item);
    return item;
}

// Claims the clusters a file of record.size bytes takes, from its first on.
// A cluster met a second time (the chain loops, or runs into another file's
// or folder's chain) ends the sound part of the file: it is marked damaged
// and reads fail past that point. Each cluster is claimed once per volume, so
// all walks together take no more steps than the volume has clusters.
void ClaimFileChain(const FatVolume& volume, std::vector<bool>& claimed, FatEntryRecord& record) {
    const uint64_t needed = (uint64_t(record.size) + volume.clusterBytes - 1) / volume.clusterBytes;
    uint32_t cluster = record.firstCluster;
    for (uint64_t walked = 0; walked < needed; ++walked) {
        // Free, bad, beyond the volume or an early end: the read stops short
        // there by itself, nothing has to be remembered.
        if (!IsDataCluster(volume, cluster)) return;
        if (claimed[cluster]) {
            record.chainDamaged = true;
            record.soundClusters = uint32_t(walked);
            return;
        }
        claimed[cluster] = true;
        cluster = GetFatEntry(volume, cluster);
    }
}

}  // namespace

void ReadFatDirectoryTree(image::ImageContext& ctx, FatVolume& volume) {
    std::vector<bool> claimed(size_t(volume.clusterCount) + 2, false);
    std::vector<PendingDirectory> work;
    const uint32_t rootFirst = volume.type == FatType::kFat32 ? volume.rootCluster : 0;
    if (volume.type == FatType::kFat32 && !IsDataCluster(volume, rootFirst)) {
        volume.damaged = true;
        return;
    }
    work.push_back({ctx.rootFolder, rootFirst});
    while (!work.empty()) {
        const PendingDirectory current = work.back();
        work.pop_back();
        std::unique_ptr<FatDirectory> dir = LoadFatDirectory(ctx, current.firstCluster, &claimed);
        if (!dir) {
            volume.damaged = true;
            continue;
        }
        if (dir->damaged) volume.damaged = true;
        const bool isRoot = current.folder == ctx.rootFolder;
        for (uint32_t i = 0; i < dir->totalEntries; ++i) {
            const uint8_t* e = dir->Entry(i);
            if (e[entry::kName] == entry::kEndMarker) break;
            if (e[entry::kName] == entry::kDeleted) continue;
            std::u16string longName;
            uint32_t longEntries = 0;
            if (e[entry::kAttribute] == attr::kLongName) {
                LongNameRun run = ReadLongName(*dir, i);
                if (run.name.empty()) {
                    i += run.entries - 1;
                    continue;
                }
                longName = std::move(run.name);
                longEntries = run.entries;
                i += longEntries;
                e = dir->Entry(i);
            }
            const uint8_t attribute = e[entry::kAttribute];
            if (attribute == 0xFF) continue;
            if (attribute & attr::kVolumeLabel) {
                // Only the root's label names the volume.
                if (isRoot) {
                    ctx.volumeTexts[image::volume_text::kVolumeLabel] =
                        image::MultiByteToWideText(ShortNameToText(e, true), platform::kCodePageOem);
                    if (volume.type == FatType::kFat32) {
                        volume.labelCluster = current.firstCluster;
                        volume.labelIndex = int32_t(i + 1);
                    }
                }
                continue;
            }
            std::u16string name = longName.empty() ? ShortNameToDisplay(volume, e) : longName;
            if (name.empty() || name == u"." || name == u"..") continue;
            FatEntryRecord record;
            record.directoryCluster = current.firstCluster;
            record.index = i;
            record.entryCount = longEntries + 1;
            record.firstCluster = EntryFirstCluster(volume, e);
            record.size = foundation::ReadLE32(e + entry::kSize);
            record.attribute = attribute;
            if (!(attribute & attr::kDirectory) && record.size > 0) {
                ClaimFileChain(volume, claimed, record);
                if (record.chainDamaged) volume.damaged = true;
            }
            image::ImageItem* item = AddFatEntryItem(ctx, volume, current.folder, name, e, record);
            if (!item) {
                foundation::OperationStatus = foundation::kStatusOutOfMemory;
                return;
            }
            if (item->ownFolder) {
                const uint32_t first = record.firstCluster;
                if (!IsDataCluster(volume, first) || claimed[first]) {
                    // Cluster 0 (the FAT12/16 root's number), a cluster of
                    // this folder or an ancestor, or one another folder holds.
                    volume.damaged = true;
                } else if (item->ownFolder->depth < kMaxDepth) {
                    work.push_back({item->ownFolder, first});
                }
            } else if (record.size > 0 && !IsDataCluster(volume, record.firstCluster)) {
                volume.damaged = true;
            }
        }
    }
}

}  // namespace filesystems
