#pragma once
// Writing a document's tree as a new ZIP or 7z archive through the library's
// IOutArchive. Every item is new: the library reads each file through an
// input stream over the tree item, whether its data come from a disk file,
// the opened image or the opened archive (so an opened archive saved again is
// an update).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "containers/archive/arc_streams.h"
#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace containers::archive {

// One item handed to the library, in the order of the walk.
struct UpdateItem {
    image::ImageItem* item = nullptr;
    std::u16string path;        // "/"-separated from the root, no leading "/"
    uint64_t accessTime = 0;    // FILETIME ticks
    uint64_t creationTime = 0;
    uint64_t writeTime = 0;
    uint32_t attributes = 0;    // 16 folder
};

// The document's items: each folder's entries in list order, then each of
// its subfolders the same way, without recursion; "." and ".." left out.
std::vector<UpdateItem> CollectUpdateItems(image::ImageContext& ctx);

struct CreateArchiveRequest {
    int32_t archiveKind = 1;              // 1 ZIP, 2 7z
    int32_t levelSetting = 0;             // 0 -> "x" 5, 1 -> 7, else 9
    std::u16string password;              // "" none
    std::shared_ptr<OutputTarget> target; // one file or volumes
    foundation::ProgressCallbacks* progress = nullptr;
};

// The compression level the library is given for a level setting.
uint32_t LevelForSetting(int32_t levelSetting);

// 1 written, 0 cancelled, -1 failed (OperationStatus set, the user told).
// Without the library: last error 126 and "Error writing archive '%s'.".
int CreateArchive(image::ImageContext& ctx, const CreateArchiveRequest& request);

}  // namespace containers::archive
