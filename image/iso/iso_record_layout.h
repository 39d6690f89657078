#pragma once
// The one description of an ISO 9660 directory record's bytes (ECMA-119 9.1):
// the reader, the layout writer, the volume descriptors (whose root record is
// one of these) and the item tree (which keeps each entry's first 33 bytes)
// all take their offsets from here.

#include <cstddef>
#include <cstdint>

namespace image {

namespace dr {
constexpr size_t kLength = 0;           // 1 byte, whole record
constexpr size_t kExtAttrLength = 1;    // 1 byte, in logical blocks
constexpr size_t kExtent = 2;           // both-byte-order 32
constexpr size_t kDataLength = 10;      // both-byte-order 32
constexpr size_t kDate = 18;            // 7 bytes
constexpr size_t kDateBytes = 7;
constexpr size_t kFlags = 25;           // 1 byte, dirflag bits
constexpr size_t kUnitSize = 26;
constexpr size_t kGapSize = 27;
constexpr size_t kVolumeSequence = 28;  // both-byte-order 16
constexpr size_t kNameLength = 32;      // 1 byte
constexpr size_t kName = 33;
constexpr size_t kHeadBytes = 33;       // the fixed part, before the identifier
constexpr size_t kMinRecordBytes = 34;  // 33 fixed bytes and at least one identifier byte
// A record's length: the identifier is followed by a pad byte when its length
// is even, so the system use area starts at an even offset (ECMA-119 9.1.12).
constexpr size_t RecordBytes(size_t nameBytes) { return kHeadBytes + nameBytes + (nameBytes % 2 == 0 ? 1 : 0); }
}  // namespace dr

// File flags (ECMA-119 9.1.6).
namespace dirflag {
constexpr uint8_t kHidden = 0x01;       // "existence" bit
constexpr uint8_t kDirectory = 0x02;
constexpr uint8_t kAssociated = 0x04;
constexpr uint8_t kRecord = 0x08;
constexpr uint8_t kProtection = 0x10;
constexpr uint8_t kMultiExtent = 0x80;  // another record of this file follows
}  // namespace dirflag

}  // namespace image
