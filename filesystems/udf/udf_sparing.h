#pragma once
// Sparable partitions (OSTA UDF 2.2.9, 2.2.12): a rewritable disc moves a
// packet that went bad to a spare packet and records the move in a sparing
// table. Reading the partition must follow those moves, or it reads the stale
// (or unreadable) original place.

#include <cstdint>

#include "filesystems/udf/udf_state.h"

namespace filesystems {

// The sparing table's size is bounded: a table of 4096 entries covers far more
// spare packets than any disc sets aside.
constexpr uint32_t kUdfMaxSparingTableBytes = 56 + 4096 * 8;

// Reads the first sound copy of the map's sparing table into its spared
// packets; a damaged copy (bad tag or CRC, wrong identifier, more entries than
// it holds) is passed over, and so is an entry that does not start a packet or
// points past the image. False when no copy is sound, which leaves the
// partition read in place.
bool LoadUdfSparingTable(image::ImageContext& ctx, const image::UdfState& state, UdfPartitionMap& map);

// Sector of partition block `block` when its packet was spared, else -1.
int64_t UdfSparedSector(const UdfPartitionMap& map, uint64_t block);

}  // namespace filesystems
