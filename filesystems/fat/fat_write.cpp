#include "filesystems/fat/fat_write.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/fat/fat_directory.h"
#include "filesystems/fat/fat_layout.h"
#include "filesystems/fat/fat_names.h"
#include "filesystems/fat/fat_overlay.h"
#include "foundation/byte_order.h"
#include "foundation/file_io.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/operation_status.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/format.h"

namespace filesystems {

using namespace fat_layout;

namespace {

constexpr uint32_t kCopyPieceBytes = 0x80000;
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 32;
constexpr uint32_t kNoSpaceStringId = 1450;

void SetStatusIfNone(int32_t status) {
    if (foundation::OperationStatus.load() == foundation::kStatusNone) foundation::OperationStatus = status;
}

bool IsLiveShortEntry(const uint8_t* e) {
    return e[entry::kName] != entry::kEndMarker && e[entry::kName] != entry::kDeleted &&
           e[entry::kAttribute] != attr::kLongName;
}

std::string ShortKey(const uint8_t* e) { return std::string(reinterpret_cast<const char*>(e), entry::kNameBytes); }

image::FatState* StateOf(image::ImageContext& ctx) { return ctx.fatState.get(); }

// Edits are made only on a volume the open allowed to change and whose
// structures read whole: changing a damaged volume would spread the damage.
bool MayEdit(image::ImageContext& ctx) {
    image::FatState* state = StateOf(ctx);
    return state && state->volume.writable && !state->volume.damaged;
}

void DropEditDirectory(image::FatState& state) { state.editDirectory.reset(); }

// The first cluster of a folder's directory: the root's (FAT32) or 0 for the
// root, else the one its item's record names.
std::optional<uint32_t> DirectoryClusterOf(image::ImageContext& ctx, const image::ImageFolder* folder) {
    const FatVolume& volume = ctx.fatState->volume;
    if (!folder) return std::nullopt;
    if (folder == ctx.rootFolder) return volume.type == FatType::kFat32 ? volume.rootCluster : 0;
    FatEntryRecord record;
    if (!GetFatEntryRecord(folder->ownItem, record) || !(record.attribute & attr::kDirectory)) return std::nullopt;
    if (!IsDataCluster(volume, record.firstCluster)) return std::nullopt;
    return record.firstCluster;
}

// The directory for an edit, from the cache when it holds that directory.
// Null when it cannot be loaded whole.
FatDirectory* LoadEditDirectory(image::ImageContext& ctx, uint32_t first) {
    image::FatState& state = *StateOf(ctx);
    if (state.editDirectory && state.editDirectory->firstCluster == first) return state.editDirectory.get();
    DropEditDirectory(state);
    std::unique_ptr<FatDirectory> dir = LoadFatDirectory(ctx, first);
    if (!dir || dir->damaged) return nullptr;
    for (uint32_t i = 0; i < dir->totalEntries; ++i) {
        const uint8_t* e = dir->Entry(i);
        if (e[entry::kName] == entry::kEndMarker) break;
        if (IsLiveShortEntry(e)) dir->shortNames.insert(ShortKey(e));
    }
    dir->clusterSet.insert(dir->clusters.begin(), dir->clusters.end());
    state.editDirectory = std::move(dir);
    return state.editDirectory.get();
}

// Writes the changed clusters of a directory (or the root back into its
// copy): 0, or -1.
int StoreFatDirectory(image::ImageContext& ctx, FatDirectory& dir) {
    FatVolume& volume = ctx.fatState->volume;
    if (dir.IsFixedRoot()) {
        if (!dir.dirtyClusters.empty() && dir.dirtyClusters[0]) {
            std::copy_n(dir.bytes.begin(), volume.rootDir.size(), volume.rootDir.begin());
            volume.rootChanged = true;
            dir.dirtyClusters[0] = 0;
        }
        return 0;
    }
    for (size_t i = 0; i < dir.clusters.size(); ++i) {
        if (!dir.dirtyClusters[i]) continue;
        if (WriteFatCluster(ctx, dir.clusters[i], dir.bytes.data() + i * volume.clusterBytes) != 0) return -1;
        dir.dirtyClusters[i] = 0;
    }
    return 0;
}

void MarkFatSectorDirty(FatVolume& volume, uint64_t byteOffset) {
    const uint64_t sector = byteOffset / kSectorBytes;
    if (sector < volume.dirtyFatSectors.size()) volume.dirtyFatSectors[sector] = 1;
}

// Gives a cluster back (counted only when it was in use); a cluster of the
// cached directory drops the cache.
void FreeCluster(image::FatState& state, uint32_t cluster) {
    FatVolume& volume = state.volume;
    if (!IsDataCluster(volume, cluster) || GetFatEntry(volume, cluster) == volume.marks.free) return;
    SetFatEntry(volume, cluster, volume.marks.free);
    ++volume.freeCount;
    if (state.editDirectory && state.editDirectory->clusterSet.count(cluster)) DropEditDirectory(state);
}

// Frees a chain from first on. Each step frees the cluster it stands on, so a
// chain that loops back meets a free entry and stops: the walk ends within
// the volume's cluster count. Clusters in keep (when given) stop it too.
void FreeChain(image::FatState& state, uint32_t first, const std::unordered_set<uint32_t>* keep = nullptr) {
    FatVolume& volume = state.volume;
    uint32_t cluster = first;
    for (uint32_t steps = 0; steps <= volume.clusterCount && IsDataCluster(volume, cluster); ++steps) {
        if (keep && keep->count(cluster)) return;
        const uint32_t next = GetFatEntry(volume, cluster);
        if (next == volume.marks.free) return;
        FreeCluster(state, cluster);
        cluster = next;
    }
}

// The clusters of a chain, at most limit of them; stops at its end, a value
// that is no cluster, and a cluster met before.
std::vector<uint32_t> CollectChain(const FatVolume& volume, uint32_t first, uint64_t limit) {
    std::vector<uint32_t> chain;
    std::unordered_set<uint32_t> seen;
    uint32_t cluster = first;
    while (chain.size() < limit && IsDataCluster(volume, cluster) && seen.insert(cluster).second) {
        chain.push_back(cluster);
        cluster = GetFatEntry(volume, cluster);
    }
    return chain;
}

// A new cluster linked after last (0: the start of a chain), zeroed in the
// overlay when zero is set. 0 when none is free.
uint32_t AppendCluster(FatVolume& volume, uint32_t last) {
    const uint32_t cluster = AllocateFatCluster(volume);
    if (cluster && last) SetFatEntry(volume, last, cluster);
    return cluster;
}

// Room for n consecutive entries: the index of the last of them, or -1. A
// chained directory grows by as many zeroed clusters as the run needs, up to
// 65,536 entries; the fixed root cannot grow.
int64_t FindFreeDirEntries(image::ImageContext& ctx, FatDirectory& dir, uint32_t n) {
    image::FatState& state = *StateOf(ctx);
    FatVolume& volume = state.volume;
    uint32_t run = 0;
    for (uint32_t i = 0; i < dir.totalEntries; ++i) {
        const uint8_t first = dir.Entry(i)[entry::kName];
        run = (first == entry::kDeleted || first == entry::kEndMarker) ? run + 1 : 0;
        if (run == n) return int64_t(i);
    }
    if (dir.IsFixedRoot()) return -1;
    const uint32_t missing = n - run;
    const uint32_t grow = (missing + dir.entriesPerCluster - 1) / dir.entriesPerCluster;
    if (uint64_t(dir.totalEntries) + uint64_t(grow) * dir.entriesPerCluster > kMaxDirectoryEntries) return -1;
    // A directory's growth leaves room for nothing else only when the volume
    // is full; the file it is for is then refused anyway.
    if (int64_t(grow) > volume.freeCount) return -1;
    std::vector<uint32_t> added;
    uint32_t last = dir.clusters.back();
    for (uint32_t k = 0; k < grow; ++k) {
        const uint32_t cluster = AppendCluster(volume, last);
        if (!cluster) {
            for (uint32_t c : added) FreeCluster(state, c);
            SetFatEntry(volume, dir.clusters.back(), volume.marks.endOfChain);
            return -1;
        }
        added.push_back(cluster);
        last = cluster;
    }
    for (uint32_t cluster : added) {
        dir.clusters.push_back(cluster);
        dir.clusterSet.insert(cluster);
        dir.bytes.resize(dir.bytes.size() + volume.clusterBytes, 0);
        dir.dirtyClusters.push_back(1);
    }
    // The run starts with the free entries that ended the old directory.
    const uint32_t runStart = dir.totalEntries - run;
    dir.totalEntries = uint32_t(dir.clusters.size()) * dir.entriesPerCluster;
    return int64_t(runStart) + n - 1;
}

// Local time of t (0: now), held to the years a FAT date can hold.
void StampFatEntryTime(uint8_t* e, int64_t t) {
    const std::time_t when = t ? std::time_t(t) : std::time(nullptr);
    std::tm local{};
    localtime_r(&when, &local);
    int year = local.tm_year + 1900;
    if (year < 1980) {
        year = 1980;
        local.tm_mon = 0;
        local.tm_mday = 1;
        local.tm_hour = local.tm_min = local.tm_sec = 0;
    } else if (year > 2107) {
        year = 2107;
        local.tm_mon = 11;
        local.tm_mday = 31;
        local.tm_hour = 23;
        local.tm_min = 59;
        local.tm_sec = 58;
    }
    const uint16_t time = uint16_t(local.tm_hour << 11 | local.tm_min << 5 | std::min(local.tm_sec, 59) / 2);
    const uint16_t date = uint16_t((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    foundation::WriteLE16(e + entry::kWriteTime, time);
    foundation::WriteLE16(e + entry::kCreationTime, time);
    foundation::WriteLE16(e + entry::kWriteDate, date);
    foundation::WriteLE16(e + entry::kCreationDate, date);
    foundation::WriteLE16(e + entry::kAccessDate, date);
}

void SetEntryCluster(uint8_t* e, uint32_t cluster) {
    foundation::WriteLE16(e + entry::kClusterHigh, uint16_t(cluster >> 16));
    foundation::WriteLE16(e + entry::kClusterLow, uint16_t(cluster & 0xFFFF));
}

// The name of a new entry with its long-name run at room's end: the 8.3
// entry's index, or -1.
struct NewEntry {
    uint32_t shortIndex = 0;
    uint32_t entryCount = 0;
    std::array<uint8_t, 11> shortName{};
    std::u16string longName;
};

// Finds room for an entry named name and fills its name fields; the caller
// sets the rest of the 8.3 entry. False with OperationStatus set.
bool PlaceNewEntry(image::ImageContext& ctx, FatDirectory& dir, image::ImageItem* item, NewEntry& out) {
    std::optional<std::u16string> longName = PrepareLongName(item->name);
    // A name changed to fit the volume must not meet another entry's.
    if (!longName || (*longName != item->name.view() && item->parent &&
                      image::FindChildByName(item->parent, *longName) != nullptr)) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return false;
    }
    std::optional<std::array<uint8_t, 11>> shortName = MakeShortName(*longName, dir.shortNames);
    if (!shortName) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return false;
    }
    const uint32_t count = LongNameEntryCount(longName->size()) + 1;
    const int64_t last = FindFreeDirEntries(ctx, dir, count);
    if (last < 0) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return false;
    }
    out.shortIndex = uint32_t(last);
    out.entryCount = count;
    out.shortName = *shortName;
    out.longName = std::move(*longName);
    return true;
}

// The tree shows the name the volume holds (characters no FAT name may
// carry became '_').
void KeepStoredName(image::ImageItem* item, const NewEntry& placed) {
    if (!placed.longName.empty() && placed.longName != item->name.view() && item->parent) {
        image::RenameItem(item->parent, item, placed.longName);
        if (item->ownFolder) item->ownFolder->path = image::JoinFolderPath(item->parent, item->name);
    }
}

void WriteNewEntry(FatDirectory& dir, const NewEntry& placed, uint8_t attribute, uint32_t firstCluster,
                   uint32_t size, int64_t time) {
    uint8_t* e = dir.Entry(placed.shortIndex);
    std::memset(e, 0, kEntryBytes);
    std::copy(placed.shortName.begin(), placed.shortName.end(), e);
    e[entry::kAttribute] = attribute;
    SetEntryCluster(e, firstCluster);
    foundation::WriteLE32(e + entry::kSize, size);
    StampFatEntryTime(e, time);
    dir.MarkEntryDirty(placed.shortIndex);
    BuildLongNameEntries(dir, placed.shortIndex, placed.longName, LongNameChecksum(placed.shortName.data()));
    dir.shortNames.insert(ShortKey(e));
}

// Marks the record's entries deleted: its 8.3 entry and the long-name
// entries right in front of it, no more than the record counts.
void RemoveFatEntries(FatDirectory& dir, const FatEntryRecord& record) {
    if (record.index >= dir.totalEntries) return;
    uint8_t* e = dir.Entry(record.index);
    if (!IsLiveShortEntry(e)) return;
    dir.shortNames.erase(ShortKey(e));
    e[entry::kName] = entry::kDeleted;
    dir.MarkEntryDirty(record.index);
    for (uint32_t k = 1; k < std::max<uint32_t>(record.entryCount, 1) && k <= record.index; ++k) {
        uint8_t* l = dir.Entry(record.index - k);
        if (l[entry::kAttribute] != attr::kLongName || l[entry::kName] == entry::kDeleted) break;
        l[entry::kName] = entry::kDeleted;
        dir.MarkEntryDirty(record.index - k);
    }
}

// The record's 8.3 entry in its directory when it still is the entry the
// record was made for; null otherwise.
uint8_t* MatchingEntry(FatDirectory& dir, const FatVolume& volume, const FatEntryRecord& record) {
    if (record.index >= dir.totalEntries) return nullptr;
    uint8_t* e = dir.Entry(record.index);
    if (!IsLiveShortEntry(e) || EntryFirstCluster(volume, e) != record.firstCluster) return nullptr;
    if ((e[entry::kAttribute] & attr::kDirectory) != (record.attribute & attr::kDirectory)) return nullptr;
    return e;
}

std::u16string SourceName(const image::ImageItem* sourceItem, const image::ImageItem* item) {
    if (!sourceItem && !item->diskPath.empty()) return item->diskPath;
    return std::u16string(item->name);
}

void ReportNoSpace(std::u16string_view path) {
    const std::u16string text = foundation::GetLangString(kNoSpaceStringId, u"There is no enough space to hold the file.");
    foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s", path, text), foundation::kMbIconStop);
}

// Where a file's bytes come from.
class DataSource {
public:
    DataSource(image::ImageContext& ctx, const image::ImageItem* sourceItem, const image::ImageItem* item)
        : ctx_(ctx), sourceItem_(sourceItem), item_(item) {}

    // The size to write; false with the status set.
    bool Open(uint64_t& size) {
        if (sourceItem_) {
            size = uint64_t(std::max<int64_t>(sourceItem_->size, 0));
            return true;
        }
        file_.reset(foundation::OpenFileForRead(item_->diskPath));
        if (!file_) {
            foundation::ShowLastError(item_->diskPath);
            SetStatusIfNone(foundation::kStatusSourceOpenFailed);
            return false;
        }
        const int64_t bytes = foundation::GetFileSize64(file_.get());
        if (bytes < 0) {
            foundation::ShowLastError(item_->diskPath);
            SetStatusIfNone(foundation::kStatusSourceReadFailed);
            return false;
        }
        size = uint64_t(bytes);
        return true;
    }

    bool Read(uint8_t* buffer, uint64_t position, uint32_t count) {
        if (sourceItem_) {
            if (ReadFatFileData(ctx_, sourceItem_, buffer, uint32_t(position / kSectorBytes), count) == count) return true;
            foundation::ShowLastError(std::u16string(sourceItem_->name));
        } else {
            if (foundation::ReadFileAt(file_.get(), buffer, position, count)) return true;
            foundation::ShowLastError(item_->diskPath);
        }
        SetStatusIfNone(foundation::kStatusSourceReadFailed);
        return false;
    }

private:
    image::ImageContext& ctx_;
    const image::ImageItem* sourceItem_;
    const image::ImageItem* item_;
    foundation::UniqueFile file_;
};

// Copies the source's bytes into the chain, a piece at a time; a cancel
// between pieces stops it.
bool CopyData(image::ImageContext& ctx, DataSource& source, const std::vector<uint32_t>& chain, uint64_t size) {
    const FatVolume& volume = ctx.fatState->volume;
    const uint32_t piece = std::max(kCopyPieceBytes - kCopyPieceBytes % volume.clusterBytes, volume.clusterBytes);
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(piece);
    } catch (const std::bad_alloc&) {
        SetStatusIfNone(foundation::kStatusOutOfMemory);
        return false;
    }
    size_t next = 0;
    for (uint64_t position = 0; position < size; position += piece) {
        if (foundation::OperationStatus.load() == foundation::kStatusCancelled) return false;
        const uint32_t count = uint32_t(std::min<uint64_t>(piece, size - position));
        if (!source.Read(buffer.data(), position, count)) return false;
        // The last cluster's tail is zero, not what the buffer held before.
        const uint32_t rounded = (count + volume.clusterBytes - 1) / volume.clusterBytes * volume.clusterBytes;
        std::fill(buffer.begin() + count, buffer.begin() + rounded, 0);
        for (uint32_t at = 0; at < rounded; at += volume.clusterBytes) {
            if (next >= chain.size() || WriteFatCluster(ctx, chain[next++], buffer.data() + at) != 0) {
                SetStatusIfNone(foundation::kStatusWriteFailed);
                return false;
            }
        }
    }
    return true;
}

uint32_t FirstFreeCluster(const FatVolume& volume) {
    for (uint32_t n = 2; n < volume.clusterCount + 2; ++n) {
        if (GetFatEntry(volume, n) == volume.marks.free) return n;
    }
    return 2;
}

int WriteFsInfo(image::ImageContext& ctx, uint32_t freeCount, uint32_t nextFree) {
    FatVolume& volume = ctx.fatState->volume;
    if (!volume.fsInfoSector) return 0;
    std::array<uint8_t, kSectorBytes> sector{};
    const uint64_t at = uint64_t(volume.partitionStart) + volume.fsInfoSector;
    if (ReadDiskSectors(ctx, at, sector.data(), 1) != 1) return -1;
    foundation::WriteLE32(sector.data() + fsinfo::kFreeCount, freeCount);
    foundation::WriteLE32(sector.data() + fsinfo::kNextFree, nextFree);
    if (WriteDiskSectors(ctx, at, sector.data(), 1) != 1) return -1;
    if (volume.backupFsInfoSector &&
        WriteDiskSectors(ctx, uint64_t(volume.partitionStart) + volume.backupFsInfoSector, sector.data(), 1) != 1) {
        return -1;
    }
    return 0;
}

// The folder that holds item in the tree.
const image::ImageFolder* ParentOf(const image::ImageItem* item) { return item ? item->parent : nullptr; }

}  // namespace

void SetFatEntry(FatVolume& volume, uint32_t n, uint32_t value) {
    if (!IsDataCluster(volume, n)) return;
    uint8_t* fat = volume.fat.data();
    switch (volume.type) {
    case FatType::kFat12: {
        const uint64_t at = uint64_t(n) + n / 2;
        if (at + 2 > volume.fat.size()) return;
        uint16_t word = foundation::ReadLE16(fat + at);
        word = (n & 1) ? uint16_t((word & 0x000F) | (value << 4)) : uint16_t((word & 0xF000) | (value & 0x0FFF));
        foundation::WriteLE16(fat + at, word);
        MarkFatSectorDirty(volume, at);
        MarkFatSectorDirty(volume, at + 1);
        break;
    }
    case FatType::kFat16: {
        const uint64_t at = uint64_t(n) * 2;
        if (at + 2 > volume.fat.size()) return;
        foundation::WriteLE16(fat + at, uint16_t(value));
        MarkFatSectorDirty(volume, at);
        break;
    }
    default: {
        const uint64_t at = uint64_t(n) * 4;
        if (at + 4 > volume.fat.size()) return;
        // The top 4 bits are reserved and stay as they are.
        const uint32_t old = foundation::ReadLE32(fat + at);
        foundation::WriteLE32(fat + at, (old & 0xF0000000u) | (value & 0x0FFFFFFFu));
        MarkFatSectorDirty(volume, at);
        break;
    }
    }
    volume.fatChanged = true;
}

uint32_t AllocateFatCluster(FatVolume& volume) {
    const uint32_t end = volume.clusterCount + 2;
    uint32_t start = IsDataCluster(volume, volume.nextFree) ? volume.nextFree : 2;
    uint32_t found = 0;
    for (uint32_t n = start; n < end && !found; ++n) {
        if (GetFatEntry(volume, n) == volume.marks.free) found = n;
    }
    for (uint32_t n = 2; n < start && !found; ++n) {
        if (GetFatEntry(volume, n) == volume.marks.free) found = n;
    }
    if (!found) return 0;
    SetFatEntry(volume, found, volume.marks.endOfChain);
    volume.nextFree = found;
    --volume.freeCount;
    return found;
}

int FlushFatVolume(image::ImageContext& ctx) {
    image::FatState* state = StateOf(ctx);
    if (!state) return -1;
    FatVolume& volume = state->volume;
    ++volume.generation;
    if (volume.fatChanged) {
        const uint32_t sectors = volume.fatSectors;
        uint32_t s = 0;
        while (s < sectors) {
            if (!volume.dirtyFatSectors[s]) {
                ++s;
                continue;
            }
            uint32_t run = 1;
            while (s + run < sectors && volume.dirtyFatSectors[s + run]) ++run;
            for (uint32_t copy = 0; copy < volume.fatCount; ++copy) {
                const uint64_t at = uint64_t(volume.partitionStart) + volume.reservedSectors +
                                    uint64_t(copy) * volume.fatSectors + s;
                if (WriteDiskSectors(ctx, at, volume.fat.data() + size_t(s) * kSectorBytes, run) != run) return -1;
            }
            std::fill_n(volume.dirtyFatSectors.begin() + s, run, 0);
            s += run;
        }
        volume.fatChanged = false;
    }
    if (volume.type == FatType::kFat32 &&
        WriteFsInfo(ctx, uint32_t(std::max<int64_t>(volume.freeCount, 0)), volume.nextFree) != 0) {
        return -1;
    }
    if (volume.type != FatType::kFat32 && volume.rootChanged) {
        if (WriteDiskSectors(ctx, uint64_t(volume.partitionStart) + volume.rootStart, volume.rootDir.data(),
                             volume.rootSectors) != volume.rootSectors) {
            return -1;
        }
        volume.rootChanged = false;
    }
    return 0;
}

void CheckFsInfo(image::ImageContext& ctx) {
    FatVolume& volume = ctx.fatState->volume;
    if (!volume.fsInfoSector) return;
    std::array<uint8_t, kSectorBytes> sector{};
    if (ReadDiskSectors(ctx, uint64_t(volume.partitionStart) + volume.fsInfoSector, sector.data(), 1) != 1) return;
    const uint32_t freeCount = foundation::ReadLE32(sector.data() + fsinfo::kFreeCount);
    const uint32_t nextFree = foundation::ReadLE32(sector.data() + fsinfo::kNextFree);
    const uint32_t limit = volume.clusterCount + 1;
    const bool usable = !(freeCount == 0 && nextFree == 0) && freeCount != fsinfo::kUnknown &&
                        nextFree != fsinfo::kUnknown && freeCount <= limit && nextFree <= limit;
    if (usable) {
        if (IsDataCluster(volume, nextFree)) volume.nextFree = nextFree;
        return;
    }
    volume.nextFree = FirstFreeCluster(volume);
    WriteFsInfo(ctx, uint32_t(volume.freeCount), volume.nextFree);
}

int FatWriteFile(image::ImageContext& ctx, const image::ImageItem* sourceItem, image::ImageItem* item) {
    if (!item || !MayEdit(ctx)) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    image::FatState& state = *StateOf(ctx);
    FatVolume& volume = state.volume;
    const std::optional<uint32_t> parent = DirectoryClusterOf(ctx, ParentOf(item));
    if (!parent) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    DataSource source(ctx, sourceItem, item);
    uint64_t size = 0;
    if (!source.Open(size)) return -1;
    if (size >= kMaxFileBytes) {
        foundation::ReportFileTooBig(SourceName(sourceItem, item));
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    FatDirectory* dir = LoadEditDirectory(ctx, *parent);
    if (!dir) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    FatEntryRecord record;
    const bool existing = GetFatEntryRecord(item, record);
    uint8_t* oldEntry = nullptr;
    if (existing) {
        oldEntry = record.directoryCluster == *parent ? MatchingEntry(*dir, volume, record) : nullptr;
        if (!oldEntry || (record.attribute & attr::kDirectory)) {
            SetStatusIfNone(foundation::kStatusFatWriteFailed);
            return -1;
        }
    }
    NewEntry placed;
    if (!existing) {
        const bool placedOk = PlaceNewEntry(ctx, *dir, item, placed);
        // A directory that grew keeps its new, zeroed clusters either way.
        if (StoreFatDirectory(ctx, *dir) != 0 || !placedOk) {
            SetStatusIfNone(foundation::kStatusFatWriteFailed);
            FlushFatVolume(ctx);
            return -1;
        }
    }

    // The chain: an overwritten file keeps the clusters it had as far as the
    // new size needs them and gives back the rest; new clusters follow.
    const uint64_t needed = (size + volume.clusterBytes - 1) / volume.clusterBytes;
    std::vector<uint32_t> chain = existing ? CollectChain(volume, record.firstCluster, needed) : std::vector<uint32_t>{};
    const uint32_t kept = uint32_t(chain.size());
    const uint64_t missing = needed - kept;
    // A write needs one free cluster more than it takes.
    if (missing > 0 && int64_t(missing) >= volume.freeCount) {
        ReportNoSpace(SourceName(sourceItem, item));
        SetStatusIfNone(foundation::kStatusCancelled);
        StoreFatDirectory(ctx, *dir);
        FlushFatVolume(ctx);
        return -1;
    }
    bool ok = true;
    for (uint64_t k = 0; k < missing; ++k) {
        const uint32_t cluster = AppendCluster(volume, chain.empty() ? 0 : chain.back());
        if (!cluster) {
            ok = false;
            break;
        }
        chain.push_back(cluster);
    }
    if (ok) ok = CopyData(ctx, source, chain, size);
    if (!ok) {
        // What this write took is given back; an overwritten file keeps its
        // old chain as far as it went.
        std::unordered_set<uint32_t> keep(chain.begin(), chain.begin() + kept);
        if (kept) {
            if (chain.size() > kept) FreeChain(state, chain[kept], &keep);
            // Its old tail is no longer linked: the entry keeps its size, the
            // chain its length up to what was kept.
        } else if (!chain.empty()) {
            FreeChain(state, chain.front());
        }
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        if (FatDirectory* again = LoadEditDirectory(ctx, *parent)) StoreFatDirectory(ctx, *again);
        FlushFatVolume(ctx);
        return -1;
    }
    if (existing && kept == needed && needed > 0) {
        // The old chain went further than the new size: its tail is freed.
        const uint32_t tail = GetFatEntry(volume, chain.back());
        std::unordered_set<uint32_t> keep(chain.begin(), chain.end());
        SetFatEntry(volume, chain.back(), volume.marks.endOfChain);
        if (IsDataCluster(volume, tail)) FreeChain(state, tail, &keep);
    } else if (existing && needed == 0 && IsDataCluster(volume, record.firstCluster)) {
        FreeChain(state, record.firstCluster);
    }
    const uint32_t first = chain.empty() ? 0 : chain.front();
    // Freeing may have dropped the cached directory: it is loaded again.
    dir = LoadEditDirectory(ctx, *parent);
    if (!dir) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        FlushFatVolume(ctx);
        return -1;
    }
    const int64_t time = item->time ? int64_t(item->time) : 0;
    if (existing) {
        uint8_t* e = dir->Entry(record.index);
        SetEntryCluster(e, first);
        foundation::WriteLE32(e + entry::kSize, uint32_t(size));
        StampFatEntryTime(e, time);
        dir->MarkEntryDirty(record.index);
    } else {
        WriteNewEntry(*dir, placed, attr::kArchive, first, uint32_t(size), time);
        record.directoryCluster = *parent;
        record.index = placed.shortIndex;
        record.entryCount = placed.entryCount;
        item->isoName.assign(reinterpret_cast<const char*>(placed.shortName.data()), 11);
    }
    record.firstCluster = first;
    record.size = uint32_t(size);
    record.attribute = attr::kArchive;
    if (StoreFatDirectory(ctx, *dir) != 0 || FlushFatVolume(ctx) != 0) {
        SetStatusIfNone(foundation::kStatusWriteFailed);
        return -1;
    }
    SetFatEntryRecord(item, record);
    item->startSector = first;
    item->size = int64_t(size);
    KeepStoredName(item, placed);
    return 0;
}

int FatCopyFile(image::ImageContext& ctx, const image::ImageItem* sourceItem, image::ImageItem* item) {
    return FatWriteFile(ctx, sourceItem, item);
}

int FatCreateFolder(image::ImageContext& ctx, image::ImageItem* item) {
    if (!item || !MayEdit(ctx)) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    FatVolume& volume = ctx.fatState->volume;
    const std::optional<uint32_t> parent = DirectoryClusterOf(ctx, ParentOf(item));
    FatDirectory* dir = parent ? LoadEditDirectory(ctx, *parent) : nullptr;
    if (!dir) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    NewEntry placed;
    bool ok = PlaceNewEntry(ctx, *dir, item, placed);
    if (StoreFatDirectory(ctx, *dir) != 0) ok = false;
    const uint32_t cluster = ok && volume.freeCount > 0 ? AllocateFatCluster(volume) : 0;
    if (!cluster) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        StoreFatDirectory(ctx, *dir);
        FlushFatVolume(ctx);
        return -1;
    }
    const int64_t time = item->time ? int64_t(item->time) : 0;
    // The new directory: "." names itself, ".." its parent, with 0 for the
    // root on every FAT type.
    const bool parentIsRoot = ParentOf(item) == ctx.rootFolder;
    std::vector<uint8_t> bytes(volume.clusterBytes, 0);
    uint8_t* dot = bytes.data();
    uint8_t* dotDot = bytes.data() + kEntryBytes;
    std::memcpy(dot, ".          ", entry::kNameBytes);
    std::memcpy(dotDot, "..         ", entry::kNameBytes);
    dot[entry::kAttribute] = attr::kDirectory;
    dotDot[entry::kAttribute] = attr::kDirectory;
    SetEntryCluster(dot, cluster);
    SetEntryCluster(dotDot, parentIsRoot ? 0 : *parent);
    StampFatEntryTime(dot, time);
    StampFatEntryTime(dotDot, time);
    if (WriteFatCluster(ctx, cluster, bytes.data()) != 0) {
        FreeCluster(*StateOf(ctx), cluster);
        FlushFatVolume(ctx);
        return -1;
    }
    dir = LoadEditDirectory(ctx, *parent);
    if (!dir) return -1;
    WriteNewEntry(*dir, placed, attr::kDirectory, cluster, 0, time);
    if (StoreFatDirectory(ctx, *dir) != 0 || FlushFatVolume(ctx) != 0) {
        SetStatusIfNone(foundation::kStatusWriteFailed);
        return -1;
    }
    FatEntryRecord record;
    record.directoryCluster = *parent;
    record.index = placed.shortIndex;
    record.entryCount = placed.entryCount;
    record.firstCluster = cluster;
    record.attribute = attr::kDirectory;
    SetFatEntryRecord(item, record);
    item->isoName.assign(reinterpret_cast<const char*>(placed.shortName.data()), 11);
    item->startSector = cluster;
    KeepStoredName(item, placed);
    return 0;
}

void FatDeleteFile(image::ImageContext& ctx, image::ImageItem* item) {
    FatEntryRecord record;
    if (!MayEdit(ctx) || !GetFatEntryRecord(item, record) || (record.attribute & attr::kDirectory)) return;
    image::FatState& state = *StateOf(ctx);
    FatDirectory* dir = LoadEditDirectory(ctx, record.directoryCluster);
    if (!dir || !MatchingEntry(*dir, state.volume, record)) return;
    FreeChain(state, record.firstCluster);
    dir = LoadEditDirectory(ctx, record.directoryCluster);
    if (!dir) return;
    RemoveFatEntries(*dir, record);
    StoreFatDirectory(ctx, *dir);
    FlushFatVolume(ctx);
    DropFatEntryRecord(item);
}

void FatDeleteFolder(image::ImageContext& ctx, image::ImageItem* item) {
    FatEntryRecord record;
    if (!MayEdit(ctx) || !GetFatEntryRecord(item, record) || !(record.attribute & attr::kDirectory)) return;
    image::FatState& state = *StateOf(ctx);
    FatVolume& volume = state.volume;
    {
        FatDirectory* dir = LoadEditDirectory(ctx, record.directoryCluster);
        if (!dir || !MatchingEntry(*dir, volume, record)) return;
    }
    // The subtree with a work list; each directory cluster is visited once,
    // so a directory naming an ancestor or itself ends the walk there.
    DropEditDirectory(state);
    std::vector<bool> visited(size_t(volume.clusterCount) + 2, false);
    std::vector<uint32_t> work;
    if (IsDataCluster(volume, record.firstCluster)) work.push_back(record.firstCluster);
    while (!work.empty()) {
        const uint32_t first = work.back();
        work.pop_back();
        std::unique_ptr<FatDirectory> dir = LoadFatDirectory(ctx, first, &visited);
        if (!dir) continue;
        for (uint32_t i = 0; i < dir->totalEntries; ++i) {
            const uint8_t* e = dir->Entry(i);
            if (e[entry::kName] == entry::kEndMarker) break;
            if (!IsLiveShortEntry(e) || (e[entry::kAttribute] & attr::kVolumeLabel)) continue;
            // By name, not by position: a stray ".." elsewhere would free the parent.
            const std::string name = ShortNameToText(e, false);
            if (name == "." || name == "..") continue;
            const uint32_t cluster = EntryFirstCluster(volume, e);
            if (e[entry::kAttribute] & attr::kDirectory) {
                if (IsDataCluster(volume, cluster) && !visited[cluster]) work.push_back(cluster);
            } else {
                FreeChain(state, cluster);
            }
        }
        for (uint32_t cluster : dir->clusters) FreeCluster(state, cluster);
    }
    FatDirectory* parent = LoadEditDirectory(ctx, record.directoryCluster);
    if (parent) {
        RemoveFatEntries(*parent, record);
        StoreFatDirectory(ctx, *parent);
    }
    FlushFatVolume(ctx);
    DropFatEntryRecord(item);
}

int FatMoveEntry(image::ImageContext& ctx, image::ImageItem* item) {
    FatEntryRecord record;
    if (!item || !MayEdit(ctx) || !GetFatEntryRecord(item, record)) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    image::FatState& state = *StateOf(ctx);
    FatVolume& volume = state.volume;
    const std::optional<uint32_t> parent = DirectoryClusterOf(ctx, ParentOf(item));
    FatDirectory* dir = parent ? LoadEditDirectory(ctx, record.directoryCluster) : nullptr;
    uint8_t* e = dir ? MatchingEntry(*dir, volume, record) : nullptr;
    if (!e) {
        SetStatusIfNone(foundation::kStatusFatWriteFailed);
        return -1;
    }
    // The entry keeps its times, attribute, cluster and size; the old run
    // (long names and 8.3 entry) is kept to put back should the new one fail.
    std::array<uint8_t, kEntryBytes> shortEntry;
    std::copy_n(e, kEntryBytes, shortEntry.begin());
    const uint32_t oldCount = std::min(std::max<uint32_t>(record.entryCount, 1), record.index + 1);
    const uint32_t oldFirst = record.index + 1 - oldCount;
    std::vector<uint8_t> oldRun(dir->bytes.begin() + size_t(oldFirst) * kEntryBytes,
                                dir->bytes.begin() + size_t(record.index + 1) * kEntryBytes);
    RemoveFatEntries(*dir, record);

    auto putBack = [&]() {
        FatDirectory* old = LoadEditDirectory(ctx, record.directoryCluster);
        if (!old) return;
        std::copy(oldRun.begin(), oldRun.end(), old->bytes.begin() + size_t(oldFirst) * kEntryBytes);
        for (uint32_t i = oldFirst; i <= record.index; ++i) old->MarkEntryDirty(i);
        old->shortNames.insert(ShortKey(old->Entry(record.index)));
        StoreFatDirectory(ctx, *old);
        FlushFatVolume(ctx);
    };

    if (StoreFatDirectory(ctx, *dir) != 0) {
        putBack();
        SetStatusIfNone(foundation::kStatusWriteFailed);
        return -1;
    }
    dir = LoadEditDirectory(ctx, *parent);
    NewEntry placed;
    if (!dir || !PlaceNewEntry(ctx, *dir, item, placed)) {
        if (dir) StoreFatDirectory(ctx, *dir);
        putBack();
        return -1;
    }
    uint8_t* made = dir->Entry(placed.shortIndex);
    std::copy(shortEntry.begin(), shortEntry.end(), made);
    std::copy(placed.shortName.begin(), placed.shortName.end(), made);
    // The case flags described the old short name.
    made[entry::kCaseFlags] = 0;
    dir->MarkEntryDirty(placed.shortIndex);
    BuildLongNameEntries(*dir, placed.shortIndex, placed.longName, LongNameChecksum(placed.shortName.data()));
    dir->shortNames.insert(ShortKey(made));
    if (StoreFatDirectory(ctx, *dir) != 0) {
        SetStatusIfNone(foundation::kStatusWriteFailed);
        FlushFatVolume(ctx);
        return -1;
    }
    // A folder that changed parents: its ".." names the new one (0 for the
    // root on every FAT type).
    const bool isFolder = (record.attribute & attr::kDirectory) != 0;
    if (isFolder && *parent != record.directoryCluster) {
        FatDirectory* own = LoadEditDirectory(ctx, record.firstCluster);
        if (own && own->totalEntries > 1) {
            uint8_t* dotDot = own->Entry(1);
            if (IsLiveShortEntry(dotDot) && ShortNameToText(dotDot, false) == "..") {
                const bool toRoot = ParentOf(item) == ctx.rootFolder;
                SetEntryCluster(dotDot, toRoot ? 0 : *parent);
                own->MarkEntryDirty(1);
                if (StoreFatDirectory(ctx, *own) != 0) {
                    SetStatusIfNone(foundation::kStatusWriteFailed);
                    FlushFatVolume(ctx);
                    return -1;
                }
            }
        }
    }
    if (FlushFatVolume(ctx) != 0) {
        SetStatusIfNone(foundation::kStatusWriteFailed);
        return -1;
    }
    record.directoryCluster = *parent;
    record.index = placed.shortIndex;
    record.entryCount = placed.entryCount;
    SetFatEntryRecord(item, record);
    item->isoName.assign(reinterpret_cast<const char*>(placed.shortName.data()), 11);
    KeepStoredName(item, placed);
    return 0;
}

}  // namespace filesystems
