#pragma once
// "Make Image File from Disc": the source drive, the destination file and
// the output format (ISO, or BIN/CUE for audio, multi-track and multi-session
// discs). A disc label suggests the file name, made safe first. OK checks the
// entries; the copy itself runs under the progress dialog (RunMakeImage).

#include <string>

#include "optical/disc_image/make_image_job.h"
#include "optical/drive/optical_drive_list.h"
#include "window/dialogs/app_dialog.h"

class QComboBox;
class QLineEdit;

namespace dialogs::ui {

class CMakeImageDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 398;

    // presetLetter: the drive to select (0 none).
    explicit CMakeImageDlg(char16_t presetLetter = 0, QWidget* parent = nullptr);

    // False when there is no optical drive (the dialog must not be shown).
    bool HasDrives() const { return !drives_.drives.empty(); }
    char16_t DriveLetter() const;
    optical::MakeImageFormat Format() const;
    std::u16string Destination() const;
    // The destination from the disc's label in the last used folder.
    void SuggestDestination();

public slots:
    void accept() override;

private:
    void FormatChanged(int index);
    void Browse();

    optical::OpticalDriveList drives_;
    QComboBox* drive_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QComboBox* format_ = nullptr;
};

// Makes the image under the progress dialog and tells the outcome; 1 made,
// 0 cancelled, -1 failed.
int RunMakeImage(QWidget* parent, char16_t letter, const std::u16string& destination, optical::MakeImageFormat format);

// The make-image command: the dialog, then the job. 1 made, 0 cancelled or
// no drive, -1 failed.
int RunMakeImageCommand(QWidget* parent, char16_t presetLetter = 0);

}  // namespace dialogs::ui
