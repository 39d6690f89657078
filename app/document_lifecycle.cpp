#include "app/document_lifecycle.h"

#include "app/open_document.h"
#include "app/save_engine.h"
#include "containers/daa/daa_container.h"
#include "filesystems/fat/fat_save.h"
#include "foundation/file_filters.h"
#include "foundation/language.h"
#include "foundation/messages.h"
#include "foundation/window_faces.h"
#include "foundation/work_folder.h"
#include "image/detect/format_detect.h"
#include "image/document/current_document.h"
#include "image/document/document.h"
#include "image/document/image_context.h"
#include "image/sheets/track_list.h"

namespace app {
namespace {

namespace fc = image::format_code;

constexpr uint32_t kAskToSaveText = 740;
constexpr uint32_t kNewArchiveText = 1360;

// Main thread only, as the current document itself.
DocumentKind g_documentKind = DocumentKind::None;
std::u16string g_newDocumentName;

DocumentKind KindOf(const image::ImageContext& ctx) {
    if (ctx.multiSession) return DocumentKind::MultiSession;
    if (ctx.videoCdKind == 1) return DocumentKind::VideoCd;
    if (ctx.videoCdKind == 2) return DocumentKind::SuperVideoCd;
    if (ctx.formatCode == fc::kAudioCd) return DocumentKind::AudioCd;
    return DocumentKind::ImageOrArchive;
}

// Makes a new document current: its name, its kind and the views.
int MakeCurrent(image::ImageContext* ctx, std::u16string_view name, DocumentKind kind) {
    if (!ctx) return 0;
    image::g_CurrentDocument = ctx;
    g_newDocumentName = MakeNewDocName(ctx, name);
    g_documentKind = kind;
    image::g_CurrentFolder = kind == DocumentKind::AudioCd ? nullptr : ctx->rootFolder;
    DocumentWindowServices().ShowDocument(ctx);
    return 1;
}

// The document's own file can be written again in its format.
bool HasWriterForOwnFile(const image::ImageContext& ctx) {
    const int32_t format = image::GetFormatByExtension(image::GetFileExtension(ctx.imagePath));
    return format != -1 && GetDocumentWriter(format) != nullptr;
}

bool ReopenAfterSave(const std::u16string& path) {
    const std::u16string written = path;
    CloseDocument();
    if (!OpenDocument(written)) NewDefaultDocument();
    ClearDocumentModified();
    DocumentWindowServices().UpdateBarsForKind(false);
    return true;
}

bool OpenChosen(std::u16string_view path) {
    DocumentWindowServices().ClearNavigationHistory();
    CloseDocument();
    const bool opened = OpenDocument(path);
    if (!opened) NewDefaultDocument();
    ClearDocumentModified();
    DocumentWindowServices().UpdateBarsForKind(false);
    return opened;
}

}  // namespace

DocumentKind CurrentDocumentKind() { return g_documentKind; }
std::u16string NewDocumentName() { return g_newDocumentName; }

void SetNewDocumentName(std::u16string_view name) { g_newDocumentName.assign(name); }

std::u16string MakeNewDocName(const image::ImageContext* ctx, std::u16string_view name) {
    if (!name.empty()) return std::u16string(name);
    std::u16string result = foundation::GetLangString(kNewArchiveText, u"New Archive");
    const int32_t format = ctx ? ctx->formatCode : -1;
    if (format == fc::kIso) return result + u".iso";
    if (format == fc::kArchive) {
        if (ctx->archiveKind == 1) return result + u".zip";
        if (ctx->archiveKind == 2) return result + u".7z";
    }
    return result + u".mzp";
}

bool OpenDocument(std::u16string_view path) {
    image::ImageContext* ctx = OpenImageByPath(path, true, true, false);
    image::g_CurrentDocument = ctx;
    if (!ctx) return false;
    g_documentKind = KindOf(*ctx);
    g_newDocumentName.clear();
    if (g_documentKind != DocumentKind::ImageOrArchive && ctx->trackList) ctx->trackList->selectedTrack = -1;
    image::g_CurrentFolder = ctx->rootFolder;
    DocumentWindowServices().ShowDocument(ctx);
    foundation::ReportImageReadWarnings(uint32_t(ctx->warningBits), ctx->imagePath);
    return true;
}

void CloseDocument() {
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return;
    IDocumentWindowServices& window = DocumentWindowServices();
    window.StopPlayer();
    window.CancelCutTransfer(ctx);
    // The views hold raw item pointers: they let go before the items are freed.
    window.ClearViews();
    image::CloseCurrentDocument();
    g_documentKind = DocumentKind::None;
    window.ShowDocument(nullptr);
}

int AskToSave() {
    const image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || ctx->modified == 0) return 0;
    const int answer = foundation::AppMessageBox(
        foundation::GetLangString(kAskToSaveText, u"The current file has been changed. Do you want to save it?"),
        foundation::kMbYesNoCancel | foundation::kMbIconQuestion);
    if (answer == foundation::kIdYes) return SaveCurrent() ? 0 : -1;
    if (answer == foundation::kIdNo) return 0;
    return -1;
}

int NewImageDocument(std::u16string_view name, int preset) {
    image::ImageContext* ctx = image::NewIsoDocument();
    if (ctx && preset == 1) {
        ctx->jolietLevel = 0;
        ctx->jolietNameLimit = 127;
        ctx->udfFlag = 1;
    }
    return MakeCurrent(ctx, name, DocumentKind::ImageOrArchive);
}

int NewAudioCdDocument(std::u16string_view name) {
    return MakeCurrent(image::NewAudioCdDocument(), name, DocumentKind::AudioCd);
}

int NewMountableArchive(std::u16string_view name) {
    image::ImageContext* ctx = image::NewMzpDocument();
    if (ctx) {
        ctx->jolietLevel = 0;
        ctx->jolietNameLimit = 127;
    }
    return MakeCurrent(ctx, name, DocumentKind::ImageOrArchive);
}

int NewArchiveDocument(std::u16string_view name, int32_t kind) {
    return MakeCurrent(image::NewArchiveDocument(kind), name, DocumentKind::ImageOrArchive);
}

int NewXdiDocument() {
    if (NewImageDocument({}, 1) == 0) return 0;
    image::g_CurrentDocument->formatCode = fc::kXdi;
    g_newDocumentName = foundation::GetLangString(kNewArchiveText, u"New Archive") + u".xdi";
    return 1;
}

int NewDefaultDocument() {
    NewArchiveDocument({}, 1);
    return 1;
}

std::optional<std::u16string> SaveCurrent() {
    foundation::PrepareTempWorkFolder();
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx) return std::nullopt;
    if (ctx->imagePath.empty() || ctx->formatCode == fc::kNrg) return SaveAsPrompt();
    if (image::IsCurrentDocumentReadOnly()) return ctx->imagePath;
    if (ctx->splitOutput) return SaveAsPrompt();
    if (ctx->modified == 0) return ctx->imagePath;
    // An edited FAT volume is saved as the disk image it came from.
    if (ctx->fatState) {
        if (filesystems::SaveFatDiskImage(*ctx, ctx->imagePath) != 0) return std::nullopt;
        return ctx->imagePath;
    }
    if (ctx->modified == 1 && ctx->formatCode != fc::kDaa && ctx->udfFlag == 0 && CanUpdateInPlace(*ctx)) {
        if (UpdateImageInPlace(*ctx, ctx->imagePath) != 0) return std::nullopt;
        return ctx->imagePath;
    }
    // A file whose format cannot be written goes through Save As, never
    // rewritten as another format under its own name.
    if (!HasWriterForOwnFile(*ctx)) return SaveAsPrompt();
    const std::u16string path = ctx->imagePath;
    if (SaveDocument(*ctx, path, -1, nullptr) != 0) return std::nullopt;
    return path;
}

std::optional<std::u16string> SaveAsPrompt() {
    foundation::PrepareTempWorkFolder();
    image::ImageContext* ctx = image::g_CurrentDocument;
    if (!ctx || image::IsCurrentDocumentReadOnly()) return std::nullopt;
    std::u16string initial = !ctx->imagePath.empty() ? ctx->imagePath : g_newDocumentName;
    // A set of volumes is offered under the name of the whole set.
    if (ctx->daaReader && ctx->daaReader->multiVolume) initial = containers::GetDaaArchiveName(*ctx->daaReader.get());
    std::u16string extension = image::GetFileExtension(initial);
    if (extension.empty()) extension = u"iso";
    const std::optional<std::u16string> chosen =
        foundation::ShowSaveFileDialog(nullptr, foundation::BuildSaveArchiveFilter(), u"." + extension, initial, {});
    if (!chosen) return std::nullopt;
    if (SaveDocument(*ctx, *chosen, -1, nullptr) != 0) return std::nullopt;
    return ctx->documentPath;
}

bool SaveCommand() {
    const std::optional<std::u16string> path = SaveCurrent();
    return path && ReopenAfterSave(*path);
}

bool SaveAsCommand() {
    const std::optional<std::u16string> path = SaveAsPrompt();
    return path && ReopenAfterSave(*path);
}

bool OpenCommand() {
    if (AskToSave() == -1) return false;
    const std::optional<std::u16string> path =
        foundation::ShowOpenFileDialog(nullptr, foundation::BuildOpenDialogFilter(), u"iso");
    if (!path) return false;
    return OpenChosen(*path);
}

bool OpenFileCommand(std::u16string_view path) {
    if (AskToSave() == -1) return false;
    return OpenChosen(path);
}

bool NewCommand(int (*maker)()) {
    if (AskToSave() == -1) return false;
    DocumentWindowServices().ClearNavigationHistory();
    CloseDocument();
    if (!maker || maker() == 0) return false;
    ClearDocumentModified();
    DocumentWindowServices().UpdateBarsForKind(false);
    return true;
}

bool ExitCommand() {
    if (AskToSave() == -1) return false;
    CloseDocument();
    IDocumentWindowServices& window = DocumentWindowServices();
    window.StopPlayer();
    window.ClearNavigationHistory();
    return true;
}

void ReopenWrittenFile(std::u16string_view path) { ReopenAfterSave(std::u16string(path)); }

void ClearDocumentModified() {
    if (image::g_CurrentDocument) image::g_CurrentDocument->modified = 0;
    DocumentWindowServices().UpdateTitle();
}

}  // namespace app
