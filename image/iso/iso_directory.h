#pragma once
// ISO 9660 directory records (ECMA-119 9.1) and the walk over a directory's
// bytes. Records come from the image, so every length is checked before it is
// used: a record is at least 34 bytes, its identifier fits inside it, and it
// never crosses a 2048-byte sector (ECMA-119 6.8.1.1). A record that breaks
// these rules is skipped and counted, never read past.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "foundation/byte_order.h"
#include "image/iso/iso_record_layout.h"

namespace image {

// A record decoded from bytes that were checked to hold it whole.
struct IsoDirectoryRecord : IsoRecordHead {
    std::span<const uint8_t> bytes;       // the whole record
    std::span<const uint8_t> identifier;  // name bytes

    bool IsDirectory() const { return (flags & dirflag::kDirectory) != 0; }
    bool IsAssociated() const { return (flags & dirflag::kAssociated) != 0; }
    bool IsMultiExtent() const { return (flags & dirflag::kMultiExtent) != 0; }
    bool IsDot() const { return identifier.size() == 1 && identifier[0] == 0; }
    bool IsDotDot() const { return identifier.size() == 1 && identifier[0] == 1; }
};

// Decodes a record from bytes that hold at least its length byte into r.
// False (r unspecified) when the record is shorter than 34 bytes, longer than
// the bytes given, or its identifier runs past its end. The directory walk
// calls it once per record, so it fills the caller's record in place rather
// than passing a copy back.
inline bool DecodeDirectoryRecordInto(std::span<const uint8_t> bytes, IsoDirectoryRecord& r) {
    if (bytes.empty()) return false;
    const size_t n = bytes[dr::kLength];
    if (n < dr::kMinRecordBytes || n > bytes.size()) return false;
    // An empty identifier breaks ECMA-119 9.1.10, but the record is taken, as
    // other readers take it: the file stays listed, under the "_" the name
    // decoder makes of an empty name.
    const size_t nameLength = bytes[dr::kNameLength];
    if (nameLength > n - dr::kName) return false;
    r.bytes = bytes.first(n);
    r.identifier = bytes.subspan(dr::kName, nameLength);
    return DecodeRecordHeadInto(r.bytes, r);
}

// The same, as a value: empty when the record is not good.
inline std::optional<IsoDirectoryRecord> DecodeDirectoryRecord(std::span<const uint8_t> bytes) {
    IsoDirectoryRecord r;
    if (!DecodeDirectoryRecordInto(bytes, r)) return std::nullopt;
    return r;
}

// What a directory walk met besides good records.
struct DirectoryWalkCounts {
    uint32_t records = 0;
    uint32_t shortRecords = 0;      // length byte 1..33: the rest of the sector is skipped
    uint32_t crossingRecords = 0;   // would cross a sector or the directory's end
    uint32_t badNameRecords = 0;    // identifier runs past the record
};

// Walks the records of a directory of dirBytes bytes held in data (which may
// be longer: whole sectors). A zero length byte moves to the next sector; one
// right at a sector start ends the walk, as every writer pads the last sector
// of a directory with zeros. Calls onRecord for each good record; onRecord
// returns false to stop.
template <typename OnRecord>
DirectoryWalkCounts WalkDirectoryRecords(std::span<const uint8_t> data, uint64_t dirBytes,
                                         OnRecord&& onRecord) {
    DirectoryWalkCounts counts;
    const uint64_t end = dirBytes < data.size() ? dirBytes : data.size();
    uint64_t pos = 0;
    IsoDirectoryRecord record;
    while (pos < end) {
        const uint64_t sectorEnd = ((pos / 2048) + 1) * 2048;
        const uint64_t limit = sectorEnd < end ? sectorEnd : end;
        const uint8_t n = data[pos];
        if (n == 0) {
            if (pos % 2048 == 0) break;
            pos = sectorEnd;
            continue;
        }
        if (n < dr::kMinRecordBytes) {
            // The length byte cannot be trusted to find the next record.
            ++counts.shortRecords;
            pos = sectorEnd;
            continue;
        }
        if (n > limit - pos) {
            ++counts.crossingRecords;
            pos = sectorEnd;
            continue;
        }
        if (!DecodeDirectoryRecordInto(data.subspan(pos, n), record)) {
            ++counts.badNameRecords;
            pos += n;
            continue;
        }
        ++counts.records;
        if (!onRecord(std::as_const(record))) break;
        pos += n;
    }
    return counts;
}

enum class RecordNameKind { Iso, Joliet };

// Longest identifiers taken from a record: 220 bytes (110 UCS-2 units) for
// Joliet, 221 bytes for ISO 9660 names.
constexpr size_t kMaxJolietNameBytes = 220;
constexpr size_t kMaxIsoNameBytes = 221;

// The displayed name of a record that is neither "." nor "..": Joliet names
// are UCS-2 big-endian with ";1" and trailing dots removed; ISO names come
// from the ANSI code page; then a final ";" and one digit are cut. The result
// is made safe as a path component (see SanitizeItemName).
std::u16string DecodeRecordName(std::span<const uint8_t> identifier, RecordNameKind kind);
// The same into units; the name's length. The tree reader puts names into its
// document's name arena from here, without a string of their own.
constexpr size_t kMaxRecordNameUnits = kMaxIsoNameBytes;
size_t DecodeRecordNameInto(std::span<const uint8_t> identifier, RecordNameKind kind,
                            std::span<char16_t, kMaxRecordNameUnits> units);

// Item names end up as components of disk paths when files are extracted.
// Path separators ("/" and "\"), NUL and other control characters become "_",
// unpaired surrogates become U+FFFD, and names that are empty or are "." or
// ".." as text become underscores, so no name can leave its folder.
void SanitizeItemName(std::u16string& name);

}  // namespace image
