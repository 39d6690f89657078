#pragma once
// The "open with" chooser: the desktop's applications that declare the file's
// type (or one it derives from), plus "Browse..." for any program. The chosen
// one is started without a shell: a desktop entry through `gio launch`, a
// program file directly, the path always one argument.

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace foundation::ui {

struct DesktopEntry {
    QString path;   // the .desktop file
    QString name;
};

// The visible applications of the XDG data folders whose MimeType lists the
// MIME type of the file (by name) or one of its ancestors, by name; the first
// entry of each desktop-file id wins, as the desktop's lookup does.
std::vector<DesktopEntry> DesktopEntriesForFile(const QString& filePath);

// Starts a desktop entry on the file; false when it could not be started.
bool LaunchDesktopEntry(const QString& entryPath, const QString& filePath);
// Starts a program file with the file as its one argument.
bool LaunchProgram(const QString& program, const QString& filePath);

// Shows the chooser; true when something was started.
bool RunOpenWithChooser(QWidget* owner, const QString& filePath);

}  // namespace foundation::ui
