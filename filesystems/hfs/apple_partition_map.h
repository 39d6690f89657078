#pragma once
// Partition maps that place a Mac volume on a disc: the Apple partition map
// ("PM" entries) and the old "TS" map.

#include <cstdint>
#include <optional>

#include "image/document/image_context.h"

namespace filesystems {

// Byte offset, from baseBytes, of the first partition of type "Apple_HFS" in
// the map whose entries start one block after baseBytes (blockBytes each);
// nothing when there is no map or no such partition.
std::optional<uint64_t> FindAppleHfsPartition(image::ImageContext& ctx, uint64_t baseBytes, uint32_t blockBytes);

}  // namespace filesystems
