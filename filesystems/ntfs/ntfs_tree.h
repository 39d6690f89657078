#pragma once
// The item tree of a mounted NTFS volume, built from its master file table.

#include "image/document/image_context.h"

namespace filesystems {

// Folders deeper than this are listed without their contents.
constexpr int32_t kMaxNtfsFolderDepth = 1024;

// Builds the tree under ctx.rootFolder from the loaded table: every file and
// folder whose chain of parents reaches the root. True on success (a damaged
// record costs only its own entry); false when out of memory, with the root
// left empty.
bool BuildNtfsTree(image::ImageContext& ctx);

}  // namespace filesystems
