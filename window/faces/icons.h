#pragma once
// The program's icons: its own drawn ones (program, document, OK, Cancel), and
// the freely licensed theme icons built into the program's resources, by name
// ("media-optical", "document-open", ...).

#include <QIcon>
#include <QString>

namespace foundation::ui {

QIcon ProgramIcon();
QIcon DocumentIcon();
// The OK and Cancel button images (383 and 384).
QIcon OkIcon();
QIcon CancelIcon();
// A built-in theme icon; a null icon for a name that is not built in.
QIcon BuiltInIcon(const QString& name);
// The document icon as an .ico file (16 and 32 pixels), for the desktop's
// icon registration.
QByteArray DocumentIconFile();

}  // namespace foundation::ui
