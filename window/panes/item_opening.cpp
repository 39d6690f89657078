#include "window/panes/item_opening.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/extract_job.h"
#include "foundation/messages.h"
#include "foundation/messages_ui.h"
#include "foundation/operation_status.h"
#include "foundation/work_folder.h"
#include "image/document/current_document.h"
#include "image/document/image_context.h"
#include "image/document/item_tree.h"
#include "image/sheets/track_list.h"
#include "platform/format.h"
#include "platform/text.h"
#include "window/dialogs/extract_dialog.h"
#include "window/dialogs/run_exe_warning_dialog.h"
#include "window/faces/qt_text.h"
#include "window/frame/main_frame.h"

namespace app::ui {

namespace {

using foundation::ui::ToQString;
using foundation::ui::ToU16;

constexpr std::u16string_view kOpenFailed = u"The file could not be opened:";

bool EndsWithNoCase(std::u16string_view name, std::u16string_view tail) {
    return name.size() >= tail.size() && platform::EqualsNoCase(name.substr(name.size() - tail.size()), tail);
}

void TellFailure(std::u16string_view name) {
    // The extraction job reports its own failures; this names the file when
    // nothing was there to start.
    foundation::AppMessageBox(std::u16string(kOpenFailed) + u"\r\n" + std::u16string(name),
                              foundation::kMbOk | foundation::kMbIconStop);
}

// Extracts items of baseFolder (all of it when items is empty) into a new
// opening folder; the folder, or nothing after a cancel or a failure.
std::optional<std::u16string> ExtractForOpening(CMainFrame* frame, image::ImageContext* ctx,
                                                image::ImageFolder* baseFolder,
                                                const std::vector<image::ImageItem*>& items) {
    const std::optional<std::u16string> folder = MakeOpeningFolder();
    if (!folder) return std::nullopt;
    app::ExtractRequest request;
    request.destination = *folder;
    request.allFiles = items.empty();
    request.options.overwriteWithoutAsking = true;
    if (frame) frame->StopPlayer();
    const int result = dialogs::ui::RunExtractJob(frame, ctx, baseFolder, items, request);
    const bool done = result == 1 && foundation::OperationStatus.load() == 0;
    foundation::ResetOperationStatus();
    if (!done) return std::nullopt;
    return folder;
}

bool Launch(const std::u16string& path, foundation::LaunchMode mode) {
    if (foundation::LaunchFile(path, mode)) return true;
    // No application for the type: the user picks one.
    if (mode == foundation::LaunchMode::Open && foundation::LaunchFile(path, foundation::LaunchMode::OpenWith))
        return true;
    TellFailure(path);
    return false;
}

}  // namespace

bool AsksBeforeOpening(std::u16string_view name, foundation::LaunchMode mode, int fileCount, int folderCount) {
    if (mode != foundation::LaunchMode::Open) return false;
    const bool program = EndsWithNoCase(name, u".exe") || EndsWithNoCase(name, u".desktop");
    return program && (folderCount >= 1 || fileCount >= 2);
}

std::optional<std::u16string> MakeOpeningFolder() {
    std::u16string work = foundation::GetTempWorkFolder();
    if (work.empty()) {
        const std::optional<std::u16string> made = foundation::PrepareTempWorkFolder();
        if (!made) return std::nullopt;
        work = *made;
    }
    // Each opening gets a folder of its own: two files of one name from
    // different folders, or one file opened twice while its program still has
    // it, never meet.
    std::string pattern = platform::Utf16ToUtf8(work) + "open-XXXXXX";
    if (!mkdtemp(pattern.data())) return std::nullopt;
    return platform::Utf8ToUtf16(pattern) + u"/";
}

std::optional<std::u16string> SingleFileIn(std::u16string_view folder) {
    const QDir dir(ToQString(folder));
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.size() != 1) return std::nullopt;
    const QFileInfo& only = entries.front();
    if (only.isSymLink() || !only.isFile()) return std::nullopt;
    return ToU16(only.absoluteFilePath());
}

bool OpenListFile(CMainFrame* frame, image::ImageItem* item, foundation::LaunchMode mode) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    image::ImageFolder* folder = image::g_CurrentFolder;
    if (!ctx || !folder || !item || image::IsFolderItem(item)) return false;
    const std::u16string name = item->name.str();
    image::TreeStatistics stats;
    image::GetTreeStatistics(ctx, ctx->rootFolder, &stats, true);
    if (AsksBeforeOpening(name, mode, stats.fileCount, stats.folderCount)) {
        const int choice = dialogs::ui::AskRunExecutable(frame, ToQString(name));
        if (choice == dialogs::ui::CRunExeWarningDlg::kExtractAllFirst) {
            // Everything out first, so the program finds the files beside it.
            const std::optional<std::u16string> all = ExtractForOpening(frame, ctx, ctx->rootFolder, {});
            if (!all) return false;
            QString relative;
            for (image::ImageFolder* at = folder; at && at->parent != at && at != ctx->rootFolder; at = at->parent)
                relative.prepend(ToQString(image::FolderName(at)) + u'/');
            const QFileInfo written(ToQString(*all) + relative + ToQString(name));
            if (!written.isFile() || written.isSymLink()) {
                TellFailure(name);
                return false;
            }
            return Launch(ToU16(written.absoluteFilePath()), mode);
        }
        if (choice != dialogs::ui::CRunExeWarningDlg::kRunDirectly) return false;
    }
    const std::optional<std::u16string> own = ExtractForOpening(frame, ctx, folder, {item});
    if (!own) return false;
    // What the job wrote, under the name it could write: never a path guessed
    // from the item's name.
    const std::optional<std::u16string> written = SingleFileIn(*own);
    if (!written) {
        TellFailure(name);
        return false;
    }
    return Launch(*written, mode);
}

bool OpenVideoTrack(CMainFrame* frame, int track, foundation::LaunchMode mode) {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || !ctx->rootFolder || !ctx->trackList || ctx->videoCdKind == 0) return false;
    const int32_t count = ctx->trackList->trackCount;
    // Track 0 is the data track; the MPEG files are numbered from 1.
    if (track < 1 || track > count - 1) return false;
    const bool super = ctx->videoCdKind == 2;
    image::ImageItem* mpeg = image::FindChildByName(ctx->rootFolder, super ? u"MPEG2" : u"MPEGAV");
    if (!mpeg || !mpeg->ownFolder) return false;
    auto fileNamed = [&](std::u16string_view pattern) -> image::ImageItem* {
        image::ImageItem* found = image::FindChildByName(mpeg->ownFolder, platform::Format(pattern, track));
        return found && !image::IsFolderItem(found) ? found : nullptr;
    };
    image::ImageItem* file = super ? fileNamed(u"AVSEQ%02d.MPG") : fileNamed(u"AVSEQ%02d.DAT");
    if (!file && !super) file = fileNamed(u"MUSIC%02d.DAT");
    if (!file) return false;   // a missing track file opens nothing
    const std::optional<std::u16string> own = ExtractForOpening(frame, ctx, mpeg->ownFolder, {file});
    if (!own) return false;
    const std::optional<std::u16string> written = SingleFileIn(*own);
    if (!written) {
        TellFailure(file->name.str());
        return false;
    }
    return Launch(*written, mode);
}

}  // namespace app::ui
