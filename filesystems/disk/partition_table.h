#pragma once
// The master boot record's partitions: the class of each type byte, its name
// as the partition chooser shows it, and the rows the chooser offers (the four
// entries of sector 0, then the logical partitions along the chain of extended
// boot records).

#include <cstdint>
#include <string>
#include <vector>

namespace image {
struct ImageContext;
}

namespace filesystems {

namespace partition_class {
constexpr int32_t kUnknown = -1;
constexpr int32_t kEmpty = 0;
constexpr int32_t kFat12 = 1;
constexpr int32_t kFat16 = 2;
constexpr int32_t kFat32 = 3;
constexpr int32_t kNtfs = 4;
constexpr int32_t kExtended = 5;
constexpr int32_t kLinux = 6;
constexpr int32_t kLinuxSwap = 7;
constexpr int32_t kLinuxLvm = 8;
}  // namespace partition_class

// Byte offsets in a boot record.
constexpr size_t kPartitionTableOffset = 446;
constexpr size_t kPartitionEntryBytes = 16;
constexpr size_t kBootSignatureOffset = 510;
// The chooser follows at most this many links of the extended chain.
constexpr int kMaxExtendedLinks = 50;

int32_t GetPartitionClass(uint8_t typeByte);
// The display name; empty for classes 0 and 5.
void GetPartitionClassName(int32_t partitionClass, std::u16string& text);

// One row of the partition chooser.
struct DiskPartitionRow {
    int32_t partitionClass = 0;
    uint8_t typeByte = 0;
    uint64_t firstSector = 0;      // 512-byte sectors from the start of the disk
    uint64_t sectorCount = 0;
};

// True when the disk is used whole: a boot flag other than 0x00/0x80 (a
// volume's own boot sector), or an all-zero partition table.
bool UsesWholeDisk(const uint8_t bootRecord[512]);

// The rows of the disk's partitions, primaries in table order, then the
// logical partitions in chain order. A row that starts beyond the disk is left
// out; one that runs past its end is cut at the end. The extended chain is
// followed through ReadDiskSectors, at most kMaxExtendedLinks links, each
// sector once.
std::vector<DiskPartitionRow> ListDiskPartitions(image::ImageContext& ctx, const uint8_t bootRecord[512],
                                                 uint64_t diskSectors);

}  // namespace filesystems
