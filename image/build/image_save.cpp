#include "image/build/image_save.h"

#include <fcntl.h>

#include <string>
#include <vector>

#include "foundation/file_io.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/paths.h"
#include "image/build/composed_image.h"
#include "image/sheets/cue_writer.h"
#include "image/sectors/format_table.h"
#include "image/build/image_build.h"
#include "image/build/mixed_mode_tracks.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "image/vcd/video_cd.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/last_error.h"
#include "platform/staged_file.h"
#include "platform/text.h"

namespace image {
namespace {

// The saved file and the descriptor the sector writers write through: a
// duplicate of the temporary's own, so closing it reports a delayed write
// failure while the temporary stays ready for its rename.
foundation::FileHandle OpenStagedOutput(platform::StagedFile& staged, std::u16string_view path) {
    if (!staged.Begin(path, {.durable = true})) return nullptr;
    const int fd = ::fcntl(staged.Fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        platform::SetLastErrorFromErrno();
        return nullptr;
    }
    return platform::FileFromDescriptor(fd);
}

void ShowSaveFailure(std::u16string_view path, std::u16string_view text) {
    if (text.empty()) {
        foundation::ShowLastError(path);
        return;
    }
    foundation::AppMessageBox(platform::Format(u"%s\r\n\r\n%s", std::u16string(path), std::u16string(text)),
                              foundation::kMbIconStop);
}

// Names and records, sector allocation, path tables, then every sector to
// the document's output. False when a pass failed (OperationStatus says why).
bool RunBuildPasses(ImageContext& ctx, ImageBuild& build, foundation::ProgressCallbacks* progress,
                    LayoutError& layoutError) {
    WriterArguments args;
    args.progress = progress;
    if (PrepareTreeForWrite(ctx, build.iso, progress, &layoutError) != 1) {
        if (layoutError == LayoutError::Cancelled) foundation::OperationStatus = foundation::kStatusCancelled;
        return false;
    }
    return BuildImageLayout(ctx, build, progress, -1) == 1 && LayoutDirectoryTrees(ctx, build) == 1 &&
           WriteImageContents(ctx, build, args) == 0;
}

}  // namespace

int SaveThroughWriter(ImageContext& ctx, std::u16string_view path, int32_t outputFormat,
                      const std::function<bool(ImageBuild&)>& createWriter, foundation::ProgressCallbacks* progress) {
    foundation::ResetOperationStatus();
    struct Restore {
        ImageContext& ctx;
        int32_t format;
        ~Restore() { ctx.outputFormat = format; }
    } restore{ctx, ctx.outputFormat};
    auto failed = [&](std::u16string_view text) {
        if (foundation::OperationStatus.load() == foundation::kStatusCancelled) return 0;
        if (foundation::OperationStatus.load() == foundation::kStatusNone)
            foundation::OperationStatus = foundation::kStatusFailed;
        if (!text.empty()) foundation::SetLastErrorText(text);
        foundation::ShowLastError(path);
        return -1;
    };
    ctx.outputFormat = outputFormat;
    ImageBuild build;
    LayoutError layoutError = LayoutError::None;
    if (PrepareTreeForWrite(ctx, build.iso, progress, &layoutError) != 1) {
        if (layoutError == LayoutError::Cancelled) foundation::OperationStatus = foundation::kStatusCancelled;
        return failed(LayoutErrorText(layoutError));
    }
    if (BuildImageLayout(ctx, build, progress, -1) != 1 || LayoutDirectoryTrees(ctx, build) != 1) return failed({});
    if (!createWriter(build)) return failed({});
    WriterArguments args;
    args.progress = progress;
    if (WriteImageContents(ctx, build, args) != 0) return failed({});
    return 1;
}

int SaveImageFile(ImageContext& ctx, std::u16string_view path, int32_t outputFormat,
                  foundation::ProgressCallbacks* progress) {
    foundation::ResetOperationStatus();
    foundation::SetLastErrorText(std::nullopt);
    const ImageFormatRow* row = GetImageFormatRow(outputFormat);
    if (row == nullptr || row->writer == nullptr) {
        platform::SetLastError(platform::kErrorNotSupported);
        foundation::OperationStatus = foundation::kStatusFailed;
        ShowSaveFailure(path, {});
        return -1;
    }
    // A Video CD project's MPEG tracks are not written by the build: a raw
    // image of it would hold the data track only, while its sheet named the
    // video tracks. Refuse rather than leave such an image.
    if (outputFormat == format_code::kBin && ctx.videoCdKind != 0 && ctx.trackList != nullptr &&
        ctx.trackList->trackCount > 1 && !VideoCdTracksFromSource(ctx)) {
        foundation::OperationStatus = foundation::kStatusFailed;
        ShowSaveFailure(path, u"The video tracks of this Video CD cannot be written to an image file yet.");
        return -1;
    }
    platform::StagedFile staged;
    foundation::FileHandle file = OpenStagedOutput(staged, path);
    if (!file) {
        foundation::OperationStatus = foundation::kStatusCannotCreate;
        ShowSaveFailure(path, {});
        return -1;
    }

    const int32_t previousFormat = ctx.outputFormat;
    ctx.outputFormat = outputFormat;
    ctx.outputHandle.reset(file);
    ctx.writingPath = platform::Utf8ToUtf16(staged.TemporaryPathUtf8());
    ctx.bytesWritten = 0;

    ImageBuild build;
    LayoutError layoutError = LayoutError::None;
    bool ok = RunBuildPasses(ctx, build, progress, layoutError);
    // The video tracks of a Video CD are no part of the build; a raw save
    // copies them after the data track so the image and its sheet agree.
    if (ok && outputFormat == format_code::kBin && ctx.bytesWritten % 2352 == 0 &&
        WriteVideoCdTrackFrames(ctx, ctx.bytesWritten / 2352, progress) == 0)
        ok = false;
    // The music of a mixed-mode disc follows the new data track.
    const int64_t dataEnd = ctx.bytesWritten / 2352;
    std::vector<int32_t> audioStarts;
    if (ok && outputFormat == format_code::kBin && ctx.bytesWritten % 2352 == 0 &&
        WriteAudioTrackFrames(ctx, dataEnd, progress, audioStarts) == 0)
        ok = false;
    const bool closed = platform::FileClose(ctx.outputHandle.release());
    ok = ok && closed;
    ctx.writingPath.clear();
    ctx.outputFormat = previousFormat;
    FreeImageWriter(&ctx);

    // Flushed to disk, given the mode and group of the file it replaces, and renamed.
    bool commitFailed = false;
    if (ok && !staged.Commit()) {
        foundation::OperationStatus = foundation::kStatusWriteFailed;
        ok = false;
        commitFailed = true;
    }
    if (!ok) {
        staged.Abandon();
        const int32_t status = foundation::OperationStatus.load();
        if (status == foundation::kStatusCancelled) return 0;
        if (status == foundation::kStatusNone) foundation::OperationStatus = foundation::kStatusFailed;
        // The writer and the file readers have already shown their errors.
        if (layoutError != LayoutError::None) ShowSaveFailure(path, LayoutErrorText(layoutError));
        else if (!foundation::GetLastErrorTextOverride().empty() || status == foundation::kStatusCannotCreate ||
                 !closed || commitFailed)
            ShowSaveFailure(path, {});
        return -1;
    }
    ctx.documentPath = std::u16string(path);
    // A BIN image is of no use without its sheet: a sheet that could not be
    // written (the CUE writer has said why) makes the save a failure.
    if (outputFormat == format_code::kBin && !audioStarts.empty()) {
        if (WriteMovedTracksCueSheet(std::u16string(path), ctx, dataEnd, audioStarts) != 0) {
            foundation::OperationStatus = foundation::kStatusFailed;
            return -1;
        }
    } else if (outputFormat == format_code::kBin && WriteCueSheet(std::u16string(path), ctx) != 0) {
        foundation::OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    return 1;
}

int ComposeImage(ImageContext& ctx, foundation::ProgressCallbacks* progress) {
    foundation::ResetOperationStatus();
    foundation::SetLastErrorText(std::nullopt);
    ctx.composedRead = 0;
    if (!NewComposedImage(ctx)) {
        foundation::OperationStatus = foundation::kStatusOutOfMemory;
        return -1;
    }
    const int32_t previousFormat = ctx.outputFormat;
    ctx.outputFormat = format_code::kIso;
    ctx.composeOutput = 1;
    ImageBuild build;
    LayoutError layoutError = LayoutError::None;
    const bool ok = RunBuildPasses(ctx, build, progress, layoutError);
    ctx.composeOutput = 0;
    ctx.outputFormat = previousFormat;
    FreeImageWriter(&ctx);
    if (!ok) {
        ctx.composedImage.Reset();
        if (foundation::OperationStatus.load() == foundation::kStatusCancelled) return 0;
        // As a save does, the burn is told why its image could not be built
        // (the readers and writers have shown their own errors).
        if (layoutError != LayoutError::None) foundation::AppMessageBox(LayoutErrorText(layoutError), foundation::kMbIconStop);
        else if (!foundation::GetLastErrorTextOverride().empty())
            foundation::AppMessageBox(foundation::GetLastErrorTextOverride(), foundation::kMbIconStop);
        if (foundation::OperationStatus.load() == foundation::kStatusNone)
            foundation::OperationStatus = foundation::kStatusFailed;
        return -1;
    }
    ctx.sectorCount = int32_t(build.endSector);
    ctx.composedRead = 1;
    return 1;
}

}  // namespace image
