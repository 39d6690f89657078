#pragma once
// The file manager's "Configuration..." of the virtual drives: the same
// settings as the option sheet's Virtual Drive page, in a dialog of its own,
// applied by the same routine.

#include <string>

#include "window/dialogs/app_dialog.h"

namespace dialogs::ui {

class CDriveSettingsForm;

class CVirtualDriveConfigDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 148;
    explicit CVirtualDriveConfigDlg(QWidget* parent = nullptr);

    CDriveSettingsForm* Form() const { return form_; }

public slots:
    void accept() override;

private:
    CDriveSettingsForm* form_ = nullptr;
    std::u16string initialTempFolder_;
};

// True when the dialog ended with OK.
bool RunVirtualDriveConfigDialog(QWidget* parent);

}  // namespace dialogs::ui
