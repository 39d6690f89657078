#pragma once
// One image's directory tree, from its decoded metadata resource into the
// document's item tree.

#include <cstdint>
#include <span>

#include "image/document/image_context.h"

namespace image {
struct WimState;
}

namespace filesystems::wim {

// Builds the tree below the document's root folder. Directories are read from
// a work list, each directory list at most once and no deeper than
// kMaxDirectoryDepth. False when the metadata is damaged (an entry that does
// not fit, a subdirectory outside the resource or seen before, too deep):
// the tree then holds everything read up to the damage in each directory.
bool BuildWimTree(image::ImageContext& ctx, const image::WimState& state, std::span<const uint8_t> metadata);

}  // namespace filesystems::wim
