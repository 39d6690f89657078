#pragma once
// ext2 and ext3 volumes in a hard-disk image, read-only: the mount that
// builds the document's item tree, and the extraction of one item's data.
//
// Every sector is read through ReadDiskSectors from ctx.partitionStart on.
// Items of the tree carry their inode number in startSector. Volumes that use
// features this reader does not know (ext4 extents, 64-bit descriptors,
// flexible block groups, inline data, ...) are refused rather than read as
// garbage.

#include <cstdint>
#include <string_view>

#include "foundation/file_io.h"
#include "image/document/image_context.h"

namespace foundation {
struct ProgressCallbacks;
}

namespace filesystems {

// Why a mount gave 0, for an opener that words its own message.
enum class Ext2Refusal {
    kNone,
    kNotExt2,               // no superblock magic
    kUnknownFeatures,       // incompatible feature bits beyond what the reader knows
    kDamaged,               // a superblock or group field out of its bounds
    kUnreadable,            // the descriptors or the root directory cannot be read
};

// What the mount met besides good entries; recoverable oddities are counted
// and the tree is built from the rest.
struct Ext2MountReport {
    Ext2Refusal refusal = Ext2Refusal::kNone;
    uint32_t unknownFeatures = 0;       // the incompatible bits that refused the volume
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t droppedEntries = 0;        // inode unreadable or out of range, name empty
    uint64_t badDirectoryBlocks = 0;    // a broken record: the rest of its block is skipped
    uint64_t unreadableDirectories = 0; // extents, too large for the volume, or a block unreadable
    uint64_t repeatedDirectories = 0;   // a directory met a second time (hard link or loop)
    uint64_t tooDeepDirectories = 0;
    uint64_t directoryBytesRead = 0;
};

// 1 mounted with its tree, 0 otherwise (state freed, slot cleared). An ext2
// volume in a Linux LVM partition may sit a little way in: the partition's
// first 4096 sectors are searched, and ctx.partitionStart moves to it.
int MountExt2(image::ImageContext& ctx, Ext2MountReport* report = nullptr);

// Writes the whole data of a file item (for a symbolic link: its target) to
// output. 1 done, 0 cancelled (OperationStatus 1), -1 failed with
// OperationStatus set: 4 the volume could not be read or the inode is not one
// this reader can read, 3 the output could not be written. Progress is
// reported in bytes through progress->AddDone; progress may be null. path
// names the output for the caller's messages; the reader shows none.
int ExtractExt2File(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, const image::ImageItem& item,
                    std::u16string_view path, foundation::FileHandle output);

void FreeExt2Volume(image::ImageContext& ctx);

}  // namespace filesystems
