#include "window/dialogs/drive_config_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "foundation/language.h"
#include "foundation/system_facts.h"
#include "vdrive/drive_settings.h"
#include "window/dialogs/drive_settings_form.h"

namespace dialogs::ui {

CVirtualDriveConfigDlg::CVirtualDriveConfigDlg(QWidget* parent) : CAppDialog(kTemplateId, parent) {
    setWindowTitle(QString::fromStdU16String(
        foundation::GetLangString(30930, u"Quendravine Virtual Drive Configuration")));
    auto* layout = new QVBoxLayout(this);
    form_ = new CDriveSettingsForm(kConfigDialogDriveIds, this);
    layout->addWidget(form_);
    layout->addWidget(MakeOkCancelButtons());
    const vdrive::DriveSettings settings = vdrive::ReadDriveSettings(vdrive::SystemDriveSettingsTarget());
    initialTempFolder_ = settings.tempFolder;
    form_->Load(settings);
    const int32_t kind = foundation::GetWindowsKind();
    form_->SetEditable(kind != foundation::kWindowsKindOther && kind != foundation::kWindowsKind98Me);
}

void CVirtualDriveConfigDlg::accept() {
    vdrive::ApplyDriveSettings(form_->Read(), initialTempFolder_, vdrive::SystemDriveSettingsTarget());
    CAppDialog::accept();
}

bool RunVirtualDriveConfigDialog(QWidget* parent) {
    CVirtualDriveConfigDlg dlg(parent);
    return dlg.exec() == QDialog::Accepted;
}

}  // namespace dialogs::ui
