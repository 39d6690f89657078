#pragma once
// The three image tools of the Tools menu in one dialog: compress an image
// into XDI (365), decompress XDI into ISO (366), convert between ISO, BIN/CUE
// and XDI (367). Which fields show follows the mode; OK checks the entries
// (window/models/image_tools.h) and keeps the dialog open on a refusal.

#include <string>

#include "window/dialogs/app_dialog.h"
#include "window/models/image_tools.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace dialogs::ui {

class CImageToolDlg : public CAppDialog {
    Q_OBJECT

public:
    CImageToolDlg(dialogs::ImageToolMode mode, const std::u16string& source, QWidget* parent = nullptr);

    std::u16string Source() const;
    std::u16string Destination() const;
    int32_t Format() const { return format_; }
    // The accepted password in the archive code page; empty for none.
    const std::string& Password() const { return acceptedPassword_; }

public slots:
    void accept() override;

private:
    void FormatChanged(int index);
    void UpdatePasswordFields();
    void BrowseSource();
    void BrowseDestination();

    dialogs::ImageToolMode mode_;
    int32_t format_ = 0;
    QLineEdit* source_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QComboBox* formats_ = nullptr;
    QCheckBox* protect_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* again_ = nullptr;
    std::string acceptedPassword_;
};

}  // namespace dialogs::ui
