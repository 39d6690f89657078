// Saving a document as a DAA image: the image build lays out the tree, then
// the sector writer streams its sectors into the DAA writer, whose output
// files (one, or each volume) come from the caller's opener.

#include "containers/daa/daa_container.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/build/image_build.h"
#include "image/build/image_save.h"
#include "image/document/image_context.h"
#include "image/iso/iso_layout.h"
#include "image/sectors/format_table.h"

namespace containers {

int SaveDaaImage(image::ImageContext& ctx, std::u16string_view path, DaaOutputOpener opener,
                 foundation::ProgressCallbacks* progress) {
    struct Release {
        image::ImageContext& ctx;
        ~Release() {
            ctx.daaWriter.Reset();
            image::FreeImageWriter(&ctx);
        }
    } release{ctx};
    // The layout has given the image's sector count: the writer sizes its table by it.
    return image::SaveThroughWriter(
        ctx, path, image::format_code::kDaa,
        [&](image::ImageBuild&) { return CreateDaaWriter(ctx, path, std::move(opener)); }, progress);
}

}  // namespace containers
