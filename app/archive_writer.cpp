#include "app/archive_writer.h"

#include <cstring>

#include "app/save_output.h"
#include "containers/archive/arc_create.h"
#include "containers/archive/zip_comment.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "image/detect/format_detect.h"
#include "image/document/image_context.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace app {
namespace {

std::u16string VolumeName(std::u16string_view base, int32_t volume) {
    return platform::Format(u"%s.%03d", std::u16string(base), int(volume + 1));
}

std::u16string DocumentPassword(const image::ImageContext& ctx) {
    const size_t n = ::strnlen(ctx.outputPassword.data(), ctx.outputPassword.size());
    if (n == 0) return {};
    std::u16string text;
    if (!platform::MultiByteToUtf16(platform::AnsiCodePage(), std::string_view(ctx.outputPassword.data(), n), text))
        text = platform::Utf8ToUtf16(std::string_view(ctx.outputPassword.data(), n));
    return text;
}

}  // namespace

int WriteArchiveDocument(SaveRequest& request) {
    image::ImageContext& ctx = request.ctx;
    containers::archive::CreateArchiveRequest create;
    create.archiveKind = ctx.archiveKind == 2 || image::GetFileExtension(request.path) == u"7z" ? 2 : 1;
    if (ctx.archiveKind == 1) create.archiveKind = 1;
    create.levelSetting = ctx.compressionLevel;
    create.password = DocumentPassword(ctx);
    create.progress = request.progress;
    SaveOutputSet& output = request.output;
    const std::u16string base = request.path;
    platform::FileHandle file = nullptr;
    if (ctx.splitOutput && ctx.volumeSize > 0) {
        // Higher-numbered volumes of an earlier set would be joined to this
        // one: the commit removes them once this set has taken its names.
        output.SetVolumeNamer([base](int32_t n) { return VolumeName(base, n); });
        create.target = containers::archive::MakeVolumeTarget(
            uint64_t(ctx.volumeSize),
            [&output, &base](int32_t volume) {
                return output.OpenVolume(VolumeName(base, volume));
            },
            VolumeName(base, 0));
    } else {
        file = output.OpenVolume(base);
        if (!file) return -1;
        create.target = containers::archive::MakeFileTarget(file, base);
    }
    int result = containers::archive::CreateArchive(ctx, create);
    // 7z archives have no comment; a ZIP file in one piece carries it at its end.
    if (result == 1 && file && create.archiveKind == 1 && ctx.archiveCommentPresent && !ctx.archiveComment.empty() &&
        !containers::archive::AppendZipComment(file, ctx.archiveComment)) {
        foundation::ShowLastError(base);
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        result = -1;
    }
    return result;
}

}  // namespace app
