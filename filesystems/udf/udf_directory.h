#pragma once
// The directory hierarchy of a mounted UDF volume into the document's item
// tree, from the root named by the file set descriptor.

#include "filesystems/udf/udf_state.h"

namespace filesystems {

// Reads the root directory into the document's root folder and every folder
// below it, without recursion: a work list, a visited set of directory entries
// (a folder that names an ancestor or a folder already read is not entered
// again) and caps on depth and path length. Damaged entries are skipped and
// counted. False only when the root cannot be read or memory runs out.
bool ReadUdfTree(image::ImageContext& ctx, image::UdfState& state);

}  // namespace filesystems
