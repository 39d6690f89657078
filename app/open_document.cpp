#include "app/open_document.h"

#include <mutex>

#include "app/disc_opener_services.h"
#include "foundation/volume_set_services.h"
#include "image/document/main_window_services.h"
#include "foundation/console.h"
#include "foundation/memory.h"
#include "foundation/messages.h"
#include "foundation/operation_status.h"
#include "foundation/programs.h"
#include "foundation/strings.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"
#include "image/vcd/video_cd.h"
#include "platform/format.h"

namespace app {
using namespace foundation;
namespace {

// One owner for the reading handle while the dispatcher holds it.
UniqueFile OpenForRead(std::u16string_view path) { return UniqueFile(OpenFileForRead(path)); }

bool IsConsole() { return ConsoleMode.load(); }

// The text of an opener's result code, and the box flags it is shown with.
struct FailureText {
    std::u16string text;
    uint32_t flags = kMbIconStop;
};

FailureText FailureTextFor(int code) {
    switch (code) {
        case image::open_result::kTooLarge: return {LangString(30370)};
        // Code 0 (the image core found no image) would otherwise show an
        // empty box, which tells the user nothing.
        case 0: return {LangString(32102)};
        case image::open_result::kNotRecognised: return {LangString(30380)};
        case image::open_result::kDirectoryUnreadable: return {LangString(30580)};
        case image::open_result::kPasswordRequired: return {LangString(30550)};
        case image::open_result::kVersionMismatch: return {LangString(30610), kMbOkCancel | kMbIconStop};
        case 16: return {GetLastErrorText()};
        case 18: return {LangString(30660)};
        case image::open_result::kWrongPassword: return {LangString(30381)};
        default: return {};
    }
}

}  // namespace

image::ImageContext* OtherOpenerStandIn::OpenDiskImage(std::u16string_view, FileHandle, int* code) {
    *code = image::open_result::kNotRecognised;
    return nullptr;
}
image::ImageContext* OtherOpenerStandIn::OpenWimArchive(std::u16string_view, FileHandle, int* code) {
    *code = image::open_result::kNotRecognised;
    return nullptr;
}
image::ImageContext* OtherOpenerStandIn::OpenArchiveAsImage(std::u16string_view, bool, int, int* code) {
    *code = image::open_result::kNotRecognised;
    return nullptr;
}
void OtherOpenerStandIn::AttachVideoCdTracks(image::ImageContext& ctx) { image::AttachVideoCdTracks(ctx); }

void ShowFileErrorMessage(std::u16string_view path, const std::u16string* text) {
    std::u16string message = text ? *text : GetLastErrorText();
    if (IsConsole()) {
        foundation::ConsoleWrite(u"%s: %s\r\n", std::u16string(path), message);
        return;
    }
    AppMessageBox(platform::Format(u"%s\r\n\r\n%s", std::u16string(path), message), kMbIconStop);
    image::RemoveRecentFile(path);
}

void ReportOpenFailure(std::u16string_view path, int code) {
    if (code == image::open_result::kOutOfMemory) AbortOutOfMemory();
    FailureText failure = FailureTextFor(code);
    if (IsConsole()) {
        // The console has no main window and no menu of recent files: the
        // user's list is left as it is.
        foundation::ConsoleWrite(u"%s: %s\r\n", std::u16string(path), failure.text);
        return;
    }
    int answer = AppMessageBox(platform::Format(u"%s\r\n\r\n%s", std::u16string(path), failure.text), failure.flags);
    if (code == image::open_result::kVersionMismatch && answer == kIdOk) ShellOpen(GetWebLink(4));
    image::RemoveRecentFile(path);
}

bool ResolveOpenPaths(std::u16string_view path, std::u16string& imagePath, std::u16string& sheetPath, int32_t& kind) {
    imagePath.clear();
    sheetPath.clear();
    kind = kOpenNamedImage;
    std::u16string named(path);
    foundation::RedirectToFirstVolume(named);
    if (named.empty()) return false;
    {
        UniqueFile probe = OpenForRead(named);
        if (!probe) {
            ShowFileErrorMessage(named, nullptr);
            return false;
        }
    }
    if (image::TrackListPtr sheet = image::OpenSheet(named)) {
        // The user named a sheet: the data file is the one it names.
        std::u16string dataFile = sheet->firstFilePath;
        if (!dataFile.empty()) {
            sheetPath = named;
            imagePath = dataFile;
            kind = kOpenNamedSheet;
            return true;
        }
    }
    sheetPath = image::FindCompanionSheet(named);
    imagePath = named;
    return true;
}

image::ImageContext* OpenImageByPath(std::u16string_view path, bool addToRecent, bool interactive, bool forMount) {
    ResetOperationStatus();
    {
        image::ImageContext* disc = nullptr;
        int code = image::open_result::kOk;
        if (DiscOpenerServices().OpenDisc(path, interactive && !forMount, &disc, &code)) {
            if (!disc) {
                if (code != image::open_result::kCancelled && code != image::open_result::kOk)
                    ReportOpenFailure(path, code);
                OperationStatus = kStatusFailed;
            }
            return disc;
        }
    }
    std::u16string imagePath, sheetPath;
    int32_t kind = kOpenNamedImage;
    if (!ResolveOpenPaths(path, imagePath, sheetPath, kind)) {
        OperationStatus = kStatusFailed;
        return nullptr;
    }

    UniqueFile file = OpenForRead(imagePath);
    if (!file) {
        ShowFileErrorMessage(imagePath, nullptr);
        OperationStatus = kStatusFailed;
        return nullptr;
    }

    int code = image::open_result::kOk;
    // The image core takes the handle whatever its result.
    image::DocumentPtr doc(image::OpenImageDocument(imagePath, sheetPath, file.release(),
                                                    interactive && !forMount, kind, &code));
    if (!doc && (code == image::open_result::kOk || code == image::open_result::kNotRecognised)) {
        if (!interactive && !forMount) {
            if (code == image::open_result::kNotRecognised || code == image::open_result::kOk) {
                std::u16string text = LangString(32102);
                ShowFileErrorMessage(imagePath, &text);
                OperationStatus = kStatusFailed;
                return nullptr;
            }
        } else {
            IOtherOpenerServices& openers = OtherOpenerServices();
            UniqueFile again = OpenForRead(imagePath);
            if (!again) {
                ShowFileErrorMessage(imagePath, nullptr);
                OperationStatus = kStatusFailed;
                return nullptr;
            }
            code = image::open_result::kNotRecognised;
            doc.reset(openers.OpenDiskImage(imagePath, again.get(), &code));
            if (doc) (void)again.release();
            if (!doc && code != image::open_result::kCancelled) {
                code = image::open_result::kNotRecognised;
                doc.reset(openers.OpenWimArchive(imagePath, again.get(), &code));
                if (doc) (void)again.release();
            }
            again.reset();
            // A cancelled choice (of a partition or a WIM image) ends the open:
            // no further opener may turn it into "invalid or unsupported".
            if (!doc && code != image::open_result::kCancelled) {
                code = image::open_result::kNotRecognised;
                doc.reset(openers.OpenArchiveAsImage(imagePath, forMount, 0, &code));
            }
        }
    }

    if (!doc) {
        if (code != image::open_result::kCancelled) ReportOpenFailure(imagePath, code);
        OperationStatus = kStatusFailed;
        return nullptr;
    }
    if (doc->formatCode == image::format_code::kUnknown) {
        OperationStatus = kStatusFailed;
        return nullptr;
    }
    // The console command processor leaves the user's recent files alone.
    if (addToRecent && !IsConsole()) image::AddRecentFile(kind == kOpenNamedSheet ? sheetPath : imagePath);
    if (doc->videoCdKind != 0) OtherOpenerServices().AttachVideoCdTracks(*doc);
    return doc.release();
}

}  // namespace app
