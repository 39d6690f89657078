#pragma once
// The bytes of an NTFS volume that the reader looks at, by offset (all fields
// little-endian). Decoded records carry units in their names; these are only
// where the bytes lie.

#include <cstddef>
#include <cstdint>

namespace filesystems::ntfs_layout {

// Boot sector (the partition's first sector).
namespace boot {
constexpr size_t kOemId = 3;               // "NTFS    "
constexpr size_t kBytesPerSector = 11;     // 16-bit
constexpr size_t kSectorsPerCluster = 13;  // 8-bit; 0xF4..0xFF: 2^(256 - value)
constexpr size_t kTotalSectors = 40;       // 64-bit, in bytes-per-sector units
constexpr size_t kMftCluster = 48;         // 64-bit
constexpr size_t kClustersPerRecord = 64;  // signed 8-bit; <= 0: 2^(-value) bytes
}  // namespace boot

// File record header.
namespace record {
constexpr size_t kMagic = 0;               // "FILE"
constexpr size_t kUpdateOffset = 4;        // 16-bit: the update sequence array
constexpr size_t kUpdateCount = 6;         // 16-bit: entries, the sequence number first
constexpr size_t kSequence = 16;           // 16-bit: the record's reuse count
constexpr size_t kFirstAttribute = 20;     // 16-bit
constexpr size_t kFlags = 22;              // 16-bit
constexpr size_t kBytesInUse = 24;         // 32-bit
constexpr size_t kBaseRecord = 32;         // 64-bit reference; 0 for a base record
constexpr size_t kHeaderBytes = 42;
constexpr uint16_t kInUse = 0x0001;
constexpr uint16_t kDirectory = 0x0002;
constexpr size_t kFixupStride = 512;       // the array covers the last word of every 512 bytes
}  // namespace record

// Attribute header.
namespace attr {
constexpr size_t kType = 0;                // 32-bit
constexpr size_t kLength = 4;              // 32-bit, whole attribute
constexpr size_t kNonResident = 8;         // 8-bit
constexpr size_t kNameLength = 9;          // 8-bit, UTF-16 units
constexpr size_t kNameOffset = 10;         // 16-bit
constexpr size_t kFlags = 12;              // 16-bit
constexpr size_t kMinBytes = 24;
// Resident.
constexpr size_t kValueLength = 16;        // 32-bit
constexpr size_t kValueOffset = 20;        // 16-bit
// Non-resident.
constexpr size_t kLowestVcn = 16;          // 64-bit
constexpr size_t kLastVcn = 24;            // 64-bit
constexpr size_t kMappingPairs = 32;       // 16-bit offset of the run list
constexpr size_t kCompressionUnit = 34;    // 8-bit: log2 of clusters per unit
constexpr size_t kAllocatedSize = 40;      // 64-bit
constexpr size_t kDataSize = 48;           // 64-bit
constexpr size_t kInitializedSize = 56;    // 64-bit
constexpr size_t kNonResidentMinBytes = 64;
// Attribute flags: a sparse attribute may carry a compression unit too, but
// only a compressed one is stored in compressed units.
constexpr uint16_t kFlagCompressed = 0x0001;

constexpr uint32_t kStandardInformation = 0x10;
constexpr uint32_t kAttributeList = 0x20;
constexpr uint32_t kFileName = 0x30;
constexpr uint32_t kVolumeName = 0x60;
constexpr uint32_t kData = 0x80;
constexpr uint32_t kEnd = 0xFFFFFFFF;
}  // namespace attr

// $STANDARD_INFORMATION value.
namespace stdinfo {
constexpr size_t kModificationTime = 8;    // 64-bit FILETIME
constexpr size_t kFileAttributes = 32;     // 32-bit
constexpr size_t kMinBytes = 36;
constexpr uint32_t kCompressed = 0x800;
}  // namespace stdinfo

// $FILE_NAME value.
namespace filename {
constexpr size_t kParent = 0;              // 64-bit reference
constexpr size_t kFlags = 56;              // 32-bit
constexpr size_t kNameLength = 64;         // 8-bit, UTF-16 units
constexpr size_t kNamespace = 65;          // 8-bit
constexpr size_t kName = 66;
constexpr uint8_t kDosNamespace = 2;
constexpr uint32_t kDirectoryFlag = 0x10000000;
}  // namespace filename

// $ATTRIBUTE_LIST entry.
namespace list {
constexpr size_t kType = 0;                // 32-bit
constexpr size_t kLength = 4;              // 16-bit
constexpr size_t kNameLength = 6;          // 8-bit
constexpr size_t kLowestVcn = 8;           // 64-bit
constexpr size_t kRecord = 16;             // 64-bit reference
constexpr size_t kMinBytes = 26;
}  // namespace list

// A file reference: the record number in the low 48 bits, its sequence above.
constexpr uint64_t kRecordNumberMask = 0x0000FFFFFFFFFFFFull;

// Fixed records.
constexpr uint64_t kMftRecord = 0;
constexpr uint64_t kVolumeRecord = 3;
constexpr uint64_t kRootRecord = 5;
constexpr uint64_t kFirstUserRecord = 16;

}  // namespace filesystems::ntfs_layout
