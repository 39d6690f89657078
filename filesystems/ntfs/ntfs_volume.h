#pragma once
// NTFS volumes in a hard-disk image, read-only: the mount that reads the boot
// sector and the master file table and builds the item tree, and the
// extraction of a file's data.

#include <string_view>

#include "foundation/file_io.h"
#include "foundation/progress_callbacks.h"
#include "image/document/image_context.h"

namespace filesystems {

// 1 mounted with its tree, 0 not NTFS or failed (state freed, slot cleared).
// The volume begins at ctx.partitionStart; ctx.partitionSectors, when not 0,
// bounds it. The caller has made the root folder.
int MountNtfs(image::ImageContext& ctx);

// Writes the unnamed data stream of a file item (its start field holds its
// record number) to file at its current position: 1 done, 0 cancelled
// (OperationStatus 1), -1 failed (OperationStatus 4 for a read, 3 for a
// write). progress, when given, learns the bytes after each piece written.
int ExtractNtfsFile(foundation::ProgressCallbacks* progress, image::ImageContext& ctx, const image::ImageItem& item,
                    std::u16string_view path, foundation::FileHandle file);

}  // namespace filesystems
