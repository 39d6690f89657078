#include "filesystems/hfs/hfs_catalog.h"

#include <algorithm>
#include <deque>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "foundation/byte_order.h"
#include "foundation/dates.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_record_layout.h"

namespace filesystems {
namespace {

using image::ImageFolder;
using image::ImageItem;

// Deeper than any real volume: a longer chain is crafted.
constexpr int32_t kMaxDepth = 255;
constexpr int64_t kMacEpochToUnix = 2082844800;

uint32_t ItemSeconds(int64_t t) { return t <= 0 ? 0 : t >= int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(t); }

void FillRecordHead(ImageItem& item, const MacCatalogEntry& e) {
    uint8_t* head = item.recordHeader.data();
    foundation::UnixTimeToIsoRecordDate(e.modified, std::span<uint8_t>(head + image::dr::kDate, image::dr::kDateBytes));
    const uint64_t size = e.folder ? 0 : e.dataFork.logicalBytes;
    foundation::WriteBothEndian32(head + image::dr::kDataLength, uint32_t(std::min<uint64_t>(size, UINT32_MAX)));
    foundation::WriteBothEndian16(head + image::dr::kVolumeSequence, 1);
    head[image::dr::kFlags] = e.folder ? image::dirflag::kDirectory : 0;
}

class TreeBuild {
public:
    TreeBuild(image::ImageContext& ctx, MacVolume& volume, std::vector<MacCatalogEntry>& entries,
              const MacForkCompleter& complete, uint64_t pathBudget)
        : ctx_(ctx), volume_(volume), entries_(entries), complete_(complete), pathBudget_(pathBudget) {}

    bool Run() {
        for (size_t i = 0; i < entries_.size(); ++i) {
            auto [it, added] = children_.try_emplace(entries_[i].parentId, i, i + 1);
            if (!added) it->second.second = i + 1;
        }
        visited_.insert(kHfsRootFolderId);
        queue_.push_back({ctx_.rootFolder, kHfsRootFolderId});
        while (!queue_.empty()) {
            const auto [folder, id] = queue_.front();
            queue_.pop_front();
            auto range = children_.find(id);
            if (range == children_.end()) continue;
            for (size_t i = range->second.first; i < range->second.second; ++i) {
                if (entries_[i].parentId != id) continue;
                if (!AddEntry(folder, entries_[i])) return false;
            }
        }
        return true;
    }

private:
    bool AddEntry(ImageFolder* parent, MacCatalogEntry& e) {
        if (e.name.empty()) return true;
        if (e.folder) {
            if (parent->depth >= kMaxDepth || !visited_.insert(e.id).second) {
                ++volume_.loopsRefused;
                return true;
            }
            const uint64_t units = parent->path.size() + 1 + e.name.size();
            if (units > pathBudget_) {
                ++volume_.skippedEntries;
                return true;
            }
            pathBudget_ -= units;
        }
        bool forkOk = false;
        if (!e.folder) {
            forkOk = complete_(e.id, e.dataFork);
            if (!forkOk) ++volume_.skippedEntries;
        }
        ImageItem* item = image::NewItem();
        if (!item) return false;
        try {
            item->name.AssignInArena(ctx_.nameArena, e.name);
            FillRecordHead(*item, e);
            item->time = ItemSeconds(e.modified);
            if (!e.folder) {
                item->size = int64_t(std::min<uint64_t>(e.dataFork.logicalBytes, INT64_MAX));
                // A fork that cannot be mapped keeps no reader data: reading it
                // fails instead of giving another file's blocks.
                if (forkOk) {
                    StoreHfsFork(e.dataFork, item->EditSide().readerData);
                    if (!e.dataFork.extents.empty()) {
                        const uint64_t sector = (volume_.geometry.allocStartBytes +
                                                 uint64_t(e.dataFork.extents.front().startBlock) *
                                                     volume_.geometry.blockBytes) / 2048;
                        item->startSector = uint32_t(std::min<uint64_t>(sector, UINT32_MAX));
                    }
                }
            }
        } catch (const std::bad_alloc&) {
            image::FreeItem(&ctx_, item);
            return false;
        }
        image::LinkItemAtHead(parent, item);
        if (!e.folder) return true;
        ImageFolder* folder = image::NewFolderRecord();
        if (!folder) return false;
        folder->ownItem = item;
        item->ownFolder = folder;
        image::AppendSubfolder(parent, folder);
        try {
            folder->path = image::JoinFolderPath(parent, item->name);
            queue_.push_back({folder, e.id});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    image::ImageContext& ctx_;
    MacVolume& volume_;
    std::vector<MacCatalogEntry>& entries_;
    const MacForkCompleter& complete_;
    uint64_t pathBudget_;
    std::unordered_map<uint32_t, std::pair<size_t, size_t>> children_;
    std::unordered_set<uint32_t> visited_;
    std::deque<std::pair<ImageFolder*, uint32_t>> queue_;
};

}  // namespace

bool BuildMacTree(image::ImageContext& ctx, MacVolume& volume, std::vector<MacCatalogEntry>& entries,
                  const MacForkCompleter& complete, uint64_t pathBudget) {
    if (!ctx.rootFolder) return false;
    try {
        return TreeBuild(ctx, volume, entries, complete, pathBudget).Run();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void KeepCatalogEntry(image::ImageContext& ctx, MacVolume& volume, MacCatalogEntry&& entry,
                      std::vector<MacCatalogEntry>& entries) {
    if (entry.parentId == kHfsRootParentId) {
        if (volume.volumeName.empty()) volume.volumeName = entry.name;
        if (entry.folder && entry.id == kHfsRootFolderId)
            ctx.rootItem.time = uint32_t(std::clamp<int64_t>(entry.modified, 0, UINT32_MAX));
        return;
    }
    entries.push_back(std::move(entry));
}

int FinishMacMount(image::ImageContext& ctx, MacVolume& volume, std::vector<MacCatalogEntry>& entries, bool walkOk,
                   int macFileSystem, MacExtentLookUp lookUp) {
    HfsBTree& extents = volume.extentsTree;
    const HfsGeometry geometry = volume.geometry;
    const bool built = BuildMacTree(
        ctx, volume, entries,
        [&](uint32_t fileId, HfsFork& fork) {
            return CompleteHfsFork(geometry, fork, [&](uint32_t block, std::vector<HfsExtent>& out) {
                return lookUp(extents, fileId, block, out);
            });
        },
        std::max<uint64_t>(uint64_t(volume.catalogTree.TotalNodes()) * volume.catalogTree.NodeSize(), 1u << 20));
    ctx.macFileSystem = macFileSystem;
    SetMacVolumeLabel(ctx, volume.volumeName);
    if (!walkOk) ++volume.skippedEntries;
    return built ? 0 : -1;
}

int64_t MacDateToUnix(uint32_t macSeconds, bool localTime) {
    if (macSeconds == 0) return 0;
    int64_t t = int64_t(macSeconds) - kMacEpochToUnix;
    // The zone's offset now, not at that date: hfsutils and genisoimage write
    // dates so, and a date read back must equal the one written.
    if (localTime) t -= foundation::GetUtcOffsetSeconds();
    return t;
}

}  // namespace filesystems

namespace filesystems {

void SetMacVolumeLabel(image::ImageContext& ctx, const std::u16string& name) {
    if (name.empty()) return;
    ctx.volumeTexts[image::volume_text::kVolumeLabel] = name;
    // Volume identifier: 32 d-characters at +40 of the descriptor.
    constexpr size_t kVolumeIdentifier = 40;
    constexpr size_t kVolumeIdentifierBytes = 32;
    for (size_t i = 0; i < kVolumeIdentifierBytes; ++i) {
        const char16_t c = i < name.size() ? name[i] : u' ';
        ctx.primaryDescriptor[kVolumeIdentifier + i] = c < 0x80 ? uint8_t(c) : uint8_t('_');
    }
}

}  // namespace filesystems
