// Classic HFS: the master directory block, its two B-trees and the catalog.

#include "filesystems/hfs/hfs_volume.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "filesystems/hfs/apple_partition_map.h"
#include "filesystems/hfs/hfs_catalog.h"
#include "filesystems/hfs/hfs_state.h"
#include "filesystems/hfs/hfs_tree_files.h"
#include "filesystems/hfs/mac_roman.h"
#include "foundation/byte_cursor.h"
#include "image/detect/quiet_read_scope.h"

namespace filesystems {
namespace {

// Master directory block, 1024 bytes into the volume (Inside Macintosh: Files 2-60).
constexpr uint64_t kMdbOffset = 1024;
constexpr size_t kAllocBlocks = 18;        // drNmAlBlks, 16-bit
constexpr size_t kAllocBlockBytes = 20;    // drAlBlkSiz, 32-bit
constexpr size_t kAllocStart = 28;         // drAlBlSt, 16-bit, in 512-byte units
constexpr size_t kExtentsFileBytes = 130;  // drXTFlSize
constexpr size_t kExtentsFileExtents = 134;
constexpr size_t kCatalogFileBytes = 146;  // drCTFlSize
constexpr size_t kCatalogFileExtents = 150;
constexpr uint32_t kExtentsFileId = 3;
constexpr uint32_t kCatalogFileId = 4;
constexpr uint8_t kDataFork = 0;

// Catalog key after its length byte: reserved, parent id, name length, name.
constexpr size_t kKeyParent = 1;
constexpr size_t kKeyNameLength = 5;
constexpr size_t kKeyName = 6;
// Catalog records (cdrType at 0).
constexpr uint8_t kFolderRecord = 1;
constexpr uint8_t kFileRecord = 2;
constexpr uint8_t kFolderThread = 3;
constexpr uint8_t kFileThread = 4;
constexpr size_t kFolderRecordBytes = 70;
constexpr size_t kFolderId = 6;            // dirDirID
constexpr size_t kFolderModified = 14;     // dirMdDat
constexpr size_t kFileRecordBytes = 102;
constexpr size_t kFileId = 20;             // filFlNum
constexpr size_t kFileLogicalBytes = 26;   // filLgLen
constexpr size_t kFileModified = 48;       // filMdDat
constexpr size_t kFileExtents = 74;        // filExtRec

// Three extents of 16-bit start and count; a zero count ends the record.
void ReadExtentRecord(const foundation::ByteCursor& c, size_t at, std::vector<HfsExtent>& out) {
    for (size_t i = 0; i < 3; ++i) {
        const uint16_t start = c.Be16(at + 4 * i), count = c.Be16(at + 4 * i + 2);
        if (count == 0) break;
        out.push_back({start, count});
    }
}

int CompareExtentKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    // Key: fork type (1), file id (4), start block (2); ordered by id, fork, start.
    foundation::ByteCursor x(a), y(b);
    if (x.Be32(1) != y.Be32(1)) return x.Be32(1) < y.Be32(1) ? -1 : 1;
    if (x.U8(0) != y.U8(0)) return x.U8(0) < y.U8(0) ? -1 : 1;
    if (x.Be16(5) != y.Be16(5)) return x.Be16(5) < y.Be16(5) ? -1 : 1;
    return 0;
}

// The catalog is read along its leaves, never searched by name: its records
// only need ordering by parent.
int CompareCatalogKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    foundation::ByteCursor x(a), y(b);
    if (x.Be32(kKeyParent) != y.Be32(kKeyParent)) return x.Be32(kKeyParent) < y.Be32(kKeyParent) ? -1 : 1;
    return 0;
}

// The extents record of (file, data fork) that begins at fileBlock.
bool LookUpExtents(HfsBTree& tree, uint32_t fileId, uint32_t fileBlock, std::vector<HfsExtent>& out) {
    if (fileBlock > UINT16_MAX || !tree.IsOpen()) return false;
    std::array<uint8_t, 7> key{kDataFork, uint8_t(fileId >> 24), uint8_t(fileId >> 16), uint8_t(fileId >> 8),
                               uint8_t(fileId), uint8_t(fileBlock >> 8), uint8_t(fileBlock)};
    std::shared_ptr<const HfsNode> node;
    HfsRecord found;
    if (tree.Search(key, node, found) != 1) return false;
    ReadExtentRecord(foundation::ByteCursor(found.data), 0, out);
    return true;
}

std::u16string HfsName(std::span<const uint8_t> bytes) {
    std::u16string name = MacRomanToUtf16(bytes);
    std::replace(name.begin(), name.end(), u'/', u':');
    return name;
}

}  // namespace

int MountHfs(image::ImageContext& ctx) {
    image::QuietReadScope quiet(ctx);
    ctx.hfsVolume.Reset();
    std::array<uint8_t, 512> mdb{};
    uint64_t start = 0;
    if (!ReadImageBytes(ctx, kMdbOffset, mdb.data(), mdb.size())) return 0;
    if (mdb[0] != 'B' || mdb[1] != 'D') {
        const std::optional<uint64_t> partition = FindAppleHfsPartition(ctx, 0, 512);
        if (!partition || *partition == 0) return 0;
        start = *partition;
        if (!ReadImageBytes(ctx, start + kMdbOffset, mdb.data(), mdb.size())) return 0;
        if (mdb[0] != 'B' || mdb[1] != 'D') return 0;
    }
    foundation::ByteCursor c(mdb);
    const uint32_t blockBytes = c.Be32(kAllocBlockBytes);
    if (blockBytes == 0 || blockBytes % 512 != 0) return 0;

    std::unique_ptr<image::HfsVolume> volume;
    try {
        volume = std::make_unique<image::HfsVolume>();
        volume->volumeStartBytes = start;
        volume->geometry.blockBytes = blockBytes;
        volume->geometry.allocStartBytes = start + uint64_t(c.Be16(kAllocStart)) * 512;
        volume->geometry.totalBlocks = c.Be16(kAllocBlocks);

        // The extents file maps itself through the block only: looking its
        // further blocks up in itself could never end.
        HfsFork extentsFork;
        extentsFork.logicalBytes = c.Be32(kExtentsFileBytes);
        ReadExtentRecord(c, kExtentsFileExtents, extentsFork.extents);
        if (!CompleteHfsFork(volume->geometry, extentsFork, nullptr)) return 0;
        if (!OpenTreeFile(ctx, *volume, volume->extentsTree, extentsFork, HfsKeyWidth::Byte, CompareExtentKeys))
            return 0;

        HfsFork catalogFork;
        catalogFork.logicalBytes = c.Be32(kCatalogFileBytes);
        ReadExtentRecord(c, kCatalogFileExtents, catalogFork.extents);
        HfsBTree& extents = volume->extentsTree;
        if (!CompleteHfsFork(volume->geometry, catalogFork, [&](uint32_t block, std::vector<HfsExtent>& out) {
                return LookUpExtents(extents, kCatalogFileId, block, out);
            }))
            return 0;
        if (!OpenTreeFile(ctx, *volume, volume->catalogTree, catalogFork, HfsKeyWidth::Byte, CompareCatalogKeys))
            return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    ctx.hfsVolume.Attach(volume.release(), [](image::HfsVolume* v) { delete v; });
    return 1;
}

int BuildHfsTree(image::ImageContext& ctx) {
    image::HfsVolume* volume = ctx.hfsVolume.get();
    if (!volume || !ctx.rootFolder) return -1;
    image::QuietReadScope quiet(ctx);
    std::vector<MacCatalogEntry> entries;
    bool walkOk = true;
    try {
        uint32_t lastParent = 0;
        const bool chainOk = volume->catalogTree.WalkLeaves([&](const HfsRecord& r) {
            foundation::ByteCursor key(r.key), data(r.data);
            const uint32_t parent = key.Be32(kKeyParent);
            const uint8_t nameLength = key.U8(kKeyNameLength);
            if (!key.Ok()) return walkOk = false;
            // Keys rise along the chain: a record out of order is damage.
            if (parent < lastParent) return walkOk = false;
            lastParent = parent;
            if (r.key.size() < kKeyName || nameLength > r.key.size() - kKeyName) {
                ++volume->skippedEntries;
                return true;
            }
            MacCatalogEntry e;
            e.parentId = parent;
            const uint8_t type = data.U8(0);
            if (type == kFolderRecord && data.Size() >= kFolderRecordBytes) {
                e.folder = true;
                e.id = data.Be32(kFolderId);
                e.modified = MacDateToUnix(data.Be32(kFolderModified), true);
            } else if (type == kFileRecord && data.Size() >= kFileRecordBytes) {
                e.id = data.Be32(kFileId);
                e.modified = MacDateToUnix(data.Be32(kFileModified), true);
                e.dataFork.logicalBytes = data.Be32(kFileLogicalBytes);
                ReadExtentRecord(data, kFileExtents, e.dataFork.extents);
            } else {
                if (type != kFolderThread && type != kFileThread) ++volume->skippedEntries;
                return true;
            }
            e.name = HfsName(r.key.subspan(kKeyName, nameLength));
            KeepCatalogEntry(ctx, *volume, std::move(e), entries);
            return true;
        });
        walkOk = walkOk && chainOk;
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return FinishMacMount(ctx, *volume, entries, walkOk, 1, LookUpExtents);
}

}  // namespace filesystems
