#pragma once
// The pieces of ECMA-167 that every UDF structure shares, for the reader, the
// writer and the MZP volume (which stores UDF timestamps): the 16-byte
// descriptor tag with its checksum and CRC, the 12-byte timestamp, and the
// OSTA CS0 text of identifiers and dstrings.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace filesystems {

constexpr size_t kUdfBlockBytes = 2048;
constexpr size_t kUdfTagBytes = 16;
constexpr size_t kUdfTimestampBytes = 12;

// Tag identifiers (ECMA-167 3/7.2.1, 4/7.2.1).
namespace udf_tag {
constexpr uint16_t kPrimaryVolume = 1;
constexpr uint16_t kAnchor = 2;
constexpr uint16_t kVolumePointer = 3;
constexpr uint16_t kImplementationUse = 4;
constexpr uint16_t kPartition = 5;
constexpr uint16_t kLogicalVolume = 6;
constexpr uint16_t kUnallocatedSpace = 7;
constexpr uint16_t kTerminating = 8;
constexpr uint16_t kIntegrity = 9;
constexpr uint16_t kFileSet = 256;
constexpr uint16_t kFileIdentifier = 257;
constexpr uint16_t kAllocationExtent = 258;
constexpr uint16_t kFileEntry = 261;
constexpr uint16_t kExtendedFileEntry = 266;
}  // namespace udf_tag

// The descriptor CRC of ECMA-167 7.2.6: CRC-ITU-T, polynomial 0x1021, initial
// value 0, most significant bit first, no final inversion.
uint16_t UdfDescriptorCrc(std::span<const uint8_t> bytes);

// Byte sum (mod 256) of tag bytes 0-3 and 5-15.
uint8_t UdfTagChecksum(const uint8_t* tag);

// What a tag says of itself; valid when the checksum holds, the version is 2
// or 3 and the location is the one expected.
struct UdfTag {
    uint16_t identifier = 0;
    uint16_t version = 0;
    uint32_t location = 0;
    bool checksumOk = false;
};
UdfTag DecodeUdfTag(std::span<const uint8_t> block);
bool IsValidUdfTag(std::span<const uint8_t> block, uint32_t expectedLocation);

// Fills the tag of a descriptor of descriptorBytes bytes (at least 16) at the
// start of `descriptor`: version 2, serial 0, the CRC over the body and the
// checksum last.
void StampUdfTag(uint8_t* descriptor, size_t descriptorBytes, uint16_t identifier, uint32_t location);

// Seconds since 1970 of a UDF timestamp: its fields as UTC, minus the zone
// offset when the timestamp says local time with an offset (type 1, offset not
// -2047). 0 when the fields are out of range.
int64_t UdfTimestampToUnixTime(std::span<const uint8_t, kUdfTimestampBytes> timestamp);
// The 7-byte ISO 9660 record date of the same moment.
void UdfTimeToIsoDate(uint8_t out[7], std::span<const uint8_t, kUdfTimestampBytes> timestamp);
// A UDF timestamp from an ISO 9660 record date: local time with the date's
// offset (type 1).
void UdfMakeTimestamp(uint8_t out[kUdfTimestampBytes], const uint8_t isoDate[7]);

// OSTA CS0 text (compression 8: one byte a character, read as Latin-1;
// compression 16: big-endian UTF-16 units). `bytes` starts with the
// compression byte. False for any other compression.
bool DecodeOstaCs0(std::span<const uint8_t> bytes, std::u16string& out);
// The text of a dstring field: its last byte holds the used length (counting the
// compression byte). Empty for an unused or damaged field.
std::u16string DecodeUdfDstring(std::span<const uint8_t> field);

// CS0 bytes of a text, compression byte first: 8 when every unit is below
// 0x80 (plain ASCII reads the same in every reader), else 16. The caller checks
// the length it may store.
std::string EncodeOstaCs0(std::u16string_view text);
// Fills a dstring field: the text cut to what fits (whole characters), the used
// length in the last byte; a field of zeros for empty text.
void EncodeUdfDstring(std::span<uint8_t> field, std::u16string_view text);

}  // namespace filesystems
