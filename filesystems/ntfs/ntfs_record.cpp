#include "filesystems/ntfs/ntfs_record.h"

#include "filesystems/ntfs/ntfs_layout.h"
#include "foundation/byte_cursor.h"

namespace filesystems {
namespace {

namespace rec = ntfs_layout::record;
namespace attr = ntfs_layout::attr;
namespace fn = ntfs_layout::filename;

// The file name shown: a long name wins over the DOS 8.3 alias whatever
// their order in the record.
void TakeFileName(foundation::ByteCursor value, NtfsFileFacts& facts) {
    if (!value.Has(0, fn::kName)) return;
    const uint8_t units = value.U8(fn::kNameLength);
    const uint8_t nameSpace = value.U8(fn::kNamespace);
    auto name = value.Span(fn::kName, uint64_t{units} * 2);
    if (!name || units == 0) return;
    if (facts.haveName && (nameSpace == fn::kDosNamespace || facts.nameSpace != fn::kDosNamespace)) return;
    facts.haveName = true;
    facts.name = *name;
    facts.nameSpace = nameSpace;
    facts.parentReference = value.Le64(fn::kParent);
    if (value.Le32(fn::kFlags) & fn::kDirectoryFlag) facts.directory = true;
}

bool TakePiece(const foundation::ByteCursor& a, bool nonResident, NtfsDataPiece& piece) {
    piece = NtfsDataPiece{};
    if (!nonResident) {
        auto value = a.Span(a.Le16(attr::kValueOffset), a.Le32(attr::kValueLength));
        if (!value) return false;
        piece.resident = true;
        piece.value = *value;
        piece.dataBytes = value->size();
        piece.initializedBytes = value->size();
        return true;
    }
    if (a.Size() < attr::kNonResidentMinBytes) return false;
    const uint16_t pairs = a.Le16(attr::kMappingPairs);
    if (pairs < attr::kNonResidentMinBytes || pairs > a.Size()) return false;
    piece.mappingPairs = a.Bytes().subspan(pairs);
    piece.lowestVcn = a.Le64(attr::kLowestVcn);
    piece.lastVcn = a.Le64(attr::kLastVcn);
    if (a.Le16(attr::kFlags) & attr::kFlagCompressed) piece.compressionUnit = a.U8(attr::kCompressionUnit);
    piece.allocatedBytes = a.Le64(attr::kAllocatedSize);
    piece.dataBytes = a.Le64(attr::kDataSize);
    piece.initializedBytes = a.Le64(attr::kInitializedSize);
    return true;
}

}  // namespace

bool ApplyNtfsFixup(std::span<uint8_t> record) {
    const size_t size = record.size();
    if (size == 0 || size % rec::kFixupStride != 0 || size < rec::kHeaderBytes) return false;
    foundation::ByteCursor c(record.data(), size);
    const uint16_t offset = c.Le16(rec::kUpdateOffset);
    const uint16_t count = c.Le16(rec::kUpdateCount);
    const size_t sectors = size / rec::kFixupStride;
    if (offset % 2 != 0 || count != sectors + 1 || !c.Has(offset, uint64_t{count} * 2)) return false;
    // The array must not overlap the words it restores.
    if (offset + size_t{count} * 2 > rec::kFixupStride - 2) return false;
    const uint16_t sequence = c.Le16(offset);
    for (size_t k = 0; k < sectors; ++k) {
        if (c.Le16(k * rec::kFixupStride + rec::kFixupStride - 2) != sequence) return false;
    }
    for (size_t k = 0; k < sectors; ++k) {
        const size_t at = k * rec::kFixupStride + rec::kFixupStride - 2;
        record[at] = record[offset + 2 * (k + 1)];
        record[at + 1] = record[offset + 2 * (k + 1) + 1];
    }
    return true;
}

bool ParseNtfsRecord(std::span<const uint8_t> record, NtfsRecordRole role, NtfsFileFacts& facts) {
    foundation::ByteCursor r(record);
    if (!r.Has(0, rec::kHeaderBytes) || r.Le32(rec::kMagic) != 0x454C4946u) return false;   // "FILE"
    const uint16_t flags = r.Le16(rec::kFlags);
    const uint32_t inUseBytes = r.Le32(rec::kBytesInUse);
    const uint16_t first = r.Le16(rec::kFirstAttribute);
    if (inUseBytes > record.size() || first < rec::kHeaderBytes || first % 8 != 0 || first >= inUseBytes) return false;
    if (role == NtfsRecordRole::kBase) {
        facts.inUse = (flags & rec::kInUse) != 0;
        facts.directory = (flags & rec::kDirectory) != 0;
        facts.baseRecord = r.Le64(rec::kBaseRecord) & ntfs_layout::kRecordNumberMask;
        facts.sequence = r.Le16(rec::kSequence);
    }
    size_t at = first;
    for (;;) {
        if (inUseBytes - at < 4) return false;
        const uint32_t type = r.Le32(at + attr::kType);
        if (type == attr::kEnd) return true;
        if (inUseBytes - at < attr::kMinBytes) return false;
        const uint32_t length = r.Le32(at + attr::kLength);
        if (length < attr::kMinBytes || length % 8 != 0 || length > inUseBytes - at) return false;
        const foundation::ByteCursor a = *r.Sub(at, length);
        at += length;
        const bool nonResident = a.U8(attr::kNonResident) != 0;
        const uint8_t nameUnits = a.U8(attr::kNameLength);
        if (nameUnits != 0 && !a.Has(a.Le16(attr::kNameOffset), uint64_t{nameUnits} * 2)) return false;
        NtfsDataPiece piece;
        if (!TakePiece(a, nonResident, piece)) return false;
        switch (type) {
            case attr::kStandardInformation:
                if (!nonResident && piece.value.size() >= ntfs_layout::stdinfo::kMinBytes && !facts.haveStandardInformation) {
                    foundation::ByteCursor v(piece.value);
                    facts.haveStandardInformation = true;
                    facts.modificationFileTime = v.Le64(ntfs_layout::stdinfo::kModificationTime);
                    facts.fileAttributes = v.Le32(ntfs_layout::stdinfo::kFileAttributes);
                }
                break;
            case attr::kAttributeList:
                // Lists inside extension records are not followed: they would
                // let a record name itself or its base again.
                if (role == NtfsRecordRole::kBase && !facts.haveList) {
                    facts.haveList = true;
                    facts.list = piece;
                }
                break;
            case attr::kFileName:
                if (!nonResident) TakeFileName(foundation::ByteCursor(piece.value), facts);
                break;
            case attr::kVolumeName:
                if (!nonResident) facts.volumeName = piece.value;
                break;
            case attr::kData:
                // Named streams (a download's zone mark, a resource fork) are
                // not the file's content.
                if (nameUnits == 0) facts.data.push_back(piece);
                break;
            default:
                break;
        }
    }
}

bool DecodeNtfsAttributeList(std::span<const uint8_t> value, std::vector<NtfsListEntry>& entries) {
    foundation::ByteCursor c(value);
    size_t at = 0;
    while (c.Size() - at >= ntfs_layout::list::kMinBytes) {
        const uint16_t length = c.Le16(at + ntfs_layout::list::kLength);
        if (length < ntfs_layout::list::kMinBytes || length > c.Size() - at) return false;
        NtfsListEntry e;
        e.type = c.Le32(at + ntfs_layout::list::kType);
        e.named = c.U8(at + ntfs_layout::list::kNameLength) != 0;
        e.lowestVcn = c.Le64(at + ntfs_layout::list::kLowestVcn);
        e.record = c.Le64(at + ntfs_layout::list::kRecord) & ntfs_layout::kRecordNumberMask;
        entries.push_back(e);
        at += length;
    }
    return true;
}

}  // namespace filesystems
