#pragma once
// The letter wish of one virtual drive ("Edit Drive Letter"), and the drive
// list both virtual-drive configuration faces show: one row per drive 0..22
// with its wished letter or "<Auto>". The dialog refuses a letter another
// drive already wishes for and stays open.

#include <cstdint>
#include <string>
#include <string_view>

#include "window/dialogs/app_dialog.h"

class QComboBox;
class QTreeWidget;

namespace dialogs::ui {

class CDriveLetterDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 287;
    static constexpr int kCombo = 1202;

    // letters: the 23 wishes, edited at driveIndex on OK.
    CDriveLetterDlg(uint32_t driveIndex, std::u16string letters, QWidget* parent = nullptr,
                    int templateId = kTemplateId);

    const std::u16string& Letters() const { return letters_; }
    QComboBox* Combo() const { return combo_; }

public slots:
    void accept() override;

private:
    uint32_t driveIndex_;
    std::u16string letters_;
    QComboBox* combo_ = nullptr;
};

// A two-column list ("Drive", "Letter"), single selection of whole rows.
QTreeWidget* MakeDriveLetterList(int controlId, QWidget* parent);
// Rows "Drive 0".."Drive 22" with their wishes; the row selected before (when
// exactly one was) stays selected, else row 0.
void FillDriveLetterList(QTreeWidget* list, std::u16string_view letters);
// "Edit..." and a double click: with exactly one row selected, the letter
// dialog for that drive; on OK the wishes change and the rows are refilled.
// True when the wishes changed.
bool EditSelectedDriveLetter(QWidget* parent, QTreeWidget* list, std::u16string& letters,
                             int templateId = CDriveLetterDlg::kTemplateId);

}  // namespace dialogs::ui
