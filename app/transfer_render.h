#pragma once
// Items dragged or copied out of the document to another program: they become
// real files in the program's private work folder only when the receiver asks
// for the data, and the receiver is handed their paths. The same items asked
// for twice are written again over the earlier copies without a question; a
// folder's earlier copy is removed first, so files taken out of the document
// since do not linger in it.

#include <string>
#include <vector>

#include "foundation/progress_callbacks.h"

namespace image {
struct ImageContext;
struct ImageFolder;
struct ImageItem;
}  // namespace image

namespace app {

// Extracts the items (files and folders of sourceFolder; null: the root) into
// the work folder and fills paths with the work-folder path of each item, in
// the order given. 0 done; -1 failed, cancelled, or nothing to write
// (OperationStatus then says why: 4 when no item could be taken). Runs on the
// calling thread; the window side runs it on the progress dialog's worker.
int RenderTransferFiles(image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                        const std::vector<image::ImageItem*>& items, foundation::ProgressCallbacks* progress,
                        std::vector<std::u16string>& paths);

}  // namespace app
