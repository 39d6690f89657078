#pragma once
// The current document's life: open a file into it, make a new document of
// each kind, save it (in place, over itself, or under a new name), and close
// it after asking whether to save the changes. Questions go through the
// message and prompt services, which the console and the tests answer; the
// views and the frame are reached through the document-window services below,
// which the window program installs (until then they do nothing).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/services.h"

namespace image {
struct ImageContext;
}

namespace app {

// How the user interface treats the open document.
enum class DocumentKind : int32_t {
    None = 0,
    ImageOrArchive = 1,
    AudioCd = 2,
    MultiSession = 3,
    VideoCd = 6,
    SuperVideoCd = 7,
};

// What the lifecycle needs of the frame and its views.
class IDocumentWindowServices {
public:
    virtual ~IDocumentWindowServices() = default;
    // Empties the folder tree, the file list and the track list: the views let
    // go of every item of the document before it is freed.
    virtual void ClearViews() = 0;
    // Arranges the panes for the current document and shows its root.
    virtual void ShowDocument(image::ImageContext* ctx) = 0;
    virtual void UpdateTitle() = 0;
    virtual void UpdateBarsForKind(bool force) = 0;
    // Stops the audio player and waits until it has let go of the document.
    virtual void StopPlayer() = 0;
    // Cancels a pending cut transfer of the document's items.
    virtual void CancelCutTransfer(image::ImageContext* ctx) = 0;
    virtual void ClearNavigationHistory() = 0;
};

namespace detail {
class DocumentWindowStandIn : public IDocumentWindowServices {
public:
    void ClearViews() override {}
    void ShowDocument(image::ImageContext*) override {}
    void UpdateTitle() override {}
    void UpdateBarsForKind(bool) override {}
    void StopPlayer() override {}
    void CancelCutTransfer(image::ImageContext*) override {}
    void ClearNavigationHistory() override {}
};
}  // namespace detail

inline foundation::ServiceSlot<IDocumentWindowServices, detail::DocumentWindowStandIn>& DocumentWindowServicesSlot() {
    static foundation::ServiceSlot<IDocumentWindowServices, detail::DocumentWindowStandIn> slot;
    return slot;
}
inline IDocumentWindowServices& DocumentWindowServices() { return DocumentWindowServicesSlot().Get(); }
// Not owned; null restores the stand-in. Returns the services installed before.
inline IDocumentWindowServices* SetDocumentWindowServices(IDocumentWindowServices* services) {
    return DocumentWindowServicesSlot().Install(services);
}

DocumentKind CurrentDocumentKind();
// The name of a document without a file (the initial name of Save As).
std::u16string NewDocumentName();
// The save sheet's format choice and a completed save rename the document.
void SetNewDocumentName(std::u16string_view name);

// `name` when given, else "New Archive" with the extension of the document's
// format: ".iso" for ISO, ".zip"/".7z"/".mzp" for archives of kind 1/2/other,
// ".mzp" for any other.
std::u16string MakeNewDocName(const image::ImageContext* ctx, std::u16string_view name);

// Opens the file as the current document (the current one must be closed).
// False when it could not be opened (the open has told the user why).
bool OpenDocument(std::u16string_view path);
// Empties the views, then frees the current document.
void CloseDocument();
// 0 go on, -1 the user cancelled or the save failed. Asks only when the
// document is modified.
int AskToSave();

// New documents; 1 made current, 0 out of memory.
int NewImageDocument(std::u16string_view name, int preset);
int NewAudioCdDocument(std::u16string_view name);
int NewMountableArchive(std::u16string_view name);
int NewArchiveDocument(std::u16string_view name, int32_t kind);
int NewXdiDocument();
// An empty Zip archive; 1.
int NewDefaultDocument();

// Writes the current document where it belongs: nothing for an unchanged or
// read-only document; the in-place label update; a full save keeping its
// format; Save As for documents without a file, with a format that has no
// writer, or saved in volumes. The path written (or kept), none when nothing
// was saved.
std::optional<std::u16string> SaveCurrent();
// The save dialog, then SaveDocument. The new path, none when cancelled or failed.
std::optional<std::u16string> SaveAsPrompt();

// File menu commands. Save and Save As re-open the written file (a failed
// re-open leaves an empty Zip archive); Open asks to save first; Exit asks and
// closes. False when the command stopped (cancelled or failed).
bool SaveCommand();
bool SaveAsCommand();
bool OpenCommand();
bool OpenFileCommand(std::u16string_view path);   // the same without the dialog
bool NewCommand(int (*maker)());
bool ExitCommand();

// After a save under a new name: the document closed and the written file
// opened again (an empty Zip archive when that fails), unmodified.
void ReopenWrittenFile(std::u16string_view path);

// modified = 0 and the title updated.
void ClearDocumentModified();

}  // namespace app
