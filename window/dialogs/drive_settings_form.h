#pragma once
// The controls of the virtual-drive settings, shown alike by the option
// sheet's Virtual Drive page and by the file manager's configuration dialog
// (each with its own control ids): Autostart, Automount, the number of
// drives, the letter wishes and the helper's temporary folder. The values
// travel as a vdrive::DriveSettings record, applied by vdrive's one routine.

#include <string>

#include <QWidget>

#include "vdrive/drive_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace dialogs::ui {

struct DriveSettingsFormIds {
    int autostart;
    int automount;
    int count;
    int list;
    int edit;
    int tempFolder;
    int browse;
    int letterTemplate;   // the letter dialog's template
};
// The option page's ids and the configuration dialog's.
inline constexpr DriveSettingsFormIds kOptionPageDriveIds{1058, 1059, 1151, 1200, 1204, 1444, 1254, 287};
inline constexpr DriveSettingsFormIds kConfigDialogDriveIds{1023, 1024, 1022, 1026, 1027, 1029, 1030, 149};

class CDriveSettingsForm : public QWidget {
    Q_OBJECT

public:
    CDriveSettingsForm(const DriveSettingsFormIds& ids, QWidget* parent = nullptr);

    void Load(const vdrive::DriveSettings& settings);
    vdrive::DriveSettings Read() const;
    // Without a usable helper the values are shown but cannot be changed.
    void SetEditable(bool editable);

    QTreeWidget* List() const { return list_; }
    QComboBox* CountCombo() const { return count_; }

public slots:
    void EditLetter();
    void BrowseTempFolder();

private:
    DriveSettingsFormIds ids_;
    std::u16string letters_;
    QCheckBox* autostart_ = nullptr;
    QCheckBox* automount_ = nullptr;
    QComboBox* count_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QPushButton* edit_ = nullptr;
    QLineEdit* tempFolder_ = nullptr;
    QPushButton* browse_ = nullptr;
};

}  // namespace dialogs::ui
