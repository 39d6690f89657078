#pragma once
// FAT12, FAT16 and FAT32 volumes in a hard-disk image: mounting a volume into
// the document's item tree, reading its files, and the sector reader that sees
// the volume's edits (fat_write.h) before the disk below.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "image/document/image_context.h"

namespace filesystems {

enum class FatType : int32_t { kFat12 = 1, kFat16 = 2, kFat32 = 3 };

// The constants of one FAT type (the first word's low byte is the media byte).
struct FatMarks {
    uint32_t fat0 = 0;
    uint32_t fat1 = 0;
    uint32_t free = 0;
    uint32_t endOfChain = 0;
    uint32_t bad = 0;
    const char* typeLabel = "";
};

// The mounted volume, decoded from the boot sector. Sector numbers are
// relative to the partition start unless named absolute.
struct FatVolume {
    FatType type = FatType::kFat12;
    uint32_t dataStart = 0;           // first sector of the data area
    uint32_t rootStart = 0;           // FAT12/16 fixed root directory
    uint32_t rootSectors = 0;         // 0 for FAT32
    uint32_t rootEntries = 0;         // FAT12/16
    uint32_t rootCluster = 0;         // FAT32
    uint32_t clusterCount = 0;        // data clusters: numbers 2 .. clusterCount + 1
    uint32_t entriesPerCluster = 0;
    uint32_t clusterBytes = 0;
    uint32_t sectorsPerCluster = 0;
    uint32_t totalSectors = 0;
    uint32_t reservedSectors = 0;     // = first sector of the first FAT
    uint32_t fatCount = 0;
    uint32_t fatSectors = 0;          // one FAT copy
    uint32_t fsInfoSector = 0;        // FAT32, when the BPB names a sector with the FSInfo signatures; else 0
    uint32_t backupFsInfoSector = 0;  // its copy behind the backup boot sector, or 0
    uint32_t nextFree = 2;
    int64_t freeCount = 0;            // counted from the FAT
    bool fatChanged = false;
    bool rootChanged = false;
    // Edits refused: a volume of a disk with several partitions, or one whose
    // structures were found damaged while its tree was read.
    bool writable = false;
    bool damaged = false;
    int64_t partitionStart = 0;       // absolute sector
    uint64_t totalFileBytes = 0;
    std::array<uint8_t, 512> bootSector{};
    std::vector<uint8_t> fat;         // the first FAT copy
    std::vector<uint8_t> rootDir;     // FAT12/16 fixed root
    std::vector<uint8_t> dirtyFatSectors;   // one flag per FAT sector changed since the last flush
    uint32_t labelCluster = 0;
    int32_t labelIndex = 0;           // FAT32: index + 1 of the label entry, 0 none
    FatMarks marks;
    uint64_t generation = 0;          // grows with every change of the volume
};

// What the tree keeps of each entry it made (in the item's reader data).
struct FatEntryRecord {
    uint32_t directoryCluster = 0;    // first cluster of the directory holding the entry (0: FAT12/16 root)
    uint32_t index = 0;               // index of the 8.3 entry in that directory
    uint32_t entryCount = 0;          // long-name entries + 1
    uint32_t firstCluster = 0;
    uint32_t size = 0;
    uint32_t attribute = 0;
    // A chain that loops or runs into a cluster another entry holds is read
    // as far as it was sound: this many clusters, then the read fails.
    bool chainDamaged = false;
    uint32_t soundClusters = 0;
};

struct FatOverlay;       // fat_overlay.h
struct FatDirectory;     // fat_directory.h

// Where the last read of a file stopped, so that reading a file from start to
// end walks its chain once.
struct FatReadCursor {
    const image::ImageItem* item = nullptr;
    uint32_t firstCluster = 0;
    uint64_t generation = 0;
    uint32_t clusterIndex = 0;        // position in the chain
    uint32_t cluster = 0;             // the cluster at that position
    // How many clusters of the last file read its chain holds before it ends,
    // leaves the data area or comes back to a cluster it passed.
    const image::ImageItem* checkedItem = nullptr;
    uint32_t checkedFirst = 0;
    uint64_t checkedGeneration = 0;
    uint32_t readableClusters = 0;
};

}  // namespace filesystems

namespace image {
// The document's FAT state: the volume, its overlay once edited, and the
// caches of reading and editing.
struct FatState {
    filesystems::FatVolume volume;
    std::unique_ptr<filesystems::FatOverlay> overlay;
    filesystems::FatReadCursor readCursor;
    std::unique_ptr<filesystems::FatDirectory> editDirectory;   // the directory edited last
    FatState();
    ~FatState();
};
}  // namespace image

namespace filesystems {

// 1 when the volume at ctx.partitionStart was mounted and its tree built into
// ctx.rootFolder (made when missing), else 0 (state freed, slot cleared).
int MountFat(image::ImageContext& ctx);

// Frees the volume with its overlay (the overlay file is deleted).
void FreeFatVolume(image::ImageContext& ctx);

// Disk sectors as the mounted volume sees them: its overlay's copies where it
// holds them, the rest from the disk below (ReadBackingSectors). Returns the
// number of sectors read.
uint32_t ReadFatOverlaySectors(image::ImageContext& ctx, uint64_t sector, uint8_t* buffer, uint32_t count);

// Copies up to byteCount bytes of the item's data from 512-byte unit
// sectorOffset (low 24 bits) on; returns the bytes copied (short when the
// chain ends early or a read fails, 0 at or past the end of the file).
uint32_t ReadFatFileData(image::ImageContext& ctx, const image::ImageItem* item, uint8_t* buffer,
                         uint32_t sectorOffset, uint32_t byteCount);

// The item's record, when the volume made or wrote it.
bool GetFatEntryRecord(const image::ImageItem* item, FatEntryRecord& record);
void SetFatEntryRecord(image::ImageItem* item, const FatEntryRecord& record);
void DropFatEntryRecord(image::ImageItem* item);

// --- Shared with the writer -------------------------------------------------
FatVolume* GetFatVolume(image::ImageContext& ctx);
// The FAT entry of cluster n (masked to 28 bits on FAT32); the end-of-chain
// mark for n outside the FAT.
uint32_t GetFatEntry(const FatVolume& volume, uint32_t n);
bool IsDataCluster(const FatVolume& volume, uint32_t n);
// An entry value that marks the end of a chain (any of the reserved end values).
bool IsEndMark(const FatVolume& volume, uint32_t value);
// Relative to the partition start, in 64 bits.
uint64_t ClusterToSector(const FatVolume& volume, uint32_t cluster);
// 0, or -1 (cluster out of range, short read).
int ReadFatCluster(image::ImageContext& ctx, uint8_t* buffer, uint32_t cluster);

}  // namespace filesystems
