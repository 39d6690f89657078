#pragma once
// A mounted ext2/ext3 volume: its decoded superblock and group table, and the
// reads every other part goes through: whole blocks, inodes, and the block map
// of an inode (direct, single, double and triple indirect pointers).
//
// The caches (last inode-table block, last block of each indirect level) make
// a walk over a file's blocks read each indirect block once. They belong to
// the volume, and the volume's lock guards them: callers of the reads below
// hold it.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "filesystems/ext2/ext2_layout.h"

namespace image {
struct ImageContext;

struct Ext2State {
    struct CachedBlock {
        uint64_t number = UINT64_MAX;   // UINT64_MAX: empty
        std::vector<uint8_t> bytes;     // one block
    };

    std::array<uint8_t, filesystems::ext2::kSuperblockBytes> superblock{};
    uint32_t blockBytes = 0;
    uint32_t sectorsPerBlock = 0;
    uint32_t addressBits = 0;           // log2(blockBytes / 4): bits of an index inside an indirect block
    uint32_t blocksCount = 0;
    uint32_t firstDataBlock = 0;
    uint32_t blocksPerGroup = 0;
    uint32_t inodesCount = 0;
    uint32_t inodesPerGroup = 0;
    uint32_t inodeBytes = 0;
    uint32_t firstInode = 0;            // first inode past the reserved ones
    uint32_t groupCount = 0;
    uint32_t incompatibleFeatures = 0;
    uint32_t descriptorsPerBlock = 0;
    std::vector<uint32_t> inodeTables;  // first block of each group's inode table, checked at mount

    CachedBlock inodeBlock;
    // Levels of the last lookup through each kind of indirect pointer.
    CachedBlock indirect;
    std::array<CachedBlock, 2> doubleIndirect;
    std::array<CachedBlock, 3> tripleIndirect;

    // One reader at a time uses the caches (an extraction worker, a view).
    std::mutex lock;
};
}  // namespace image

namespace filesystems::ext2 {

using Ext2State = image::Ext2State;

// An inode's fields as the reader uses them.
struct Ext2Inode {
    uint32_t number = 0;
    uint16_t mode = 0;
    uint64_t sizeBytes = 0;             // the high half only for regular files
    uint32_t modificationTime = 0;      // seconds since 1970
    uint32_t sectorCount = 0;           // 512-byte units allocated
    uint32_t flags = 0;
    uint32_t fileAcl = 0;
    std::array<uint32_t, ino::kBlockWords> blocks{};
    std::array<uint8_t, ino::kInlineTargetBytes> blockBytes{};   // the same words as bytes (fast symbolic links)

    uint16_t Type() const { return mode & mode::kTypeMask; }
    bool IsDirectory() const { return Type() == mode::kDirectory; }
    bool IsRegular() const { return Type() == mode::kRegular; }
    bool IsSymlink() const { return Type() == mode::kSymlink; }
    // Blocks of data a size of sizeBytes covers.
    uint64_t DataBlocks(uint32_t blockSize) const { return sizeBytes / blockSize + (sizeBytes % blockSize ? 1 : 0); }
};

// Logical blocks the 15 pointers can reach: 12 + B + B^2 + B^3 with B pointers
// per block.
uint64_t MappableBlocks(const Ext2State& vol);

// Reads count whole blocks from block on; false when any lies past the
// volume or the disk read fails.
bool ReadExt2Blocks(image::ImageContext& ctx, Ext2State& vol, uint64_t block, uint8_t* buffer, uint32_t count);

// Inode n: 2 (the root) or a number from the first non-reserved inode up to
// the inodes count. Nothing when n is out of range or unreadable.
std::optional<Ext2Inode> ReadExt2Inode(image::ImageContext& ctx, Ext2State& vol, uint32_t n);

// The volume block of logical block i of the inode: 0 for a hole (a zero
// pointer at any level), -1 when an indirect block cannot be read, a pointer
// lies past the volume, or i is beyond what the pointers reach.
int64_t MapExt2Block(image::ImageContext& ctx, Ext2State& vol, const Ext2Inode& inode, uint64_t i);

// Drops the cached blocks (a new volume, or tests).
void ClearExt2Caches(Ext2State& vol);

}  // namespace filesystems::ext2
