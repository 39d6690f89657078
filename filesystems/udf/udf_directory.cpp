#include "filesystems/udf/udf_directory.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>

#include "filesystems/udf/udf_blocks.h"
#include "foundation/byte_cursor.h"
#include "foundation/byte_order.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_record_layout.h"

namespace filesystems {
namespace {

using image::ImageContext;
using image::ImageFolder;
using image::ImageItem;
using image::UdfState;

// File identifier descriptor (ECMA-167 4/14.4).
constexpr size_t kFidCharacteristics = 18;
constexpr size_t kFidNameLength = 19;
constexpr size_t kFidIcbBlock = 24;
constexpr size_t kFidIcbPartition = 28;
constexpr size_t kFidImplementationUseLength = 36;
constexpr size_t kFidHeaderBytes = 38;
constexpr uint8_t kCharHidden = 1;
constexpr uint8_t kCharDirectory = 2;
constexpr uint8_t kCharDeleted = 4;
constexpr uint8_t kCharParent = 8;

// A directory deeper than any real disc holds is a crafted chain.
constexpr int32_t kMaxDepth = 255;
constexpr uint64_t kMaxDirectoryBytes = 256ull * 1024 * 1024;

// A folder still to read: its entry is read again when its turn comes, so the
// list stays small however many folders wait.
struct Pending {
    ImageFolder* folder;
    int32_t partition;
    uint32_t block;
};

uint64_t Key(int32_t partition, uint32_t block) { return uint64_t(uint32_t(partition)) << 32 | block; }

uint32_t ItemSeconds(const UdfFileEntry& entry) {
    const int64_t t = UdfTimestampToUnixTime(entry.modified);
    return t <= 0 ? 0 : t >= int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(t);
}

void FillRecordHead(ImageItem& item, const UdfFileEntry& entry, bool directory, bool hidden) {
    uint8_t* head = item.recordHeader.data();
    UdfTimeToIsoDate(head + image::dr::kDate, entry.modified);
    const uint64_t size = directory ? 0 : entry.informationLength;
    foundation::WriteBothEndian32(head + image::dr::kDataLength, uint32_t(std::min<uint64_t>(size, UINT32_MAX)));
    foundation::WriteBothEndian16(head + image::dr::kVolumeSequence, 1);
    uint8_t flags = 0;
    if (directory) flags |= image::dirflag::kDirectory;
    if (hidden) flags |= image::dirflag::kHidden;
    head[image::dr::kFlags] = flags;
}

class TreeWalk {
public:
    TreeWalk(ImageContext& ctx, UdfState& state) : ctx_(ctx), state_(state) {
        const uint64_t imageBytes = state.imageSectors > 0 ? uint64_t(state.imageSectors) * kUdfBlockBytes
                                                           : uint64_t(UINT32_MAX);
        directoryBudget_ = imageBytes;
        // Every folder holds its whole path: a chain of long names must not
        // make the paths far larger than the image.
        pathBudget_ = std::max<uint64_t>(imageBytes, 1u << 20);
    }

    bool Run() {
        UdfFileEntry root;
        if (!ReadUdfFileEntry(ctx_, state_, state_.rootPartition, state_.rootBlock, root)) return false;
        visited_.insert(Key(state_.rootPartition, state_.rootBlock));
        ctx_.rootItem.time = ItemSeconds(root);
        if (!ReadDirectory(ctx_.rootFolder, root)) return false;
        while (!queue_.empty()) {
            const Pending p = queue_.front();
            queue_.pop_front();
            UdfFileEntry entry;
            if (!ReadUdfFileEntry(ctx_, state_, p.partition, p.block, entry)) {
                ++state_.skippedEntries;
                continue;
            }
            if (!ReadDirectory(p.folder, entry)) return false;
        }
        return true;
    }

private:
    // False only when memory runs out.
    bool ReadDirectory(ImageFolder* folder, const UdfFileEntry& directory) {
        std::vector<UdfExtent> extents;
        std::vector<uint8_t> data;
        if (!ReadUdfAllocationDescriptors(ctx_, state_, directory, extents, &data)) {
            ++state_.skippedEntries;
            return true;
        }
        if (directory.adKind != 3) {
            const uint64_t size = directory.informationLength;
            if (size > kMaxDirectoryBytes || size > directoryBudget_) {
                ++state_.skippedEntries;
                return true;
            }
            directoryBudget_ -= size;
            data.resize(size_t(size));
            data.resize(size_t(ReadUdfExtentBytes(ctx_, state_, extents, 0, data.data(), size)));
        }
        foundation::ByteCursor all(data.data(), data.size());
        uint64_t pos = 0;
        while (all.Size() - pos >= kFidHeaderBytes) {
            if (data[size_t(pos)] == 0) {
                // Padding up to the next block.
                pos = (pos / kUdfBlockBytes + 1) * kUdfBlockBytes;
                continue;
            }
            auto head = all.Sub(pos, kFidHeaderBytes);
            const UdfTag tag = DecodeUdfTag(head->Bytes());
            if (tag.identifier != udf_tag::kFileIdentifier || !tag.checksumOk) break;
            const uint64_t nameLength = head->U8(kFidNameLength);
            const uint64_t useLength = head->Le16(kFidImplementationUseLength);
            const uint64_t length = (kFidHeaderBytes + useLength + nameLength + 3) & ~uint64_t(3);
            auto fid = all.Sub(pos, std::min<uint64_t>(length, all.Size() - pos));
            if (!fid || fid->Size() < kFidHeaderBytes + useLength + nameLength) break;
            pos += length;
            const uint8_t characteristics = fid->U8(kFidCharacteristics);
            if (characteristics & (kCharParent | kCharDeleted)) continue;
            auto name = fid->Span(kFidHeaderBytes + useLength, nameLength);
            if (!AddEntry(folder, *fid, characteristics, *name)) return false;
        }
        return true;
    }

    bool AddEntry(ImageFolder* parent, const foundation::ByteCursor& fid, uint8_t characteristics,
                  std::span<const uint8_t> nameBytes) {
        std::u16string name;
        if (nameBytes.empty() || !DecodeOstaCs0(nameBytes, name) || name.empty()) {
            ++state_.skippedEntries;
            return true;
        }
        const uint32_t block = fid.Le32(kFidIcbBlock);
        const int32_t partition = fid.Le16(kFidIcbPartition);
        const bool directory = (characteristics & kCharDirectory) != 0;
        UdfFileEntry entry;
        if (!ReadUdfFileEntry(ctx_, state_, partition, block, entry)) {
            ++state_.skippedEntries;
            return true;
        }
        if (directory) {
            if (!visited_.insert(Key(partition, block)).second || parent->depth >= kMaxDepth) {
                ++state_.loopsRefused;
                return true;
            }
            const uint64_t units = parent->path.size() + 1 + name.size();
            if (units > pathBudget_) {
                ++state_.skippedEntries;
                return true;
            }
            pathBudget_ -= units;
        }
        std::vector<UdfExtent> extents;
        std::vector<uint8_t> embedded;
        if (!directory && !ReadUdfAllocationDescriptors(ctx_, state_, entry, extents, &embedded)) {
            ++state_.skippedEntries;
            return true;
        }
        ImageItem* item = image::NewItem();
        if (!item) return false;
        try {
            item->name.AssignInArena(ctx_.nameArena, name);
            FillRecordHead(*item, entry, directory, (characteristics & kCharHidden) != 0);
            item->time = ItemSeconds(entry);
            item->earlierSession = (ctx_.discSource || !ctx_.discHeadSourcePath.empty()) ? 1 : 0;
            if (!directory) {
                item->size = int64_t(std::min<uint64_t>(entry.informationLength, INT64_MAX));
                if (entry.adKind == 3) {
                    item->memoryData = std::move(embedded);
                    item->startSector = uint32_t(std::max<int64_t>(entry.sector, 0));
                } else if (!extents.empty()) {
                    const UdfExtent& first = extents.front();
                    const int64_t sector = first.partition < 0 ? -1 : UdfMapBlock(state_, first.partition, first.block, 0);
                    item->startSector = sector < 0 ? 0 : uint32_t(sector);
                    item->EditSide().extentList = EncodeUdfExtentList(extents);
                }
            }
        } catch (const std::bad_alloc&) {
            image::FreeItem(&ctx_, item);
            return false;
        }
        image::LinkItemAtHead(parent, item);
        if (!directory) return true;
        ImageFolder* folder = image::NewFolderRecord();
        if (!folder) return false;
        folder->ownItem = item;
        item->ownFolder = folder;
        image::AppendSubfolder(parent, folder);
        try {
            folder->path = image::JoinFolderPath(parent, item->name);
            queue_.push_back({folder, partition, block});
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    ImageContext& ctx_;
    UdfState& state_;
    std::deque<Pending> queue_;
    std::unordered_set<uint64_t> visited_;
    uint64_t directoryBudget_ = 0;
    uint64_t pathBudget_ = 0;
};

}  // namespace

bool ReadUdfTree(ImageContext& ctx, UdfState& state) {
    if (!ctx.rootFolder) return false;
    try {
        return TreeWalk(ctx, state).Run();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace filesystems
