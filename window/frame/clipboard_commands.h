#pragma once
// Copy and Paste of the file list with the desktop's clipboard. Copied items
// are offered as this program's transfer and, for file managers, as
// text/uri-list, x-special/gnome-copied-files and plain-text paths (written
// out once, on the first request). A paste of this program's items copies
// them into the shown folder, or moves them when they were cut; a paste of
// files from elsewhere adds them.

#include <QStringList>

#include <cstdint>

namespace image {
struct ImageContext;
}

namespace app::ui {

class CMainFrame;

inline constexpr uint32_t kCmdCopyItems = 32956;
inline constexpr uint32_t kCmdPasteItems = 32957;
inline constexpr uint32_t kCmdCutItems = 33212;

void InstallClipboardCommands(CMainFrame* frame);

// Empties the clipboard when it holds items of this document: they are about
// to be freed (the document closes, or items of it are deleted).
void ForgetClipboardItemsOf(const image::ImageContext* ctx);

// Local file paths named by a clipboard or drop text: text/uri-list lines
// ("#" comments skipped), x-special/gnome-copied-files (its first line the
// action), or plain absolute paths one per line. Anything else (other
// schemes, a NUL inside) is left out.
QStringList LocalPathsOfTransfer(const QByteArray& uriList, const QByteArray& gnomeList, const QString& plainText);

}  // namespace app::ui
