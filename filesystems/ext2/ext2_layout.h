#pragma once
// The on-disk bytes of ext2 and ext3 that the reader uses: offsets of the
// superblock, group descriptor, inode and directory entry fields (all
// little-endian), and the feature bits. The decoded records live in
// ext2_state.h.

#include <cstdint>

namespace filesystems::ext2 {

constexpr uint32_t kSuperblockOffsetBytes = 1024;   // from the start of the volume, whatever the block size
constexpr uint32_t kSuperblockBytes = 1024;
constexpr uint16_t kMagic = 0xEF53;

namespace sb {
constexpr uint32_t kInodesCount = 0;          // 4 bytes
constexpr uint32_t kBlocksCount = 4;          // 4 bytes
constexpr uint32_t kFirstDataBlock = 20;      // 4 bytes: 1 for 1 KiB blocks, else 0
constexpr uint32_t kLogBlockSize = 24;        // 4 bytes: block bytes = 1024 << this
constexpr uint32_t kBlocksPerGroup = 32;      // 4 bytes
constexpr uint32_t kInodesPerGroup = 40;      // 4 bytes
constexpr uint32_t kMagic = 56;               // 2 bytes
constexpr uint32_t kRevision = 76;            // 4 bytes: 0 the original layout, 1 dynamic
constexpr uint32_t kFirstInode = 84;          // 4 bytes (revision 1): first non-reserved inode
constexpr uint32_t kInodeSize = 88;           // 2 bytes (revision 1)
constexpr uint32_t kIncompatible = 96;        // 4 bytes
constexpr uint32_t kReadOnlyCompatible = 100; // 4 bytes
constexpr uint32_t kFirstMetaGroup = 260;     // 4 bytes
}  // namespace sb

// Revision 0 volumes have fixed values where revision 1 has fields.
constexpr uint32_t kRevision0FirstInode = 11;
constexpr uint32_t kRevision0InodeSize = 128;
constexpr uint32_t kRootInode = 2;

// Incompatible features this reader understands; any other bit changes the
// layout (extents, 64-bit descriptors, flexible groups, inline data, ...),
// and reading such a volume as ext2 would give garbage.
namespace incompat {
constexpr uint32_t kFileType = 0x0002;        // directory entries carry a file type
constexpr uint32_t kRecover = 0x0004;         // ext3 journal not replayed: the last writes may be missing
constexpr uint32_t kMetaGroups = 0x0010;      // descriptor blocks spread over the meta groups
constexpr uint32_t kUnderstood = kFileType | kRecover | kMetaGroups;
}  // namespace incompat

namespace rocompat {
constexpr uint32_t kSparseSuperblocks = 0x0001;   // backups only in groups 0, 1 and powers of 3, 5, 7
}

// Group descriptor: 32 bytes without the 64-bit feature (which is refused).
namespace gd {
constexpr uint32_t kBytes = 32;
constexpr uint32_t kBlockBitmap = 0;          // 4 bytes
constexpr uint32_t kInodeBitmap = 4;          // 4 bytes
constexpr uint32_t kInodeTable = 8;           // 4 bytes
}  // namespace gd

// Inode: the first 128 bytes hold everything read here.
namespace ino {
constexpr uint32_t kMinBytes = 128;
constexpr uint32_t kMode = 0;                 // 2 bytes
constexpr uint32_t kSizeLow = 4;              // 4 bytes
constexpr uint32_t kModificationTime = 16;    // 4 bytes, seconds since 1970
constexpr uint32_t kSectorCount = 28;         // 4 bytes: 512-byte units allocated, metadata included
constexpr uint32_t kFlags = 32;               // 4 bytes
constexpr uint32_t kBlocks = 40;              // 15 words: 12 direct, single, double, triple indirect
constexpr uint32_t kBlockWords = 15;
constexpr uint32_t kDirectBlocks = 12;
constexpr uint32_t kFileAcl = 104;            // 4 bytes: extended-attribute block
constexpr uint32_t kSizeHigh = 108;           // 4 bytes (regular files)
// A fast symbolic link keeps its target in the 60 bytes of the block words.
constexpr uint32_t kInlineTargetBytes = kBlockWords * 4;
}  // namespace ino

namespace mode {
constexpr uint16_t kTypeMask = 0xF000;
constexpr uint16_t kRegular = 0x8000;
constexpr uint16_t kDirectory = 0x4000;
constexpr uint16_t kSymlink = 0xA000;
}  // namespace mode

namespace inode_flag {
constexpr uint32_t kIndexedDirectory = 0x00001000;   // htree: still readable as a linear directory
constexpr uint32_t kExtents = 0x00080000;            // ext4 extent tree instead of block pointers
constexpr uint32_t kInlineData = 0x10000000;         // ext4 data inside the inode
}  // namespace inode_flag

// Directory entry.
namespace de {
constexpr uint32_t kInode = 0;                // 4 bytes; 0 an unused entry
constexpr uint32_t kRecordLength = 4;         // 2 bytes
constexpr uint32_t kNameLength = 6;           // 1 byte (2 bytes without the file-type feature; names stop at 255)
constexpr uint32_t kFileType = 7;             // 1 byte with the file-type feature
constexpr uint32_t kName = 8;
constexpr uint32_t kMinRecordBytes = 8;
}  // namespace de

}  // namespace filesystems::ext2
