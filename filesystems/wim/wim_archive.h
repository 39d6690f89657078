#pragma once
// WIM archives opened as documents.

#include <string_view>

#include "foundation/file_io.h"
#include "image/document/image_context.h"

namespace filesystems {

// A new document over the WIM file, or null with *code set (open_result codes).
// The caller keeps owning the file on failure.
image::ImageContext* OpenWimArchive(std::u16string_view path, foundation::FileHandle file, int* code);

}  // namespace filesystems
