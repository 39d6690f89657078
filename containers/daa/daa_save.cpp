// Saving a document as a DAA image: the image build lays out the tree, then
// the sector writer streams its sectors into the DAA writer, whose output
// files (one, or each volume) come from the caller's opener.

#include "containers/daa/daa_container.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/build/image_build.h"
#include "image/document/image_context.h"
#include "image/iso/iso_layout.h"
#include "image/sectors/format_table.h"

namespace containers {

int SaveDaaImage(image::ImageContext& ctx, std::u16string_view path, DaaOutputOpener opener,
                 foundation::ProgressCallbacks* progress) {
    foundation::ResetOperationStatus();
    struct Restore {
        image::ImageContext& ctx;
        int32_t format;
        ~Restore() {
            ctx.outputFormat = format;
            ctx.daaWriter.Reset();
            image::FreeImageWriter(&ctx);
        }
    } restore{ctx, ctx.outputFormat};
    auto failed = [&](std::u16string_view text) {
        if (foundation::OperationStatus.load() == foundation::kStatusCancelled) return 0;
        if (foundation::OperationStatus.load() == foundation::kStatusNone)
            foundation::OperationStatus = foundation::kStatusFailed;
        if (!text.empty()) foundation::SetLastErrorText(text);
        foundation::ShowLastError(path);
        return -1;
    };
    ctx.outputFormat = image::format_code::kDaa;
    image::ImageBuild build;
    image::LayoutError layoutError = image::LayoutError::None;
    if (image::PrepareTreeForWrite(ctx, build.iso, progress, &layoutError) != 1) {
        if (layoutError == image::LayoutError::Cancelled) foundation::OperationStatus = foundation::kStatusCancelled;
        return failed(image::LayoutErrorText(layoutError));
    }
    if (image::BuildImageLayout(ctx, build, progress, -1) != 1 || image::LayoutDirectoryTrees(ctx, build) != 1)
        return failed({});
    // The layout has given the image's sector count: the writer sizes its table by it.
    if (!CreateDaaWriter(ctx, path, std::move(opener))) return failed({});
    image::WriterArguments args;
    args.progress = progress;
    if (image::WriteImageContents(ctx, build, args) != 0) return failed({});
    return 1;
}

}  // namespace containers
