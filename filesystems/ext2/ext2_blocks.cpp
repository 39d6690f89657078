#include "filesystems/ext2/ext2_blocks.h"

#include <algorithm>
#include <cstring>

#include "filesystems/disk/disk_image.h"
#include "foundation/byte_cursor.h"
#include "image/document/image_context.h"

namespace filesystems::ext2 {
namespace {

// The block through the cache: the cache's bytes, or null when the block
// cannot be read (the cache is then empty).
const uint8_t* CachedRead(image::ImageContext& ctx, Ext2State& vol, Ext2State::CachedBlock& cache, uint64_t block) {
    if (cache.number == block) return cache.bytes.data();
    cache.bytes.resize(vol.blockBytes);
    cache.number = UINT64_MAX;
    if (!ReadExt2Blocks(ctx, vol, block, cache.bytes.data(), 1)) return nullptr;
    cache.number = block;
    return cache.bytes.data();
}

// Pointer `index` of an indirect block: 0 a hole, -1 unreadable or out of the volume.
int64_t PointerIn(image::ImageContext& ctx, Ext2State& vol, Ext2State::CachedBlock& cache, uint32_t block,
                  uint64_t index) {
    if (block == 0) return 0;
    if (block >= vol.blocksCount) return -1;
    const uint8_t* bytes = CachedRead(ctx, vol, cache, block);
    if (!bytes) return -1;
    const uint32_t pointer = foundation::ByteCursor(bytes, vol.blockBytes).Le32(index * 4);
    if (pointer >= vol.blocksCount) return -1;
    return pointer;
}

}  // namespace

uint64_t MappableBlocks(const Ext2State& vol) {
    const uint64_t b = uint64_t{1} << vol.addressBits;
    return ino::kDirectBlocks + b + b * b + b * b * b;
}

bool ReadExt2Blocks(image::ImageContext& ctx, Ext2State& vol, uint64_t block, uint8_t* buffer, uint32_t count) {
    if (count == 0 || block >= vol.blocksCount || count > vol.blocksCount - block) return false;
    const uint64_t sector = block * vol.sectorsPerBlock + ctx.partitionStart;
    const uint64_t sectors = uint64_t{count} * vol.sectorsPerBlock;
    if (sectors > UINT32_MAX) return false;
    return ReadDiskSectors(ctx, sector, buffer, static_cast<uint32_t>(sectors)) == sectors;
}

std::optional<Ext2Inode> ReadExt2Inode(image::ImageContext& ctx, Ext2State& vol, uint32_t n) {
    if (n != kRootInode && n < vol.firstInode) return std::nullopt;
    if (n == 0 || n > vol.inodesCount) return std::nullopt;
    const uint32_t group = (n - 1) / vol.inodesPerGroup;
    if (group >= vol.inodeTables.size()) return std::nullopt;
    const uint64_t byte = uint64_t{(n - 1) % vol.inodesPerGroup} * vol.inodeBytes;
    const uint64_t block = uint64_t{vol.inodeTables[group]} + byte / vol.blockBytes;
    const uint8_t* bytes = CachedRead(ctx, vol, vol.inodeBlock, block);
    if (!bytes) return std::nullopt;
    auto record = foundation::ByteCursor(bytes, vol.blockBytes).Sub(byte % vol.blockBytes, ino::kMinBytes);
    if (!record) return std::nullopt;

    Ext2Inode inode;
    inode.number = n;
    inode.mode = record->Le16(ino::kMode);
    inode.sizeBytes = record->Le32(ino::kSizeLow);
    if (inode.IsRegular()) inode.sizeBytes |= uint64_t{record->Le32(ino::kSizeHigh)} << 32;
    inode.modificationTime = record->Le32(ino::kModificationTime);
    inode.sectorCount = record->Le32(ino::kSectorCount);
    inode.flags = record->Le32(ino::kFlags);
    inode.fileAcl = record->Le32(ino::kFileAcl);
    for (uint32_t w = 0; w < ino::kBlockWords; ++w) inode.blocks[w] = record->Le32(ino::kBlocks + 4 * w);
    record->CopyTo(ino::kBlocks, inode.blockBytes.data(), inode.blockBytes.size());
    if (!record->Ok()) return std::nullopt;
    return inode;
}

int64_t MapExt2Block(image::ImageContext& ctx, Ext2State& vol, const Ext2Inode& inode, uint64_t i) {
    const uint32_t k = vol.addressBits;
    const uint64_t b = uint64_t{1} << k;
    int64_t block = 0;
    if (i < ino::kDirectBlocks) {
        block = inode.blocks[i];
        return block >= vol.blocksCount ? -1 : block;
    }
    i -= ino::kDirectBlocks;
    if (i < b) return PointerIn(ctx, vol, vol.indirect, inode.blocks[12], i);
    i -= b;
    if (i < (b << k)) {
        block = PointerIn(ctx, vol, vol.doubleIndirect[0], inode.blocks[13], i >> k);
        if (block <= 0) return block;
        return PointerIn(ctx, vol, vol.doubleIndirect[1], static_cast<uint32_t>(block), i & (b - 1));
    }
    i -= b << k;
    if ((i >> (2 * k)) >= b) return -1;
    block = PointerIn(ctx, vol, vol.tripleIndirect[0], inode.blocks[14], i >> (2 * k));
    if (block <= 0) return block;
    block = PointerIn(ctx, vol, vol.tripleIndirect[1], static_cast<uint32_t>(block), (i >> k) & (b - 1));
    if (block <= 0) return block;
    return PointerIn(ctx, vol, vol.tripleIndirect[2], static_cast<uint32_t>(block), i & (b - 1));
}

void ClearExt2Caches(Ext2State& vol) {
    for (Ext2State::CachedBlock* cache : {&vol.inodeBlock, &vol.indirect, &vol.doubleIndirect[0],
                                          &vol.doubleIndirect[1], &vol.tripleIndirect[0], &vol.tripleIndirect[1],
                                          &vol.tripleIndirect[2]}) {
        cache->number = UINT64_MAX;
    }
}

}  // namespace filesystems::ext2
