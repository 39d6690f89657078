// HFS+ and HFSX: the volume header (alone, behind a partition map, or inside
// an HFS wrapper), the extents overflow and catalog B-trees, the catalog.

#include <algorithm>
#include <array>
#include <memory>
#include <new>

#include "filesystems/hfs/apple_partition_map.h"
#include "filesystems/hfs/hfs_catalog.h"
#include "filesystems/hfs/hfs_state.h"
#include "filesystems/hfs/hfs_tree_files.h"
#include "filesystems/hfs/hfs_volume.h"
#include "foundation/byte_cursor.h"
#include "image/detect/quiet_read_scope.h"

namespace filesystems {
namespace {

// Volume header, 1024 bytes into the volume (TN1150).
constexpr uint64_t kHeaderOffset = 1024;
constexpr size_t kBlockBytes = 40;
constexpr size_t kTotalBlocks = 44;
constexpr size_t kExtentsFork = 192;
constexpr size_t kCatalogFork = 272;
// HFSPlusForkData: logical size (8), clump (4), blocks (4), eight extents.
constexpr size_t kForkExtents = 16;
constexpr size_t kForkExtentCount = 8;
constexpr uint32_t kCatalogFileId = 4;
constexpr uint8_t kDataFork = 0;
constexpr uint8_t kBinaryCompare = 0xBC;

// HFS wrapper fields of the master directory block.
constexpr size_t kWrapperAttributes = 10;
constexpr uint16_t kWrapperAttributeBits = 0x8200;
constexpr size_t kWrapperBlockBytes = 20;
constexpr size_t kWrapperAllocStart = 28;
constexpr size_t kEmbeddedSignature = 124;
constexpr size_t kEmbeddedStart = 126;

// Catalog key after its length: parent id (4), name length (2), UTF-16 name.
constexpr size_t kKeyParent = 0;
constexpr size_t kKeyNameLength = 4;
constexpr size_t kKeyName = 6;
constexpr uint16_t kMaxNameLength = 255;
// Catalog records (16-bit type at 0).
constexpr uint16_t kFolderRecord = 1;
constexpr uint16_t kFileRecord = 2;
constexpr uint16_t kFolderThread = 3;
constexpr uint16_t kFileThread = 4;
constexpr size_t kFolderRecordBytes = 88;
constexpr size_t kFileRecordBytes = 248;
constexpr size_t kRecordId = 8;
constexpr size_t kContentModified = 16;
constexpr size_t kDataForkAt = 88;

bool IsPlusSignature(const uint8_t* s) { return s[0] == 'H' && (s[1] == '+' || s[1] == 'X'); }

void ReadForkData(const foundation::ByteCursor& c, size_t at, HfsFork& fork) {
    fork.logicalBytes = c.Be64(at);
    for (size_t i = 0; i < kForkExtentCount; ++i) {
        const uint32_t start = c.Be32(at + kForkExtents + 8 * i), count = c.Be32(at + kForkExtents + 8 * i + 4);
        if (count == 0) break;
        fork.extents.push_back({start, count});
    }
}

int CompareExtentKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    // Key: fork type (1), pad (1), file id (4), start block (4); ordered by id, fork, start.
    foundation::ByteCursor x(a), y(b);
    if (x.Be32(2) != y.Be32(2)) return x.Be32(2) < y.Be32(2) ? -1 : 1;
    if (x.U8(0) != y.U8(0)) return x.U8(0) < y.U8(0) ? -1 : 1;
    if (x.Be32(6) != y.Be32(6)) return x.Be32(6) < y.Be32(6) ? -1 : 1;
    return 0;
}

// The catalog is read along its leaves, never searched by name: its records
// only need ordering by parent.
int CompareCatalogKeys(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    foundation::ByteCursor x(a), y(b);
    if (x.Be32(kKeyParent) != y.Be32(kKeyParent)) return x.Be32(kKeyParent) < y.Be32(kKeyParent) ? -1 : 1;
    return 0;
}

bool LookUpExtents(HfsBTree& tree, uint32_t fileId, uint32_t fileBlock, std::vector<HfsExtent>& out) {
    if (!tree.IsOpen()) return false;
    const std::array<uint8_t, 10> key{kDataFork,          0,
                                      uint8_t(fileId >> 24), uint8_t(fileId >> 16),
                                      uint8_t(fileId >> 8),  uint8_t(fileId),
                                      uint8_t(fileBlock >> 24), uint8_t(fileBlock >> 16),
                                      uint8_t(fileBlock >> 8),  uint8_t(fileBlock)};
    std::shared_ptr<const HfsNode> node;
    HfsRecord found;
    if (tree.Search(key, node, found) != 1) return false;
    foundation::ByteCursor c(found.data);
    for (size_t i = 0; i < kForkExtentCount; ++i) {
        const uint32_t start = c.Be32(8 * i), count = c.Be32(8 * i + 4);
        if (count == 0 || !c.Ok()) break;
        out.push_back({start, count});
    }
    return true;
}

std::u16string PlusName(std::span<const uint8_t> bytes) {
    std::u16string name(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < name.size(); ++i) name[i] = char16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return name;
}

// Where the volume header lies: one hop through a partition map and one into
// an HFS wrapper at most, each strictly forward. Nothing when there is none.
std::optional<uint64_t> FindPlusVolume(image::ImageContext& ctx, int scale, std::array<uint8_t, 512>& header) {
    uint64_t start = 0;
    bool mapped = false, unwrapped = false;
    for (;;) {
        if (!ReadImageBytes(ctx, start + kHeaderOffset, header.data(), header.size())) return std::nullopt;
        if (IsPlusSignature(header.data())) return start;
        foundation::ByteCursor c(header);
        if (header[0] == 'B' && header[1] == 'D') {
            const uint32_t blockBytes = c.Be32(kWrapperBlockBytes);
            const bool wrapper = (c.Be16(kWrapperAttributes) & kWrapperAttributeBits) == kWrapperAttributeBits &&
                                 IsPlusSignature(&header[kEmbeddedSignature]);
            if (!wrapper || unwrapped || blockBytes < 512 || blockBytes % 512 != 0) return std::nullopt;
            const uint64_t offset =
                uint64_t(c.Be16(kWrapperAllocStart)) * 512 + uint64_t(c.Be16(kEmbeddedStart)) * blockBytes;
            if (offset == 0) return std::nullopt;
            start += offset;
            unwrapped = true;
            continue;
        }
        if (mapped || unwrapped) return std::nullopt;
        const std::optional<uint64_t> partition = FindAppleHfsPartition(ctx, start, 512u * uint32_t(scale));
        if (!partition || *partition == 0) return std::nullopt;
        start += *partition;
        mapped = true;
    }
}

}  // namespace

int MountHfsPlus(image::ImageContext& ctx, int scale) {
    if (scale != 1 && scale != 4) return 0;
    image::QuietReadScope quiet(ctx);
    ctx.hfsPlusVolume.Reset();
    std::array<uint8_t, 512> header{};
    const std::optional<uint64_t> start = FindPlusVolume(ctx, scale, header);
    if (!start) return 0;
    foundation::ByteCursor c(header);
    const uint32_t blockBytes = c.Be32(kBlockBytes);
    if (blockBytes < 512 || (blockBytes & (blockBytes - 1)) != 0) return 0;

    std::unique_ptr<image::HfsPlusVolume> volume;
    try {
        volume = std::make_unique<image::HfsPlusVolume>();
        volume->plus = true;
        volume->hfsx = header[1] == 'X';
        volume->volumeStartBytes = *start;
        volume->geometry.blockBytes = blockBytes;
        volume->geometry.allocStartBytes = *start;
        volume->geometry.totalBlocks = c.Be32(kTotalBlocks);

        // The extents file maps itself through the header only.
        HfsFork extentsFork;
        ReadForkData(c, kExtentsFork, extentsFork);
        if (extentsFork.logicalBytes != 0) {
            if (!CompleteHfsFork(volume->geometry, extentsFork, nullptr)) return 0;
            if (!OpenTreeFile(ctx, *volume, volume->extentsTree, extentsFork, HfsKeyWidth::Word, CompareExtentKeys))
                return 0;
        }
        HfsFork catalogFork;
        ReadForkData(c, kCatalogFork, catalogFork);
        HfsBTree& extents = volume->extentsTree;
        if (!CompleteHfsFork(volume->geometry, catalogFork, [&](uint32_t block, std::vector<HfsExtent>& out) {
                return LookUpExtents(extents, kCatalogFileId, block, out);
            }))
            return 0;
        if (!OpenTreeFile(ctx, *volume, volume->catalogTree, catalogFork, HfsKeyWidth::Word, CompareCatalogKeys))
            return 0;
        volume->binaryNames = volume->hfsx && volume->catalogTree.KeyCompareType() == kBinaryCompare;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    ctx.hfsPlusVolume.Attach(volume.release(), [](image::HfsPlusVolume* v) { delete v; });
    return 1;
}

int BuildHfsPlusTree(image::ImageContext& ctx) {
    image::HfsPlusVolume* volume = ctx.hfsPlusVolume.get();
    if (!volume || !ctx.rootFolder) return -1;
    image::QuietReadScope quiet(ctx);
    std::vector<MacCatalogEntry> entries;
    bool walkOk = true;
    try {
        uint32_t lastParent = 0;
        const bool chainOk = volume->catalogTree.WalkLeaves([&](const HfsRecord& r) {
            foundation::ByteCursor key(r.key), data(r.data);
            const uint32_t parent = key.Be32(kKeyParent);
            const uint16_t nameLength = key.Be16(kKeyNameLength);
            if (!key.Ok()) return walkOk = false;
            // Keys rise along the chain: a record out of order is damage.
            if (parent < lastParent) return walkOk = false;
            lastParent = parent;
            if (nameLength > kMaxNameLength || kKeyName + 2 * uint64_t(nameLength) > r.key.size()) {
                ++volume->skippedEntries;
                return true;
            }
            MacCatalogEntry e;
            e.parentId = parent;
            const uint16_t type = data.Be16(0);
            if (type == kFolderRecord && data.Size() >= kFolderRecordBytes) {
                e.folder = true;
                e.id = data.Be32(kRecordId);
                e.modified = MacDateToUnix(data.Be32(kContentModified), false);
            } else if (type == kFileRecord && data.Size() >= kFileRecordBytes) {
                e.id = data.Be32(kRecordId);
                e.modified = MacDateToUnix(data.Be32(kContentModified), false);
                ReadForkData(data, kDataForkAt, e.dataFork);
            } else {
                if (type != kFolderThread && type != kFileThread) ++volume->skippedEntries;
                return true;
            }
            e.name = PlusName(r.key.subspan(kKeyName, 2 * size_t(nameLength)));
            KeepCatalogEntry(ctx, *volume, std::move(e), entries);
            return true;
        });
        walkOk = walkOk && chainOk;
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return FinishMacMount(ctx, *volume, entries, walkOk, 2, LookUpExtents);
}

}  // namespace filesystems
