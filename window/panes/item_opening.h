#pragma once
// Opening a file of the shown document in another program: the file is
// extracted through the extraction job (the one safe way to write items out)
// into a folder of its own inside the work folder, and the path written is
// handed to the desktop's application, the "open with" chooser or the default
// viewer. Programs and launchers are extracted only after a warning.

#include <optional>
#include <string>
#include <string_view>

#include "foundation/programs.h"

class QWidget;

namespace image {
struct ImageContext;
struct ImageItem;
}  // namespace image

namespace app::ui {

class CMainFrame;

// Whether opening a file of this name asks first: a Windows program, or a
// desktop launcher (xdg-open may run what its Exec line says), opened with the
// desktop's application in a document holding more than that one file.
bool AsksBeforeOpening(std::u16string_view name, foundation::LaunchMode mode, int fileCount, int folderCount);

// A new private folder (0700) for one opening, below the work folder.
std::optional<std::u16string> MakeOpeningFolder();
// The one regular file directly in folder (no link, no folder), or nothing
// when there is none or more than one.
std::optional<std::u16string> SingleFileIn(std::u16string_view folder);

// A file row of the current folder opened (the double click or Enter). False
// when nothing was started; every failure has told the user.
bool OpenListFile(CMainFrame* frame, image::ImageItem* item, foundation::LaunchMode mode);
// A Video CD track (index into the track list) opened through its MPEG file.
bool OpenVideoTrack(CMainFrame* frame, int track, foundation::LaunchMode mode);

}  // namespace app::ui
