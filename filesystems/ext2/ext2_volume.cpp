#include "filesystems/ext2/ext2_volume.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "filesystems/disk/disk_image.h"
#include "filesystems/ext2/ext2_blocks.h"
#include "filesystems/ext2/ext2_directory.h"
#include "filesystems/ext2/ext2_layout.h"
#include "foundation/byte_cursor.h"
#include "image/document/image_context.h"

namespace filesystems {
namespace {

using ext2::Ext2State;
namespace sb = ext2::sb;
namespace gd = ext2::gd;

// Partition class of a Linux LVM partition (type 0x8E).
constexpr int32_t kLinuxLvmClass = 8;
// An LVM partition keeps its own header first; the volume is searched for
// this many sectors in.
constexpr uint32_t kLvmSearchSectors = 4096;
constexpr uint32_t kSearchChunkSectors = 256;
constexpr uint32_t kSuperblockSector = ext2::kSuperblockOffsetBytes / kDiskSectorBytes;
constexpr uint32_t kSuperblockSectors = ext2::kSuperblockBytes / kDiskSectorBytes;
// Blocks of 1 KiB up to 64 KiB.
constexpr uint32_t kMaxLogBlockSize = 6;

void FreeState(image::Ext2State* state) { delete state; }

// Bytes the volume may occupy from its first sector: the partition's, or the
// image file's beyond the start.
uint64_t AvailableBytes(image::ImageContext& ctx, uint64_t partitionEnd) {
    const uint64_t start = ctx.partitionStart;
    if (partitionEnd > 0) return partitionEnd > start ? (partitionEnd - start) * kDiskSectorBytes : 0;
    int64_t size = ctx.imageSize;
    if (size <= 0 && ctx.imageHandle) size = foundation::GetFileSize64(ctx.imageHandle.get());
    const uint64_t startBytes = start * kDiskSectorBytes;
    return size > 0 && static_cast<uint64_t>(size) > startBytes ? static_cast<uint64_t>(size) - startBytes : 0;
}

// The superblock's fields, checked against each other; kNone when sound.
Ext2Refusal DecodeSuperblock(Ext2State& vol, Ext2MountReport& report) {
    const foundation::ByteCursor s(vol.superblock.data(), vol.superblock.size());
    if (s.Le16(sb::kMagic) != ext2::kMagic) return Ext2Refusal::kNotExt2;
    vol.incompatibleFeatures = s.Le32(sb::kIncompatible);
    if (vol.incompatibleFeatures & ~ext2::incompat::kUnderstood) {
        report.unknownFeatures = vol.incompatibleFeatures & ~ext2::incompat::kUnderstood;
        return Ext2Refusal::kUnknownFeatures;
    }
    const uint32_t logBlockSize = s.Le32(sb::kLogBlockSize);
    if (logBlockSize > kMaxLogBlockSize) return Ext2Refusal::kDamaged;
    vol.blockBytes = 1024u << logBlockSize;
    vol.sectorsPerBlock = vol.blockBytes / kDiskSectorBytes;
    vol.addressBits = static_cast<uint32_t>(std::countr_zero(vol.blockBytes / 4));
    vol.descriptorsPerBlock = vol.blockBytes / gd::kBytes;
    vol.blocksCount = s.Le32(sb::kBlocksCount);
    vol.firstDataBlock = s.Le32(sb::kFirstDataBlock);
    vol.blocksPerGroup = s.Le32(sb::kBlocksPerGroup);
    vol.inodesCount = s.Le32(sb::kInodesCount);
    vol.inodesPerGroup = s.Le32(sb::kInodesPerGroup);
    // A group's bitmaps are one block each.
    const uint32_t bitsPerBlock = vol.blockBytes * 8;
    if (vol.blocksPerGroup == 0 || vol.blocksPerGroup > bitsPerBlock) return Ext2Refusal::kDamaged;
    if (vol.inodesPerGroup == 0 || vol.inodesPerGroup > bitsPerBlock) return Ext2Refusal::kDamaged;
    if (vol.blocksCount <= vol.firstDataBlock || vol.firstDataBlock > 1) return Ext2Refusal::kDamaged;
    if (s.Le32(sb::kRevision) == 0) {
        vol.inodeBytes = ext2::kRevision0InodeSize;
        vol.firstInode = ext2::kRevision0FirstInode;
    } else {
        vol.inodeBytes = s.Le16(sb::kInodeSize);
        vol.firstInode = s.Le32(sb::kFirstInode);
    }
    if (vol.inodeBytes < ext2::ino::kMinBytes || vol.inodeBytes > vol.blockBytes ||
        !std::has_single_bit(vol.inodeBytes)) {
        return Ext2Refusal::kDamaged;
    }
    vol.groupCount = (vol.blocksCount - vol.firstDataBlock - 1) / vol.blocksPerGroup + 1;
    if (vol.inodesCount == 0 || vol.inodesCount > uint64_t{vol.groupCount} * vol.inodesPerGroup) {
        return Ext2Refusal::kDamaged;
    }
    if (vol.firstInode < ext2::kRevision0FirstInode || vol.firstInode > vol.inodesCount) return Ext2Refusal::kDamaged;
    return Ext2Refusal::kNone;
}

bool HasSuperblockBackup(const Ext2State& vol, uint64_t group) {
    if (!(foundation::ByteCursor(vol.superblock.data(), vol.superblock.size()).Le32(sb::kReadOnlyCompatible) &
          ext2::rocompat::kSparseSuperblocks)) {
        return true;
    }
    if (group <= 1) return true;
    for (uint64_t base : {3, 5, 7}) {
        uint64_t power = base;
        while (power < group) power *= base;
        if (power == group) return true;
    }
    return false;
}

// Where descriptor block b lies.
uint64_t DescriptorBlock(const Ext2State& vol, uint64_t b) {
    const foundation::ByteCursor s(vol.superblock.data(), vol.superblock.size());
    const bool metaGroups = (vol.incompatibleFeatures & ext2::incompat::kMetaGroups) != 0;
    if (!metaGroups || b < s.Le32(sb::kFirstMetaGroup)) return (1024 / vol.blockBytes) + b + 1;
    const uint64_t group = b * vol.descriptorsPerBlock;
    return vol.firstDataBlock + group * vol.blocksPerGroup + (HasSuperblockBackup(vol, group) ? 1 : 0);
}

// Reads the descriptors and keeps each group's inode table; every group's
// bitmaps and table must lie inside the group (flexible block groups, which
// put them elsewhere, are not read).
Ext2Refusal ReadGroupTable(image::ImageContext& ctx, Ext2State& vol, uint64_t availableBytes) {
    const uint64_t descriptorBlocks = (uint64_t{vol.groupCount} + vol.descriptorsPerBlock - 1) / vol.descriptorsPerBlock;
    // The table is read from the volume, so it cannot be larger than it.
    if (descriptorBlocks * vol.blockBytes > availableBytes) return Ext2Refusal::kDamaged;
    std::vector<uint8_t> block(vol.blockBytes);
    vol.inodeTables.assign(vol.groupCount, 0);
    const uint64_t tableBlocks =
        (uint64_t{vol.inodesPerGroup} * vol.inodeBytes + vol.blockBytes - 1) / vol.blockBytes;
    for (uint64_t b = 0; b < descriptorBlocks; ++b) {
        if (!ext2::ReadExt2Blocks(ctx, vol, DescriptorBlock(vol, b), block.data(), 1)) return Ext2Refusal::kUnreadable;
        const foundation::ByteCursor descriptors(block.data(), block.size());
        for (uint64_t k = 0; k < vol.descriptorsPerBlock; ++k) {
            const uint64_t group = b * vol.descriptorsPerBlock + k;
            if (group >= vol.groupCount) break;
            const uint64_t from = vol.firstDataBlock + group * vol.blocksPerGroup;
            const uint64_t to = group + 1 == vol.groupCount ? vol.blocksCount - 1 : from + vol.blocksPerGroup - 1;
            const uint64_t at = k * gd::kBytes;
            const uint32_t blockBitmap = descriptors.Le32(at + gd::kBlockBitmap);
            const uint32_t inodeBitmap = descriptors.Le32(at + gd::kInodeBitmap);
            const uint32_t inodeTable = descriptors.Le32(at + gd::kInodeTable);
            if (blockBitmap < from || blockBitmap > to || inodeBitmap < from || inodeBitmap > to ||
                inodeTable < from || inodeTable > to + 1 || inodeTable + tableBlocks > vol.blocksCount) {
                return Ext2Refusal::kDamaged;
            }
            vol.inodeTables[group] = inodeTable;
        }
    }
    return Ext2Refusal::kNone;
}

// The superblock at the partition's start; for an LVM partition, also a
// little way in. On success ctx.partitionStart points at the volume.
Ext2Refusal FindSuperblock(image::ImageContext& ctx, Ext2State& vol, Ext2MountReport& report) {
    const uint64_t start = ctx.partitionStart;
    if (ReadDiskSectors(ctx, start + kSuperblockSector, vol.superblock.data(), kSuperblockSectors) ==
        kSuperblockSectors) {
        const Ext2Refusal refusal = DecodeSuperblock(vol, report);
        if (refusal != Ext2Refusal::kNotExt2 || ctx.partitionClass != kLinuxLvmClass) return refusal;
    } else if (ctx.partitionClass != kLinuxLvmClass) {
        return Ext2Refusal::kNotExt2;
    }
    std::vector<uint8_t> chunk((kSearchChunkSectors + kSuperblockSectors) * kDiskSectorBytes);
    for (uint32_t first = 1; first < kLvmSearchSectors; first += kSearchChunkSectors) {
        const uint32_t count = std::min(kSearchChunkSectors, kLvmSearchSectors - first);
        const uint32_t got = ReadDiskSectors(ctx, start + first + kSuperblockSector, chunk.data(),
                                             count + kSuperblockSectors);
        if (got != count + kSuperblockSectors) return Ext2Refusal::kNotExt2;
        for (uint32_t i = 0; i < count; ++i) {
            const foundation::ByteCursor sector(chunk.data() + size_t{i} * kDiskSectorBytes, kDiskSectorBytes);
            if (sector.Le16(sb::kMagic) != ext2::kMagic) continue;
            std::copy_n(chunk.data() + size_t{i} * kDiskSectorBytes, vol.superblock.size(), vol.superblock.begin());
            if (DecodeSuperblock(vol, report) != Ext2Refusal::kNone) continue;
            ctx.partitionStart += first + i;
            return Ext2Refusal::kNone;
        }
    }
    return Ext2Refusal::kNotExt2;
}

Ext2Refusal Mount(image::ImageContext& ctx, Ext2State& vol, Ext2MountReport& report) {
    const uint64_t partitionEnd = ctx.partitionSectors > 0 ? ctx.partitionStart + ctx.partitionSectors : 0;
    Ext2Refusal refusal = FindSuperblock(ctx, vol, report);
    if (refusal != Ext2Refusal::kNone) return refusal;
    const uint64_t availableBytes = AvailableBytes(ctx, partitionEnd);
    refusal = ReadGroupTable(ctx, vol, availableBytes);
    if (refusal != Ext2Refusal::kNone) return refusal;
    const std::optional<ext2::Ext2Inode> root = ext2::ReadExt2Inode(ctx, vol, ext2::kRootInode);
    if (!root) return Ext2Refusal::kUnreadable;
    const uint64_t volumeBytes = std::min<uint64_t>(uint64_t{vol.blocksCount} * vol.blockBytes, availableBytes);
    if (!ext2::ReadExt2Tree(ctx, vol, *root, volumeBytes, report)) return Ext2Refusal::kUnreadable;
    return Ext2Refusal::kNone;
}

}  // namespace

int MountExt2(image::ImageContext& ctx, Ext2MountReport* report) {
    Ext2MountReport local;
    Ext2MountReport& out = report ? *report : local;
    out = Ext2MountReport{};
    ctx.ext2State.Reset();
    std::unique_ptr<Ext2State> vol(new (std::nothrow) Ext2State);
    if (!vol) return 0;
    const uint64_t partitionStart = ctx.partitionStart;
    out.refusal = Mount(ctx, *vol, out);
    if (out.refusal != Ext2Refusal::kNone) {
        ctx.partitionStart = partitionStart;
        return 0;
    }
    ctx.ext2State.Attach(vol.release(), FreeState);
    ctx.volumeTexts[image::volume_text::kVolumeLabel] = u"/";
    return 1;
}

void FreeExt2Volume(image::ImageContext& ctx) { ctx.ext2State.Reset(); }

}  // namespace filesystems
