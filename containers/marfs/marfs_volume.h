#pragma once
// MARFS, the small file system inside an MZP archive. Sector 0: "MARFSVO", the
// root directory's 35-byte record at 20 (its name-length field overlaps the
// label), the UTF-16 label at 52 (up to 32 characters). Directories are runs
// of sectors holding records back to back:
//   0 uint16 record length (34 + name bytes); 2 uint32 first sector; 6 zero;
//   10 uint64 size; 18 flags (bit 0 folder); 19 zero; 20 UDF timestamp (12);
//   32 uint16 name bytes; 34 the name, UTF-16.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
struct ImageItem;
}

namespace image {
// The document's MARFS state: the kept root record.
struct MarfsVolume {
    std::array<uint8_t, 35> rootRecord{};
};
}  // namespace image

namespace containers {

constexpr size_t kMarfsRecordHead = 34;
constexpr size_t kMarfsLabelOffset = 52;
constexpr size_t kMarfsLabelChars = 32;
constexpr uint8_t kMarfsFolderFlag = 1;

// 1 when sector 0 of the document is a MARFS header (kept, label taken), else 0.
int DetectMarfsVolume(image::ImageContext& ctx);
// Reads the tree below the root: 0, or -1 when the root directory cannot be read.
// Damaged entries are skipped (the document's directory-error warning is set).
int LoadMarfsTree(image::ImageContext& ctx);

// Writes the document's tree as a MARFS volume through the document's sector
// writer (ctx.outputFormat): the layout first (ctx.endSector becomes the
// volume's sector count), then beforeWrite (false stops the save), then every
// sector in order. 1 saved, 0 cancelled, -1 failed (OperationStatus says why).
int WriteMarfsVolume(image::ImageContext& ctx, foundation::ProgressCallbacks* progress,
                     const std::function<bool()>& beforeWrite);

}  // namespace containers
