#pragma once
// Saving a document as an image file: names and records, sector allocation,
// path tables, then every sector through the output format's writer. The
// image is written to a temporary file beside the target and renamed over it
// only when complete, so an interrupted or failed save never leaves a
// half-written image under the target's name, and a document saved over its
// own source keeps reading its old data until the save is done.

#include <cstdint>
#include <functional>
#include <string_view>

namespace foundation {
struct ProgressCallbacks;
}

namespace image {

struct ImageContext;
struct ImageBuild;

// outputFormat: a row of the format table with a writer (0 ISO, 1 BIN with
// its CUE sheet, ...). Returns 1 saved, 0 cancelled, -1 failed (the user has
// been told why; OperationStatus holds the reason).
int SaveImageFile(ImageContext& ctx, std::u16string_view path, int32_t outputFormat,
                  foundation::ProgressCallbacks* progress);

// Builds the document as a composed image for burning instead of a file: the
// document's composed image records every sector's source, and reads of the
// document then go through it (composedRead). 1 done, 0 cancelled, -1 failed
// (the user has been told why).
int ComposeImage(ImageContext& ctx, foundation::ProgressCallbacks* progress);

// Saves through a writer that a container format makes once the layout has
// given the image's size: the build's passes, then createWriter (false fails
// the save), then every sector through it. The document's output format is
// outputFormat meanwhile and restored after; the writer's own state is the
// caller's to release. 1 saved, 0 cancelled, -1 failed (the user has been
// told why).
int SaveThroughWriter(ImageContext& ctx, std::u16string_view path, int32_t outputFormat,
                      const std::function<bool(ImageBuild&)>& createWriter, foundation::ProgressCallbacks* progress);

}  // namespace image
