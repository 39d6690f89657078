#pragma once
// The one description of an ISO 9660 directory record's bytes (ECMA-119 9.1):
// the reader, the layout writer, the volume descriptors (whose root record is
// one of these) and the item tree (which keeps each entry's first 33 bytes)
// all take their offsets from here, and its fixed part has one decoder.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "foundation/byte_order.h"

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

// The fixed part of a record (its first 33 bytes: what the item tree keeps of
// an entry, and what a directory's parent tells of it), decoded.
struct IsoRecordHead {
    uint32_t extentLba = 0;
    uint32_t dataBytes = 0;
    bool extentConsistent = false;        // both byte orders agree
    bool lengthConsistent = false;
    uint8_t flags = 0;
    std::array<uint8_t, dr::kDateBytes> date{};
};

// The one decoder of the fixed part: false (h unspecified) when fewer than
// 33 bytes are given. The directory walk calls it once per record, so it
// fills the caller's record in place.
inline bool DecodeRecordHeadInto(std::span<const uint8_t> bytes, IsoRecordHead& h) {
    if (bytes.size() < dr::kHeadBytes) return false;
    const uint8_t* p = bytes.data();
    h.extentLba = foundation::ReadLE32(p + dr::kExtent);
    h.dataBytes = foundation::ReadLE32(p + dr::kDataLength);
    h.extentConsistent = h.extentLba == foundation::ReadBE32(p + dr::kExtent + 4);
    h.lengthConsistent = h.dataBytes == foundation::ReadBE32(p + dr::kDataLength + 4);
    h.flags = p[dr::kFlags];
    std::copy_n(p + dr::kDate, h.date.size(), h.date.begin());
    return true;
}

inline std::optional<IsoRecordHead> DecodeRecordHead(std::span<const uint8_t> bytes) {
    IsoRecordHead h;
    if (!DecodeRecordHeadInto(bytes, h)) return std::nullopt;
    return h;
}

}  // namespace image
