#pragma once
// The password of an archive being opened: the question, the archive's file
// name, and the password typed once. OK only while something is typed.

#include <string>

#include "window/dialogs/app_dialog.h"

class QLineEdit;
class QPushButton;

namespace dialogs::ui {

class CEnterPasswordDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 256;
    CEnterPasswordDlg(const std::u16string& question, const std::u16string& archivePath, QWidget* parent = nullptr);

    std::u16string Password() const;

private:
    QLineEdit* password_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace dialogs::ui
