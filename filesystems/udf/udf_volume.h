#pragma once
// UDF volumes of disc images: recognising and mounting the volume of a
// session (anchor, volume descriptors, partition maps: physical, sparable,
// virtual and metadata), reading its directory hierarchy into the item tree,
// and reading the data of its files.

#include <cstdint>

#include "image/document/image_context.h"

namespace filesystems {

// The UDF volume of the session starting at sessionStart; true when mounted
// (for a document that owns its tree, the tree is read too). The caller sets
// the document's UDF-present flag.
bool MountUdf(image::ImageContext& ctx, int32_t sessionStart);

// Image sector of the item's 2048-byte block blockIndex; -1 past its end,
// for a block that is not recorded, or for an item without an extent list.
int64_t UdfBlockToSector(image::ImageContext& ctx, const image::ImageItem& item, uint64_t blockIndex);
// Blocks firstBlock.. of the item's data (2048 bytes each, the last one padded
// with zeros) into buffer, which holds blockCount x 2048 bytes: the blocks
// delivered; fewer at the end of the data or at a block that cannot be read.
int64_t UdfReadFileSectors(image::ImageContext& ctx, const image::ImageItem& item, uint8_t* buffer,
                           uint64_t firstBlock, uint64_t blockCount);
// Bytes [offset, offset + bytes) of the item's data: the bytes copied.
int64_t ReadUdfItemBytes(image::ImageContext& ctx, const image::ImageItem& item, uint64_t offset, uint8_t* buffer,
                         uint64_t bytes);

}  // namespace filesystems
