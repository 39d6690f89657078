#pragma once
// Save of an edited FAT document: the disk image with the volume's edits in
// place, written as a whole new file that replaces the old one only when
// complete. A save that fails leaves the old image and the document's edits
// as they were.

#include <string_view>

#include "image/document/image_context.h"

namespace filesystems {

// Writes the disk as the document sees it (its FAT overlay first) to path:
// 0, or -1 with OperationStatus set (3 the output could not be written,
// 11 the image could not be read) and the last error shown.
int SaveFatDiskImage(image::ImageContext& ctx, std::u16string_view path);

}  // namespace filesystems
