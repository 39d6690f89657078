#include "filesystems/wim/wim_directory.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "filesystems/wim/wim_archive.h"
#include "filesystems/wim/wim_layout.h"
#include "foundation/dates.h"
#include "image/document/item_tree.h"
#include "image/iso/iso_directory.h"

namespace filesystems::wim {
namespace {

struct PendingList {
    image::ImageFolder* folder;
    uint64_t offset;
    uint32_t depth;
};

std::u16string DecodeName(std::span<const uint8_t> bytes) {
    std::u16string name;
    name.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) name.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
    // Names come from another system: "..", a "/" or a NUL must not reach a path.
    image::SanitizeItemName(name);
    return name;
}

void SetTimes(image::ImageItem& item, uint64_t fileTime) {
    foundation::FILETIME ft = foundation::FileTimeFromTicks(fileTime);
    const int64_t seconds = foundation::FileTimeToUnixTime(ft);
    item.time = seconds <= 0 ? 0 : seconds >= int64_t{UINT32_MAX} ? UINT32_MAX : uint32_t(seconds);
    foundation::UnixTimeToIsoRecordDate(seconds,
                                        std::span<uint8_t>(item.recordHeader).subspan(image::dr::kDate, image::dr::kDateBytes));
}

}  // namespace

bool BuildWimTree(image::ImageContext& ctx, const image::WimState& state, std::span<const uint8_t> metadata) {
    const auto rootOffset = RootEntryOffset(metadata);
    if (!rootOffset) return false;
    DirectoryEntry root;
    if (DecodeDirectoryEntry(metadata, *rootOffset, root) != EntryResult::kEntry) return false;
    if (!(root.attributes & kAttributeDirectory)) return false;

    std::vector<PendingList> work;
    std::unordered_set<uint64_t> seen;
    // A damaged list ends that directory; what was read before it, and the
    // other directories, stay.
    bool whole = true;
    if (root.subdirectoryOffset != 0) work.push_back({ctx.rootFolder, root.subdirectoryOffset, 0});
    while (!work.empty()) {
        const PendingList list = work.back();
        work.pop_back();
        // A list reached twice means the directories loop.
        if (list.offset >= metadata.size() || !seen.insert(list.offset).second || list.depth >= kMaxDirectoryDepth) {
            whole = false;
            continue;
        }
        for (uint64_t offset = list.offset;;) {
            DirectoryEntry e;
            const EntryResult r = DecodeDirectoryEntry(metadata, offset, e);
            if (r == EntryResult::kEndOfDirectory) break;
            if (r == EntryResult::kDamaged) {
                whole = false;
                break;
            }
            offset = e.nextOffset;
            if (e.name.empty()) continue;

            image::ImageItem* item = image::NewItem();
            if (!item) return false;
            const std::u16string name = DecodeName(e.name);
            item->name.AssignInArena(ctx.nameArena, name);
            SetTimes(*item, e.lastWriteTime);
            if (e.attributes & kAttributeDirectory) {
                image::ImageFolder* folder = image::NewFolderRecord();
                if (!folder) {
                    image::FreeItem(&ctx, item);
                    return false;
                }
                item->recordHeader[image::dr::kFlags] = image::dirflag::kDirectory;
                item->kindByte = 2;
                item->ownFolder = folder;
                folder->ownItem = item;
                folder->path = image::JoinFolderPath(list.folder, name);
                image::AppendSubfolder(list.folder, folder);
                image::LinkItemAtHead(list.folder, item);
                if (e.subdirectoryOffset != 0) work.push_back({folder, e.subdirectoryOffset, list.depth + 1});
                continue;
            }
            if (IsZeroHash(e.hash)) {
                item->archiveIndex = state.emptyStreamIndex;
                item->size = 0;
            } else {
                item->archiveIndex = FindWimStream(state, e.hash);
                const uint64_t size =
                    item->archiveIndex >= 0 ? state.items[size_t(item->archiveIndex)].entry.resource.uncompressedBytes : 0;
                item->size = int64_t(std::min<uint64_t>(size, uint64_t{INT64_MAX}));
            }
            image::LinkItemAtHead(list.folder, item);
        }
    }
    return whole;
}

}  // namespace filesystems::wim
