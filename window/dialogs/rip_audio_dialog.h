#pragma once
// Rip Audio CD, and the Extract dialog of audio-track documents: where the
// music files go (a folder with its history), their format, one file per
// track or one file with a CUE sheet, and the file-name template with a live
// sample of the name it gives. The rip itself runs under the progress dialog.

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "window/dialogs/app_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QGroupBox;
class QPushButton;

namespace image {
struct ImageContext;
}

namespace dialogs::ui {

class CRipAudioDlg : public CAppDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 295;

    // rip: the document is a disc being ripped (no source choice shown).
    // allTracks: nothing is selected, so every track goes and "Selected
    // tracks" is not offered.
    CRipAudioDlg(bool rip, bool allTracks, QWidget* parent = nullptr);

    // The answers, meaningful once accepted.
    QString Folder() const { return folder_; }
    int32_t Format() const { return format_; }
    int32_t Mode() const { return mode_; }
    bool AllTracks() const { return allTracks_; }

    // The sample name shown for the current template and format.
    QString Preview() const;

public slots:
    void accept() override;
    void Browse();
    void UpdatePreview();
    void OnFormatChanged();
    void Configure();
    void ShowTokenMenu();

private:
    bool rip_;
    bool presetAllTracks_;
    QComboBox* folderCombo_ = nullptr;
    QGroupBox* source_ = nullptr;
    QRadioButton* selected_ = nullptr;
    QRadioButton* all_ = nullptr;
    QComboBox* formatCombo_ = nullptr;
    QComboBox* modeCombo_ = nullptr;
    QPushButton* config_ = nullptr;
    QLineEdit* template_ = nullptr;
    QPushButton* tokens_ = nullptr;
    QLabel* preview_ = nullptr;

    QString folder_;
    int32_t format_ = 3;
    int32_t mode_ = 0;
    bool allTracks_ = true;
};

// What a rip writes: the tracks (positions in the track list; data tracks
// are passed over) into folder as one file each (mode 0), or all into the one
// file singleFilePath with its CUE sheet beside it (mode 1).
struct RipRequest {
    QString folder;
    int32_t format = 3;
    int32_t mode = 0;
    std::vector<int32_t> positions;
    std::u16string singleFilePath;
};
// The rip under the progress dialog: 1 done, 0 cancelled, -1 failed (each
// failure reported once; files already finished are kept, nothing
// half-written is left under a final name).
int RunRipJob(QWidget* parent, image::ImageContext* ctx, const RipRequest& request);

// The audio extraction as the frame's Extract command runs it on a document
// with audio tracks: the dialog (all tracks when selection is empty), then, under the progress
// dialog, one music file per track, or one music file with its CUE sheet
// under a name the user confirms. Nothing when a dialog was cancelled, else
// the job's result (1 done, 0 cancelled, -1 failed).
std::optional<int> RunRipAudioDialog(QWidget* parent, image::ImageContext* ctx, const std::vector<int>& selection);

}  // namespace dialogs::ui
