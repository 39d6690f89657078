#include "window/faces/open_with_chooser.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

namespace foundation::ui {

namespace {

// A relative path that starts with '-' would be taken for an option.
QString SafeArgument(const QString& filePath) {
    if (filePath.startsWith(u'-')) return QStringLiteral("./") + filePath;
    return filePath;
}

struct ParsedEntry {
    QString name;
    QStringList mimeTypes;
    bool hidden = false;
};

// The keys of the [Desktop Entry] group that matter here. QSettings' INI
// reader would take ';' lists and escapes its own way, so the lines are read
// as the desktop-entry format writes them.
ParsedEntry ParseDesktopFile(const QString& path) {
    ParsedEntry entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > (1 << 20)) {
        entry.hidden = true;
        return entry;
    }
    bool inMainGroup = false;
    bool isApplication = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QStringLiteral("Name")) entry.name = value;
        else if (key == QStringLiteral("MimeType")) entry.mimeTypes = value.split(u';', Qt::SkipEmptyParts);
        else if (key == QStringLiteral("Type")) isApplication = value == QStringLiteral("Application");
        else if ((key == QStringLiteral("NoDisplay") || key == QStringLiteral("Hidden")) && value == QStringLiteral("true"))
            entry.hidden = true;
    }
    if (!isApplication || entry.name.isEmpty()) entry.hidden = true;
    return entry;
}

}  // namespace

std::vector<DesktopEntry> DesktopEntriesForFile(const QString& filePath) {
    QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(filePath, QMimeDatabase::MatchExtension);
    QStringList wanted{type.name()};
    wanted += type.allAncestors();
    wanted += type.aliases();

    std::vector<DesktopEntry> result;
    QSet<QString> seenIds;
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDir dir(folder);
        const QStringList files = dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
        for (const QString& fileName : files) {
            if (seenIds.contains(fileName)) continue;
            seenIds.insert(fileName);
            const QString path = dir.filePath(fileName);
            const ParsedEntry parsed = ParseDesktopFile(path);
            if (parsed.hidden) continue;
            const bool matches = std::any_of(parsed.mimeTypes.begin(), parsed.mimeTypes.end(),
                                             [&](const QString& mime) { return wanted.contains(mime); });
            if (matches) result.push_back({path, parsed.name});
        }
    }
    std::sort(result.begin(), result.end(), [](const DesktopEntry& a, const DesktopEntry& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return result;
}

bool LaunchDesktopEntry(const QString& entryPath, const QString& filePath) {
    return QProcess::startDetached(QStringLiteral("gio"),
                                   {QStringLiteral("launch"), entryPath, SafeArgument(filePath)});
}

bool LaunchProgram(const QString& program, const QString& filePath) {
    return QProcess::startDetached(program, {SafeArgument(filePath)});
}

bool RunOpenWithChooser(QWidget* owner, const QString& filePath) {
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Open With"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QFileInfo(filePath).fileName(), &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* list = new QListWidget(&dialog);
    const std::vector<DesktopEntry> entries = DesktopEntriesForFile(filePath);
    for (const DesktopEntry& entry : entries) list->addItem(entry.name);
    if (!entries.empty()) list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* browse = buttons->addButton(QStringLiteral("Browse..."), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);

    QString program;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        const QString chosen = QFileDialog::getOpenFileName(&dialog, QStringLiteral("Browse..."),
                                                            QStringLiteral("/usr/bin"), QString(), nullptr,
                                                            QFileDialog::DontUseNativeDialog);
        if (chosen.isEmpty()) return;
        program = chosen;
        dialog.accept();
    });
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!program.isEmpty()) return LaunchProgram(program, filePath);
    const int row = list->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= entries.size()) return false;
    return LaunchDesktopEntry(entries[static_cast<size_t>(row)].path, filePath);
}

}  // namespace foundation::ui
