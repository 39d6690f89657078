#pragma once
// One file of a mounted volume as its records tell it: the base record read
// from the master file table, and, when it has an attribute list, each
// distinct extension record that the list names, once.

#include <cstdint>
#include <vector>

#include "filesystems/ntfs/ntfs_record.h"
#include "image/document/image_context.h"

namespace filesystems {

// An attribute list longer than this is taken as damaged: a real one names a
// few entries per fragment of a file, and even a file in a million fragments
// needs far less.
constexpr uint64_t kMaxNtfsAttributeListBytes = 256 * 1024;

// The file-record span of record number in the table, or an empty span.
std::span<const uint8_t> NtfsTableRecord(const image::NtfsState& volume, uint64_t number);

// Fills facts (cleared first) from record number and its extension records.
// listBuffer holds a non-resident attribute list while it is read. False when
// the record is out of the table, no file record, or malformed; an
// extension record that is damaged or belongs to another base is skipped.
bool ReadNtfsFile(image::ImageContext& ctx, uint64_t number, NtfsFileFacts& facts, std::vector<uint8_t>& listBuffer);

// Clears facts for reuse, keeping the capacity of its vector.
void ClearNtfsFileFacts(NtfsFileFacts& facts);

}  // namespace filesystems
