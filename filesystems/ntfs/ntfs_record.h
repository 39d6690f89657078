#pragma once
// NTFS file records: the update-sequence fixup, and the attribute walk that
// gathers what the reader needs of one record (names, times, the unnamed data
// stream's pieces, the attribute list) into a decoded record.

#include <cstdint>
#include <span>
#include <vector>

namespace filesystems {

// One attribute of the unnamed $DATA stream (a file whose run list is long
// has several, in extension records, each for its own range of clusters), or
// the value of an $ATTRIBUTE_LIST.
struct NtfsDataPiece {
    bool resident = false;
    std::span<const uint8_t> value;          // resident: the value
    std::span<const uint8_t> mappingPairs;   // non-resident: the run list bytes
    uint64_t lowestVcn = 0;
    uint64_t lastVcn = 0;
    uint64_t allocatedBytes = 0;
    uint64_t dataBytes = 0;
    uint64_t initializedBytes = 0;
    uint8_t compressionUnit = 0;             // log2 of clusters per unit; 0 none
};

// An $ATTRIBUTE_LIST entry: where one attribute of the file lies.
struct NtfsListEntry {
    uint32_t type = 0;
    bool named = false;
    uint64_t lowestVcn = 0;
    uint64_t record = 0;                     // record number (the reference's low 48 bits)
};

// What a record (with its extension records) says of a file. Spans point into
// the record buffers, which the caller keeps alive.
struct NtfsFileFacts {
    bool inUse = false;
    bool directory = false;                  // the record's directory flag or the name's
    uint64_t baseRecord = 0;                 // record number of the base; 0 for a base record
    uint16_t sequence = 0;

    bool haveName = false;
    std::span<const uint8_t> name;           // UTF-16LE
    uint8_t nameSpace = 0;
    uint64_t parentReference = 0;

    bool haveStandardInformation = false;
    uint64_t modificationFileTime = 0;
    uint32_t fileAttributes = 0;

    std::vector<NtfsDataPiece> data;         // the unnamed $DATA, in record order
    bool haveList = false;
    NtfsDataPiece list;                      // $ATTRIBUTE_LIST of the base record
    std::span<const uint8_t> volumeName;     // $VOLUME_NAME, UTF-16LE
};

// Applies the update-sequence array of a record of record.size() bytes (a
// multiple of 512): the last word of each 512 bytes must hold the sequence
// number and gets its saved value back. False (record unchanged) when the
// array does not fit or a word differs: a torn write.
bool ApplyNtfsFixup(std::span<uint8_t> record);

enum class NtfsRecordRole { kBase, kExtension };

// Walks the attributes of one record into facts. An extension record adds its
// names and data pieces; its own attribute list, if any, is ignored. False when
// the record is no file record or an attribute header is malformed (shorter
// than 24 bytes, not a multiple of 8, past the bytes in use, or with a name or
// value outside itself).
bool ParseNtfsRecord(std::span<const uint8_t> record, NtfsRecordRole role, NtfsFileFacts& facts);

// The entries of an attribute list value; false when an entry is malformed.
bool DecodeNtfsAttributeList(std::span<const uint8_t> value, std::vector<NtfsListEntry>& entries);

}  // namespace filesystems
