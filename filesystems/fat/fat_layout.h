#pragma once
// Byte offsets of the FAT on-disk records as Microsoft's published FAT32
// document lays out the BPB, FSInfo and directory entries. All fields are
// little-endian.

#include <cstddef>
#include <cstdint>

namespace filesystems::fat_layout {

constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kEntryBytes = 32;

// Boot sector and BIOS parameter block.
namespace boot {
constexpr size_t kBytesPerSector = 11;     // 2 bytes
constexpr size_t kSectorsPerCluster = 13;  // 1 byte
constexpr size_t kReservedSectors = 14;    // 2 bytes
constexpr size_t kFatCount = 16;           // 1 byte
constexpr size_t kRootEntries = 17;        // 2 bytes, FAT12/16
constexpr size_t kTotalSectors16 = 19;     // 2 bytes
constexpr size_t kMedia = 21;              // 1 byte
constexpr size_t kFatSectors16 = 22;       // 2 bytes
constexpr size_t kTotalSectors32 = 32;     // 4 bytes
constexpr size_t kFatSectors32 = 36;       // 4 bytes, FAT32
constexpr size_t kRootCluster = 44;        // 4 bytes, FAT32
constexpr size_t kFsInfoSector = 48;       // 2 bytes, FAT32
constexpr size_t kBackupBootSector = 50;   // 2 bytes, FAT32
constexpr size_t kLabel1216 = 43;          // 11 bytes
constexpr size_t kTypeText1216 = 54;       // 8 bytes
constexpr size_t kTypeText32 = 82;         // 8 bytes
constexpr size_t kSignature = 510;         // 0xAA55
constexpr uint16_t kSignatureValue = 0xAA55;
}  // namespace boot

// FSInfo sector (FAT32).
namespace fsinfo {
constexpr size_t kLeadSignature = 0;       // 0x41615252
constexpr size_t kStructSignature = 484;   // 0x61417272
constexpr size_t kFreeCount = 488;
constexpr size_t kNextFree = 492;
constexpr size_t kTrailSignature = 508;    // 0xAA550000
constexpr uint32_t kLeadValue = 0x41615252;
constexpr uint32_t kStructValue = 0x61417272;
constexpr uint32_t kTrailValue = 0xAA550000;
constexpr uint32_t kUnknown = 0xFFFFFFFF;
}  // namespace fsinfo

// 32-byte directory entry.
namespace entry {
constexpr size_t kName = 0;                // 11 bytes: 8 base, 3 extension
constexpr size_t kNameBytes = 11;
constexpr size_t kAttribute = 11;
constexpr size_t kCaseFlags = 12;          // Windows NT: 0x08 base lower case, 0x10 extension lower case
constexpr size_t kCreationTime = 14;
constexpr size_t kCreationDate = 16;
constexpr size_t kAccessDate = 18;
constexpr size_t kClusterHigh = 20;
constexpr size_t kWriteTime = 22;
constexpr size_t kWriteDate = 24;
constexpr size_t kClusterLow = 26;
constexpr size_t kSize = 28;
constexpr uint8_t kEndMarker = 0x00;
constexpr uint8_t kDeleted = 0xE5;
constexpr uint8_t kKanjiE5 = 0x05;         // a first name byte 0xE5 stored as 0x05
constexpr uint8_t kLowerBase = 0x08;
constexpr uint8_t kLowerExtension = 0x10;
}  // namespace entry

namespace attr {
constexpr uint8_t kReadOnly = 0x01;
constexpr uint8_t kHidden = 0x02;
constexpr uint8_t kSystem = 0x04;
constexpr uint8_t kVolumeLabel = 0x08;
constexpr uint8_t kDirectory = 0x10;
constexpr uint8_t kArchive = 0x20;
constexpr uint8_t kLongName = 0x0F;
}  // namespace attr

// Long-name entry.
namespace lfn {
constexpr size_t kSequence = 0;
constexpr uint8_t kLastFlag = 0x40;
constexpr uint8_t kMaxSequence = 20;       // 20 x 13 = 260 units
constexpr size_t kType = 12;
constexpr size_t kChecksum = 13;
constexpr size_t kCluster = 26;
constexpr size_t kUnitsPerEntry = 13;
// Where the 13 UTF-16 units of an entry lie.
constexpr size_t kUnitOffsets[kUnitsPerEntry] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
}  // namespace lfn

// A directory holds at most this many entries (the format's 16-bit entry
// index); a chain longer than that is damage, not a directory.
constexpr uint32_t kMaxDirectoryEntries = 65536;

}  // namespace filesystems::fat_layout
