#pragma once
// The window faces of the path and file services: the open and save dialogs,
// the folder browser, the desktop's type names and icons of files, the
// "open with" chooser and the notification-area icon. The window program
// installs its Qt face (QFileDialog, QMimeDatabase, QFileIconProvider,
// QSystemTrayIcon); without one (console mode, tests) the dialogs answer
// "cancelled", types and icons are unknown and the tray does nothing.
//
// Everything these faces need besides the window itself (filter lists, the
// save dialog's extension rules, type texts) is built in file_filters.h and
// here, without a window.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/file_filters.h"
#include "foundation/services.h"

namespace foundation {

struct SaveDialogRequest {
    void* owner = nullptr;
    const FileFilterList* filters = nullptr;
    std::u16string defaultExtension;
    std::u16string initialName;   // already carrying the preselected filter's extension
    std::u16string title;
    size_t selectedFilter = 0;    // FindFilterForExtension of the default extension
};

class WindowFaces {
public:
    virtual ~WindowFaces() = default;
    // The chosen path (any length), or nothing when cancelled.
    virtual std::optional<std::u16string> OpenFileDialog(void* owner, const FileFilterList& filters,
                                                        std::u16string_view defaultExtension,
                                                        std::u16string_view initialPath) = 0;
    // The face keeps the file-name box on the selected filter's extension
    // (ApplyFilterExtension) while the user picks filters, and returns the name
    // as typed together with the filter selected at OK.
    struct SaveAnswer {
        std::u16string path;
        size_t selectedFilter = 0;
    };
    virtual std::optional<SaveAnswer> SaveFileDialog(const SaveDialogRequest& request) = 0;
    virtual std::optional<std::u16string> BrowseForFolder(void* owner, std::u16string_view title,
                                                          std::u16string_view startFolder) = 0;
    // The desktop's type name of a file name ("ISO image"), or nothing.
    virtual std::optional<std::u16string> TypeNameForFile(std::u16string_view name) = 0;
    // The type name of folders.
    virtual std::optional<std::u16string> FolderTypeName() = 0;
    // An index into the window's icon list for a file name, or -1.
    virtual int IconIndexForFile(std::u16string_view name) = 0;
    // The system's "open with" chooser for a file; false when none could be shown.
    virtual bool OpenWithChooser(std::u16string_view path) = 0;
    // False when the desktop has no notification area: the caller must then
    // keep its window, since nothing would bring it back.
    virtual bool AddTrayIcon(std::u16string_view tip) = 0;
    virtual void SetTrayIconTip(std::u16string_view tip) = 0;
    virtual void RemoveTrayIcon() = 0;
};

// The installed face, or null (none).
WindowFaces* InstalledWindowFaces();
// Not owned; null removes the face. Returns the face installed before
// (foundation/services.h).
WindowFaces* SetWindowFaces(WindowFaces* faces);

// The open dialog with filter 1 selected, pre-filled with initialPath. The
// chosen path or nothing.
std::optional<std::u16string> ShowOpenFileDialog(void* owner, const FileFilterList& filters,
                                                 std::u16string_view defaultExtension,
                                                 std::u16string_view initialPath = {});
// The save dialog: the filter of the default extension preselected (the first
// when none), an initial name given that filter's extension, and after OK the
// selected filter's extension appended to a name without it.
std::optional<std::u16string> ShowSaveFileDialog(void* owner, const FileFilterList& filters,
                                                 std::u16string_view defaultExtension,
                                                 std::u16string_view initialName, std::u16string_view title);
// 0 and the folder on OK, -1 otherwise.
int BrowseForFolder(void* owner, std::u16string_view title, std::u16string_view startFolder,
                    std::u16string& folder);

// An item's type text and icon index as the file list shows them.
struct ItemTypeInfo {
    std::u16string typeText;
    int iconIndex = -1;
};
// Folders: the desktop's folder type name ("Folder" without one). Files: the
// desktop's type name; a type it does not know shows the upper-cased extension
// and " File" ("QQQ File"), a name without extension "File".
ItemTypeInfo GetItemTypeInfo(std::u16string_view name, bool isFolder);

// The display name of an audio or video track: the source file's name when it
// has one, else "Track%02d.mpg" (video) or "Track%02d.cda" (audio).
std::u16string TrackDisplayName(int trackNumber, bool isVideo, std::u16string_view sourcePath);

// The tip of the notification-area icon: at most 127 characters, "Quendravine"
// when empty.
inline constexpr size_t kTrayTipMaxChars = 127;
std::u16string TrayTipText(std::u16string_view tip);
bool AddTrayIcon(std::u16string_view tip = {});
void SetTrayIconTip(std::u16string_view tip);
void RemoveTrayIcon();

}  // namespace foundation
