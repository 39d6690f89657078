#pragma once
// The notice that a save gives an item another name on the disc: the old and
// the new name, and "Do not display this message again" for the rest of the
// save.

#include <QString>

#include "window/dialogs/app_dialog.h"

class QCheckBox;

namespace dialogs::ui {

class CNoticeDlg : public CAppDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 260;
    static constexpr int kOldName = 1142, kNewName = 1143, kHeading = 1474, kDoNotShow = 1145;

    CNoticeDlg(const QString& oldName, const QString& newName, bool isFolder, QWidget* parent = nullptr);
    bool DoNotShowAgain() const;

private:
    QCheckBox* doNotShow_ = nullptr;
};

// Runs the notice on the window thread, waiting for it when called from a
// worker. Nothing when the user silenced it for this save, when a name is
// missing, or when the names differ only in case.
void ShowNameChangeNotice(QWidget* owner, std::u16string_view oldName, std::u16string_view newName, bool isFolder);

}  // namespace dialogs::ui
