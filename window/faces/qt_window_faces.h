#pragma once
// The window program's face of the path and file services: Qt's own (not the
// desktop's) file dialogs, so the save dialog can keep the name's extension on
// the chosen filter; the desktop's types and icons through the MIME database,
// cached by extension; the open-with chooser; the notification-area icon.

#include <QPointer>
#include <QSystemTrayIcon>

#include <memory>

#include "window/faces/file_type_cache.h"
#include "foundation/window_faces.h"

class QWidget;

namespace foundation::ui {

// The entries of a filter list as Qt's dialogs take them, one per filter.
QStringList QtNameFilters(const FileFilterList& filters);

class QtWindowFaces : public WindowFaces {
public:
    QtWindowFaces();
    ~QtWindowFaces() override;

    std::optional<std::u16string> OpenFileDialog(void* owner, const FileFilterList& filters,
                                                std::u16string_view defaultExtension,
                                                std::u16string_view initialPath) override;
    std::optional<SaveAnswer> SaveFileDialog(const SaveDialogRequest& request) override;
    std::optional<std::u16string> BrowseForFolder(void* owner, std::u16string_view title,
                                                  std::u16string_view startFolder) override;
    std::optional<std::u16string> TypeNameForFile(std::u16string_view name) override;
    std::optional<std::u16string> FolderTypeName() override;
    int IconIndexForFile(std::u16string_view name) override;
    bool OpenWithChooser(std::u16string_view path) override;
    bool AddTrayIcon(std::u16string_view tip) override;
    void SetTrayIconTip(std::u16string_view tip) override;
    void RemoveTrayIcon() override;

    FileTypeCache& Types() { return types_; }
    // The window that owns the dialogs when the caller names none.
    void SetDefaultOwner(QWidget* owner) { defaultOwner_ = owner; }

private:
    QWidget* Owner(void* owner) const;

    FileTypeCache types_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QPointer<QWidget> defaultOwner_;
};

}  // namespace foundation::ui
