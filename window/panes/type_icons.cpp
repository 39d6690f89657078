#include "window/panes/type_icons.h"

#include <QHash>
#include <QMimeDatabase>

#include "window/faces/icons.h"

namespace app::ui {

namespace {

// Our own icon for a family when the theme has none.
QIcon OwnIconFor(const QMimeType& type) {
    const QString name = type.name();
    if (name.startsWith(QStringLiteral("audio/"))) return foundation::ui::BuiltInIcon(QStringLiteral("audio-x-generic"));
    if (name.startsWith(QStringLiteral("video/"))) return foundation::ui::BuiltInIcon(QStringLiteral("video-x-generic"));
    if (name == QStringLiteral("application/x-cd-image") || name.contains(QStringLiteral("disk-image")))
        return foundation::ui::BuiltInIcon(QStringLiteral("media-optical"));
    if (type.genericIconName() == QStringLiteral("package-x-generic"))
        return foundation::ui::BuiltInIcon(QStringLiteral("package-x-generic"));
    return foundation::ui::DocumentIcon();
}

}  // namespace

QIcon TypeIconForName(const QString& name) {
    // Rows ask on every paint: one look-up per MIME type and run, and the
    // type by the name's extension only (the data is inside the image).
    static QHash<QString, QIcon> byType;
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (auto found = byType.constFind(type.name()); found != byType.cend()) return *found;
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull()) icon = OwnIconFor(type);
    byType.insert(type.name(), icon);
    return icon;
}

}  // namespace app::ui
