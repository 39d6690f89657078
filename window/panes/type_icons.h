#pragma once
// The icon of a file row by its type: the desktop icon theme's icon for the
// MIME type its name suggests, else the theme's generic icon of that family,
// else our own (audio, video, archive, disc image, document).

#include <QIcon>
#include <QString>

namespace app::ui {

QIcon TypeIconForName(const QString& name);

}  // namespace app::ui
