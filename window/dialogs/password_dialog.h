#pragma once
// The new-password dialog: the password typed twice; OK only while both are
// filled and equal, and the text must fit the archive code page's limit.

#include <array>

#include "window/models/archive_settings.h"
#include "window/dialogs/app_dialog.h"

class QLineEdit;
class QPushButton;

namespace dialogs::ui {

class CPasswordDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 258;
    // newPassword: the labels of a first password, else those of a change.
    explicit CPasswordDlg(bool newPassword, QWidget* parent = nullptr);

    // The longest password (bytes of the archive code page) the document's
    // format stores; a longer one is refused, never cut.
    void SetMaxLength(size_t bytes) { maxLength_ = bytes; }
    // The accepted password in the archive code page.
    const std::array<char, kSettingsPasswordBytes>& Password() const { return password_; }

public slots:
    void accept() override;

private:
    void UpdateOk();

    QLineEdit* first_ = nullptr;
    QLineEdit* second_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::array<char, kSettingsPasswordBytes> password_{};
    size_t maxLength_ = kMaxSettingsPasswordLength;
};

}  // namespace dialogs::ui
