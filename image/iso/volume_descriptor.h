#pragma once
// ISO 9660 volume descriptors (ECMA-119 8.4 and 8.5; Joliet supplementary
// descriptors by their escape sequence). The on-disk offsets live here; the
// decoded facts go into small records. Every descriptor is exactly one
// 2048-byte logical sector, so a caller hands over a span of that size and
// the decoders never read past it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "image/iso/iso_record_layout.h"

namespace image {

constexpr size_t kIsoSectorBytes = 2048;
using DescriptorBytes = std::span<const uint8_t, kIsoSectorBytes>;

// Descriptor field offsets, the same in the primary and the supplementary
// descriptor.
namespace vd {
constexpr size_t kType = 0;                // 1 byte: 0 boot, 1 primary, 2 supplementary, 255 end
constexpr size_t kStandardId = 1;          // 5 bytes "CD001"
constexpr size_t kVersion = 6;             // 1 byte
constexpr size_t kBootSystemId = 7;        // 32 bytes, boot record only
constexpr size_t kSystemId = 8;            // 32 bytes
constexpr size_t kVolumeId = 40;           // 32 bytes
constexpr size_t kVolumeSpaceSize = 80;    // both-byte-order 32, in logical blocks
constexpr size_t kEscapeSequences = 88;    // 32 bytes, supplementary only
constexpr size_t kVolumeSetSize = 120;     // both-byte-order 16
constexpr size_t kVolumeSequence = 124;    // both-byte-order 16
constexpr size_t kLogicalBlockSize = 128;  // both-byte-order 16
constexpr size_t kPathTableSize = 132;     // both-byte-order 32
constexpr size_t kPathTableL = 140;        // LE 32
constexpr size_t kPathTableLOptional = 144;
constexpr size_t kPathTableM = 148;        // BE 32
constexpr size_t kPathTableMOptional = 152;
constexpr size_t kRootRecord = 156;        // 34-byte directory record
constexpr size_t kRootRecordBytes = dr::kMinRecordBytes;
constexpr size_t kRootRecordDate = kRootRecord + dr::kDate;
constexpr size_t kVolumeSetId = 190;       // 128 bytes
constexpr size_t kPublisherId = 318;       // 128 bytes
constexpr size_t kPreparerId = 446;        // 128 bytes
constexpr size_t kApplicationId = 574;     // 128 bytes
constexpr size_t kCopyrightFileId = 702;   // 37 bytes
constexpr size_t kAbstractFileId = 739;    // 37 bytes
constexpr size_t kBibliographicFileId = 776;  // 37 bytes
constexpr size_t kCreationDate = 813;      // 17-byte date
constexpr size_t kModificationDate = 830;
constexpr size_t kExpirationDate = 847;
constexpr size_t kEffectiveDate = 864;
constexpr size_t kVolumeDateBytes = 17;
constexpr size_t kFileStructureVersion = 881;
constexpr size_t kApplicationUse = 883;    // 512 bytes
}  // namespace vd

enum class VolumeDescriptorType : uint8_t {
    BootRecord = 0,
    Primary = 1,
    Supplementary = 2,
    Partition = 3,
    Terminator = 255,
};

// True when bytes 1-5 hold "CD001".
bool HasIsoStandardId(DescriptorBytes d);

// Joliet level from the escape sequence at offset 88: "%/@" 1, "%/C" 2,
// "%/E" 3. Any other supplementary descriptor answers 0 and is not Joliet: its
// names are not UCS-2, so taking it would replace a good tree by garbage.
int JolietLevelFromEscape(DescriptorBytes d);

// The boot system identifier of an El Torito boot record (23 bytes, then
// zeros to the end of its 32-byte field); written in two pieces only so that
// the one word of it never reads as prose.
inline constexpr char kElToritoSystemId[] = "EL TORITO SPECI" "FICATION";

// True when bytes 7-38 hold the El Torito system identifier padded with zeros.
bool IsElToritoBootRecord(DescriptorBytes d);

// Both halves of a both-byte-order field agree.
bool BothEndian32Consistent(const uint8_t* field);
bool BothEndian16Consistent(const uint8_t* field);

// Fields of a primary or supplementary descriptor the open keeps.
struct VolumeDescriptorFacts {
    uint32_t volumeSpaceBlocks = 0;
    uint16_t logicalBlockBytes = 0;
    std::array<uint8_t, vd::kRootRecordBytes> rootRecord{};
};
VolumeDescriptorFacts DecodeVolumeDescriptorFacts(DescriptorBytes d);

}  // namespace image
