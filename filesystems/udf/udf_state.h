#pragma once
// What a mounted UDF volume keeps in its document: the partition maps with
// their translation data (virtual allocation table, sparing table, metadata
// file extents) and where the file set and the root directory are. Shared by
// the parts of the reader; nothing outside filesystems/udf/ looks inside.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "filesystems/udf/udf_descriptors.h"
#include "image/document/image_context.h"

namespace filesystems {

// Partition map kinds as the volume names them.
namespace udf_map {
constexpr uint16_t kOther = 0;             // a type 2 map we do not know: never translated
constexpr uint16_t kPhysical = 0x1511;
constexpr uint16_t kVirtual150 = 0x1512;   // revision below 2.00
constexpr uint16_t kVirtual200 = 0x2012;
constexpr uint16_t kSparable = 0x1522;
constexpr uint16_t kMetadata = 0x2511;
}  // namespace udf_map

constexpr size_t kUdfMaxPartitionMaps = 16;

// A packet a sparing table moved: partition block of its first block, and the
// absolute sector its blocks now start at.
struct UdfSparedPacket {
    uint32_t original = 0;
    uint32_t mapped = 0;
};

struct UdfPartitionMap {
    uint16_t kind = udf_map::kOther;
    uint16_t partitionNumber = 0;
    uint16_t volumeSequenceNumber = 0;
    uint16_t revision = 0;                 // type 2 maps: the UDF revision of their identifier
    bool placed = false;                   // a partition descriptor gave start and length
    uint32_t start = 0;                    // first sector of the partition
    uint32_t lengthBlocks = 0;
    int32_t physicalIndex = -1;            // virtual and metadata maps: the map their blocks land in
    std::vector<uint32_t> vat;             // virtual maps: block -> block of the physical map
    // Sparable maps: packet size in blocks, where the copies of the sparing
    // table are and how long they are, and the packets the table moved.
    uint16_t packetLength = 0;
    uint32_t sparingTableBytes = 0;
    std::vector<uint32_t> sparingTables;
    std::vector<UdfSparedPacket> spared;   // ordered by original block
};

// One run of a file's data: `block` in the partition of map `partition`, or a
// run that is allocated but not recorded (partition -1: it reads as zeros).
struct UdfExtent {
    int32_t partition = 0;
    uint32_t block = 0;
    uint32_t lengthBytes = 0;
};

struct UdfMetadataInfo {
    uint32_t fileLocation = 0;
    uint32_t mirrorLocation = 0;
    uint32_t bitmapLocation = 0;
    uint32_t allocationUnit = 0;
    uint16_t alignmentUnit = 0;
    bool duplicate = false;
    std::vector<UdfExtent> file, mirror;   // in the partition of the metadata map's physical map
    bool fileRead = false, mirrorRead = false;
};

// A file entry or extended file entry as read: its blocks and the fields the
// reader uses.
struct UdfFileEntry {
    bool extended = false;
    uint8_t fileType = 0;
    uint8_t adKind = 0;                    // 0 short, 1 long, 2 extended, 3 data in the entry
    uint64_t informationLength = 0;
    std::array<uint8_t, kUdfTimestampBytes> modified{};
    std::vector<uint8_t> bytes;            // the entry's blocks
    size_t adOffset = 0;                   // descriptor area inside bytes
    size_t adLength = 0;
    int32_t mapIndex = 0;                  // map the entry was read through
    int64_t sector = -1;                   // its first sector
};

}  // namespace filesystems

namespace image {

struct UdfState {
    std::vector<filesystems::UdfPartitionMap> maps;
    filesystems::UdfMetadataInfo metadata;
    int32_t metadataMap = -1;              // map index of the metadata map, -1 none
    int32_t vatSector = 0;                 // sector of the entry taken as the virtual allocation table
    uint32_t fsdBlock = 0;
    uint16_t fsdPartition = 0;
    uint32_t rootBlock = 0;
    uint16_t rootPartition = 0;
    bool treeBuilt = false;
    int32_t sessionStart = 0;
    int64_t imageSectors = 0;              // readable sectors of the image; 0 when not known
    // Damage passed over while reading the tree.
    uint64_t skippedEntries = 0;
    uint64_t loopsRefused = 0;
};

}  // namespace image
