#include "window/faces/qt_window_faces.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>

#include "window/faces/icons.h"
#include "window/faces/open_with_chooser.h"
#include "window/faces/qt_text.h"

namespace foundation::ui {

QStringList QtNameFilters(const FileFilterList& filters) {
    QStringList result;
    for (const FileFilter& filter : filters) result << ToQString(ToQtFilterText(filter));
    return result;
}

QtWindowFaces::QtWindowFaces() = default;
QtWindowFaces::~QtWindowFaces() = default;

QWidget* QtWindowFaces::Owner(void* owner) const {
    if (owner) return static_cast<QWidget*>(owner);
    if (QWidget* active = QApplication::activeWindow()) return active;
    return defaultOwner_.data();
}

std::optional<std::u16string> QtWindowFaces::OpenFileDialog(void* owner, const FileFilterList& filters,
                                                           std::u16string_view, std::u16string_view initialPath) {
    QFileDialog dialog(Owner(owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList names = QtNameFilters(filters);
    dialog.setNameFilters(names);
    if (!names.isEmpty()) dialog.selectNameFilter(names.front());
    if (!initialPath.empty()) dialog.selectFile(ToQString(initialPath));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return ToU16(dialog.selectedFiles().front());
}

std::optional<WindowFaces::SaveAnswer> QtWindowFaces::SaveFileDialog(const SaveDialogRequest& request) {
    if (!request.filters || request.filters->empty()) return std::nullopt;
    const FileFilterList& filters = *request.filters;
    QFileDialog dialog(Owner(request.owner));
    // Qt's own dialog: the name box can follow the chosen filter. The caller
    // asks about an existing file itself, so the dialog must not ask first.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.title.empty()) dialog.setWindowTitle(ToQString(request.title));
    const QStringList names = QtNameFilters(filters);
    dialog.setNameFilters(names);
    const size_t selected = request.selectedFilter < filters.size() ? request.selectedFilter : 0;
    dialog.selectNameFilter(names[static_cast<qsizetype>(selected)]);
    if (!request.initialName.empty()) dialog.selectFile(ToQString(request.initialName));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &names, &filters](const QString& text) {
        const qsizetype index = names.indexOf(text);
        QLineEdit* nameBox = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (index < 0 || !nameBox) return;
        nameBox->setText(
            ToQString(ApplyFilterExtension(ToU16(nameBox->text()), filters[static_cast<size_t>(index)])));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    SaveAnswer answer;
    answer.path = ToU16(dialog.selectedFiles().front());
    const qsizetype index = names.indexOf(dialog.selectedNameFilter());
    answer.selectedFilter = index < 0 ? selected : static_cast<size_t>(index);
    return answer;
}

std::optional<std::u16string> QtWindowFaces::BrowseForFolder(void* owner, std::u16string_view title,
                                                             std::u16string_view startFolder) {
    const QString folder = QFileDialog::getExistingDirectory(
        Owner(owner), ToQString(title), ToQString(startFolder),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty()) return std::nullopt;
    return ToU16(folder);
}

std::optional<std::u16string> QtWindowFaces::TypeNameForFile(std::u16string_view name) { return types_.TypeName(name); }

std::optional<std::u16string> QtWindowFaces::FolderTypeName() { return types_.FolderTypeName(); }

int QtWindowFaces::IconIndexForFile(std::u16string_view name) { return types_.IconIndex(name); }

bool QtWindowFaces::OpenWithChooser(std::u16string_view path) {
    return RunOpenWithChooser(Owner(nullptr), ToQString(path));
}

bool QtWindowFaces::AddTrayIcon(std::u16string_view tip) {
    // Without a notification area the icon would never show, and a window
    // hidden in its favour could never be brought back.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (!tray_) tray_ = std::make_unique<QSystemTrayIcon>(ProgramIcon());
    tray_->setToolTip(ToQString(tip));
    tray_->show();
    return true;
}

void QtWindowFaces::SetTrayIconTip(std::u16string_view tip) {
    if (tray_) tray_->setToolTip(ToQString(tip));
}

void QtWindowFaces::RemoveTrayIcon() { tray_.reset(); }

}  // namespace foundation::ui
