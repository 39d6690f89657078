#pragma once
// A volume of a set that is not where its name says: the user points at the
// folder that holds it (the recent volume folders offered first) and may
// correct the name. OK opens the file read-only and keeps it; a file that
// does not open leaves the dialog open.

#include <string>

#include "platform/file.h"
#include "window/dialogs/app_dialog.h"

class QComboBox;
class QLineEdit;

namespace dialogs::ui {

class CVolumeRequiredDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 254;
    explicit CVolumeRequiredDlg(const std::u16string& neededPath, QWidget* parent = nullptr);
    ~CVolumeRequiredDlg() override;

    // After OK: the opened volume (the caller owns it from then on) and its path.
    platform::FileHandle TakeFile();
    const std::u16string& ChosenPath() const { return chosenPath_; }

    // The folders of the process's recent volumes, most recent first.
    static std::vector<std::u16string>& RecentFolders();

public slots:
    void accept() override;

private:
    void Browse();

    QComboBox* folder_ = nullptr;
    QLineEdit* name_ = nullptr;
    platform::FileHandle file_ = nullptr;
    std::u16string chosenPath_;
};

}  // namespace dialogs::ui
