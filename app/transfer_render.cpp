#include "app/transfer_render.h"

#include <sys/stat.h>

#include "app/extract_helpers.h"
#include "app/extract_job.h"
#include "foundation/operation_status.h"
#include "foundation/work_folder.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace app {

int RenderTransferFiles(image::ImageContext* ctx, image::ImageFolder* sourceFolder,
                        const std::vector<image::ImageItem*>& items, foundation::ProgressCallbacks* progress,
                        std::vector<std::u16string>& paths) {
    paths.clear();
    foundation::ResetOperationStatus();
    std::vector<image::ImageItem*> taken;
    std::vector<std::u16string> names;
    for (image::ImageItem* item : items) {
        std::u16string name;
        if (!item || image::IsDotOrDotDot(item) || !MakeSafeComponent(item->name.view(), name)) continue;
        taken.push_back(item);
        names.push_back(std::move(name));
    }
    if (!ctx || taken.empty()) {
        foundation::OperationStatus = foundation::kStatusSourceReadFailed;
        return -1;
    }
    const std::optional<std::u16string> workFolder = foundation::PrepareTempWorkFolder();
    if (!workFolder) {
        foundation::OperationStatus = foundation::kStatusCannotCreate;
        ReportExtractError(u"");
        return -1;
    }
    // A folder's earlier copy goes first; only a plain child of the work
    // folder is ever removed (the name was made a single component above).
    for (size_t i = 0; i < taken.size(); ++i) {
        if (!image::IsFolderItem(taken[i])) continue;
        const std::u16string earlier = *workFolder + names[i];
        struct stat st {};
        if (::lstat(platform::Utf16ToUtf8(earlier).c_str(), &st) != 0) continue;
        if (foundation::DeleteFolderTree(earlier) != 0) {
            platform::SetLastError(platform::kErrorAccessDenied);
            foundation::OperationStatus = foundation::kStatusWriteFailed;
            ReportExtractError(earlier);
            return -1;
        }
    }
    ExtractRequest request;
    request.destination = *workFolder;
    request.options.overwriteSilently = true;
    const int result = ExtractItems(ctx, sourceFolder, taken, request, progress);
    if (result != 1) return -1;
    for (const std::u16string& name : names) paths.push_back(*workFolder + name);
    return 0;
}

}  // namespace app
