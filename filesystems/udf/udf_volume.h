#pragma once
// UDF volumes of disc images.

#include <cstdint>

#include "image/document/image_context.h"

namespace filesystems {

// The UDF volume of the session starting at sessionStart; true when mounted
// (the document's UDF-present flag set and its tree read).
bool MountUdf(image::ImageContext& ctx, int32_t sessionStart);

}  // namespace filesystems
