#pragma once
// An extracted Video CD track file: the RIFF CDXA header, then the track's raw
// 2352-byte sectors, one for each 2048 bytes of the file's size, so that
// players read the MPEG stream with its sector sub-headers.

#include <cstdint>

#include "platform/file.h"

namespace foundation {
struct ProgressCallbacks;
}
namespace image {
struct ImageContext;
struct ImageItem;
}

namespace audio {

// Writes the CDXA header of the item at the file's current position: 1
// written, -1 a write failed, 0 not a Video CD track (not a Video CD
// document, data held in memory, or no track marker 1..99).
int WriteCdxaHeader(const image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle file);

// The extraction's writer of a Video CD track file (out open at offset 0):
// header and raw sectors, with progress, pause and cancel. 1 done, 0
// cancelled, -1 failed with OperationStatus 3 (write) or 4 (read).
int WriteVideoCdTrackFile(image::ImageContext& ctx, const image::ImageItem& item, platform::FileHandle out,
                          foundation::ProgressCallbacks* progress);

}  // namespace audio
