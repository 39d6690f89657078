#pragma once
// The reader's steps below the mount: blocks of a partition to image sectors,
// tagged reads, file entries, their allocation descriptors and the bytes of
// their extents. Every step checks what it reads and answers false (or a
// short count) on damage; nothing here writes past the buffer it is given.

#include <cstdint>
#include <vector>

#include "filesystems/udf/udf_state.h"

namespace filesystems {

// Caps that keep a damaged volume within bounded time and memory.
constexpr uint64_t kUdfMaxEntryBytes = 64 * 1024;          // a file entry with its attributes and descriptors
constexpr uint32_t kUdfMaxContinuationHops = 4096;         // extents of allocation descriptors per file
constexpr uint64_t kUdfMaxContinuationBytes = 64 * 1024;   // one extent of allocation descriptors
constexpr uint64_t kUdfMaxExtents = 1u << 20;              // extents of one file
constexpr uint64_t kUdfMaxVatBytes = 64ull * 1024 * 1024;  // entries for 16 million blocks
constexpr int32_t kUdfVatSearchSectors = 256;              // the table is written at the end of a session

// Absolute sector of block + offset of the partition of map mapIndex; -1 when
// the map does not translate it (no map, past the partition or the table, an
// unused table entry).
int64_t UdfMapBlock(const image::UdfState& state, int32_t mapIndex, uint32_t block, uint32_t offset);
// How many blocks from `block` on lie in consecutive sectors (at least 1).
uint64_t UdfContiguousBlocks(const image::UdfState& state, int32_t mapIndex, uint32_t block);

// One 2048-byte sector of the image; false outside the image or on a short read.
bool ReadUdfSector(image::ImageContext& ctx, const image::UdfState& state, int64_t sector, uint8_t* out);
// A sector whose tag is valid for expectedLocation. The tag identifier is
// reported even when the checks fail.
bool ReadUdfTaggedBlock(image::ImageContext& ctx, const image::UdfState& state, int64_t sector,
                        uint32_t expectedLocation, uint8_t* out, uint16_t* identifier = nullptr);
// The tagged block at block + offset of a partition (its tag names that block).
bool ReadUdfPartitionBlock(image::ImageContext& ctx, const image::UdfState& state, int32_t mapIndex, uint32_t block,
                           uint32_t offset, uint8_t* out, uint16_t* identifier = nullptr);

// A file entry (tag 261) or extended file entry (tag 266) with all its blocks.
bool ReadUdfFileEntry(image::ImageContext& ctx, const image::UdfState& state, int32_t mapIndex, uint32_t block,
                      UdfFileEntry& out);
// The entry's extents in order, following extents of further descriptors; or,
// for data kept in the entry, that data (at most the information length).
// False on damage: a loop or too many hops, a continuation that is not an
// allocation extent descriptor or claims more than it holds, too many extents.
bool ReadUdfAllocationDescriptors(image::ImageContext& ctx, const image::UdfState& state, const UdfFileEntry& entry,
                                  std::vector<UdfExtent>& extents, std::vector<uint8_t>* embedded);
// Bytes [offset, offset + bytes) of the data the extents describe (packed by
// their byte lengths) into out: the bytes delivered, fewer when a block cannot
// be translated or read. Never writes more than `bytes`.
uint64_t ReadUdfExtentBytes(image::ImageContext& ctx, const image::UdfState& state,
                            const std::vector<UdfExtent>& extents, uint64_t offset, uint8_t* out, uint64_t bytes);

// An item's extent list (32-bit count, then 12 bytes each: partition reference,
// block, length) to and from extents.
std::vector<uint8_t> EncodeUdfExtentList(const std::vector<UdfExtent>& extents);
std::vector<UdfExtent> DecodeUdfExtentList(const std::vector<uint8_t>& list);

}  // namespace filesystems
